// The one walk of directory trees: links followed, as `find -L` and
// Kpathsea's search on disk follow them; directories whose name starts
// with a dot left out, a link back to a directory above not followed,
// /proc and /sys never entered; on as many workers as asked for, which
// share one stack of directories still to list.
#ifndef LSRCHECK_WALK_H
#define LSRCHECK_WALK_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

// A directory to list: the tree (an index into the walk's tops) it belongs
// to, its path, its path below the tree ("" at the top), and the
// directories above it (device, inode), to stop at a link loop.
struct walk_item {
  size_t tree;
  std::string dir;
  std::string rel;
  std::vector<platform::file_id> above;
};

// Why the walk goes below an entry of a directory, or does not.
enum descent { descend, not_a_directory, hidden, link_loop, pseudo_directory };

// Return whether the walk goes below E, an entry of a directory with the
// directories ABOVE (itself the last).
descent descent_of(const platform::listed_entry &e, const std::vector<platform::file_id> &above);

// What the walk tells its visitor of one directory: the directory, its
// entries (which the visitor may reorder), 0 or the errno of a listing
// that is not whole, and the worker's number.  The walk goes below the
// entries that are left once the visitor returns; it ends early where the
// visitor returns false.
typedef std::function<bool(const walk_item &item, std::vector<platform::listed_entry> &entries,
                           int error, unsigned worker)>
    walk_visitor;

// Walk the directories TOPS (those that are no directory are left out) on
// WORKERS workers (fewer where threads cannot be started); return false
// if memory ran out on the way.
bool walk_trees(const std::vector<std::string> &tops, unsigned workers,
                const walk_visitor &visit);

// Call FN with the path and the listing's entry of each file below the
// directory DIR, as files_below finds them, until FN returns false.
void walk_files(const std::string &dir,
                const std::function<bool(const std::string &, const platform::listed_entry &)> &fn);

// Return the files below directory DIR (whole paths), found as `find -L`
// finds them and as Kpathsea searches a tree on disk: links followed,
// directories whose name starts with a dot left out, a link back to a
// directory above not followed, /proc and /sys never entered.
std::vector<std::string> files_below(const std::string &dir);

#endif
