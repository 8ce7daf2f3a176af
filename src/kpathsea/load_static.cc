// How the tool takes part in Kpathsea's loading of its databases where
// Kpathsea is a static library (Windows): no call of the library's can be
// taken over by interposition, so the link sends its perror here
// (--wrap=perror), its own appends stay, and the load is kept off through
// TEXMFDBS.

#include "kpathsea/load.h"

#include "kpathsea/binding.h"
#include "kpathsea/complaints.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>
#include <windows.h>

#include "kpathsea/tailappend.h"
#include "platform/platform.h"

// File names are UTF-8 for Kpathsea as for the tool.
void prepare_path_search()
{
  kpse_def_inst.File_system_codepage = CP_UTF8;
}

// Kpathsea's complaints about files it may not read come through perror,
// whose calls in the static library the link sends here (--wrap=perror):
// each is written once.
extern "C" void __wrap_perror(const char *s)
{
  kpathsea_complaint(s, errno);
}

void skip_database_load()
{
  // No interposition with a static library: while Kpathsea first reads
  // texmf.cnf, which is when it loads the databases, TEXMFDBS names only a
  // tree that cannot exist ('<' is no character of a Windows name).
  if (kpse_def_inst.cnf_hash.size != 0)
    return; // read already, and loaded
  std::string saved;
  bool had = platform::environment_value("TEXMFDBS", &saved);
  platform::set_environment("TEXMFDBS", "<none>");
  free(kpse_var_value("TEXMFROOT"));
  platform::set_environment("TEXMFDBS", had ? saved.c_str() : nullptr);
}

// The load happens as Kpathsea first reads texmf.cnf: it cannot be put off
// where it cannot be taken over.
void defer_database_load()
{
}

void load_deferred_databases()
{
}

// Symbol interposition, which makes Kpathsea's appends constant-time on
// Linux, has no counterpart with a static library: Kpathsea appends as it
// always does, and the table is walked bucket by bucket.
void begin_tail_appends(hash_table_type *)
{
}

void end_tail_appends()
{
}

const std::vector<logged_entry> *load_log(const hash_table_type *)
{
  return nullptr;
}
