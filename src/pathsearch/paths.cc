// The routines of files.h that need no system call: the same on every
// platform.

#include "pathsearch/files.h"
#include "pathsearch/platform.h"

#include <algorithm>
#include <cstring>
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

std::string path_key(const std::string &path)
{
  std::string key = collapsed_path(path);
  if (!case_sensitive_paths_p)
    for (char &c : key)
      c = c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
  return key;
}

unsigned thread_count(unsigned wanted)
{
  return wanted > 0 ? wanted : std::max(1u, std::thread::hardware_concurrency());
}

std::string open_failure_text(open_result result, const struct stat &st, int error)
{
  switch (result) {
  case open_ok: return "";
  case open_missing: return "it does not exist";
  case open_dangling: return "a dangling symbolic link";
  case open_not_regular: return "it is " + file_type_text(st.st_mode) + ", not a file";
  case open_pseudo: return "it lies in /proc or /sys";
  case open_failed: return strerror(error);
  }
  return "";
}

bool read_whole_file(const std::string &path, std::string &text)
{
  text.clear();
  int fd, error;
  struct stat st;
  if (open_regular(path, &fd, &st, &error) != open_ok)
    return false;
  bool ok = read_up_to(fd, SIZE_MAX, text);
  close(fd);
  return ok;
}
