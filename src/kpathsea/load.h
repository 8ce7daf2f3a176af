// How the tool takes part in Kpathsea's loading of its databases.  That
// depends on how Kpathsea is linked, and the build chooses the file that
// defines these: load_interposed.cc where it is a shared library (Linux),
// load_static.cc where it is a static one (Windows).
#ifndef LSRCHECK_KPATHSEA_LOAD_H
#define LSRCHECK_KPATHSEA_LOAD_H

// Keep Kpathsea from loading its ls-R databases when it first reads
// texmf.cnf (it loads them then, whatever the variable was read for).
// For a run that reads the ls-R files itself: afterwards only variables
// may be asked, since no lookup would find anything in a !! tree.
void skip_database_load();

// Put off the load of Kpathsea's ls-R databases, when it first reads
// texmf.cnf, until load_deferred_databases: meanwhile only variables may be
// asked.  Where the load cannot be taken over (Windows), it is not put off.
void defer_database_load();

// Load the databases put off by defer_database_load, if they were.
void load_deferred_databases();

// Prepare Kpathsea before its program set-up: on Windows, file names are
// UTF-8 for it as for the tool.
void prepare_path_search();

#endif
