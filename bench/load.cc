// Kpathsea's share of the floor's run: set up, load the ls-R databases with
// the library's own code and walk their entries, and nothing else.

#include <cstdio>

#include "plain_kpathsea.h"

namespace {

long entries;

// Count one database entry.
void count_entry(const char *, const char *)
{
  entries++;
}

} // namespace

int main(int, char **argv)
{
  walk_plain_databases(argv[0], count_entry);
  printf("%ld\n", entries);
  return 0;
}
