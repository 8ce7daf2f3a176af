// Reading ls-R files as Kpathsea reads them, into one table of entries
// the walk of the trees looks names up in.
#ifndef LSRCHECK_DATABASES_LSR_H
#define LSRCHECK_DATABASES_LSR_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "databases/health.h"
#include "databases/walk.h"

// The entries of the ls-R files: each block's directory once (collapsed,
// ending in '/'), and each entry's name by its directory.
struct db_table {
  std::vector<std::string> dirs;
  std::vector<uint32_t> dir_tree;
  struct entry {
    uint32_t dir;
    std::string_view name; // in one of TEXTS, or in ARENA
    bool top_header;       // mktexlsr's ".:" under "./:", a name Kpathsea keeps
  };
  std::vector<entry> entries;
  std::deque<std::string> texts; // the ls-R files, kept for their names
  name_arena arena;              // names that lost a NUL byte
};

// The entries of a table by (directory, name): open addressing over 4
// bytes a slot, since a million entries in a node-based map would cost
// more than the entries.
struct entry_index {
  const db_table &table;
  std::vector<uint32_t> slots; // 1 + entry, or 0
  size_t mask;

  static size_t hash(uint32_t dir, std::string_view name)
  {
    return std::hash<std::string_view>()(name) ^ (dir * 0x9e3779b97f4a7c15ull);
  }

  explicit entry_index(const db_table &t) : table(t)
  {
    size_t size = 16;
    while (size < 2 * t.entries.size())
      size <<= 1;
    slots.assign(size, 0);
    mask = size - 1;
    for (uint32_t e = 0; e < t.entries.size(); e++) {
      size_t at = hash(t.entries[e].dir, t.entries[e].name) & mask;
      while (slots[at] != 0)
        at = (at + 1) & mask;
      slots[at] = e + 1;
    }
  }

  // Return an entry of directory DIR named NAME, or -1.
  int64_t find(uint32_t dir, std::string_view name) const
  {
    for (size_t at = hash(dir, name) & mask; slots[at] != 0; at = (at + 1) & mask) {
      const db_table::entry &e = table.entries[slots[at] - 1];
      if (e.dir == dir && e.name == name)
        return slots[at] - 1;
    }
    return -1;
  }
};


// Find TREE's ls-R files and read them into TABLE.
void read_tree_database(tree_health &tree, uint32_t tree_index, db_table &table);

// One (directory, name) pair of an ls-R, as Kpathsea stores it.
typedef std::pair<std::string, std::string> lsr_entry;

// Return the entries of the ls-R TEXT found at DB_PATH, exactly as
// Kpathsea loads them: every line end (LF, CR, CRLF), a line cut at a NUL
// byte, "./" and "../" directory lines taken relative to the tree, hidden
// directories and lines before the first directory left out.
std::vector<lsr_entry> read_lsr(const std::string &text, const std::string &db_path);

#endif
