// Programs of another installation's: a second program run with a time
// limit, and the files it leaves behind removed.

#include "platform/platform.h"
#include "platform/posix_running.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <utility>
#include <vector>

namespace platform {

namespace {

// The programs running now, by their process groups: a slot each, so that
// a signal handler can read them.
std::atomic<pid_t> running[64];

// Return this process's environment with SET added or replacing, as
// execve takes it: built before the fork, so that the child between fork
// and exec calls nothing that may take a lock another thread held.
std::vector<std::string> environment_with(
    const std::vector<std::pair<std::string, std::string>> &set)
{
  std::vector<std::string> environment;
  for (char **v = environ; *v != nullptr; v++) {
    std::string entry = *v;
    bool replaced = false;
    for (const auto &[name, value] : set)
      replaced = replaced || entry.compare(0, name.size() + 1, name + "=") == 0;
    if (!replaced)
      environment.push_back(entry);
  }
  for (const auto &[name, value] : set)
    environment.push_back(name + "=" + value);
  return environment;
}

// In a child just forked: run the program at PATH with ARGV and ENVP in
// the directory DIR (or here, where null), its standard input IN (or
// nothing to read, where negative), its standard output OUT, standard
// error discarded, and no file it writes larger than LIMIT bytes.
[[noreturn]] void exec_child(const char *path, char *const argv[], char *const envp[],
                             const char *dir, int in, int out, size_t limit)
{
  if (dir != nullptr && chdir(dir) != 0)
    _exit(127);
  // A group of its own, so that whatever it starts ends with it.
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // A file grown past LIMIT ends it, without a core file.
  struct rlimit fsize{limit, limit}, core{0, 0};
  setrlimit(RLIMIT_FSIZE, &fsize);
  setrlimit(RLIMIT_CORE, &core);
  signal(SIGXFSZ, SIG_DFL);
  int null = open("/dev/null", O_RDWR);
  if (null < 0 || dup2(in >= 0 ? in : null, 0) < 0 || dup2(out, 1) < 0 || dup2(null, 2) < 0)
    _exit(127);
  execve(path, argv, envp);
  _exit(127);
}

// Read FD to its end into *OUTPUT for at most SECONDS; stop once it holds
// more than LIMIT bytes (*OVER set).  Return false if time ran out first.
bool collect_output(int fd, unsigned seconds, size_t limit, std::string *output, bool *over)
{
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  char buffer[65536];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    struct pollfd wait_for{fd, POLLIN, 0};
    int ready = left.count() > 0 ? poll(&wait_for, 1, static_cast<int>(left.count())) : 0;
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready <= 0)
      return false;
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return true;
    output->append(buffer, n);
    if (output->size() > limit) {
      *over = true;
      return true;
    }
  }
}

} // namespace

void note_running(pid_t pid, bool now)
{
  for (std::atomic<pid_t> &slot : running) {
    pid_t expected = now ? 0 : pid;
    if (slot.compare_exchange_strong(expected, now ? pid : 0))
      return;
  }
}

void end_running_programs()
{
  for (std::atomic<pid_t> &slot : running) {
    pid_t pid = slot.load();
    if (pid > 0) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
    }
  }
  // Gone before their directories are removed: none writes there after.
  for (std::atomic<pid_t> &slot : running) {
    pid_t pid = slot.load();
    if (pid > 0)
      waitpid(pid, nullptr, 0);
  }
}

