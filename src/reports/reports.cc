// The installation reports, each a mode of its own: they look, say what
// they found, and always end with status 0.

#include "reports/reports.h"

#include <cstdlib>

int run_shared_memory()
{
  report_shared_memory();
  return EXIT_SUCCESS;
}

int run_ghostscript(const char *program_name)
{
  report_ghostscript(program_name);
  return EXIT_SUCCESS;
}
