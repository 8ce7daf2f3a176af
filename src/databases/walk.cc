#include "databases/walk.h"

#include <cstring>

#include "shared/files.h"
#include "shared/paths.h"

namespace {

// The names of version control mktexlsr's rules look for, and darcs's.
const char *const vcs_names[] = {".git", ".hg", ".svn", ".bzr"};
const char darcs[] = "_darcs";

// Return true if NAME ends in _darcs.
bool darcs_name_p(std::string_view name)
{
  const size_t n = sizeof darcs - 1;
  return name.size() >= n && name.compare(name.size() - n, n, darcs) == 0;
}

// Return true if REL, a directory below a tree, lies in a directory named
// _darcs: darcs's own.
bool in_darcs_p(std::string_view rel)
{
  for (std::string_view component : platform::split_text(std::string(rel), '/'))
    if (component == darcs)
      return true;
  return false;
}

} // namespace

bool deleted_name_p(std::string_view name)
{
  for (const char *vcs : vcs_names)
    if (name.compare(0, strlen(vcs), vcs) == 0)
      return true;
  return darcs_name_p(name);
}

bool vcs_line_p(std::string_view line)
{
  for (size_t dot = line.find('.'); dot != std::string_view::npos; dot = line.find('.', dot + 1))
    for (const char *name : vcs_names)
      if (line.compare(dot, strlen(name), name) == 0)
        return true;
  return !line.empty() && line.back() == ':' && line.find(darcs) != std::string_view::npos;
}

std::string untripped_name(std::string_view name)
{
  std::string out(name);
  for (size_t dot = out.find('.'); dot != std::string::npos; dot = out.find('.', dot + 1))
    for (const char *vcs : vcs_names)
      if (out.compare(dot, strlen(vcs), vcs) == 0)
        out[dot] = '-';
  if (darcs_name_p(out))
    out[out.size() - (sizeof darcs - 1)] = '-';
  return out;
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
  std::string line = item.rel.empty() ? ".:" : "./" + item.rel + ":";
  bool vcs_dir = in_darcs_p(item.rel), dropping = vcs_line_p(line);
  // A directory trips the rule where its own name does, not only a
  // directory above it.
  std::string_view parent = directory_of(item.rel);
  if (dropping && !vcs_dir && !vcs_line_p(parent.empty() ? ".:" : "./" + std::string(parent) + ":"))
    out.trips.emplace_back(item.tree, item.dir);
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
    // The first rule deletes the name alone, before the second looks.
    bool deleted = deleted_name_p(name);
    if (!deleted && !dropping && vcs_line_p(name)) {
      dropping = true;
      out.trips.emplace_back(item.tree, item.dir + "/" + name);
    }
    // .gitignore and the like, and all of _darcs, are version control's.
    bool vcs = vcs_dir || (deleted && name[0] == '.');
    if (deleted && !vcs && !n.directory)
      out.trips.emplace_back(item.tree, item.dir + "/" + name);
    if (!n.directory)
      out.holds_files[item.tree] = 1;
    int64_t e = context.entry_of(out.dirs[dir_index].second, name);
    if (e >= 0) {
      (*context.seen)[e] = 1;
      (*context.dangling)[e] = n.dangling;
    } else if (!n.directory) {
      out.names.push_back({dir_index, out.arena.add(name), n.directory, dropping || deleted,
                           n.dangling, vcs});
    }
    if (descent_of(n, item.above) == pseudo_directory)
      out.pseudo.emplace_back(item.tree, collapsed_path(item.dir + "/" + name));
  }
}
