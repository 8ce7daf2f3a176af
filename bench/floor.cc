// The floor of the straightforward duplicate check: load the databases
// through Kpathsea as shipped, then one concat and one dir_p per entry,
// nothing else.

#include <cstdio>
#include <cstdlib>

#include "plain_kpathsea.h"

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
  walk_plain_databases(argv[0], visit);
  printf("%ld\n", not_directories);
  return 0;
}
