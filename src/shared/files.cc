// The routines of files.h that need no system call: the same on every
// platform.

#include "shared/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdint>
#include <string>
#include <thread>

std::string collapsed_path(const std::string &path)
{
  std::string out;
  out.reserve(path.size());
  for (char c : path)
    if (c != '/' || out.empty() || out.back() != '/')
      out += c;
  return out;
}

std::string path_key(const std::string &path)
{
  std::string key = collapsed_path(path);
  return platform::case_sensitive_paths_p ? key : platform::ascii_folded(key);
}


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

