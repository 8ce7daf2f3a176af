// The platform layer on Linux (and other POSIX systems): files through
// POSIX calls, libraries through dlopen, the shared-memory object through
// shm_open, and two of Kpathsea's functions taken over by symbol
// interposition (see tailappend.h and kpathsea_init_db below).

#include "pathsearch/platform.h"
#include "pathsearch/files.h"
#include "pathsearch/pathsearch.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <functional>
#include <link.h>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

const char kpsewhich_name[] = "kpsewhich";
const bool system_configuration_p = true;

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

bool regular_file_p(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directory_p(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool executable_p(const std::string &path)
{
  return regular_file_p(path) && access(path.c_str(), X_OK) == 0;
}

bool present_p(const std::string &path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool same_file_p(const std::string &a, const std::string &b)
{
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::vector<std::string> directory_names(const std::string &dir)
{
  std::vector<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (const struct dirent *e = readdir(d))
      if (e->d_name[0] != '.')
        names.push_back(e->d_name);
    closedir(d);
  }
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

void prepare_path_search()
{
}

void *load_library(const char *name)
{
  return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void *library_symbol(void *library, const char *symbol)
{
  dlerror();
  return dlsym(library, symbol);
}

std::string library_path(void *library)
{
  struct link_map *map = nullptr;
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)
    return "";
  char *real = realpath(map->l_name, nullptr);
  if (real == nullptr)
    return map->l_name[0] == '/' ? map->l_name : "";
  std::string path = real;
  free(real);
  return path;
}

void close_library(void *library)
{
  dlclose(library);
}

std::vector<library_candidate> ghostscript_libraries()
{
  // The names Debian's libgs packages install, newest first; the dynamic
  // linker knows where.
  return {{"libgs.so.10", ""}, {"libgs.so.9", ""}};
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

bool database_load_skipped;

} // namespace

void skip_database_load()
{
  database_load_skipped = true;
}

namespace {

// Return TEXMFDBS of KPSE without the trees whose ls-R is no regular file
// (a FIFO would hang Kpathsea's load, /dev/zero would fill memory), saying
// so on standard error; "" if every tree may be loaded, "-" if none.
std::string loadable_databases(kpathsea kpse)
{
  char *value = kpathsea_var_value(kpse, "TEXMFDBS");
  if (value == nullptr)
    return "";
  char *expanded = kpathsea_brace_expand(kpse, value);
  free(value);
  std::string kept;
  bool dropped = false;
  std::string all = expanded;
  for (size_t from = 0; from <= all.size();) {
    size_t end = all.find(ENV_SEP, from);
    if (end == std::string::npos)
      end = all.size();
    std::string tree = all.substr(from, end - from);
    from = end + 1;
    if (tree.empty())
      continue;
    bool bad = false;
    for (const char *name : {"/ls-R", "/ls-r"}) {
      std::string db = (tree.compare(0, 2, "!!") == 0 ? tree.substr(2) : tree) + name;
      struct stat st;
      int fd, error;
      open_result result = open_regular(db, &fd, &st, &error);
      if (result == open_ok)
        close(fd);
      static std::vector<std::string> warned; // Kpathsea may load more than once
      if ((result == open_not_regular || result == open_pseudo) &&
          std::find(warned.begin(), warned.end(), db) == warned.end()) {
        warned.push_back(db);
        fprintf(stderr, "lsrcheck: warning, %s: %s: left out of the databases\n", db.c_str(),
                open_failure_text(result, st, error).c_str());
      }
      bad = bad || result == open_not_regular || result == open_pseudo;
    }
    dropped = dropped || bad;
    if (!bad)
      kept += (kept.empty() ? "" : std::string(1, ENV_SEP)) + tree;
  }
  free(expanded);
  // An empty element would stand for texmf.cnf's value: with nothing
  // left, nothing is loaded at all.
  if (dropped && kept.empty())
    return "-";
  return dropped ? kept : "";
}

} // namespace

// Kpathsea's reading of texmf.cnf calls this, through its PLT, to load the
// databases; the library's own function does the work unless told not to.
// An ls-R that is no regular file is never opened.
extern "C" void kpathsea_init_db(kpathsea kpse)
{
  typedef void (*init_fn)(kpathsea);
  static init_fn library_init = reinterpret_cast<init_fn>(dlsym(RTLD_NEXT, "kpathsea_init_db"));
  if (database_load_skipped || library_init == nullptr)
    return;
  std::string loadable = loadable_databases(kpse);
  if (loadable == "-")
    return;
  const char *saved = getenv("TEXMFDBS");
  std::string before = saved != nullptr ? saved : "";
  if (!loadable.empty())
    set_environment("TEXMFDBS", loadable.c_str());
  library_init(kpse);
  if (!loadable.empty()) {
    if (saved != nullptr)
      set_environment("TEXMFDBS", before.c_str());
    else
      set_environment("TEXMFDBS", nullptr);
  }
}

namespace {

// Return true if DIR followed by NAME names a directory.
bool joined_dir_p(const char *dir, const char *name)
{
  char *path = concat(dir, name);
  bool answer = dir_p(path);
  free(path);
  return answer;
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

