// How the tool takes part in Kpathsea's loading of its databases where
// Kpathsea is a shared library (Linux): the executable's own definitions
// of kpathsea_init_db and perror take over the library's calls to them, as
// tailappend.cc's do for the appends.

#include "kpathsea/load.h"

#include "kpathsea/binding.h"
#include "kpathsea/complaints.h"
#include "kpathsea/variables.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/platform.h"

void prepare_path_search()
{
}

namespace {

bool database_load_skipped;

// Set while the load is put off; the instance whose load waits, once
// Kpathsea asked for it, and the trees it is to load.
bool database_load_deferred;
kpathsea deferred_instance;
std::string deferred_loadable;

} // namespace

void skip_database_load()
{
  database_load_skipped = true;
}

void defer_database_load()
{
  database_load_deferred = true;
}

namespace {

// Return TEXMFDBS without the trees whose ls-R is no regular file (a FIFO
// would hang Kpathsea's load, /dev/zero would fill memory), saying so on
// standard error; "" if every tree may be loaded, "-" if none.
std::string loadable_databases()
{
  std::string kept;
  bool dropped = false;
  for (const path_element &tree : path_elements("TEXMFDBS")) {
    bool bad = false;
    for (const char *name : database_names) {
      std::string db = tree.dir + "/" + name;
      struct stat st;
      int fd, error;
      platform::open_result result = platform::open_regular(db, &fd, &st, &error);
      platform::owned_file opened(result == platform::open_ok ? fd : -1);
      static std::vector<std::string> warned; // Kpathsea may load more than once
      if ((result == platform::open_not_regular || result == platform::open_pseudo) &&
          std::find(warned.begin(), warned.end(), db) == warned.end()) {
        warned.push_back(db);
        fprintf(stderr, "lsrcheck: warning, %s: %s: left out of the databases\n", db.c_str(),
                platform::open_failure_text(result, st, error).c_str());
      }
      bad = bad || result == platform::open_not_regular || result == platform::open_pseudo;
    }
    dropped = dropped || bad;
    if (!bad)
      kept += (kept.empty() ? "" : std::string(1, ENV_SEP)) + (tree.database_only ? "!!" : "") +
              tree.dir;
  }
  // An empty element would stand for texmf.cnf's value: with nothing
  // left, nothing is loaded at all.
  if (dropped && kept.empty())
    return "-";
  return dropped ? kept : "";
}

// The library's own kpathsea_init_db.
typedef void (*init_fn)(kpathsea);
init_fn library_init()
{
  static init_fn init = reinterpret_cast<init_fn>(dlsym(RTLD_NEXT, "kpathsea_init_db"));
  return init;
}

// Load KPSE's databases from the trees of LOADABLE (see
// loadable_databases).
void load_databases(kpathsea kpse, const std::string &loadable)
{
  if (loadable == "-")
    return;
  const char *saved = getenv("TEXMFDBS");
  std::string before = saved != nullptr ? saved : "";
  if (!loadable.empty())
    platform::set_environment("TEXMFDBS", loadable.c_str());
  library_init()(kpse);
  if (!loadable.empty()) {
    if (saved != nullptr)
      platform::set_environment("TEXMFDBS", before.c_str());
    else
      platform::set_environment("TEXMFDBS", nullptr);
  }
}

} // namespace

// Kpathsea's reading of texmf.cnf calls this, through its PLT, to load the
// databases; the library's own function does the work unless told not to.
// An ls-R that is no regular file is never opened.
extern "C" void kpathsea_init_db(kpathsea kpse)
{
  if (database_load_skipped || library_init() == nullptr)
    return;
  // Said now, where it would be said without the wait.
  std::string loadable = loadable_databases();
  if (database_load_deferred) {
    deferred_instance = kpse;
    deferred_loadable = loadable;
    return;
  }
  load_databases(kpse, loadable);
}

void load_deferred_databases()
{
  database_load_deferred = false;
  kpathsea kpse = deferred_instance;
  deferred_instance = nullptr;
  if (kpse != nullptr)
    load_databases(kpse, deferred_loadable);
}

// Kpathsea's complaints about files it may not read come through perror,
// which the executable's definition takes over as kpathsea_init_db's is:
// each is written once.
extern "C" void perror(const char *s)
{
  kpathsea_complaint(s, errno);
}
