#include "pathsearch/files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// File system types whose files are made up on reading: /proc, /sys.
const long pseudo_file_systems[] = {0x9fa0 /* proc */, 0x62656572 /* sysfs */};

} // namespace

bool pseudo_file_system_p(int fd)
{
  struct statfs fs;
  if (fstatfs(fd, &fs) != 0)
    return false;
  return std::find(std::begin(pseudo_file_systems), std::end(pseudo_file_systems),
                   static_cast<long>(fs.f_type)) != std::end(pseudo_file_systems);
}

open_result open_regular(const std::string &path, int *fd, struct stat *st, int *error)
{
  *fd = -1;
  *error = 0;
  memset(st, 0, sizeof *st);
  int f = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (f < 0) {
    *error = errno;
    if (*error == ENOENT || *error == ENOTDIR || *error == ELOOP) {
      if (lstat(path.c_str(), st) != 0)
        return *error == ELOOP ? open_dangling : open_missing;
      return S_ISLNK(st->st_mode) ? open_dangling : open_missing;
    }
    if (*error == ENXIO || *error == EOPNOTSUPP) { // a socket, or a device without driver
      lstat(path.c_str(), st);
      return open_not_regular;
    }
    return open_failed;
  }
  if (fstat(f, st) != 0) {
    *error = errno;
    close(f);
    return open_failed;
  }
  if (!S_ISREG(st->st_mode) || pseudo_file_system_p(f)) {
    close(f);
    return S_ISREG(st->st_mode) ? open_pseudo : open_not_regular;
  }
  *fd = f;
  return open_ok;
}

std::string file_type_text(mode_t mode)
{
  if (S_ISDIR(mode))
    return "a directory";
  if (S_ISFIFO(mode))
    return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode))
    return "a device";
  if (S_ISSOCK(mode))
    return "a socket";
  return S_ISREG(mode) ? "a file" : "not a regular file";
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
  text.clear();
  int fd, error;
  struct stat st;
  if (open_regular(path, &fd, &st, &error) != open_ok)
    return false;
  bool ok = read_up_to(fd, SIZE_MAX, text);
  close(fd);
  return ok;
}

std::vector<std::string> files_below(const std::string &dir)
{
  std::vector<std::string> files;
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return files;
  struct pending {
    std::string dir;
    std::vector<std::pair<dev_t, ino_t>> above;
  };
  std::vector<pending> stack{{dir, {{st.st_dev, st.st_ino}}}};
  while (!stack.empty()) {
    pending here = std::move(stack.back());
    stack.pop_back();
    int fd = open(here.dir.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
      continue;
    DIR *d = fdopendir(fd);
    if (d == nullptr) {
      close(fd);
      continue;
    }
    while (const struct dirent *e = readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..")
        continue;
      std::string path = here.dir + "/" + name;
      if (fstatat(fd, e->d_name, &st, 0) != 0) {
        files.push_back(path); // a dangling link: find -L lists it
        continue;
      }
      if (!S_ISDIR(st.st_mode)) {
        files.push_back(path);
        continue;
      }
      std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
      if (name[0] == '.' ||
          std::find(here.above.begin(), here.above.end(), id) != here.above.end())
        continue;
      int sub = openat(fd, e->d_name, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
      bool pseudo = sub >= 0 && pseudo_file_system_p(sub);
      if (sub >= 0)
        close(sub);
      if (pseudo)
        continue;
      pending next{path, here.above};
      next.above.push_back(id);
      stack.push_back(std::move(next));
    }
    closedir(d);
  }
  std::sort(files.begin(), files.end());
  return files;
}
