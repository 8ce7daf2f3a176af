// The grouping of names: the files of the ls-R databases (and of the trees
// searched on disk) that the patterns keep, and among them the groups that
// share a file name, ignoring case.  What the plain report lists and
// -explain explains.
#ifndef LSRCHECK_GROUPING_GROUPING_H
#define LSRCHECK_GROUPING_GROUPING_H

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

// What the check keeps of the databases' entries.
struct check_filter {
  std::vector<const char *> exclude; // drop a path that matches any of these
  std::vector<const char *> include; // keep a path only if it matches all
  std::vector<const char *> names;   // keep a file only if its name matches
                                     // one of these (none: every name)
};

// The kept files and the groups among them: paths sharing a file name,
// groups in ascending order of their names, paths of a group in byte order.
struct duplicate_groups {
  size_t kept = 0;
  std::vector<std::vector<std::string>> groups;
};

// Load the databases and return their groups under FILTER, with EXTRA_FILES
// (whole paths of files found outside the databases) grouped with the
// entries under the same patterns but not counted as kept.
duplicate_groups find_duplicates(const check_filter &filter,
                                 const std::vector<std::string> &extra_files = {});

// One database entry; both strings belong to Kpathsea, or to the
// collected_entries that holds it.
struct db_entry {
  const char *name;
  const char *dir;
};

// The entries of the databases, gathered before any is tested.
struct collected_entries {
  std::vector<db_entry> entries;
  // Entries whose directory does not end in '/', joined whole: their file
  // name may begin in the directory string.
  std::deque<std::string> joined;
  // The directory of the last entry collected, and whether it ends in '/'.
  const char *last_dir = nullptr;
  bool last_ends_in_slash = false;
};

// Database callback: record the entry NAME of directory DIR in COLLECTED
// (a collected_entries) for the check.
void collect_entry(const char *name, const char *dir, void *collected);

// Return true if FILTER keeps the file PATH (a whole path).
bool kept_path_p(const check_filter &filter, const std::string &path);

// Test the entries of COLLECTED against the disk and FILTER, on THREADS
// threads (0: one per core), and return their groups, with EXTRA_FILES as
// find_duplicates takes them.
duplicate_groups group_collected(collected_entries &collected, const check_filter &filter,
                                 const std::vector<std::string> &extra_files = {},
                                 unsigned threads = 0);

#endif
