// A TeX source's \Provides... declaration as LaTeX would carry it out:
// the date and version it records under the file's own name.
#ifndef LSRCHECK_TEXSOURCE_DECLARATIONS_H
#define LSRCHECK_TEXSOURCE_DECLARATIONS_H

#include <cstddef>
#include <string>
#include <utility>

#include "texsource/input.h"

// How much of a TeX source the declaration is looked for in: license
// headers and guards can be long.
const size_t declaration_window = 256 * 1024;

// Return true if DECLARED, the name a file's declaration gives, names the
// file NAME: the same name in any case (Kpathsea finds FOO.CFG for
// foo.cfg), or a path that ends in it.
bool names_file_p(const std::string &declared, const std::string &name);

// Return the date and version that the first \Provides... declaration of
// TEXT that LaTeX would carry out gives, as {date, version}; empty where
// there is none.  The files TEXT inputs are read through FIND; where one
// comes first that FIND cannot read (or FIND is empty), the answer is
// empty and *UNFOLLOWED (if given) is set.  Only a declaration LaTeX
// records under NAME, the file's own name, counts ("": any).
std::pair<std::string, std::string> provides_declaration(const std::string &text,
                                                         const input_finder &find = {},
                                                         bool *unfollowed = nullptr,
                                                         const std::string &name = "");

// Return the date and version of INFO, the optional argument of a
// declaration as LaTeX records it ("2022/04/08 v2.17n AMS math features").
std::pair<std::string, std::string> recorded_declaration(const std::string &info);

#endif
