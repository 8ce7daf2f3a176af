#include "databases/walk.h"

#include <cstring>
#include <new>

#include "shared/files.h"

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

// List the directory ITEM: record its names in OUT, and return its
// subdirectories to list.
std::vector<walk_item> list_directory(const walk_state &state, const walk_item &item,
                                      walk_result &out)
{
  std::vector<walk_item> children;
  const std::string &top = (*state.trees)[item.tree].dir;
  std::string dir = item.rel.empty() ? top : top + "/" + item.rel;
  std::vector<listed_entry> names;
  int error;
  if (!read_directory(dir, names, &error)) {
    out.unlistable.emplace_back(item.tree, dir + " (" + strerror(error) + ")");
    if (names.empty())
      return children;
  }
  // mktexlsr's listing: "./REL:" (".:" at the top), then the names in
  // order; the order matters only where a name trips its rule.
  bool dropping = vcs_line_p(item.rel.empty() ? ".:" : "./" + item.rel + ":");
  if (!dropping && std::any_of(names.begin(), names.end(),
                               [](const listed_entry &n) { return vcs_line_p(n.name); }))
    std::sort(names.begin(), names.end(),
              [](const listed_entry &a, const listed_entry &b) { return a.name < b.name; });
  uint32_t dir_index = static_cast<uint32_t>(out.dirs.size());
  out.dirs.emplace_back(item.tree, collapsed_path(dir + "/"));
  for (const listed_entry &n : names) {
    const std::string &name = n.name;
    dropping = dropping || vcs_line_p(name);
    std::string rel = item.rel.empty() ? name : item.rel + "/" + name;
    if (!n.directory)
      out.holds_files[item.tree] = 1;
    int64_t e = state.entry_of(out.dirs[dir_index].second, name);
    if (e >= 0) {
      (*state.seen)[e] = 1;
      (*state.dangling)[e] = n.dangling;
    } else if (!n.directory) {
      out.names.push_back({dir_index, out.arena.add(name), n.directory,
                           dropping || darcs_name_p(name), n.dangling});
    }
    // Kpathsea skips a directory whose name starts with a dot, with all
    // below it; a link back to a directory above ends the descent.
    if (!n.directory || name[0] == '.')
      continue;
    if (std::find(item.above.begin(), item.above.end(), n.id) != item.above.end())
      continue;
    // /proc or /sys (a link into it) is never walked, since it has no end.
    if (n.pseudo) {
      out.pseudo.emplace_back(item.tree, collapsed_path(top + "/" + rel));
      continue;
    }
    walk_item child{item.tree, rel, item.above};
    child.above.push_back(n.id);
    children.push_back(std::move(child));
  }
  return children;
}

// Take directories from STATE's stack and list them until none is left
// and no other thread may add more.
void walk_worker(walk_state &state, walk_result &out)
{
  std::unique_lock<std::mutex> guard(state.lock);
  for (;;) {
    state.changed.wait(guard, [&]() { return !state.stack.empty() || state.busy == 0; });
    if (state.stack.empty())
      return;
    walk_item item = std::move(state.stack.back());
    state.stack.pop_back();
    state.busy++;
    guard.unlock();
    std::vector<walk_item> children;
    try {
      children = list_directory(state, item, out);
    } catch (const std::bad_alloc &) {
      state.out_of_memory = true; // said once every thread has stopped
    }
    guard.lock();
    for (walk_item &child : children)
      state.stack.push_back(std::move(child));
    state.busy--;
    state.changed.notify_all();
  }
}
