// What Kpathsea's texmf.cnf says: variables, the elements of path
// variables, the texmf trees, the configuration file itself, and the
// databases of a tree.
#ifndef LSRCHECK_KPATHSEA_VARIABLES_H
#define LSRCHECK_KPATHSEA_VARIABLES_H

#include <string>
#include <utility>
#include <vector>

// The file names of a tree's databases, as Kpathsea looks for them in the
// tree's top directory: ls-R, and ls-r where that is another file.
const char *const database_names[] = {"ls-R", "ls-r"};

// The variables of an installation's trees; where two roots are one, the
// first listed names it.
const std::vector<const char *> tree_variables = {
  "TEXMFHOME", "TEXMFLOCAL", "TEXMFDIST", "TEXMFMAIN", "TEXMFSYSVAR", "TEXMFSYSCONFIG",
  "TEXMFVAR", "TEXMFCONFIG", "TEXMFDEBIAN", "TEXMFAUXTREES", "TEXMFROOT"};

// Return S, a string Kpathsea allocated, as a string, and free it; "" for
// a null S.
std::string taken_string(char *s);

// Return the texmf trees by their texmf.cnf variable, each (variable,
// root) with the root's links resolved, in the order of VARIABLES.
std::vector<std::pair<std::string, std::string>> tree_roots(
    const std::vector<const char *> &variables);

// One element of a path variable: a directory, and whether it is marked
// "!!" (searched only through its ls-R, never on disk).
struct path_element {
  std::string dir;
  bool database_only;
};

// Return the elements of texmf.cnf variable NAME (TEXMFDBS, TEXMF), braces
// expanded, in order; empty elements left out.
std::vector<path_element> path_elements(const char *name);

// Return the value of texmf.cnf variable NAME, expanded, or "".
std::string variable_value(const char *name);

// Return the ls-R files of the tree DIR that Kpathsea loads: ls-R, then
// ls-r where it is another file.
std::vector<std::string> database_files(const std::string &dir);

// Return the trees of TEXMF that Kpathsea searches on disk: not marked
// "!!", and below no directory of TEXMFDBS whose ls-R it loads.
std::vector<std::string> disk_searched_trees();

// Return the texmf.cnf Kpathsea reads first, or "" if it found none.  Read
// a variable before: that is when Kpathsea reads its configuration.
std::string configuration_file();

// Return the path Kpathsea looks for texmf.cnf along.
std::string configuration_path();

// Return the root of the installation Kpathsea is set up for: TEXMFROOT as
// texmf.cnf defines it, else the program's parent directory; links
// resolved.
std::string texmf_root();

#endif
