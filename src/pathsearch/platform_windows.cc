// The platform layer on Windows: file names go through the wide (UTF-16)
// API and are UTF-8 inside the tool; libraries through LoadLibrary; the
// shared-memory object is a named file mapping; Ghostscript is found
// through the registry, as its installer records it.

#include "pathsearch/getopt.h"
#include "pathsearch/pathsearch.h"
#include "pathsearch/platform.h"
#include "pathsearch/tailappend.h"
#include "pathsearch/wildcard.h"
#include "pathsearch/installation.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>
#include <windows.h>

const char kpsewhich_name[] = "kpsewhich.exe";
const bool system_configuration_p = false;

namespace {

// Return the UTF-16 form of the UTF-8 string TEXT.
std::wstring wide(const std::string &text)
{
  if (text.empty())
    return L"";
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

// Return the UTF-8 form of the UTF-16 string TEXT.
std::string narrow(const std::wstring &text)
{
  if (text.empty())
    return "";
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

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

// Return the string value VALUE of registry key KEY, or "".
std::string registry_string(HKEY key, const wchar_t *value)
{
  wchar_t data[2048];
  DWORD size = sizeof data - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE *>(data), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return "";
  data[size / sizeof(wchar_t)] = L'\0';
  return narrow(data);
}

// Return true if version text A ("10.02.1") is older than B, number by
// number.
bool older_version_p(const std::string &a, const std::string &b)
{
  const char *p = a.c_str(), *q = b.c_str();
  while (*p != '\0' || *q != '\0') {
    char *p_end, *q_end;
    long x = strtol(p, &p_end, 10), y = strtol(q, &q_end, 10);
    if (x != y)
      return x < y;
    p = *p_end != '\0' ? p_end + 1 : p_end;
    q = *q_end != '\0' ? q_end + 1 : q_end;
    if (p_end == p && q_end == q)
      break;
  }
  return false;
}

// Append to OUT the Ghostscript installations recorded under ROOT, newest
// first: SOFTWARE\GPL Ghostscript\VERSION with values GS_DLL and GS_LIB.
void registry_ghostscripts(HKEY root, std::vector<library_candidate> &out)
{
  HKEY key;
  if (RegOpenKeyExW(root, L"SOFTWARE\\GPL Ghostscript", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return;
  std::vector<std::string> versions;
  wchar_t name[256];
  for (DWORD i = 0;; i++) {
    DWORD length = sizeof name / sizeof name[0];
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    versions.push_back(narrow(name));
  }
  std::sort(versions.begin(), versions.end(),
            [](const std::string &a, const std::string &b) { return older_version_p(b, a); });
  for (const std::string &version : versions) {
    HKEY sub;
    if (RegOpenKeyExW(key, wide(version).c_str(), 0, KEY_READ, &sub) != ERROR_SUCCESS)
      continue;
    library_candidate c{registry_string(sub, L"GS_DLL"), registry_string(sub, L"GS_LIB")};
    RegCloseKey(sub);
    if (!c.dll.empty())
      out.push_back(c);
  }
  RegCloseKey(key);
}

bool database_load_skipped;

} // namespace

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

bool regular_file_p(const std::string &path)
{
  BY_HANDLE_FILE_INFORMATION info;
  return file_information(path, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool directory_p(const std::string &path)
{
  BY_HANDLE_FILE_INFORMATION info;
  return file_information(path, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool executable_p(const std::string &path)
{
  return regular_file_p(path);
}

bool present_p(const std::string &path)
{
  return attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool same_file_p(const std::string &a, const std::string &b)
{
  BY_HANDLE_FILE_INFORMATION x, y;
  return file_information(a, &x) && file_information(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
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

void prepare_path_search()
{
  kpse_def_inst.File_system_codepage = CP_UTF8;
}

void *load_library(const char *name)
{
  // A DLL named by its path finds the DLLs it needs beside it.
  return LoadLibraryExW(wide(name).c_str(), nullptr,
                        strpbrk(name, "/\\") != nullptr ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
}

void *library_symbol(void *library, const char *symbol)
{
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), symbol));
}

std::string library_path(void *library)
{
  wchar_t buffer[32768];
  DWORD n = GetModuleFileNameW(static_cast<HMODULE>(library), buffer,
                               sizeof buffer / sizeof buffer[0]);
  return n == 0 || n >= sizeof buffer / sizeof buffer[0] ? "" : narrow(std::wstring(buffer, n));
}

void close_library(void *library)
{
  FreeLibrary(static_cast<HMODULE>(library));
}

std::vector<library_candidate> ghostscript_libraries()
{
  std::vector<library_candidate> found;
  registry_ghostscripts(HKEY_LOCAL_MACHINE, found);
  registry_ghostscripts(HKEY_CURRENT_USER, found);
  // TeX Live for Windows carries a Ghostscript of its own for its tools.
  std::string program, why;
  if (default_installation("", &program, &why)) {
    std::string root = texlive_root_of(program);
    if (!root.empty())
      for (const char *dll : {"gsdll64.dll", "gsdll32.dll"})
        if (regular_file_p(root + "/tlpkg/tlgs/bin/" + dll))
          found.push_back({root + "/tlpkg/tlgs/bin/" + dll,
                           root + "/tlpkg/tlgs/lib;" + root + "/tlpkg/tlgs/fonts"});
  }
  return found;
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

void skip_database_load()
{
  database_load_skipped = true;
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
        std::string name = narrow(found.cFileName);
        for (char &c : name)
          c = c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
        listed[name] = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      } while (FindNextFileW(h, &found));
      FindClose(h);
    }
  }
  for (size_t i = 0; i < count; i++) {
    std::string name = names[i];
    for (char &c : name)
      c = c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    auto at = listed.find(name);
    if (at != listed.end()) {
      is_dir[i] = at->second;
    } else {
      DWORD a = attributes(std::string(dir) + names[i]);
      is_dir[i] = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
  }
}

// Symbol interposition, which makes Kpathsea's appends constant-time on
// Linux, has no counterpart with a static library: Kpathsea appends as it
// always does, and the table is walked bucket by bucket.
void begin_tail_appends(hash_table_type *)
{
}

void end_tail_appends()
{
}

bool bucket_formula_agrees_p(unsigned)
{
  return false;
}

bool last_append_fast_p()
{
  return false;
}

const std::vector<logged_entry> *load_log(const hash_table_type *)
{
  return nullptr;
}

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
