// The database health check: the files TeX cannot find because an ls-R is
// stale, missing or left out, and the configuration of the databases.
#ifndef LSRCHECK_DATABASES_H
#define LSRCHECK_DATABASES_H

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// What a tree on TEXMFDBS is on disk.
enum tree_kind {
  tree_directory,     // a directory: checked
  tree_absent,        // nothing there: nothing to find
  tree_not_directory, // a file or the like: Kpathsea finds nothing in it
  tree_unknown        // could not look (permission, name too long, ...)
};

// A dangling symbolic link listed in an ls-R: where it leads, and the
// Debian package that installed it, if any.
struct dangling_link {
  std::string path, target, package;
};

// What one tree on TEXMFDBS looks like against its ls-R.
struct tree_health {
  std::string dir;               // as TEXMFDBS names it
  bool database_only = false;    // marked !! on TEXMFDBS
  bool searched_database_only = false; // marked !! where the search path (TEXMF)
                                 // names it, else as on TEXMFDBS: whether
                                 // Kpathsea ever searches it on disk
  tree_kind kind = tree_directory;
  std::string kind_why;          // what was seen, for tree_not_directory/unknown
  bool holds_files = false;      // the walk met at least one file
  std::string lsr;               // its ls-R (or ls-r), or "" if it has none
  std::string second_lsr;        // its ls-r where it has an ls-R as well
  std::string lsr_target;        // where the ls-R leads when it is a link
  bool lsr_readable = false;
  std::string lsr_why;           // why it cannot be read
  bool lsr_regular = true;       // a regular file (not a FIFO, device, /proc)
  bool lsr_header = false;       // the first line is mktexlsr's header
  size_t entries = 0;            // usable entries, as Kpathsea counts them
  bool writable = false;         // the user may rewrite the ls-R
  bool owner = false;            // the user owns the ls-R (may chmod it)
  std::vector<std::string> missing;    // files on disk that ls-R lacks
  std::vector<std::string> left_out;   // ... that mktexlsr itself leaves out
  std::vector<std::string> unlistable_names; // ... that no ls-R can list
  std::vector<std::string> gone;       // entries whose file is gone
  std::vector<dangling_link> dangling; // entries that are dangling links
  std::vector<std::string> unlistable; // directories that cannot be read
  std::vector<std::string> unchecked;  // entries that could not be looked at
  std::vector<std::string> pseudo;     // directories leading into /proc or /sys
  std::vector<std::string> odd_blocks; // blocks mktexlsr never writes
};

// One broken rule of the databases' configuration.
struct config_problem {
  std::string rule; // a short key: "not-database-only", "no-ls-R", ...
  std::string dir;
  std::string text; // what is wrong and what it means
};

struct database_health {
  std::vector<std::string> setup;  // no texmf.cnf, no TEXMFDBS: nothing checked
  std::vector<tree_health> trees;
  std::vector<config_problem> config;
  std::vector<config_problem> notes; // rules the configuration keeps, worth knowing
  std::string mktexlsr = "mktexlsr"; // the command that rebuilds an ls-R
  std::string packages_unread; // a package list that could not be read, and why
};

// One (directory, name) pair of an ls-R, as Kpathsea stores it.
typedef std::pair<std::string, std::string> lsr_entry;

// Return the entries of the ls-R TEXT found at DB_PATH, exactly as
// Kpathsea loads them: every line end (LF, CR, CRLF), a line cut at a NUL
// byte, "./" and "../" directory lines taken relative to the tree, hidden
// directories and lines before the first directory left out.
std::vector<lsr_entry> read_lsr(const std::string &text, const std::string &db_path);

// Check every tree on TEXMFDBS against the disk and the configuration, with
// THREADS threads for the walk (0: one per core).  Never writes anything.
// Kpathsea must be set up.
database_health check_databases(unsigned threads = 0);

// Return true if the tree T shows a problem.
bool tree_problems_p(const tree_health &t);

// Return true if HEALTH shows a problem.
bool problems_p(const database_health &health);

// Return true if the tree's problems are what mktexlsr mends (once an ls-R
// without its header is removed).
bool mended_by_mktexlsr_p(const tree_health &tree);

// Return the shell command that mends TREE, or "" if none does.
std::string mending_command(const database_health &health, const tree_health &tree);

// Write HEALTH as text on OUT; lists show their first entries unless ALL.
void print_database_health(const database_health &health, bool all, FILE *out);

// Check the databases' health and print the report on standard output, as
// JSON if JSON, every entry of long lists if ALL, and warnings as
// PROGRAM_NAME on standard error; return the exit status: status_problems
// if a problem was found, else 0.  Kpathsea must be set up.
int run_databases(bool json, bool all, const char *program_name);

// Write HEALTH as one JSON document on OUT.
void print_database_health_json(const database_health &health, FILE *out);

#endif
