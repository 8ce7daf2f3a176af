// The floor of the straightforward duplicate check: load the databases
// through Kpathsea, then one concat and one dir_p per entry, nothing else.

#include <cstdio>
#include <cstdlib>

#include "pathsearch/pathsearch.h"

namespace {

long not_directories;

// Join DIR and NAME and ask the disk whether the path is a directory.
void visit(const char *name, const char *dir)
{
  char *path = concat(dir, name);
  if (!dir_p(path))
    not_directories++;
  free(path);
}

} // namespace

int main(int, char **argv)
{
  set_up_path_search(argv[0]);
  hash_shared_iter(hash_shared_exists_p(DB_LOAD), visit);
  printf("%ld\n", not_directories);
  return 0;
}
