// The tool's binding to Kpathsea: program set-up, the ls-R file-name
// databases, the debug mask and version, and Kpathsea's complaints.
//
// Kpathsea supplies concat, xmalloc, xrealloc, xbasename, dir_p and
// uppercasify (declared by its own headers, included below).  The
// shared-database calls, dostounix_filename and stricmp are ours.  How the
// load is hooked depends on how Kpathsea is linked (load.h).
#ifndef LSRCHECK_KPATHSEA_BINDING_H
#define LSRCHECK_KPATHSEA_BINDING_H

#include <cstddef>
#include <string>
#include <vector>

extern "C" {
#include <kpathsea/kpathsea.h>
}

// The databases as a handle.  On Linux the handle is Kpathsea's own
// in-memory table of all ls-R databases it loaded (file name -> directory).
typedef const hash_table_type *shared_db_handle;

// Per-entry callback: the entry's file name, then its directory, then the
// caller's CONTEXT.  The directory already ends with '/'; both strings
// belong to Kpathsea.
typedef void (*db_entry_fn)(const char *name, const char *dir, void *context);

// Which databases hash_shared_exists_p asks for.
enum {
  DB_LOADED_ONLY = 0, // only the databases Kpathsea has already loaded
  DB_LOAD = 1         // load the ls-R databases (TEXMFDBS) first if needed
};

// Return the handle of the ls-R databases, or null if Kpathsea has none.
// With WHICH == DB_LOAD (1, the tool's choice) the databases on Kpathsea's
// TEXMFDBS path are loaded now, through a format initialisation, unless
// they already are, each entry appended in constant time (see
// tailappend.h); with DB_LOADED_ONLY nothing is loaded.  Without any
// usable ls-R file the answer is null.  The program set-up must have run.
shared_db_handle hash_shared_exists_p(int which);

// Load the databases of Kpathsea's TEXMFDBS path, unless they are loaded
// already, and return their handle (null without any usable ls-R): what
// hash_shared_exists_p(DB_LOAD) does.
shared_db_handle load_databases();

// Call FN once for each entry of DB, file name first, then CONTEXT, the
// caller's own state.  An entry present in
// two databases comes twice, once with each directory.  A null DB has no
// entries, so FN is never called.
void hash_shared_iter(shared_db_handle db, db_entry_fn fn, void *context);

// Return the number of entries of DB if it is known without a walk (the
// entries were logged as they loaded), else 0.
size_t hash_shared_size_hint(shared_db_handle db);

// Rewrite PATH in place to use '/' as its only separator and return PATH.
// Where '\\' is not a separator (Linux) it is an ordinary character of a
// file name and PATH is left unchanged.
char *dostounix_filename(char *path);

// Compare A and B byte by byte as unsigned values after folding A..Z onto
// a..z; no other byte is folded.  Returns <0, 0 or >0 like strcmp.
// (C linkage: Windows' C library declares a stricmp of its own, which this
// one stands in for.)
extern "C" int stricmp(const char *a, const char *b);

// Set up Kpathsea for the program invoked as ARGV0: program name, then the
// initialisation at 600 dpi with no mode and no fallback font.  With a
// PROGRAM (see texlive_program), Kpathsea takes PROGRAM's directory as the
// program's own, and, unless TEXMFCNF is set, looks for texmf.cnf where TeX
// Live's programs look: the installation around PROGRAM is the one seen.
void set_up_path_search(const char *argv0, const char *program = nullptr);

// OR BITS into Kpathsea's debug mask.
void add_debug_flags(unsigned bits);

// Return Kpathsea's version string ("kpathsea version ...").
const char *path_search_version();

// Return Kpathsea's bug-report notice, newline included.
const char *path_search_bug_address();

#endif
