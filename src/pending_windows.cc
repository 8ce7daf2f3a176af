// -explain and -databases are not built for Windows yet: they say so.
#include <cstdio>
#include <cstdlib>

#include "databases/databases.h"
#include "explain/explain.h"
#include "lsrcheck.h"

int run_explain(const check_filter &, const std::vector<std::string> &, bool, unsigned)
{
  fprintf(stderr, "%s: -explain is not yet available on Windows\n", options.program_name);
  return EXIT_FAILURE;
}

int run_databases(bool, bool)
{
  fprintf(stderr, "%s: -databases is not yet available on Windows\n", options.program_name);
  return EXIT_FAILURE;
}
