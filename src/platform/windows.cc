// The platform layer on Windows: file names go through the wide (UTF-16)
// API and are UTF-8 inside the tool; libraries through LoadLibrary; the
// shared-memory object is a named file mapping; Ghostscript is found
// through the registry, as its installer records it.

#include "platform/getopt.h"
#include "platform/platform.h"
#include "platform/wildcard.h"
#include "platform/windows_text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <io.h>
#include <string>
#include <sys/stat.h>
#include <unordered_map>
#include <utility>
#include <vector>
#include <windows.h>

namespace platform {

const char program_suffix[] = ".exe";
const char kpsewhich_name[] = "kpsewhich.exe";
const char texlive_kpsewhich_text[] = "bin\\windows\\kpsewhich.exe";
const char texlive_cnf_text[] = "texmf-dist\\web2c\\texmf.cnf";

std::string display_path(const std::string &path)
{
  // Kpathsea spells the drive c:, the environment (USERPROFILE) C:.
  if (path.size() >= 3 && isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      (path[2] == '/' || path[2] == '\\')) {
    std::string shown = path;
    shown[0] = static_cast<char>(toupper(static_cast<unsigned char>(path[0])));
    return shown;
  }
  return path;
}

std::string tool_path(const std::string &path)
{
  std::string slashed = path;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  return slashed;
}

const bool system_configuration_p = false;

namespace {

// Return PATH with '\\' made '/', the tool's separator on both platforms.
std::string slashed(std::string path)
{
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// Open PATH, after links, only to ask about it; INVALID_HANDLE_VALUE if
// it cannot be.
HANDLE open_for_query(const std::string &path)
{
  return CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Fill *INFO about PATH after links; return false if it cannot be had.
bool file_information(const std::string &path, BY_HANDLE_FILE_INFORMATION *info)
{
  HANDLE h = open_for_query(path);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  bool ok = GetFileInformationByHandle(h, info) != 0;
  CloseHandle(h);
  return ok;
}

// Return the attributes of PATH (of a link itself, not its target), or
// INVALID_FILE_ATTRIBUTES.
DWORD attributes(const std::string &path)
{
  return GetFileAttributesW(wide(path).c_str());
}

} // namespace

const char home_variable[] = "USERPROFILE";

bool environment_value(const char *name, std::string *value)
{
  const wchar_t *v = _wgetenv(wide(name).c_str());
  if (v == nullptr)
    return false;
  *value = narrow(v);
  return true;
}

void set_environment(const char *name, const char *value)
{
  // Kpathsea reads the C runtime's narrow environment, in its own encoding.
  _putenv_s(name, value != nullptr ? value : "");
}

bool executable_p(const std::string &path)
{
  return regular_file_p(path);
}

std::vector<std::string> directory_names(const std::string &dir)
{
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileExW(wide(dir + "/*").c_str(), FindExInfoBasic, &found,
                              FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE)
    return names;
  do {
    if (found.cFileName[0] != L'.')
      names.push_back(narrow(found.cFileName));
  } while (FindNextFileW(h, &found));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

std::string real_path(const std::string &path)
{
  HANDLE h = open_for_query(path);
  if (h == INVALID_HANDLE_VALUE)
    return path;
  wchar_t buffer[32768];
  DWORD n = GetFinalPathNameByHandleW(h, buffer, sizeof buffer / sizeof buffer[0],
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(h);
  if (n == 0 || n >= sizeof buffer / sizeof buffer[0])
    return path;
  std::wstring full(buffer, n);
  // The answer comes as \\?\C:\...; the plain form is the one users know.
  if (full.compare(0, 8, L"\\\\?\\UNC\\") == 0)
    full = L"\\\\" + full.substr(8);
  else if (full.compare(0, 4, L"\\\\?\\") == 0)
    full = full.substr(4);
  return slashed(narrow(full));
}

std::string own_program_path(const char *argv0)
{
  wchar_t buffer[32768];
  DWORD n = GetModuleFileNameW(nullptr, buffer, sizeof buffer / sizeof buffer[0]);
  if (n == 0 || n >= sizeof buffer / sizeof buffer[0])
    return argv0;
  return slashed(narrow(std::wstring(buffer, n)));
}

bool native_arch_p(const std::string &arch)
{
  // TeX Live's 64-bit Windows programs: bin/windows since 2023, bin/win64
  // before.
  return arch == "windows" || arch == "win64";
}

bool file_mapping_exists_p(const char *name)
{
  HANDLE h = OpenFileMappingA(FILE_MAP_ALL_ACCESS, TRUE, name);
  if (h == nullptr)
    return false;
  CloseHandle(h);
  return true;
}

int match_pattern(const char *pattern, const char *path)
{
  return wildcard_match_p(pattern, path) ? 0 : pattern_no_match;
}

void find_directories(const char *dir, const char *const *names, size_t count, bool *is_dir)
{
  // Windows Kpathsea lower-cases the names it loads: a listing of DIR,
  // folded the same way, answers for them all at once.
  std::unordered_map<std::string, bool> listed;
  if (count > 2) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileExW(wide(std::string(dir) + "*").c_str(), FindExInfoBasic, &found,
                                FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        std::string name = ascii_folded(narrow(found.cFileName));
        listed[name] = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      } while (FindNextFileW(h, &found));
      FindClose(h);
    }
  }
  for (size_t i = 0; i < count; i++) {
    std::string name = ascii_folded(names[i]);
    auto at = listed.find(name);
    if (at != listed.end()) {
      is_dir[i] = at->second;
    } else {
      DWORD a = attributes(std::string(dir) + names[i]);
      is_dir[i] = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
  }
}

} // namespace platform

// The C library of Windows has no getopt_long_only of GNU's kind.
extern "C" {
int optind = 1;
int opterr = 1;
int optopt = '?';
char *optarg = nullptr;
}

int getopt_long_only(int argc, char *const *argv, const char *shortopts,
                     const struct option *longopts, int *index)
{
  static gnu_getopt_state state;
  state.optind = optind;
  state.opterr = opterr;
  int code = gnu_getopt_long_only(argc, const_cast<char **>(argv), shortopts, longopts, index,
                                  &state);
  optind = state.optind;
  optarg = state.optarg;
  optopt = state.optopt;
  return code;
}

namespace platform {

const char path_separators[] = "/\\";

const char path_list_separator = ';';

const bool case_sensitive_paths_p = false;
const char mktexlsr_name[] = "mktexlsr.exe";
const char system_mktexlsr[] = "";
const char dpkg_info_dir[] = "";

namespace {

// Return the errno that stands for the Windows error CODE.
int errno_of(DWORD code)
{
  switch (code) {
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
  case ERROR_INVALID_NAME:
  case ERROR_BAD_NETPATH:
    return ENOENT;
  case ERROR_DIRECTORY: return ENOTDIR;
  case ERROR_ACCESS_DENIED:
  case ERROR_SHARING_VIOLATION:
    return EACCES;
  case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
  case ERROR_NOT_ENOUGH_MEMORY:
  case ERROR_OUTOFMEMORY:
    return ENOMEM;
  case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
  default: return EIO;
  }
}

// The identity of the file described by INFO.
file_id id_of(const BY_HANDLE_FILE_INFORMATION &info)
{
  return {info.dwVolumeSerialNumber,
          static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

} // namespace

bool look_at(const std::string &path, bool follow, file_status *st)
{
  *st = file_status();
  DWORD a = attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES) {
    st->error = errno_of(GetLastError());
    return false;
  }
  // Symbolic links and junctions are both reparse points; unfollowed,
  // the attributes say all that is asked.
  st->link = (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (!follow) {
    st->directory = !st->link && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    st->regular = !st->link && !st->directory;
    st->mode = st->link ? 0 : st->directory ? S_IFDIR : S_IFREG;
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!file_information(path, &info)) {
    // A link whose target cannot be reached leads nowhere.
    DWORD code = GetLastError();
    st->error = st->link ? ENOENT : errno_of(code);
    if (!st->link && code == ERROR_ACCESS_DENIED) {
      // A file we may not open is still there: say what it is.
      st->error = 0;
      st->directory = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
      st->regular = !st->directory;
      st->mode = st->directory ? S_IFDIR : S_IFREG;
      return true;
    }
    return false;
  }
  st->directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  st->regular = !st->directory;
  st->mode = st->directory ? S_IFDIR : S_IFREG;
  st->id = id_of(info);
  return true;
}

bool owned_p(const std::string &path)
{
  return may_write_p(path);
}

bool may_write_p(const std::string &path)
{
  // What the file's access control list grants this user: the read-only
  // attribute says nothing for a directory.
  DWORD a = attributes(path);
  if (a == INVALID_FILE_ATTRIBUTES)
    return false;
  bool directory = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!directory && (a & FILE_ATTRIBUTE_READONLY) != 0)
    return false;
  std::wstring name = wide(path);
  const SECURITY_INFORMATION wanted =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  GetFileSecurityW(name.c_str(), wanted, nullptr, 0, &size);
  std::vector<char> descriptor(size);
  if (size == 0 || !GetFileSecurityW(name.c_str(), wanted, descriptor.data(), size, &size))
    return true; // no list to ask: the file system does not keep one
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    if (!ImpersonateSelf(SecurityImpersonation))
      return true;
    bool opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
    RevertToSelf();
    if (!opened)
      return true;
  }
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  DWORD access = directory ? FILE_ADD_FILE | FILE_DELETE_CHILD : FILE_GENERIC_WRITE;
  MapGenericMask(&access, &mapping);
  PRIVILEGE_SET privileges;
  DWORD privileges_size = sizeof privileges, granted = 0;
  BOOL allowed = FALSE;
  bool asked = AccessCheck(descriptor.data(), token, access, &mapping, &privileges,
                           &privileges_size, &granted, &allowed);
  CloseHandle(token);
  return !asked || allowed;
}

std::string link_target(const std::string &path)
{
  // Where a link leads is kept in its reparse data; what a user can act on
  // is that it leads nowhere.
  (void)path;
  return "";
}

bool read_directory(const std::string &dir, std::vector<listed_entry> &entries, int *error)
{
  entries.clear();
  *error = 0;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileExW(wide(dir + "/*").c_str(), FindExInfoBasic, &found,
                              FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) {
    *error = errno_of(GetLastError());
    return false;
  }
  do {
    std::string name = narrow(found.cFileName);
    if (name == "." || name == "..")
      continue;
    listed_entry &e = entries.emplace_back();
    e.name = std::move(name);
    DWORD a = found.dwFileAttributes;
    e.directory = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!e.directory && (a & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
      continue;
    // Directories need their identity (a link may lead back to one above);
    // links and junctions are followed, as mktexlsr lists them.
    BY_HANDLE_FILE_INFORMATION info;
    if (file_information(dir + "/" + e.name, &info)) {
      e.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      e.id = id_of(info);
    } else if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
      e.directory = false;
      e.dangling = true;
    }
  } while (FindNextFileW(h, &found));
  DWORD code = GetLastError();
  FindClose(h);
  if (code != ERROR_NO_MORE_FILES)
    *error = errno_of(code);
  return *error == 0;
}

namespace {

// The lookups' empty directory while it exists, and the directory to go
// back to, for the console event handler.
std::wstring lookup_directory, directory_before;

// Remove the lookups' directory, if there is one.
void remove_lookup_directory()
{
  if (lookup_directory.empty())
    return;
  // Windows removes no directory that is a process's current directory.
  SetCurrentDirectoryW(directory_before.empty() ? L"\\" : directory_before.c_str());
  RemoveDirectoryW(lookup_directory.c_str());
  lookup_directory.clear();
}

// On Ctrl+C, Ctrl+Break or the console's closing: remove the directory,
// then let the run end as it would have.
BOOL WINAPI console_event(DWORD)
{
  remove_lookup_directory();
  return FALSE;
}

} // namespace

bool in_empty_directory(const std::function<void()> &fn, std::string *why)
{
  wchar_t temp[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH) {
    *why = "no directory for temporary files";
    return false;
  }
  wchar_t before[32768];
  DWORD b = GetCurrentDirectoryW(32768, before);
  directory_before = b > 0 && b < 32768 ? before : L"";
  std::wstring dir;
  for (unsigned attempt = 0;; attempt++) {
    dir = std::wstring(temp) + L"lsrcheck-lookups-" + std::to_wstring(GetCurrentProcessId()) +
          L"-" + std::to_wstring(GetTickCount() + attempt);
    if (CreateDirectoryW(dir.c_str(), nullptr))
      break;
    if (GetLastError() != ERROR_ALREADY_EXISTS || attempt == 100) {
      *why = narrow(temp) + ": " + strerror(errno_of(GetLastError()));
      return false;
    }
  }
  lookup_directory = dir;
  SetConsoleCtrlHandler(console_event, TRUE);
  // An exit from inside Kpathsea (a fatal error) still removes it.
  static bool registered = false;
  if (!registered)
    registered = atexit(remove_lookup_directory) == 0;
  if (!SetCurrentDirectoryW(dir.c_str())) {
    *why = narrow(dir) + ": " + strerror(errno_of(GetLastError()));
    remove_lookup_directory();
    SetConsoleCtrlHandler(console_event, FALSE);
    return false;
  }
  struct leave_directory {
    ~leave_directory()
    {
      remove_lookup_directory();
      SetConsoleCtrlHandler(console_event, FALSE);
    }
  } guard;
  fn();
  return true;
}

bool in_directory(const std::string &dir, const std::function<void()> &fn, std::string *why)
{
  wchar_t before[32768];
  DWORD b = GetCurrentDirectoryW(32768, before);
  std::wstring back = b > 0 && b < 32768 ? before : L"\\";
  if (!SetCurrentDirectoryW(wide(dir).c_str())) {
    *why = dir + ": " + strerror(errno_of(GetLastError()));
    return false;
  }
  struct leave_directory {
    std::wstring back;
    ~leave_directory() { SetCurrentDirectoryW(back.c_str()); }
  } guard{back};
  fn();
  return true;
}

long start_child(const std::function<std::string()> &)
{
  // No fork: the lookups of every program run in this process.
  return -1;
}

bool finish_child(long, std::string *)
{
  return false;
}

open_result open_regular(const std::string &path, int *fd, struct stat *st, int *error)
{
  *fd = -1;
  *error = 0;
  memset(st, 0, sizeof *st);
  // One open that follows links and reaches directories too, one query:
  // most members are plain files, and each call costs.
  HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    file_status link;
    if (look_at(path, false, &link) && link.link)
      return open_dangling;
    *error = errno_of(code);
    return *error == ENOENT || *error == ENOTDIR ? open_missing : open_failed;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) {
    *error = errno_of(GetLastError());
    CloseHandle(h);
    return open_failed;
  }
  // Seconds since 1970 from 100-nanosecond ticks since 1601.
  uint64_t ticks = static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32 |
                   info.ftLastWriteTime.dwLowDateTime;
  st->st_mtime = static_cast<time_t>(ticks / 10000000 - 11644473600ULL);
  st->st_size = static_cast<long long>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    st->st_mode = S_IFDIR;
    CloseHandle(h);
    return open_not_regular;
  }
  st->st_mode = S_IFREG;
  int f = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
  if (f < 0) {
    *error = errno;
    CloseHandle(h);
    return open_failed;
  }
  *fd = f;
  return open_ok;
}

std::string file_type_text(mode_t mode)
{
  if (S_ISDIR(mode))
    return "a directory";
  if (S_ISCHR(mode))
    return "a device";
  return S_ISREG(mode) ? "a file" : "not a regular file";
}

} // namespace platform
