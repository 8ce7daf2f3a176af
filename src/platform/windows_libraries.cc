// Libraries loaded at run time on Windows (LoadLibraryEx), and the
// Ghostscript installations the registry records.

#include "platform/platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

#include "platform/windows_text.h"

namespace platform {

namespace {

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

// Return the value Path of the registry key KEY below ROOT, its %VARIABLES%
// expanded, or "".
std::string registry_path(HKEY root, const wchar_t *key)
{
  DWORD size = 0;
  const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  if (RegGetValueW(root, key, L"Path", flags, nullptr, nullptr, &size) != ERROR_SUCCESS)
    return "";
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (RegGetValueW(root, key, L"Path", flags, nullptr, value.data(), &size) != ERROR_SUCCESS)
    return "";
  value.resize(wcslen(value.c_str()));
  DWORD n = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
  std::wstring expanded(n, L'\0');
  if (n == 0 || ExpandEnvironmentStringsW(value.c_str(), expanded.data(), n) == 0)
    return narrow(value.c_str());
  return narrow(expanded.c_str());
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
// Return the system's text for the error code ERROR, without its line end.
std::string system_message(DWORD error)
{
  wchar_t *text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
  std::string message = n != 0 && text != nullptr ? narrow(std::wstring(text, n)) : "";
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(error) : message;
}

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
    library_candidate c{registry_string(sub, L"GS_DLL"), registry_string(sub, L"GS_LIB"),
                        std::string(root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU") +
                            "\\SOFTWARE\\GPL Ghostscript\\" + version + " GS_DLL"};
    RegCloseKey(sub);
    if (!c.dll.empty())
      out.push_back(c);
  }
  RegCloseKey(key);
}

} // namespace

void *load_library(const char *name, std::string *why)
{
  // A DLL named by its path finds the DLLs it needs beside it.
  HMODULE library = LoadLibraryExW(wide(name).c_str(), nullptr,
                                   strpbrk(name, "/\\") != nullptr ? LOAD_WITH_ALTERED_SEARCH_PATH
                                                                    : 0);
  if (library == nullptr && why != nullptr)
    *why = system_message(GetLastError());
  return library;
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
  return found;
}

std::vector<std::string> program_directories()
{
  std::string path;
  environment_value("PATH", &path);
  std::vector<std::string> dirs = split_text(path, ';');
  for (std::string &dir : dirs)
    if (dir.empty())
      dir = ".";
  // A program started anew gets the system's PATH, then the user's.
  for (auto [root, key] : {std::pair<HKEY, const wchar_t *>{HKEY_LOCAL_MACHINE,
                             L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"},
                           {HKEY_CURRENT_USER, L"Environment"}})
    for (const std::string &dir : split_text(registry_path(root, key), ';'))
      if (!dir.empty() && std::none_of(dirs.begin(), dirs.end(), [&](const std::string &d) {
            return ascii_folded(d) == ascii_folded(dir);
          }))
        dirs.push_back(dir);
  return dirs;
}

} // namespace platform
