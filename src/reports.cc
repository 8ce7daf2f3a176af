// The installation reports: Kpathsea's shared-memory object and the
// installed Ghostscript.

#include "reports.h"

#include <cstdio>

#include "lsrcheck.h"
#include "pathsearch/gslocate.h"
#include "pathsearch/pathsearch.h"

namespace {

// Name of the shared-memory object in which Kpathsea keeps its databases.
const char file_mapping_name[] = "rv52_hash_mapping";

// Return S, or "" if S is null.
const char *or_empty(const char *s)
{
  return s != nullptr ? s : "";
}

} // namespace

void report_shared_memory()
{
  if (file_mapping_exists_p(file_mapping_name))
    puts("Kpathsea file mapping is set up.");
  else
    puts("No kpathsea file mapping set up.");
}

void report_ghostscript()
{
  if (gs_locate() == 0) {
    printf("%s: no version of Ghostscript has been found.\n", options.program_name);
    return;
  }
  printf("%s: Ghostscript version %s has been found:\n", options.program_name,
         or_empty(gs_revision));
  printf("dll     : %s\n", or_empty(gs_dll));
  printf("libpath : %s\n", or_empty(gs_lib));
}
