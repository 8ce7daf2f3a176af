// The database health check: the files TeX cannot find because an ls-R is
// stale, missing or left out, and the configuration of the databases.
#ifndef LSRCHECK_DATABASES_H
#define LSRCHECK_DATABASES_H

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "databases/health.h"

// Check every tree on TEXMFDBS against the disk and the configuration, with
// THREADS threads for the walk (0: one per core).  Never writes anything.
// Kpathsea must be set up.
database_health check_databases(unsigned threads = 0);

// The report (print.cc): the shell command that mends TREE, or "" if none
// does.
std::string mending_command(const database_health &health, const tree_health &tree);

// Write HEALTH as text on OUT; lists show their first entries unless ALL.
void print_database_health(const database_health &health, bool all, FILE *out);

// Check the databases' health, and the files of the trees of TEXMF as the
// programs in BIN look them up, and print the report on standard output,
// as JSON if JSON, every entry of long lists if ALL, and warnings as
// PROGRAM_NAME on standard error; return the exit status: status_problems
// if a problem was found, else 0.  Kpathsea must be set up.
int run_databases(bool json, bool all, const char *program_name, const std::string &bin);

// Write HEALTH as one JSON document on OUT.
void print_database_health_json(const database_health &health, FILE *out);

#endif
