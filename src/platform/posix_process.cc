// Programs of another installation's: a second program run with a time
// limit, and the files it leaves behind removed.

#include "platform/platform.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

bool run_program(const std::string &path, const std::vector<std::string> &args,
                 const std::vector<std::pair<std::string, std::string>> &set, unsigned seconds,
                 size_t limit, std::string *output, std::string *why)
{
  std::vector<char *> argv;
  for (const std::string &arg : args)
    argv.push_back(const_cast<char *>(arg.c_str()));
  argv.push_back(nullptr);
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    *why = std::string("could not be started (") + strerror(errno) + ")";
    return false;
  }
  pid_t child = fork();
  if (child == 0) {
    // A group of its own, so that whatever it starts ends with it.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // A file grown past LIMIT ends it, without a core file.
    struct rlimit fsize{limit, limit}, core{0, 0};
    setrlimit(RLIMIT_FSIZE, &fsize);
    setrlimit(RLIMIT_CORE, &core);
    signal(SIGXFSZ, SIG_DFL);
    int null = open("/dev/null", O_RDWR);
    if (null < 0 || dup2(null, 0) < 0 || dup2(fds[1], 1) < 0 || dup2(null, 2) < 0)
      _exit(127);
    for (const auto &[name, value] : set)
      setenv(name.c_str(), value.c_str(), 1);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  if (child < 0) {
    *why = std::string("could not be started (") + strerror(errno) + ")";
    close(fds[0]);
    return false;
  }
  owned_file reading(fds[0]);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  bool in_time = true, over = false;
  char buffer[65536];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    struct pollfd wait_for{fds[0], POLLIN, 0};
    int ready = left.count() > 0 ? poll(&wait_for, 1, static_cast<int>(left.count())) : 0;
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready <= 0) {
      in_time = false;
      break;
    }
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    output->append(buffer, n);
    if (output->size() > limit) {
      over = true;
      break;
    }
  }
  if (!in_time || over)
    kill(-child, SIGKILL), kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
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

void remove_file(const std::string &path)
{
  unlink(path.c_str());
}

} // namespace platform
