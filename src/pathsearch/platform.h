// What differs between Linux and Windows: files and their names, the
// environment, loading a library at run time, the named shared-memory
// object, where an installation and its Ghostscript are found.
// platform_posix.cc and platform_windows.cc each define all of it, and the
// parts of pathsearch.h that differ (the named shared-memory object, the
// directory test, wildcards, the databases' load); the modes call only
// these.  Names are UTF-8 on both.
#ifndef LSRCHECK_PLATFORM_H
#define LSRCHECK_PLATFORM_H

#include <string>
#include <vector>

// Set *VALUE to environment variable NAME and return true, or return false
// if it is not set.
bool environment_value(const char *name, std::string *value);

// Set NAME in the environment to VALUE, or remove it where VALUE is null.
void set_environment(const char *name, const char *value);

// Return true if PATH names a regular file (after links).
bool regular_file_p(const std::string &path);

// Return true if PATH names a directory (after links).
bool directory_p(const std::string &path);

// Return true if PATH names a regular file (after links) that may be run.
bool executable_p(const std::string &path);

// Return true if anything is at PATH, a dangling link included.
bool present_p(const std::string &path);

// Return true if A and B both exist and are one file (after links).
bool same_file_p(const std::string &a, const std::string &b);

// Return the names in directory DIR that do not start with a dot, sorted;
// empty if it cannot be read.
std::vector<std::string> directory_names(const std::string &dir);

// Return PATH absolute, with symbolic links, '.' and '..' resolved, or PATH
// itself if it cannot be resolved.
std::string real_path(const std::string &path);

// Return the absolute path of the running program, from ARGV0 where the
// system cannot tell.
std::string own_program_path(const char *argv0);

// The file name of Kpathsea's own client in a TeX Live bin directory.
extern const char kpsewhich_name[];

// Return true if ARCH names a TeX Live bin directory for this machine
// (x86_64-linux, windows, ...).
bool native_arch_p(const std::string &arch);

// True where Kpathsea has a configuration of its own to fall back on (a
// texmf.cnf at a fixed place, as Debian's); false where an installation
// is only found from where its programs are (Windows).
extern const bool system_configuration_p;

// Prepare Kpathsea before its program set-up: on Windows, file names are
// UTF-8 for it as for the tool.
void prepare_path_search();

// Return the handle of the shared library NAME (a path or a name the
// system searches for), or null if it cannot be loaded.
void *load_library(const char *name);

// Return the address of SYMBOL in LIBRARY, or null if it has none.
void *library_symbol(void *library, const char *symbol);

// Return the absolute path of the file LIBRARY was loaded from, or "".
std::string library_path(void *library);

// Unload LIBRARY.
void close_library(void *library);

// A Ghostscript library where the system keeps one: its file, and the
// search path its installation records ("" where none is recorded).
struct library_candidate {
  std::string dll;
  std::string lib;
};

// Return the Ghostscript libraries to try, most wanted first, when GS_DLL
// names none.
std::vector<library_candidate> ghostscript_libraries();

#endif
