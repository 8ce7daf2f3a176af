// The lookups' empty directory, removed with all in it on every way out
// (a signal included), and the second process that makes lookups beside
// this one.

#include "platform/platform.h"
#include "platform/posix_running.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <new>
#include <string>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

// The children started, each with the pipe it writes its text to.
std::vector<std::pair<pid_t, int>> children;

// The lookups' empty directory while it exists, for the signal handler.
char lookup_directory[4096];

// Remove what lies below the directory open as DIR, then close it: the
// files and directories a program made there (none deeper than DEPTH
// levels more).  Only calls a signal handler may make.
void remove_below(int dir, int depth)
{
  // One buffer a level: a handler may not allocate.
  static char buffers[8][4096];
  if (dir < 0)
    return;
  for (int pass = 0; pass < 4 && depth < 8; pass++) {
    bool removed = false;
    lseek(dir, 0, SEEK_SET);
    long n;
    while ((n = syscall(SYS_getdents64, dir, buffers[depth], sizeof buffers[depth])) > 0) {
      for (long at = 0; at < n;) {
        struct entry {
          uint64_t ino;
          int64_t off;
          unsigned short reclen;
          unsigned char type;
          char name[1];
        };
        const entry *e = reinterpret_cast<const entry *>(buffers[depth] + at);
        at += e->reclen;
        if (strcmp(e->name, ".") == 0 || strcmp(e->name, "..") == 0)
          continue;
        if (unlinkat(dir, e->name, 0) == 0) {
          removed = true;
          continue;
        }
        int below = openat(dir, e->name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (below >= 0) {
          remove_below(below, depth + 1);
          removed = unlinkat(dir, e->name, AT_REMOVEDIR) == 0 || removed;
        }
      }
    }
    if (!removed)
      break;
  }
  close(dir);
}

// Remove the lookups' directory and whatever is in it.
void remove_lookup_directory()
{
  if (lookup_directory[0] == '\0')
    return;
  remove_below(open(lookup_directory, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), 0);
  rmdir(lookup_directory);
}

// On a signal that ends the run: end the programs it runs (LaTeX), remove
// the lookups' directory with what they left in it, then end as the signal
// would have.
void remove_lookup_directory_and_die(int sig)
{
  end_running_programs();
  remove_lookup_directory();
  signal(sig, SIG_DFL);
  raise(sig);
}

const int ending_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Make an empty directory for the lookups in the first place that allows
// it (TMPDIR, /tmp, /var/tmp, /dev/shm) and return it, or "" with *WHY.
std::string make_lookup_directory(std::string *why)
{
  // Kpathsea ends the run with exit() where it cannot go on.
  static bool registered = atexit(remove_lookup_directory) == 0;
  (void)registered;
  const char *tmp = getenv("TMPDIR");
  for (const char *place : {tmp, "/tmp", "/var/tmp", "/dev/shm"}) {
    if (place == nullptr || *place == '\0')
      continue;
    std::string dir = std::string(place) + "/lsrcheck-lookups-XXXXXX";
    if (dir.size() >= sizeof lookup_directory)
      continue;
    strcpy(lookup_directory, dir.c_str());
    if (mkdtemp(lookup_directory) != nullptr)
      return lookup_directory;
    if (why->empty())
      *why = std::string(place) + ": " + strerror(errno);
  }
  lookup_directory[0] = '\0';
  return "";
}

} // namespace

bool in_empty_directory(const std::function<void()> &fn, std::string *why)
{
  struct sigaction action{}, saved[4];
  action.sa_handler = remove_lookup_directory_and_die;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < 4; i++)
    sigaction(ending_signals[i], &action, &saved[i]);
  std::string dir = make_lookup_directory(why);
  int back = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir.empty() || chdir(dir.c_str()) != 0) {
    if (why->empty())
      *why = strerror(errno);
    if (!dir.empty())
      rmdir(dir.c_str());
    lookup_directory[0] = '\0';
    if (back >= 0)
      close(back);
    for (size_t i = 0; i < 4; i++)
      sigaction(ending_signals[i], &saved[i], nullptr);
    return false;
  }
  struct leave_directory {
    int back;
    const struct sigaction *saved;
    ~leave_directory()
    {
      if (back < 0 || fchdir(back) != 0)
        (void)!chdir("/");
      if (back >= 0)
        close(back);
      remove_lookup_directory();
      lookup_directory[0] = '\0';
      for (size_t i = 0; i < 4; i++)
        sigaction(ending_signals[i], &saved[i], nullptr);
    }
  } guard{back, saved};
  fn();
  return true;
}

bool in_directory(const std::string &dir, const std::function<void()> &fn, std::string *why)
{
  int back = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (chdir(dir.c_str()) != 0) {
    *why = dir + ": " + strerror(errno);
    if (back >= 0)
      close(back);
    return false;
  }
  struct leave_directory {
    int back;
    ~leave_directory()
    {
      if (back < 0 || fchdir(back) != 0)
        (void)!chdir("/");
      if (back >= 0)
        close(back);
    }
  } guard{back};
  fn();
  return true;
}

long start_child(const std::function<std::string()> &fn)
{
  int fds[2];
  if (pipe(fds) != 0)
    return -1;
  pid_t child = fork();
  if (child == 0) {
    // The child ends with its parent, and leaves the directory to it.
    lookup_directory[0] = '\0';
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    close(fds[0]);
    try {
      std::string text = fn();
      for (size_t at = 0; at < text.size();) {
        ssize_t n = write(fds[1], text.data() + at, text.size() - at);
        if (n <= 0)
          _exit(1);
        at += n;
      }
      _exit(0);
    } catch (const std::bad_alloc &) {
      _exit(1);
    }
  }
  close(fds[1]);
  if (child < 0) {
    close(fds[0]);
    return -1;
  }
  children.push_back({child, fds[0]});
  return static_cast<long>(children.size() - 1);
}

bool finish_child(long handle, std::string *text)
{
  auto [child, fd] = children.at(handle);
  text->clear();
  char buffer[65536];
  bool ok = true;
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      ok = false;
      break;
    }
    text->append(buffer, n);
  }
  close(fd);
  int status = 0;
  waitpid(child, &status, 0);
  return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const char path_separators[] = "/";

const char path_list_separator = ':';

const bool case_sensitive_paths_p = true;
const char mktexlsr_name[] = "mktexlsr";
const char system_mktexlsr[] = "/usr/bin/mktexlsr";
const char dpkg_info_dir[] = "/var/lib/dpkg/info";

} // namespace platform
