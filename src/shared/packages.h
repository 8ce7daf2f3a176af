// Which package put a file on the machine: Debian's package lists, and
// the TeX Live database of an installation from TeX Live's installer.
#ifndef LSRCHECK_PACKAGES_H
#define LSRCHECK_PACKAGES_H

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/platform.h"

// The packages found, by path.
typedef std::unordered_map<std::string, std::string> package_map;

// The last components of paths whose owners are wanted wherever they are.
typedef std::unordered_set<std::string_view> name_set;

// Return true if the last component of PATH is one of NAMES.
bool named_p(const std::string &path, const name_set &names);

// Return the Debian package whose file list (DPKG_INFO/*.list) names each
// of PATHS, and each other file whose last component is one of NAMES, for
// those some list names.  Where a list (or DPKG_INFO, when it exists)
// cannot be read, and *UNREAD is empty, say in it which and why.
package_map debian_owners(const std::unordered_set<std::string> &paths,
                          const std::string &dpkg_info = platform::dpkg_info_dir,
                          const name_set &names = name_set(), std::string *unread = nullptr);

// Return the TeX Live package database of the installation rooted at
// ROOT, or "" where it has none (Debian's TeX, or no root).
std::string texlive_database(const std::string &root);

// Return the TeX Live package of each of PATHS (as path_key spells them),
// and of each other file whose last component is one of NAMES, that the
// database TLPDB of the installation rooted at ROOT lists; say in
// *UNREAD, where it is empty, why TLPDB cannot be read.
package_map texlive_owners(const std::unordered_set<std::string> &paths, const std::string &tlpdb,
                           const std::string &root, const name_set &names = name_set(),
                           std::string *unread = nullptr);

#endif
