// What the database health check finds, tree by tree and in the
// configuration, and which of it is a problem.
#ifndef LSRCHECK_DATABASES_HEALTH_H
#define LSRCHECK_DATABASES_HEALTH_H

#include <string>
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
  bool lsr_dangling = false;     // a link that leads nowhere
  bool lsr_target_dir = false;   // ... into a directory there is: mktexlsr writes
                                 // the file it leads to
  bool lsr_empty = false;        // holding nothing at all: mktexlsr rewrites it
  bool lsr_header = false;       // the first line is mktexlsr's header
  size_t entries = 0;            // usable entries, as Kpathsea counts them
  bool writable = false;         // the user may rewrite the ls-R
  bool owner = false;            // the user owns the ls-R (may chmod it)
  std::vector<std::string> missing;    // files on disk that ls-R lacks
  std::vector<std::string> missing_dangling; // ... that are dangling links
  std::vector<std::string> left_out;   // ... that mktexlsr itself leaves out
  std::vector<std::string> trips;      // the names that make it leave them out
  std::vector<std::string> vcs_own;    // version control's own files it leaves
                                       // out (_darcs/, .gitignore): a note
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

// A file of a kind TeX looks up, where no program looks for it, or where
// LaTeX does not while other programs do.
struct misplaced_file {
  std::string path;
  std::string tree;                 // the tree of TEXMF it lies in
  std::string kind;                 // Kpathsea's name of its kind ("tex", "bst")
  std::string belongs;              // the directory it belongs in
  std::vector<std::string> readers; // where LaTeX never looks: the programs that do
  bool occupied = false;            // BELONGS holds a file of its name already
  bool writable = false;            // the user may move it
  bool tree_lsr = false;            // the tree has an ls-R: mktexlsr after the move
};

// A texmf directory in the user's home that holds TeX files but is not
// searched, since TEXMFHOME names another place.
struct unsearched_home {
  std::string dir, texmfhome;
};

struct database_health {
  std::vector<std::string> setup;  // no texmf.cnf, no TEXMFDBS: nothing checked
  std::vector<tree_health> trees;
  std::vector<config_problem> config;
  std::vector<config_problem> notes; // rules the configuration keeps, worth knowing
  std::string mktexlsr = "mktexlsr"; // the command that rebuilds an ls-R
  std::string packages_unread; // a package list that could not be read, and why
  std::vector<misplaced_file> misplaced;
  std::vector<unsearched_home> home; // at most one
};

// Return true if the tree T shows a problem.
bool tree_problems_p(const tree_health &t);

// Return true if the misplaced file F is one LaTeX never finds where other
// programs look: else no program looks where it lies.
bool latex_only_p(const misplaced_file &f);

// Return true if HEALTH shows a problem.
bool problems_p(const database_health &health);

// Return true if the tree's problems are what mktexlsr mends (once an ls-R
// without its header is removed).
bool mended_by_mktexlsr_p(const tree_health &tree);

// Return true if the dangling links of T are only links a package put
// there: the distribution's, mended by installing what they point to.
bool distribution_links_p(const tree_health &t);

#endif
