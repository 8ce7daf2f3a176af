#include "shared/packages.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "shared/files.h"
#include "shared/paths.h"
#include "platform/platform.h"

namespace {

// Call FN with each line of the file PATH, read into TEXT (a buffer kept
// from file to file: the lists are many, some large); return false if it
// cannot be read, and where *UNREAD is empty, say in it which file and why.
template <typename Fn>
bool each_line(const std::string &path, std::string &text, Fn fn, std::string *unread)
{
  std::string why;
  bool ok = read_whole_file(path, text, &why);
  if (!ok && unread != nullptr && unread->empty())
    *unread = path + " (" + why + ")";
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
  return names.count(base_name(path)) > 0;
}

package_map debian_owners(const std::unordered_set<std::string> &paths,
                          const std::string &dpkg_info, const name_set &names,
                          std::string *unread)
{
  package_map owners;
  if ((paths.empty() && names.empty()) || dpkg_info.empty())
    return owners;
  std::vector<platform::listed_entry> files;
  int error;
  // No such directory: no Debian, and so no package of Debian's.
  if (!platform::read_directory(dpkg_info, files, &error) && error != ENOENT &&
      error != ENOTDIR && unread != nullptr && unread->empty())
    *unread = dpkg_info + " (" + strerror(error) + ")";
  std::string line_copy, text;
  for (const platform::listed_entry &file : files) {
    if (!platform::ends_with_p(file.name, ".list") || file.name[0] == '.')
      continue;
    std::string package = file.name.substr(0, file.name.size() - 5);
    package = package.substr(0, package.find(':')); // no architecture
    each_line(dpkg_info + "/" + file.name, text, [&](std::string_view line) {
      line_copy.assign(line);
      if (wanted_p(line_copy, paths, names))
        owners.emplace(line_copy, package);
    }, unread);
  }
  return owners;
}

package_map texlive_owners(const std::unordered_set<std::string> &paths, const std::string &tlpdb,
                           const std::string &root, const name_set &names, std::string *unread)
{
  package_map owners;
  if ((paths.empty() && names.empty()) || tlpdb.empty())
    return owners;
  std::string package, path;
  std::string text;
  each_line(tlpdb, text, [&](std::string_view line) {
    if (line.substr(0, 5) == "name ") {
      package = line.substr(5);
    } else if (line.substr(0, 1) == " ") {
      // " texmf-dist/tex/latex/tools/array.sty" and maybe " details=...".
      path = path_key(root + "/" + std::string(line.substr(1, line.find(' ', 1) - 1)));
      if (wanted_p(path, paths, names))
        owners.emplace(path, package);
    }
  }, unread);
  return owners;
}

std::string texlive_database(const std::string &root)
{
  std::string tlpdb = root + "/tlpkg/texlive.tlpdb";
  return !root.empty() && platform::regular_file_p(tlpdb) ? tlpdb : "";
}
