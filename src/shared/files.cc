// The routines of files.h that need no system call: the same on every
// platform.

#include "shared/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

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
  return case_sensitive_paths_p ? key : ascii_folded(key);
}


unsigned thread_count(unsigned wanted)
{
  return wanted > 0 ? wanted : std::max(1u, std::thread::hardware_concurrency());
}


bool read_whole_file(const std::string &path, std::string &text)
{
  text.clear();
  int fd, error;
  struct stat st;
  if (open_regular(path, &fd, &st, &error) != open_ok)
    return false;
  owned_file file(fd);
  return read_up_to(fd, SIZE_MAX, text);
}

void walk_files(const std::string &dir,
                const std::function<bool(const std::string &, const listed_entry &)> &fn)
{
  file_status top;
  if (!look_at(dir, true, &top) || !top.directory)
    return;
  struct pending {
    std::string dir;
    std::vector<file_id> above;
  };
  std::vector<pending> stack{{dir, {top.id}}};
  std::vector<listed_entry> entries;
  while (!stack.empty()) {
    pending here = std::move(stack.back());
    stack.pop_back();
    int error;
    read_directory(here.dir, entries, &error);
    for (const listed_entry &e : entries) {
      std::string path = here.dir + "/" + e.name;
      // A dangling link is listed, as find -L lists it.
      if (!e.directory) {
        if (!fn(path, e))
          return;
        continue;
      }
      if (e.name[0] == '.' || e.pseudo ||
          std::find(here.above.begin(), here.above.end(), e.id) != here.above.end())
        continue;
      pending next{path, here.above};
      next.above.push_back(e.id);
      stack.push_back(std::move(next));
    }
  }
}

std::vector<std::string> files_below(const std::string &dir)
{
  std::vector<std::string> files;
  walk_files(dir, [&](const std::string &path, const listed_entry &) {
    files.push_back(path);
    return true;
  });
  std::sort(files.begin(), files.end());
  return files;
}
