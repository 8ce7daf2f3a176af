#include "shared/packages.h"

#include <string_view>

#include "shared/files.h"
#include "platform/platform.h"

namespace {

// Call FN with each line of the file PATH; return false if it cannot be
// read.
template <typename Fn> bool each_line(const std::string &path, Fn fn)
{
  std::string text;
  bool ok = read_whole_file(path, text);
  for (size_t from = 0; ok && from < text.size();) {
    size_t nl = text.find('\n', from);
    if (nl == std::string::npos)
      nl = text.size();
    fn(std::string_view(text).substr(from, nl - from));
    from = nl + 1;
  }
  return ok;
}

// Return true if PATH is one of PATHS or its last component one of NAMES.
bool wanted_p(const std::string &path, const std::unordered_set<std::string> &paths,
              const name_set &names)
{
  return paths.count(path) > 0 || (!names.empty() && named_p(path, names));
}

} // namespace

bool named_p(const std::string &path, const name_set &names)
{
  return names.count(std::string_view(path).substr(path.rfind('/') + 1)) > 0;
}

package_map debian_owners(const std::unordered_set<std::string> &paths,
                          const std::string &dpkg_info, const name_set &names)
{
  package_map owners;
  if (paths.empty() && names.empty())
    return owners;
  std::string line_copy;
  for (const std::string &file : platform::directory_names(dpkg_info)) {
    if (!platform::ends_with_p(file, ".list"))
      continue;
    std::string package = file.substr(0, file.size() - 5);
    package = package.substr(0, package.find(':')); // no architecture
    each_line(dpkg_info + "/" + file, [&](std::string_view line) {
      line_copy.assign(line);
      if (wanted_p(line_copy, paths, names))
        owners.emplace(line_copy, package);
    });
  }
  return owners;
}

package_map texlive_owners(const std::unordered_set<std::string> &paths, const std::string &tlpdb,
                           const std::string &root, const name_set &names)
{
  package_map owners;
  if ((paths.empty() && names.empty()) || tlpdb.empty())
    return owners;
  std::string package, path;
  each_line(tlpdb, [&](std::string_view line) {
    if (line.substr(0, 5) == "name ") {
      package = line.substr(5);
    } else if (line.substr(0, 1) == " ") {
      // " texmf-dist/tex/latex/tools/array.sty" and maybe " details=...".
      path = path_key(root + "/" + std::string(line.substr(1, line.find(' ', 1) - 1)));
      if (wanted_p(path, paths, names))
        owners.emplace(path, package);
    }
  });
  return owners;
}

std::string texlive_database(const std::string &root)
{
  std::string tlpdb = root + "/tlpkg/texlive.tlpdb";
  return !root.empty() && platform::regular_file_p(tlpdb) ? tlpdb : "";
}
