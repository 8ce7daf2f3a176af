// What the database health check makes of each directory the walk of the
// trees of TEXMFDBS lists: every directory seen as mktexlsr lists it.
#ifndef LSRCHECK_DATABASES_WALK_H
#define LSRCHECK_DATABASES_WALK_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "shared/walk.h"

// mktexlsr's listing passes two rules about version control, one after the
// other.  The first deletes a name alone: one that starts with .git, .hg,
// .svn or .bzr (.gitignore), or ends in _darcs.  Return true if it deletes
// NAME.
bool deleted_name_p(std::string_view name);

// The second deletes from a line to the end of its block: a line that
// holds .git, .hg, .svn or .bzr anywhere (a name the first rule left, or a
// directory line), or a directory line that holds _darcs.  Return true if
// LINE starts such a cut.
bool vcs_line_p(std::string_view line);

// Return NAME renamed so that neither rule takes it: each '.' before git,
// hg, svn or bzr, and the '_' of a trailing _darcs, made '-'.
std::string untripped_name(std::string_view name);

// Return true if NAME cannot stand in an ls-R: a line end in it splits it.
bool unlistable_name_p(std::string_view name);

// Names kept in 1 MiB blocks that never move: a million names allocated
// one by one would cost more than the names themselves.
struct name_arena {
  std::deque<std::string> blocks;

  // Keep a copy of NAME and return it.
  std::string_view add(std::string_view name)
  {
    const size_t block = 1 << 20;
    if (blocks.empty() || blocks.back().capacity() - blocks.back().size() < name.size()) {
      blocks.emplace_back();
      blocks.back().reserve(std::max(block, name.size()));
    }
    std::string &b = blocks.back();
    size_t at = b.size();
    b.append(name);
    return std::string_view(b.data() + at, name.size());
  }
};

// A file or directory the walk found: its directory ('/' runs collapsed,
// ending in '/') by index into the thread's list, and its name.
struct walked_name {
  uint32_t dir;
  std::string_view name; // in the thread's arena
  bool is_dir, dropped, dangling;
  bool vcs;              // version control's own: never meant to be found
};

// What one thread of the walk found.
struct walk_result {
  std::vector<std::pair<size_t, std::string>> dirs; // (tree, directory)
  std::vector<walked_name> names; // files the databases lack
  name_arena arena;
  std::vector<char> holds_files;  // per tree
  std::vector<std::pair<size_t, std::string>> unlistable, pseudo;
  // The names that make mktexlsr leave out files of their own that are no
  // version control's: (tree, path).
  std::vector<std::pair<size_t, std::string>> trips;
};

// What the walk of the databases' trees needs to know: where a name found
// on disk is listed (the entry's index, or -1).  The walk marks in SEEN
// and DANGLING what it meets as it goes, so that it keeps only the names
// the databases lack.
struct walk_context {
  std::function<int64_t(const std::string &dir, std::string_view name)> entry_of;
  std::vector<char> *seen, *dangling;
};

// Record in OUT the entries NAMES of the directory ITEM (ERROR: 0 or why
// it could not be listed whole), as CONTEXT asks.
void record_directory(const walk_context &context, const walk_item &item,
                      std::vector<platform::listed_entry> &names, int error, walk_result &out);

#endif
