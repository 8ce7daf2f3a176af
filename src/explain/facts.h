// What the explained report learns about a file from the file itself and
// from the package lists: its state, size, time, content and declaration,
// and the package that installed it.
#ifndef LSRCHECK_EXPLAIN_FACTS_H
#define LSRCHECK_EXPLAIN_FACTS_H

#include <cstddef>
#include <string>
#include <vector>

#include "explain/explain.h"
#include "shared/packages.h"

// Fill in the state, size, modification time, content marks and
// \Provides declarations of the members of GROUP.  Each file is read at
// most once, and whole only where another member has its size.
void learn_file_facts(group_info &group);

// Return the hash of the whole content of the file at PATH, in hex, or ""
// where it cannot be read.
std::string content_hash(const std::string &path);

// The packages that installed files, by path as path_key spells it.
struct package_owners {
  package_map debian, texlive;
  std::string unread; // a package list that could not be read, and why
};

// Fill in, for every member of GROUPS, the Debian package whose file list
// (in DPKG_INFO, *.list) names it, and its package in the TeX Live
// database TLPDB of the installation rooted at ROOT (either may be "").
// Return the owners read: those of the members, and of every file whose
// last component is one of NAMES (with the first list it could not read).
package_owners learn_packages(const std::vector<group_info *> &groups, const std::string &dpkg_info,
                              const std::string &tlpdb, const std::string &root,
                              const name_set &names = name_set());

// Fill in the packages of the members of GROUPS from OWNERS, read for the
// names NAMES; return false, filling in nothing, if a member leads through
// a link to a file of another name, whose owner was not read.
bool learn_packages_from(const std::vector<group_info *> &groups, const package_owners &owners,
                         const name_set &names);

#endif
