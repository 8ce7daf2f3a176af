// The installation reports' texts: Kpathsea's shared-memory object and the
// installed Ghostscript.

#include "reports/reports.h"

#include <cstdio>
#include <string>
#include <vector>

#include "reports/gslocate.h"
#include "platform/platform.h"

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
  if (platform::file_mapping_exists_p(file_mapping_name))
    puts("Kpathsea file mapping is set up.");
  else
    puts("No kpathsea file mapping set up.");
}

void report_ghostscript(const char *program_name)
{
  std::vector<std::string> refused;
  if (gs_locate(&refused) == 0) {
    printf("%s: no version of Ghostscript has been found.\n", program_name);
    // What was tried, on standard error, so that a GS_DLL that names the
    // wrong file is seen for what it is.
    for (const std::string &line : refused)
      fprintf(stderr, "%s: note: tried %s\n", program_name, line.c_str());
    return;
  }
  printf("%s: Ghostscript version %s has been found:\n", program_name,
         or_empty(gs_revision));
  printf("dll     : %s\n", or_empty(gs_dll));
  printf("libpath : %s\n", or_empty(gs_lib));
}
