// The duplicate file-name check.
//
// Every entry of the ls-R databases is joined into a path; directories on
// disk and paths the patterns reject are dropped.  The kept paths are sorted
// by file name, ignoring case, and each run of equal names is one group.
//
// The disk is asked one directory at a time (a listing answers for all its
// entries) rather than with a stat per entry, and each kept path's file
// name is found once rather than in every comparison of the sort.

#include "duplicates.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "lsrcheck.h"
#include "pathsearch/pathsearch.h"

namespace {

// One database entry; both strings belong to Kpathsea.
struct db_entry {
  const char *name;
  const char *dir;
};

// One kept path, stored in path_blocks, and the sort key of its file name:
// the name's first sixteen bytes.  The name itself is looked up only where
// keys tie.
struct kept_path {
  char *path;
  uint64_t key[2];
};

// The entries of the databases, gathered before any is tested.
std::vector<db_entry> db_entries;

// The kept paths, packed one after another into large blocks: a million
// paths allocated one by one would cost a million allocation headers.
std::vector<std::unique_ptr<char[]>> path_blocks;
char *block_free;       // where the next path goes in the last block
size_t block_room;      // bytes left after block_free

// Return DIR (of DIR_LENGTH bytes) followed by NAME, stored in path_blocks.
char *join_path(const char *dir, size_t dir_length, const char *name)
{
  size_t size = dir_length + strlen(name) + 1;
  if (size > block_room) {
    block_room = std::max<size_t>(size, 1 << 20);
    path_blocks.emplace_back(new char[block_room]);
    block_free = path_blocks.back().get();
  }
  char *path = block_free;
  memcpy(path, dir, dir_length);
  memcpy(path + dir_length, name, size - dir_length);
  block_free += size;
  block_room -= size;
  return path;
}

// Give back PATH, the last path join_path returned.
void drop_last_path(char *path)
{
  block_room += block_free - path;
  block_free = path;
}

// Give back every joined path.
void free_paths()
{
  path_blocks.clear();
  block_free = nullptr;
  block_room = 0;
}

// Return the file name of PATH, or null if PATH has no final component.
const char *file_name(const char *path)
{
  const char *name = xbasename(path);
  return name != nullptr && *name != '\0' ? name : nullptr;
}

// Compare file names X and Y under stricmp; a missing name comes first.
int compare_names(const char *x, const char *y)
{
  if (x == nullptr || y == nullptr)
    return (y == nullptr) - (x == nullptr);
  return stricmp(x, y);
}

// Return the sort key of the eight bytes of file name NAME from byte FROM:
// folded as stricmp folds them, big-endian, and padded with zero bytes, so
// that keys order as the names do wherever they differ.
uint64_t name_key(const char *name, size_t from)
{
  uint64_t key = 0;
  size_t i = 0;
  for (; i < 8 && name[from + i] != '\0'; i++) {
    unsigned char c = name[from + i];
    key = key << 8 | (c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  }
  return i == 0 ? 0 : key << 8 * (8 - i);
}

// Return the kept path PATH, whose file name starts at or after FROM.  A
// missing name has key 0, below the key of any name.
kept_path make_kept_path(char *path, const char *from)
{
  kept_path kept{path, {0, 0}};
  if (const char *name = file_name(from)) {
    kept.key[0] = name_key(name, 0);
    // A last key byte means the name has eight bytes or more.
    if ((kept.key[0] & 0xff) != 0)
      kept.key[1] = name_key(name, 8);
  }
  return kept;
}

// Return <0, 0 or >0 as the file name of A sorts before, with or after
// that of B.
int compare_kept_names(const kept_path &a, const kept_path &b)
{
  if (a.key[0] != b.key[0])
    return a.key[0] < b.key[0] ? -1 : 1;
  if (a.key[1] != b.key[1])
    return a.key[1] < b.key[1] ? -1 : 1;
  return compare_names(file_name(a.path), file_name(b.path));
}

// Return true if A and B both have a file name and the names are equal,
// ignoring case.
bool same_name_p(const kept_path &a, const kept_path &b)
{
  return a.key[0] != 0 && compare_kept_names(a, b) == 0;
}

// Sort order of the report: by file name, then by the whole path, so that
// a group lists its paths in one reproducible order.
bool report_order_p(const kept_path &a, const kept_path &b)
{
  int order = compare_kept_names(a, b);
  return order != 0 ? order < 0 : strcmp(a.path, b.path) < 0;
}

// Return true if PATH matches one of the exclude patterns.
bool excluded_p(const char *path)
{
  for (const char *pattern : options.exclude_patterns)
    if (match_pattern(pattern, path) == 0)
      return true;
  return false;
}

// Return true if PATH is not rejected by any include pattern.
bool included_p(const char *path)
{
  for (const char *pattern : options.include_patterns)
    if (match_pattern(pattern, path) == FNM_NOMATCH)
      return false;
  return true;
}

// Return the joined paths of ENTRIES that are not directories on disk and
// pass the patterns.  Entries are tested one directory at a time, so that
// each directory is listed once.
std::vector<kept_path> filter_entries(std::vector<db_entry> &entries)
{
  // Kpathsea shares one directory string among all files of a directory.
  std::sort(entries.begin(), entries.end(), [](const db_entry &a, const db_entry &b) {
    return std::less<const char *>()(a.dir, b.dir);
  });
  std::unique_ptr<bool[]> is_dir(new bool[entries.size()]);
  std::vector<const char *> names;
  std::vector<kept_path> kept;
  kept.reserve(entries.size());
  for (size_t first = 0, last; first < entries.size(); first = last) {
    const char *dir = entries[first].dir;
    names.clear();
    for (last = first; last < entries.size() && entries[last].dir == dir; last++)
      names.push_back(entries[last].name);
    find_directories(dir, names.data(), names.size(), &is_dir[first]);

    // Behind a directory that ends in a separator, the file name lies in
    // the entry's own name.
    size_t dir_length = strlen(dir);
    size_t name_offset = dir_length > 0 && dir[dir_length - 1] == '/' ? dir_length : 0;
    for (size_t i = first; i < last; i++) {
      if (is_dir[i])
        continue;
      char *path = join_path(dir, dir_length, entries[i].name);
      if (excluded_p(path) || !included_p(path)) {
        drop_last_path(path);
        continue;
      }
      dostounix_filename(path);
      kept.push_back(make_kept_path(path, path + name_offset));
    }
  }
  return kept;
}

// Sort KEPT and write the report from the count line to the end line on OUT.
void print_report(std::vector<kept_path> &kept, FILE *out)
{
  size_t count = kept.size();
  fprintf(out, "%zu files in your databases.\nSorting ...\n", count);
  std::sort(kept.begin(), kept.end(), report_order_p);
  fputs("Multiple occurences :\n\n", out);
  for (size_t i = 0; i + 1 < count; i++) {
    if (!same_name_p(kept[i], kept[i + 1]))
      continue;
    fprintf(out, "%s\n", kept[i].path);
    while (i + 1 < count && same_name_p(kept[i], kept[i + 1]))
      fprintf(out, "%s\n", kept[++i].path);
    putc('\n', out);
  }
  fputs("End of list.\n\n", out);
}

} // namespace

void collect_entry(const char *name, const char *dir)
{
  db_entries.push_back({name, dir});
}

int compare_basenames(const void *a, const void *b)
{
  return compare_names(file_name(*static_cast<char *const *>(a)),
                       file_name(*static_cast<char *const *>(b)));
}

void report_groups(char **paths, int count, FILE *out)
{
  std::vector<kept_path> kept;
  for (int i = 0; i < count; i++)
    kept.push_back(make_kept_path(paths[i], paths[i]));
  print_report(kept, out);
  for (int i = 0; i < count; i++)
    paths[i] = kept[i].path;
}

void report_collected(FILE *out)
{
  std::vector<kept_path> kept = filter_entries(db_entries);
  db_entries = std::vector<db_entry>();
  print_report(kept, out);
  free_paths();
}

void check_multiple_occurences()
{
  db_entries.clear();
  hash_shared_iter(hash_shared_exists_p(DB_LOAD), collect_entry);
  report_collected(stdout);
}
