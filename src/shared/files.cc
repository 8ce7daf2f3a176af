// Reading a file whole, and the number of workers: the same on every
// platform.

#include "shared/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <thread>

unsigned thread_count(unsigned wanted)
{
  return wanted > 0 ? wanted : std::max(1u, std::thread::hardware_concurrency());
}


bool read_whole_file(const std::string &path, std::string &text, std::string *why)
{
  text.clear();
  int fd, error;
  struct stat st;
  platform::open_result opened = platform::open_regular(path, &fd, &st, &error);
  if (opened != platform::open_ok) {
    if (why != nullptr)
      *why = platform::open_failure_text(opened, st, error);
    return false;
  }
  platform::owned_file file(fd);
  if (platform::read_up_to(fd, SIZE_MAX, text))
    return true;
  if (why != nullptr)
    *why = strerror(errno);
  return false;
}


time_t modified_time(const std::string &path)
{
  int fd, error;
  struct stat st;
  if (platform::open_regular(path, &fd, &st, &error) != platform::open_ok)
    return 0;
  platform::close_file(fd);
  return st.st_mtime;
}
