// The Ghostscript locator: finds an installed Ghostscript library at run
// time, without linking to it, and describes it.
#ifndef LSRCHECK_GSLOCATE_H
#define LSRCHECK_GSLOCATE_H

#include <string>
#include <vector>

// After gs_locate() has returned nonzero, these describe the installation
// found; each is then a string, possibly empty, never null.
extern const char *gs_revision; // version as "gs --version" prints it
extern const char *gs_dll;      // absolute path of the library loaded
extern const char *gs_lib;      // search path: GS_LIB, then the built-in one

// Return nonzero if a Ghostscript library was found: the one named by
// GS_DLL when that is set, otherwise the first of the system's (Debian's
// libgs names; on Windows, the installations the registry records) that
// loads and answers gsapi_revision.  gs_lib is GS_LIB, or the path the
// installation records, then the library's built-in search path.  With
// REFUSED, add a line for each library tried and refused: which, and why.
int gs_locate(std::vector<std::string> *refused = nullptr);

// Return Ghostscript's version text for REVISION (10000 -> "10.00.0").
std::string gs_version_text(long revision);

// Return the directories of the "Search path:" section of Ghostscript's
// help text HELP, joined with the path separator (':', ';' on Windows);
// empty if there is none.
std::string gs_search_path(const std::string &help);

#endif
