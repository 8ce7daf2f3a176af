// Copies of a file: what each copy's file is (its state, size, time,
// content, declaration) and which package put it there.  The copies of
// one name are compared among themselves, each file read at most once.
#ifndef LSRCHECK_COPIES_COPIES_H
#define LSRCHECK_COPIES_COPIES_H

#include <ctime>
#include <string>
#include <vector>

#include "shared/packages.h"

// What a copy is on disk.  file_unchecked means it could not be looked at
// (permission, name length): no verdict either way.
enum file_state {
  file_ok, file_missing, file_dangling, file_unreadable, file_not_regular, file_unchecked
};

// What a copy's file is.
struct file_facts {
  file_state state = file_ok;
  std::string why;  // what was seen, where not file_ok
  long long size = -1; // -1 where unknown
  time_t mtime = 0;
  int mark = -1;    // copies of one name with the same bytes share it
  std::string hash; // of its content, where asked for
};

// The \Provides... declaration of a copy, as LaTeX records it or as a
// reading of the text gives it.
struct declaration_facts {
  std::string date, version;
  bool by_latex = false;   // as the installation's LaTeX records it
  bool unfollowed = false; // the reading met an \input not found beside it
  std::string latex_why;   // why LaTeX was not asked or gave no answer
};

// Return true if the declared date MINE is older than BEHIND, both given
// (YYYY/MM/DD, or YYYY-MM-DD).
bool older_date_p(const std::string &mine, const std::string &behind);

// The packages that put a copy there.
struct copy_owner {
  std::string package;         // the Debian package
  std::string texlive_package; // its TeX Live package (texlive.tlpdb)
};

// One copy of a name: where it is, and what is known of it.
struct file_copy {
  std::string path;
  file_facts file;
  declaration_facts declaration;
  copy_owner owner;
};

// Fill in the file facts and the declarations of COPIES, the copies of
// one name: copies with the same bytes get the same mark.  A declaration
// that comes after an \input is left for the caller to read with the
// files Kpathsea finds (declaration.unfollowed).  Each file is read at
// most once, and whole only where another copy has its size.  Without
// DECLARATIONS, the declarations are left unread.
void learn_file_facts(const std::vector<file_copy *> &copies, bool declarations = true);

// Return the hash of the whole content of the file at PATH, in hex, or ""
// where it cannot be read.
std::string content_hash(const std::string &path);

// The packages that installed files, by path as path_key spells it.
struct package_owners {
  package_map debian, texlive;
  std::string unread; // a package list that could not be read, and why
};

// Fill in, for each of COPIES, the Debian package whose file list (in
// DPKG_INFO, *.list) names it, and its package in the TeX Live database
// TLPDB of the installation rooted at ROOT (either may be "").  Return the
// owners read: those of the copies, and of every file whose last component
// is one of NAMES (with the first list it could not read).
package_owners learn_packages(const std::vector<file_copy *> &copies, const std::string &dpkg_info,
                              const std::string &tlpdb, const std::string &root,
                              const name_set &names = name_set());

// Fill in the packages of COPIES from OWNERS, read for the names NAMES;
// return false, filling in nothing, if a copy leads through a link to a
// file of another name, whose owner was not read.
bool learn_packages_from(const std::vector<file_copy *> &copies, const package_owners &owners,
                         const name_set &names);

#endif
