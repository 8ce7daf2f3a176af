// The duplicate file-name check, the plain report: files of the ls-R
// databases that share a name, ignoring case.
#ifndef LSRCHECK_DUPLICATES_H
#define LSRCHECK_DUPLICATES_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "grouping/grouping.h"

// Collect the databases' entries through FILTER and print every group of
// files sharing a name on standard output.
void check_multiple_occurences(const check_filter &filter);

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

// Run the check under FILTER: the report on standard output, then a note
// on standard error, starting with PROGRAM_NAME, for each tree searched on
// disk that holds files the report cannot show; return the exit status, 0.
int run_multiple_occurences(const check_filter &filter, const char *program_name);

// The report (print.cc): the report of GROUPS, from the count line to the
// end line, on OUT.
void print_duplicates(const duplicate_groups &groups, FILE *out);

// Note each of TREES on ERR, each line starting with PROGRAM_NAME.
void print_unlisted_trees(const std::vector<unlisted_tree> &trees, const char *program_name,
                          FILE *err);

#endif
