// The duplicate file-name check.
//
// Every entry of the ls-R databases is joined into a path; directories on
// disk and paths the patterns reject are dropped.  The kept paths are sorted
// by file name, ignoring case, and each run of equal names is one group.

#include "duplicates.h"

#include <cstdlib>
#include <cstring>

#include "lsrcheck.h"
#include "pathsearch/pathsearch.h"

namespace {

const int capacity_step = 4096;

char **found_paths;
int found_count;
int found_capacity;

// Return the file name of PATH, or null if PATH has no final component.
const char *file_name(const char *path)
{
  const char *name = xbasename(path);
  return name != nullptr && *name != '\0' ? name : nullptr;
}

// Return true if paths A and B both have a file name and the names are
// equal, ignoring case.
bool same_name_p(const char *a, const char *b)
{
  const char *x = file_name(a), *y = file_name(b);
  return x != nullptr && y != nullptr && stricmp(x, y) == 0;
}

// qsort comparison: by file name, then by the whole path, so that a group
// lists its paths in one reproducible order.
int compare_paths(const void *a, const void *b)
{
  int order = compare_basenames(a, b);
  if (order != 0)
    return order;
  return strcmp(*static_cast<char *const *>(a), *static_cast<char *const *>(b));
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

// Append PATH to found_paths, keeping at least one slot free.
void keep_path(char *path)
{
  found_paths[found_count++] = dostounix_filename(path);
  if (found_count == found_capacity) {
    found_capacity += capacity_step;
    found_paths = static_cast<char **>(
        xrealloc(found_paths, found_capacity * sizeof *found_paths));
  }
}

} // namespace

void collect_entry(const char *name, const char *dir)
{
  char *path = concat(dir, name);
  if (!dir_p(path) && !excluded_p(path) && included_p(path))
    keep_path(path);
  else
    free(path);
}

int compare_basenames(const void *a, const void *b)
{
  const char *x = file_name(*static_cast<char *const *>(a));
  const char *y = file_name(*static_cast<char *const *>(b));
  if (x == nullptr || y == nullptr)
    return (y == nullptr) - (x == nullptr);
  return stricmp(x, y);
}

void report_groups(char **paths, int count, FILE *out)
{
  fprintf(out, "%d files in your databases.\nSorting ...\n", count);
  if (count > 1)
    qsort(paths, count, sizeof *paths, compare_paths);
  fputs("Multiple occurences :\n\n", out);
  for (int i = 0; i < count - 1; i++) {
    if (!same_name_p(paths[i], paths[i + 1]))
      continue;
    fprintf(out, "%s\n", paths[i]);
    while (i < count - 1 && same_name_p(paths[i], paths[i + 1]))
      fprintf(out, "%s\n", paths[++i]);
    putc('\n', out);
  }
  fputs("End of list.\n\n", out);
}

void check_multiple_occurences()
{
  found_count = 0;
  found_capacity = capacity_step;
  found_paths = static_cast<char **>(xmalloc(found_capacity * sizeof *found_paths));

  hash_shared_iter(hash_shared_exists_p(DB_LOAD), collect_entry);
  report_groups(found_paths, found_count, stdout);

  for (int i = 0; i < found_count; i++)
    free(found_paths[i]);
  free(found_paths);
  found_paths = nullptr;
}