bool start_program(const std::string &path, const std::vector<std::string> &args,
                   const std::vector<std::pair<std::string, std::string>> &set,
                   const std::string &dir, size_t limit, bool with_input, running_program *run,
                   std::string *why)
{
  std::vector<char *> argv, envp;
  for (const std::string &arg : args)
    argv.push_back(const_cast<char *>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> environment = environment_with(set);
  for (std::string &entry : environment)
    envp.push_back(&entry[0]);
  envp.push_back(nullptr);
  int out[2], in[2] = {-1, -1};
  if (pipe2(out, O_CLOEXEC) != 0) {
    *why = std::string("could not be started (") + strerror(errno) + ")";
    return false;
  }
  if (with_input && pipe2(in, O_CLOEXEC) != 0) {
    *why = std::string("could not be started (") + strerror(errno) + ")";
    close(out[0]), close(out[1]);
    return false;
  }
  pid_t child = fork();
  if (child == 0)
    exec_child(path.c_str(), argv.data(), envp.data(), dir.empty() ? nullptr : dir.c_str(),
               in[0], out[1], limit);
  close(out[1]);
  if (in[0] >= 0)
    close(in[0]);
  if (child < 0) {
    *why = std::string("could not be started (") + strerror(errno) + ")";
    close(out[0]);
    if (in[1] >= 0)
      close(in[1]);
    return false;
  }
  note_running(child, true);
  *run = {child, in[1], out[0]};
  return true;
}

unsigned long descriptor_limit()
{
  struct rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
    return static_cast<unsigned long>(-1);
  return static_cast<unsigned long>(limit.rlim_cur);
}

bool give_input(running_program &run, const std::string &input)
{
  // A program that has ended must not end this one by SIGPIPE: the signal
  // is held for this thread and, where it came, taken back.
  sigset_t pipe_signal, before;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &before);
  bool whole = true;
  for (size_t at = 0; whole && at < input.size();) {
    ssize_t n = write(run.input, input.data() + at, input.size() - at);
    if (n < 0 && errno == EINTR)
      continue;
    whole = n > 0;
    at += whole ? n : 0;
  }
  struct timespec now{0, 0};
  while (!whole && sigtimedwait(&pipe_signal, nullptr, &now) < 0 && errno == EINTR) {
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  close(run.input);
  run.input = -1;
  return whole;
}

bool finish_program(running_program &run, unsigned seconds, size_t limit, std::string *output,
                    std::string *why)
{
  pid_t child = static_cast<pid_t>(run.id);
  if (run.input >= 0)
    close(run.input);
  bool over = false, in_time;
  {
    owned_file reading(run.output);
    in_time = collect_output(run.output, seconds, limit, output, &over);
  }
  run = {};
  if (!in_time || over)
    kill(-child, SIGKILL), kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  note_running(child, false);
  if (!in_time) {
    *why = "did not end within " + std::to_string(seconds) + " seconds";
    return false;
  }
  if (over || (WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ)) {
    *why = "wrote more than " + std::to_string(limit >> 20) + " MiB";
    return false;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && output->empty()) {
    *why = "could not be started";
    return false;
  }
  if (WIFSIGNALED(status)) {
    *why = std::string("was ended by ") + strsignal(WTERMSIG(status));
    return false;
  }
  return true;
}

bool running_p(const running_program &run)
{
  siginfo_t info{};
  return run.id > 0 &&
         waitid(P_PID, static_cast<id_t>(run.id), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == 0;
}

void end_program(running_program &run)
{
  if (run.id <= 0)
    return;
  pid_t child = static_cast<pid_t>(run.id);
  kill(-child, SIGKILL), kill(child, SIGKILL);
  std::string output, why;
  finish_program(run, 1, 0, &output, &why);
}

bool run_program(const std::string &path, const std::vector<std::string> &args,
                 const std::vector<std::pair<std::string, std::string>> &set,
                 const std::string &dir, unsigned seconds, size_t limit, std::string *output,
                 std::string *why)
{
  running_program run;
  return start_program(path, args, set, dir, limit, false, &run, why) &&
         finish_program(run, seconds, limit, output, why);
}

void remove_file(const std::string &path)
{
  unlink(path.c_str());
}

bool make_directory(const std::string &path)
{
  return mkdir(path.c_str(), 0700) == 0;
}

void remove_directory(const std::string &path)
{
  rmdir(path.c_str());
}

bool write_new_file(const std::string &path, const std::string &text)
{
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0)
    return false;
  owned_file file(fd);
  for (size_t at = 0; at < text.size();) {
    ssize_t n = write(fd, text.data() + at, text.size() - at);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    at += n;
  }
  return true;
}

} // namespace platform
