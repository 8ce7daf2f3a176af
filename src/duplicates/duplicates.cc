// The duplicate file-name check: the groups of the databases, and the
// trees searched on disk that the report cannot show.

#include "duplicates/duplicates.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "shared/installation.h"
#include "shared/packages.h"
#include "shared/paths.h"
#include "shared/walk.h"
#include "kpathsea/variables.h"
#include "platform/platform.h"

namespace {

// Return the files of PATHS that no Debian package nor TeX Live package
// of the installation installed, by their paths as listed or with links
// resolved.
size_t files_of_no_package(const std::vector<std::string> &paths)
{
  std::vector<std::pair<std::string, std::string>> keys; // as listed, links resolved
  std::unordered_set<std::string> wanted;
  for (const std::string &path : paths) {
    keys.emplace_back(path_key(path), path_key(platform::real_path(path)));
    wanted.insert(keys.back().first);
    wanted.insert(keys.back().second);
  }
  std::string root = variable_value("TEXMFROOT");
  package_map debian = debian_owners(wanted, platform::dpkg_info_dir);
  package_map texlive = texlive_owners(wanted, texlive_database(root), root);
  size_t count = 0;
  for (const auto &[key, real] : keys)
    count += !debian.count(key) && !debian.count(real) && !texlive.count(key) &&
             !texlive.count(real);
  return count;
}

} // namespace

std::vector<unlisted_tree> unlisted_trees(const check_filter &filter)
{
  std::vector<unlisted_tree> trees;
  // What the distribution's tools make in its own trees is theirs too.
  std::vector<std::string> tools_trees;
  for (auto &[variable, root] : tree_roots({"TEXMFSYSVAR", "TEXMFSYSCONFIG"}))
    tools_trees.push_back(path_key(root));
  for (const std::string &root : disk_searched_trees()) {
    auto tools =
        std::find(tools_trees.begin(), tools_trees.end(), path_key(platform::real_path(root)));
    if (tools != tools_trees.end())
      continue;
    std::vector<std::string> kept;
    for (std::string &path : files_below(root))
      if (kept_path_p(filter, path))
        kept.push_back(std::move(path));
    size_t files = kept.empty() ? 0 : files_of_no_package(kept);
    if (files > 0)
      trees.push_back({root, files});
  }
  return trees;
}

void check_multiple_occurences(const check_filter &filter)
{
  print_duplicates(find_duplicates(filter), stdout);
}

int run_multiple_occurences(const check_filter &filter, const char *program_name)
{
  check_multiple_occurences(filter);
  print_unlisted_trees(unlisted_trees(filter), program_name, stderr);
  return 0;
}
