#include "databases/walk.h"

#include <cstring>

#include "shared/files.h"
#include "shared/paths.h"

namespace {

// What mktexlsr's sed looks for: from a line holding one of these, it
// deletes everything up to the next blank line; so from a directory line
// holding _darcs.
const char *const vcs_names[] = {".git", ".hg", ".svn", ".bzr"};
const char darcs[] = "_darcs";

} // namespace

// Return true if LINE starts what mktexlsr's version-control rule drops up
// to the end of a block.
bool vcs_line_p(std::string_view line)
{
  for (size_t dot = line.find('.'); dot != std::string_view::npos; dot = line.find('.', dot + 1))
    for (const char *name : vcs_names)
      if (line.compare(dot, strlen(name), name) == 0)
        return true;
  return !line.empty() && line.back() == ':' && line.find(darcs) != std::string_view::npos;
}

// Return true if mktexlsr drops the name NAME itself (it ends in _darcs).
bool darcs_name_p(std::string_view name)
{
  const size_t n = sizeof darcs - 1;
  return name.size() >= n && name.compare(name.size() - n, n, darcs) == 0;
}

// Return true if NAME cannot stand in an ls-R: a line end in it splits it.
bool unlistable_name_p(std::string_view name)
{
  return name.find_first_of("\n\r") != std::string_view::npos;
}

// Record in OUT the entries NAMES of the directory ITEM (ERROR: 0 or why
// it could not be listed whole), as CONTEXT asks.
void record_directory(const walk_context &context, const walk_item &item,
                      std::vector<platform::listed_entry> &names, int error, walk_result &out)
{
  if (error != 0) {
    out.unlistable.emplace_back(item.tree, item.dir + " (" + strerror(error) + ")");
    if (names.empty())
      return;
  }
  // mktexlsr's listing: "./REL:" (".:" at the top), then the names in
  // order; the order matters only where a name trips its rule.
  bool dropping = vcs_line_p(item.rel.empty() ? ".:" : "./" + item.rel + ":");
  if (!dropping && std::any_of(names.begin(), names.end(),
                               [](const platform::listed_entry &n) { return vcs_line_p(n.name); }))
    std::sort(names.begin(), names.end(),
              [](const platform::listed_entry &a, const platform::listed_entry &b) {
                return a.name < b.name;
              });
  uint32_t dir_index = static_cast<uint32_t>(out.dirs.size());
  out.dirs.emplace_back(item.tree, collapsed_path(item.dir + "/"));
  for (const platform::listed_entry &n : names) {
    const std::string &name = n.name;
    dropping = dropping || vcs_line_p(name);
    if (!n.directory)
      out.holds_files[item.tree] = 1;
    int64_t e = context.entry_of(out.dirs[dir_index].second, name);
    if (e >= 0) {
      (*context.seen)[e] = 1;
      (*context.dangling)[e] = n.dangling;
    } else if (!n.directory) {
      out.names.push_back({dir_index, out.arena.add(name), n.directory,
                           dropping || darcs_name_p(name), n.dangling});
    }
    if (descent_of(n, item.above) == pseudo_directory)
      out.pseudo.emplace_back(item.tree, collapsed_path(item.dir + "/" + name));
  }
}
