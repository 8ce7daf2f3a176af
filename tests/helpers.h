// Helpers shared by the tests: temporary texmf trees and runs of the
// built binary.
#ifndef LSRCHECK_TESTS_HELPERS_H
#define LSRCHECK_TESTS_HELPERS_H

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// What one run of the tool gave.
struct run_result {
  int status = -1;  // exit status, or 128 + signal
  std::string out;  // standard output
  std::string err;  // standard error
};

// Extra settings of one run.
struct run_options {
  std::vector<std::pair<std::string, std::string>> env; // set in the child
  std::vector<std::string> unset;                       // removed in the child
  std::string stdout_path;                              // file for stdout
  bool close_stdout = false;                            // run with fd 1 closed
  bool close_stderr = false;                            // run with fd 2 closed
  bool broken_pipe = false;    // stdout a pipe whose reader has gone
  bool ignore_sigpipe = false; // SIGPIPE ignored, as some parents leave it
  unsigned timeout = 60;       // seconds before the run is killed (SIGALRM)
  std::vector<std::pair<int, unsigned long>> limits; // setrlimit in the child
  std::string cwd;             // directory to run in ("" the test's own)
};

// Run the built lsrcheck, invoked as "lsrcheck", with ARGS.
run_result run_lsrcheck(const std::vector<std::string> &args,
                        const run_options &opts = {});

// Return true if the tests run as root, for whom permissions do not bite.
bool root_p();

// Return a new empty directory, removed with all its contents at exit.
std::string make_temp_dir();

// Return the whole content of the file at PATH.
std::string read_file(const std::string &path);

// Write CONTENT to PATH, creating the directories above it.
void write_file(const std::string &path, const std::string &content);

// Return the lines of the shell command COMMAND's output.
std::vector<std::string> command_output(const std::string &command);

// Create directory PATH and its parents.
void make_dirs(const std::string &path);

// The line mktexlsr begins every ls-R with.
extern const std::string lsr_header;

// A texmf installation made for a test, in a temporary directory removed at
// exit: trees, their ls-R files, and a texmf.cnf of its own.  The one
// fixture of the suites: each builds its trees on it.
struct texmf_fixture {
  std::string base; // the directory everything lies in
  std::string cnf;  // the directory of its texmf.cnf
};

// Make a fixture whose texmf.cnf says CNF, each "@" in it standing for the
// fixture's directory and a '/'.
texmf_fixture make_fixture(const std::string &cnf);

// Write the ls-R of the tree DIR (a whole path) by hand: mktexlsr's header,
// then LISTING (lines of "./dir:" and names).
void write_lsr(const std::string &dir, const std::string &listing);

// Write the ls-R of the tree DIR (a whole path) with the installed
// mktexlsr, as an installation's tools write it; the test fails where it
// fails.
void mktexlsr(const std::string &dir);

// Run lsrcheck with ARGS on T alone: TEXMFCNF its texmf.cnf; TEXMF,
// TEXMFDBS and TEXMFHOME of the environment unset; OPTS may name another
// TEXMFCNF.
run_result run_fixture(const texmf_fixture &t, const std::vector<std::string> &args,
                       run_options opts = {});

// The fixture with one tree, ROOT, on TEXMF and TEXMFDBS.
struct texmf_tree {
  std::string root;  // the tree; its ls-R lies here
  std::string cnf;   // directory of the texmf.cnf that points at the tree
};

// Make a fixture of one tree whose ls-R holds the header followed by
// LISTING (lines of "./dir:" and file names).
texmf_tree make_tree(const std::string &listing);

// Run lsrcheck with ARGS on TREE's database only.
run_result run_on_tree(const texmf_tree &tree,
                       const std::vector<std::string> &args,
                       run_options opts = {});

// A TeX Live installation laid out as TeX Live's installer lays one out:
// ROOT/bin/x86_64-linux/kpsewhich (a stand-in script), a texmf.cnf in its
// style in ROOT/texmf-dist/web2c, ROOT/texmf-dist and ROOT/texmf-var, and
// texmf-local beside ROOT.  Each of the three trees holds tex/latex/x.sty
// in its ls-R.
struct texlive_tree {
  std::string root;   // .../2025
  std::string local;  // .../texmf-local
};
texlive_tree make_texlive_tree();

// qsort comparison of two slots holding paths: their final components
// under stricmp.  A missing final component sorts first.
int compare_basenames(const void *a, const void *b);

// Sort the COUNT PATHS by file name (ties by whole path), in place, and
// write the report from the count line to the end line on OUT: the
// straightforward design, kept as the reference the check must equal.
void report_groups(char **paths, int count, FILE *out);

// The report that report_groups, the straightforward design, writes for
// PATHS.
std::string reference_report(std::vector<std::string> paths);

// The report for KEPT paths and GROUPS of paths, as the tool prints it.
std::string expected_report(int kept,
                            const std::vector<std::vector<std::string>> &groups);

#endif
