// The command line of lsrcheck: option state, parsing, usage and dispatch.
#ifndef LSRCHECK_LSRCHECK_H
#define LSRCHECK_LSRCHECK_H

#include <vector>

#include "shared/status.h"

// The options of one run.  Strings are borrowed from the argument vector.
struct option_state {
  const char *program_name = nullptr;
  bool multiple_occurences = false;
  bool shared_memory = false;
  bool ghostscript = false;
  std::vector<const char *> exclude_patterns;
  std::vector<const char *> include_patterns;
  const char *file_pattern = nullptr;
  const char *texmfroot = nullptr;  // -texmfroot: a TeX Live installation
  bool explain = false;             // -explain: the explained report
  bool json = false;                // -json: reports as JSON
  std::vector<const char *> file_patterns; // every -file, for -explain
  std::vector<const char *> programs;      // -progname, for -explain
  std::vector<const char *> fail_on_lists; // every -fail-on, read once the mode is known
  unsigned fail_on = 0;             // -fail-on: finding kinds that fail
  bool databases = false;           // -databases: the database health check
  bool verbose = false;             // -verbose: long lists whole
  const char *accept = nullptr;     // -accept: a report whose findings are accepted
  const char *document = nullptr;   // -document: the record of a run to check
  bool formats = false;             // -formats: the formats' report
  bool installations = false;       // -installations: the installations on PATH
};


// The modes, in the order in which the first one named runs.
enum run_mode {
  mode_shared_memory, mode_ghostscript, mode_databases, mode_formats, mode_installations,
  mode_document, mode_explain, mode_multiple_occurences, mode_usage
};

// The options of this run, filled by parse_options.
extern option_state options;

// Fill the option state from ARGC/ARGV.  Ends the run with status 0 after
// -help or -version and with status 1 after a bad option.
void parse_options(int argc, char **argv);

// Return the mode the options ask for: the first named in the order of
// modes, or the usage text.
run_mode mode_of_options();

// Read the -fail-on lists as finding kinds of MODE; return false, with a
// complaint on standard error, if one names no kind of it.
bool read_fail_on(run_mode mode);

// Warn on standard error, a line each, of a newer mode the order of modes
// leaves out and of a newer option MODE does not read.
void warn_about_unused_options(run_mode mode);

// Note on standard error the include patterns that MODE matches against
// whole paths and that have neither a '/' nor a wildcard, and so match no
// path, with the forms that match a file name (the first three, then how
// many more).
void note_whole_path_patterns(run_mode mode);

// Append PATTERN to the exclude list.
void add_exclude_pattern(const char *pattern);

// Append PATTERN to the include list.
void add_include_pattern(const char *pattern);

// Write the usage text to standard output.
void usage();

// Run the tool on ARGC/ARGV and return its exit status.
int lsrcheck_main(int argc, char **argv);

#endif
