// Files TeX never finds where they lie: files of a kind some program looks
// up, in a tree of TEXMF but in no directory any program's search path
// reaches (or none of LaTeX's, for a LaTeX package), and a texmf directory
// in the user's home that TEXMFHOME does not name.
#ifndef LSRCHECK_DATABASES_MISPLACED_H
#define LSRCHECK_DATABASES_MISPLACED_H

#include <string>
#include <vector>

#include "databases/health.h"

// Add to HEALTH the misplaced files of the trees of TEXMF, the
// distribution's trees and those its programs write left out, as the
// programs of the table installed in BIN look them up (every program of
// the table where BIN is ""), and the user's unsearched texmf directory.
// Kpathsea must be set up; its program is set anew.
void check_misplaced(database_health &health, const std::string &bin);

// Return the commands that move F where it belongs, or "" where no place
// is known or one is taken.
std::string misplaced_command(const misplaced_file &f);

// Return the command that puts the files of H where TEXMFHOME is.
std::string home_command(const unsearched_home &h);

// Return true if the directory DIR lies in the search path element
// ELEMENT, "!!" and "//" as Kpathsea keeps them: DIR itself, or for "//"
// any directory below.
bool element_reaches_p(const std::string &element, const std::string &dir);

#endif
