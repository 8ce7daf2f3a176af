// Kpathsea's own lookups, as TeX engines make them: the format Kpathsea
// searches for a name, the first and every hit of a program, and the
// engine of each format.
#ifndef LSRCHECK_LOOKUP_H
#define LSRCHECK_LOOKUP_H

#include <string>
#include <utility>
#include <vector>

// Return the format Kpathsea searches NAME in, picked as kpsewhich picks
// it: fixed formats for a few configuration files, else the first format
// whose suffix or alternate suffix ends NAME, else the tex format.
int lookup_format(const char *name);

// Return the human-readable name of FORMAT ("tex", "ovf", ...).
const char *format_name(int format);

// Return the format whose human-readable name is NAME, or -1.
int format_named(const std::string &name);

// Return true if NAME ends in one of FORMAT's suffixes or alternate
// suffixes: a name of that kind.
bool name_of_format_p(int format, const std::string &name);

// Return true if NAME ends in one of FORMAT's suffixes: a hit named NAME
// plus that suffix is the name with the suffix added.
bool suffix_added_p(int format, const std::string &name, const std::string &hit);

// Make the lookups that follow those of PROGRAM, run by ENGINE: the engine
// variable set before any search path is built, as the engines do, and no
// mktex script enabled for any format.
void lookup_as_program(const char *program, const char *engine);

// Return every hit of NAME in FORMAT for the program set by
// lookup_as_program, in search order; the first is the file that program
// loads.  The disk is searched only where Kpathsea searches it for a
// lookup that need not succeed.
std::vector<std::string> lookup_all(const char *name, int format);

// Return the search path of FORMAT for the program of lookup_as_program,
// as Kpathsea expanded it: its elements, "//" and "!!" kept.
std::string search_path(int format);

// Return the file Kpathsea finds first for NAME in FORMAT, as the program
// of lookup_as_program, or "" (a lookup that need not succeed).
std::string lookup_first(const char *name, int format);

// Return true if the databases hold an entry NAME in directory DIR.
bool database_entry_p(const std::string &dir, const std::string &name);

// Return the directories in which the loaded databases hold an entry NAME
// (none where they are not loaded yet).
std::vector<std::string> database_dirs(const std::string &name);

// Return the (format, engine) pairs of the installation's fmtutil.cnf,
// disabled formats included; empty if there is none.
std::vector<std::pair<std::string, std::string>> format_engines();

#endif
