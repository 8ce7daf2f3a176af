// Libraries loaded at run time on POSIX systems (dlopen), and where
// Debian keeps Ghostscript's.

#include "platform/platform.h"

#include <cstdlib>
#include <dlfcn.h>
#include <link.h>
#include <string>
#include <vector>

namespace platform {

void *load_library(const char *name, std::string *why)
{
  void *library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr && why != nullptr) {
    const char *error = dlerror();
    *why = error != nullptr ? error : "";
  }
  return library;
}

void *library_symbol(void *library, const char *symbol)
{
  dlerror();
  return dlsym(library, symbol);
}

std::string library_path(void *library)
{
  struct link_map *map = nullptr;
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)
    return "";
  char *real = realpath(map->l_name, nullptr);
  if (real == nullptr)
    return map->l_name[0] == '/' ? map->l_name : "";
  std::string path = real;
  free(real);
  return path;
}

void close_library(void *library)
{
  dlclose(library);
}

std::vector<library_candidate> ghostscript_libraries()
{
  // The names Debian's libgs packages install, newest first; the dynamic
  // linker knows where.
  return {{"libgs.so.10", "", ""}, {"libgs.so.9", "", ""}};
}

} // namespace platform
