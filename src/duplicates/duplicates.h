// The duplicate file-name check: files of the ls-R databases that share a
// name, ignoring case.
#ifndef LSRCHECK_DUPLICATES_H
#define LSRCHECK_DUPLICATES_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// What the check keeps of the databases' entries.
struct check_filter {
  std::vector<const char *> exclude; // drop a path that matches any of these
  std::vector<const char *> include; // keep a path only if it matches all
  std::vector<const char *> names;   // keep a file only if its name matches
                                     // one of these (none: every name)
  unsigned threads = 0;              // threads for the disk test; 0: a core each
  std::vector<std::string> extra_files; // files found outside the databases
                                     // (whole paths): grouped with the
                                     // entries, under the same patterns,
                                     // but not counted as kept
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

// Load the databases and return their groups under FILTER.
duplicate_groups find_duplicates(const check_filter &filter);

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

// Database callback: record the entry NAME of directory DIR for the check.
void collect_entry(const char *name, const char *dir);

// Test the entries recorded by collect_entry against the disk and FILTER,
// forget them, and return their groups.
duplicate_groups group_collected(const check_filter &filter);

// qsort comparison of two slots holding paths: their final components
// under stricmp.  A missing final component sorts first.
int compare_basenames(const void *a, const void *b);

// Sort the COUNT PATHS by file name (ties by whole path), in place, and
// write the report from the count line to the end line on OUT: the
// straightforward design, kept as the reference the check must equal.
void report_groups(char **paths, int count, FILE *out);

#endif
