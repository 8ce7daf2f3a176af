#include "pathsearch/files.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

std::string collapsed_path(const std::string &path)
{
  std::string out;
  out.reserve(path.size());
  for (char c : path)
    if (c != '/' || out.empty() || out.back() != '/')
      out += c;
  return out;
}

bool read_up_to(int fd, size_t limit, std::string &text)
{
  text.clear();
  char buffer[65536];
  while (text.size() < limit) {
    ssize_t n = read(fd, buffer, std::min(sizeof buffer, limit - text.size()));
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return false;
    if (n == 0)
      break;
    text.append(buffer, n);
  }
  return true;
}

bool read_whole_file(const std::string &path, std::string &text)
{
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  bool ok = read_up_to(fd, SIZE_MAX, text);
  close(fd);
  return ok;
}

unsigned thread_count(unsigned wanted)
{
  return wanted > 0 ? wanted : std::max(1u, std::thread::hardware_concurrency());
}
