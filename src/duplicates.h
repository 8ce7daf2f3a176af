// The duplicate file-name check: files of the ls-R databases that share a
// name, ignoring case.
#ifndef LSRCHECK_DUPLICATES_H
#define LSRCHECK_DUPLICATES_H

#include <cstdio>

// Collect the databases' entries through the patterns and print every group
// of files sharing a name on standard output.
void check_multiple_occurences();

// Database callback: record the entry NAME of directory DIR for the check.
void collect_entry(const char *name, const char *dir);

// Test the entries recorded by collect_entry against the disk and the
// patterns, write the report on OUT, and forget them.
void report_collected(FILE *out);

// qsort comparison of two slots holding paths: their final components
// under stricmp.  A missing final component sorts first.
int compare_basenames(const void *a, const void *b);

// Sort the COUNT PATHS by file name (ties by whole path), in place, and
// write the report from the count line to the end line on OUT.
void report_groups(char **paths, int count, FILE *out);

#endif
