// The database health check: the files TeX cannot find because an ls-R is
// stale, missing or left out, and the configuration of the databases.
#ifndef LSRCHECK_DATABASES_H
#define LSRCHECK_DATABASES_H

#include <cstdio>
#include <string>
#include <vector>

// What one tree on TEXMFDBS looks like against its ls-R.
struct tree_health {
  std::string dir;               // as TEXMFDBS names it
  bool database_only = false;    // marked !!
  std::string lsr;               // its ls-R, or "" if it has none
  std::string lsr_target;        // where the ls-R leads when it is a link
  bool lsr_readable = false;
  bool lsr_header = false;       // the first line is mktexlsr's header
  size_t entries = 0;            // usable entries
  bool writable = false;         // the user may rewrite the ls-R
  std::vector<std::string> missing;   // files on disk that ls-R lacks
  std::vector<std::string> left_out;  // ... that mktexlsr itself leaves out
  std::vector<std::string> gone;      // entries whose file is gone
  std::vector<std::string> dangling;  // entries that are dangling links
  std::vector<std::string> unlistable; // directories that cannot be read
};

// One broken rule of the databases' configuration.
struct config_problem {
  std::string rule; // a short key: "not-database-only", "no-ls-R", ...
  std::string dir;
  std::string text; // what is wrong and what it means
};

struct database_health {
  std::vector<tree_health> trees;
  std::vector<config_problem> config;
};

// Check every tree on TEXMFDBS against the disk and the configuration, with
// THREADS threads for the walk (0: one per core).  Never writes anything.
// Kpathsea must be set up.
database_health check_databases(unsigned threads = 0);

// Return true if HEALTH shows a problem.
bool problems_p(const database_health &health);

// Return true if the tree's problems are what mktexlsr mends (once an ls-R
// without its header is removed).
bool mended_by_mktexlsr_p(const tree_health &tree);

// Write HEALTH as text on OUT; lists show their first entries unless ALL.
void print_database_health(const database_health &health, bool all, FILE *out);

// Write HEALTH as one JSON document on OUT.
void print_database_health_json(const database_health &health, FILE *out);

#endif
