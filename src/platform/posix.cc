// The platform layer on Linux (and other POSIX systems): files through
// POSIX calls, libraries through dlopen, the shared-memory object through
// shm_open.

#include "platform/platform.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <iterator>
#include <link.h>
#include <new>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <thread>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

// File system types whose files are made up on reading: /proc, /sys.
const long pseudo_file_systems[] = {0x9fa0 /* proc */, 0x62656572 /* sysfs */};

} // namespace

const char program_suffix[] = "";
const char kpsewhich_name[] = "kpsewhich";
const char texlive_kpsewhich_text[] = "bin/ARCH/kpsewhich";
const char texlive_cnf_text[] = "texmf-dist/web2c/texmf.cnf";

std::string display_path(const std::string &path)
{
  return path;
}

std::string tool_path(const std::string &path)
{
  return path;
}
const bool system_configuration_p = true;

const char home_variable[] = "HOME";

std::vector<std::string> program_directories()
{
  std::string path;
  environment_value("PATH", &path);
  std::vector<std::string> dirs = split_text(path, ':');
  for (std::string &dir : dirs)
    if (dir.empty())
      dir = ".";
  return dirs;
}

bool environment_value(const char *name, std::string *value)
{
  const char *v = getenv(name);
  if (v == nullptr)
    return false;
  *value = v;
  return true;
}

