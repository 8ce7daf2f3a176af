// Splitting and comparing paths: the same on every platform but for the
// separators and whether case counts.

#include "shared/paths.h"

#include <cctype>

#include "platform/platform.h"

namespace {

// Return the place of PATH's last separator, or npos.
size_t last_separator(std::string_view path)
{
  return path.find_last_of(platform::path_separators);
}

} // namespace

bool absolute_path_p(std::string_view path)
{
  if (!path.empty() && std::string_view(platform::path_separators).find(path[0]) !=
                           std::string_view::npos)
    return true;
  // A drive letter, where '\\' separates too (Windows).
  return std::string_view(platform::path_separators).size() > 1 && path.size() >= 3 &&
         isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

std::string_view base_name(std::string_view path)
{
  size_t at = last_separator(path);
  return at == std::string_view::npos ? path : path.substr(at + 1);
}

std::string_view directory_of(std::string_view path)
{
  size_t at = last_separator(path);
  return at == std::string_view::npos ? std::string_view() : path.substr(0, at);
}

std::string_view directory_with_slash(std::string_view path)
{
  size_t at = last_separator(path);
  return at == std::string_view::npos ? std::string_view() : path.substr(0, at + 1);
}

std::string resolved_directory_path(const std::string &path)
{
  size_t at = last_separator(path);
  if (at == std::string::npos)
    return path;
  return platform::real_path(path.substr(0, at)) + path.substr(at);
}

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
  return platform::case_sensitive_paths_p ? key : platform::ascii_folded(key);
}
