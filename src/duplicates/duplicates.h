// The duplicate file-name check: files of the ls-R databases that share a
// name, ignoring case.
#ifndef LSRCHECK_DUPLICATES_H
#define LSRCHECK_DUPLICATES_H

#include <cstddef>
#include <cstdio>
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

// Collect the databases' entries through FILTER and print every group of
// files sharing a name on standard output.
void check_multiple_occurences(const check_filter &filter);

// Load the databases and return their groups under FILTER, with EXTRA_FILES
// (whole paths of files found outside the databases) grouped with the
// entries under the same patterns but not counted as kept.
duplicate_groups find_duplicates(const check_filter &filter,
                                 const std::vector<std::string> &extra_files = {});

// Write the report of GROUPS, from the count line to the end line, on OUT.
void print_duplicates(const duplicate_groups &groups, FILE *out);

// A tree Kpathsea searches on disk, with the number of files the report
// of the databases leaves out.
struct unlisted_tree {
  std::string root;
  size_t files = 0;
};

// Return the trees Kpathsea searches on disk (through no ls-R) that hold
// files FILTER keeps and no package installed, the distribution's own
// TEXMFSYSVAR and TEXMFSYSCONFIG aside: files a user put there, which the
// report of the databases cannot show.
std::vector<unlisted_tree> unlisted_trees(const check_filter &filter);

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

// Test the entries of COLLECTED against the disk and FILTER, on THREADS
// threads (0: one per core), and return their groups, with EXTRA_FILES as
// find_duplicates takes them.
duplicate_groups group_collected(collected_entries &collected, const check_filter &filter,
                                 const std::vector<std::string> &extra_files = {},
                                 unsigned threads = 0);


#endif