void set_environment(const char *name, const char *value)
{
  if (value != nullptr)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

bool executable_p(const std::string &path)
{
  return regular_file_p(path) && access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> directory_names(const std::string &dir)
{
  std::vector<std::string> names;
  std::vector<listed_entry> entries;
  int error;
  read_directory(dir, entries, &error);
  for (listed_entry &e : entries)
    if (e.name[0] != '.')
      names.push_back(std::move(e.name));
  std::sort(names.begin(), names.end());
  return names;
}

std::string real_path(const std::string &path)
{
  char *real = realpath(path.c_str(), nullptr);
  if (real == nullptr)
    return path;
  std::string answer = real;
  free(real);
  return answer;
}

std::string own_program_path(const char *argv0)
{
  return argv0;
}

bool native_arch_p(const std::string &arch)
{
  // TeX Live names its platforms ARCH-OS: x86_64-linux, aarch64-linux, ...
  struct utsname machine;
  return uname(&machine) == 0 && arch == std::string(machine.machine) + "-linux";
}


bool file_mapping_exists_p(const char *name)
{
  // POSIX names shared-memory objects with one leading slash; on Linux
  // they show as /dev/shm/NAME.
  std::string posix_name = std::string("/") + name;
  int fd = shm_open(posix_name.c_str(), O_RDWR, 0);
  if (fd < 0)
    return false;
  close(fd);
  return true;
}

int match_pattern(const char *pattern, const char *path)
{
  return fnmatch(pattern, path, FNM_CASEFOLD);
}


namespace {

// Return true if DIR followed by NAME names a directory, as Kpathsea's
// dir_p tells one on POSIX systems: stat, links followed.
bool joined_dir_p(const char *dir, const char *name)
{
  std::string path = std::string(dir) + name;
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Return true if the directory open as FD can be searched: looking up "."
// in it asks exactly what stat needs to reach its entries.
bool searchable_p(int fd)
{
  struct stat st;
  return fstatat(fd, ".", &st, 0) == 0;
}

// Return true if the entry NAME of type TYPE, listed from the directory
// open as FD, is a directory or a symbolic link to one.  SEARCHABLE caches
// whether FD can be searched (-1 until asked).
bool listed_dir_p(int fd, const char *name, unsigned char type, int &searchable)
{
  struct stat st;
  if (type == DT_LNK || type == DT_UNKNOWN)
    return fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
  if (type != DT_DIR)
    return false;
  // stat cannot reach a subdirectory of a directory that is readable but
  // not searchable, so dir_p says no; for other types it says no anyway.
  if (searchable < 0)
    searchable = searchable_p(fd);
  return searchable != 0;
}

} // namespace

void find_directories(const char *dir, const char *const *names, size_t count,
                      bool *is_dir)
{
  std::vector<char> answered(count, 0);
  size_t unanswered = count;

  // The listing answers for DIR's own entries, so DIR must end with '/'.
  // For a name or two, opening, listing and closing DIR costs more system
  // calls than a stat per name.
  size_t dir_length = strlen(dir);
  int fd = count > 2 && dir_length > 0 && dir[dir_length - 1] == '/'
               ? open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC)
               : -1;
  if (fd >= 0) {
    // An open-addressing table of the indexes of NAMES, hashed by name; a
    // name listed twice has two slots.
    const size_t empty = SIZE_MAX;
    size_t mask = 1;
    while (mask < 2 * count)
      mask <<= 1;
    mask -= 1;
    std::vector<size_t> table(mask + 1, empty);
    std::hash<std::string_view> hash;
    for (size_t i = 0; i < count; i++) {
      size_t slot = hash(names[i]) & mask;
      while (table[slot] != empty)
        slot = (slot + 1) & mask;
      table[slot] = i;
    }

    int searchable = -1;
    alignas(struct dirent64) char buffer[32768];
    ssize_t size;
    // Stop reading once every name has its answer.
    while (unanswered > 0 && (size = getdents64(fd, buffer, sizeof buffer)) > 0) {
      for (ssize_t at = 0; at < size;) {
        const struct dirent64 *entry = reinterpret_cast<const struct dirent64 *>(buffer + at);
        at += entry->d_reclen;
        std::string_view name = entry->d_name;
        // A joined path too long for stat is left to dir_p, which says no.
        if (dir_length + name.size() >= PATH_MAX)
          continue;
        int answer = -1;
        for (size_t slot = hash(name) & mask; table[slot] != empty; slot = (slot + 1) & mask) {
          size_t i = table[slot];
          if (answered[i] || strcmp(entry->d_name, names[i]) != 0)
            continue;
          if (answer < 0)
            answer = listed_dir_p(fd, entry->d_name, entry->d_type, searchable);
          is_dir[i] = answer != 0;
          answered[i] = 1;
          unanswered--;
        }
      }
    }
    close(fd);
  }
  // Names the listing lacks, or every name if it could not be read.
  for (size_t i = 0; i < count; i++)
    if (!answered[i])
      is_dir[i] = joined_dir_p(dir, names[i]);
}

namespace {

// The milliseconds every thread has waited for a descriptor so far.  The
// budget is the process's, as its descriptors are: a lack that waiting
// does not end (a limit below what the threads hold between them) fails
// every open at once after two seconds, instead of two seconds each.
std::atomic<int> descriptor_wait_ms{0};

// Open PATH with FLAGS; a lack of descriptors is waited out for a while,
// since other threads give theirs back soon.
int open_waiting(const std::string &path, int flags)
{
  for (;;) {
    int fd = open(path.c_str(), flags);
    if (fd >= 0 || (errno != EMFILE && errno != ENFILE) || descriptor_wait_ms >= 2000)
      return fd;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    descriptor_wait_ms++;
  }
}

// Return true if the open file FD lies in /proc or /sys.
bool pseudo_file_system_p(int fd)
{
  struct statfs fs;
  if (fstatfs(fd, &fs) != 0)
    return false;
  return std::find(std::begin(pseudo_file_systems), std::end(pseudo_file_systems),
                   static_cast<long>(fs.f_type)) != std::end(pseudo_file_systems);
}

} // namespace

open_result open_regular(const std::string &path, int *fd, struct stat *st, int *error)
{
  *fd = -1;
  *error = 0;
  memset(st, 0, sizeof *st);
  int f = open_waiting(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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


bool look_at(const std::string &path, bool follow, file_status *st)
{
  *st = file_status();
  struct stat s;
  if ((follow ? stat(path.c_str(), &s) : lstat(path.c_str(), &s)) != 0) {
    st->error = errno;
    return false;
  }
  st->link = S_ISLNK(s.st_mode);
  st->directory = S_ISDIR(s.st_mode);
  st->regular = S_ISREG(s.st_mode);
  st->id = {s.st_dev, s.st_ino};
  st->mode = s.st_mode & S_IFMT;
  return true;
}

bool owned_p(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 && st.st_uid == geteuid();
}

bool may_write_p(const std::string &path)
{
  return access(path.c_str(), W_OK) == 0;
}

std::string link_target(const std::string &path)
{
  char target[4096];
  ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, n) : "";
}


bool read_directory(const std::string &dir, std::vector<listed_entry> &entries, int *error)
{
  entries.clear();
  *error = 0;
  int fd = open_waiting(dir, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return false;
  }
  struct stat here;
  fstat(fd, &here);
  std::vector<std::pair<std::string, unsigned char>> names;
  alignas(struct dirent64) char buffer[32768];
  ssize_t size;
  while ((size = getdents64(fd, buffer, sizeof buffer)) > 0)
    for (ssize_t at = 0; at < size;) {
      const struct dirent64 *e = reinterpret_cast<const struct dirent64 *>(buffer + at);
      at += e->d_reclen;
      if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
        names.emplace_back(e->d_name, e->d_type);
    }
  if (size < 0)
    *error = errno;
  for (auto &[name, type] : names) {
    listed_entry &e = entries.emplace_back();
    e.name = std::move(name);
    e.directory = type == DT_DIR;
    if (type != DT_LNK && type != DT_UNKNOWN && type != DT_DIR)
      continue;
    struct stat st;
    if (fstatat(fd, e.name.c_str(), &st, 0) == 0) {
      e.directory = S_ISDIR(st.st_mode);
      e.id = {st.st_dev, st.st_ino};
    } else {
      e.dangling = type == DT_LNK || (fstatat(fd, e.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                                      S_ISLNK(st.st_mode));
      continue;
    }
    // Another file system may be /proc or /sys (a link into it).
    if (e.directory && st.st_dev != here.st_dev) {
      int sub = openat(fd, e.name.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
      e.pseudo = sub >= 0 && pseudo_file_system_p(sub);
      if (sub >= 0)
        close(sub);
    }
  }
  close(fd);
  return *error == 0;
}

std::string command_word(const std::string &s)
{
  return shell_quoted(s);
}

std::string argument_word(const std::string &s)
{
  return shell_quoted(s);
}

std::string remove_tree_command(const std::string &dir)
{
  return "rm -r " + shell_quoted(dir);
}

std::string remove_command(const std::string &file)
{
  return "rm " + shell_quoted(file);
}

std::string make_readable_command(const std::string &file)
{
  return "chmod a+r " + shell_quoted(file);
}

std::string move_command(const std::string &from, const std::string &to)
{
  return "mv " + shell_quoted(from) + " " + shell_quoted(to);
}

std::string make_directory_command(const std::string &dir)
{
  return "mkdir -p " + shell_quoted(dir);
}

std::string copy_tree_command(const std::string &from, const std::string &to)
{
  return "cp -R " + shell_quoted(from + "/.") + " " + shell_quoted(to);
}

std::string path_first_command(const std::string &dir)
{
  return "export PATH=" + shell_quoted(dir) + ":\"$PATH\"";
}

std::string privileged(const std::vector<std::string> &commands, bool allowed)
{
  std::string line;
  for (const std::string &command : commands)
    line += (line.empty() ? "" : " && ") + std::string(allowed || geteuid() == 0 ? "" : "sudo ") +
            command;
  return line;
}

} // namespace platform
