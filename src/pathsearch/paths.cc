// The routines of files.h that need no system call: the same on every
// platform.

#include "pathsearch/files.h"

#include <algorithm>
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

unsigned thread_count(unsigned wanted)
{
  return wanted > 0 ? wanted : std::max(1u, std::thread::hardware_concurrency());
}
