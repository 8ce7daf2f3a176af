// GNU getopt_long_only where the C library lacks it (Windows): the same
// permutation of words behind options, abbreviations, ambiguity rule and
// complaints, byte for byte, as glibc's.
#ifndef LSRCHECK_GETOPT_H
#define LSRCHECK_GETOPT_H

// struct option, as Kpathsea's headers declare it for the tool's table.
extern "C" {
#include <kpathsea/kpathsea.h>
}

// The parser's state: what glibc keeps in optind, optarg, optopt, opterr
// and its own hidden fields.  Set optind to 0 to start afresh.
struct gnu_getopt_state {
  int optind = 1;
  char *optarg = nullptr;
  int optopt = '?';
  int opterr = 1;
  bool initialized = false;
  char *nextchar = nullptr;
  int first_nonopt = 1;
  int last_nonopt = 1;
};

// Return the next option of ARGV as glibc's getopt_long_only would, with
// state D in place of its globals: the option's code, '?' after a
// complaint on standard error, -1 after the last option (the words then
// moved behind D->optind).
int gnu_getopt_long_only(int argc, char **argv, const char *shortopts,
                         const struct option *longopts, int *index, gnu_getopt_state *d);

#endif
