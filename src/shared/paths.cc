// Splitting and comparing paths: the same on every platform but for the
// separators and whether case counts.

#include "shared/paths.h"

#include <cctype>
#include <string>
#include <utility>
#include <vector>

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

std::string joined_path(const std::string &dir, const std::string &name)
{
  std::string whole = absolute_path_p(name) ? name : dir + "/" + name;
  std::string_view separators(platform::path_separators);
  // A path of the network (\\server\share) keeps its two leading separators.
  bool network = separators.size() > 1 && whole.size() > 2 &&
                 separators.find(whole[0]) != std::string_view::npos &&
                 separators.find(whole[1]) != std::string_view::npos;
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= whole.size(); i++) {
    if (i < whole.size() && separators.find(whole[i]) == std::string_view::npos)
      continue;
    std::string part = whole.substr(start, i - start);
    start = i + 1;
    if (part == "." || (part.empty() && !parts.empty()))
      continue;
    if (part == ".." && parts.size() > 1 && parts.back() != "..")
      parts.pop_back();
    else
      parts.push_back(part);
  }
  std::string joined = network ? "/" : "";
  for (size_t i = 0; i < parts.size(); i++)
    joined += (i > 0 ? "/" : "") + parts[i];
  return parts.size() == 1 && parts[0].empty() ? "/" : joined;
}

std::string path_below(const std::string &path, const std::string &dir)
{
  std::string key = path_key(path), root = path_key(dir);
  if (!root.empty() && root.back() == '/')
    root.pop_back();
  if (!platform::below_p(key, root + "/"))
    return "";
  // The key differs from the path made one in case alone.
  std::string below = key.substr(root.size() + 1), collapsed = collapsed_path(path);
  return collapsed.substr(collapsed.size() - below.size());
}

std::string tree_of(const std::string &path,
                    const std::vector<std::pair<std::string, std::string>> &roots)
{
  std::string listed = path_key(path);
  std::string resolved = path_key(resolved_directory_path(path));
  std::string best;
  size_t best_length = 0;
  for (const auto &[variable, tree_root] : roots) {
    std::string root = path_key(tree_root);
    for (const std::string &p : {listed, resolved}) {
      if (platform::below_p(p, root) && root.size() > best_length) {
        best = variable;
        best_length = root.size();
      }
    }
  }
  return best;
}

bool user_tree_p(const std::string &tree)
{
  return tree == "TEXMFHOME" || tree == "TEXMFCONFIG" || tree == "TEXMFVAR";
}
