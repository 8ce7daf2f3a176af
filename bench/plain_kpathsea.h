// Kpathsea as shipped, for the reference programs: the same set-up as the
// tool, the ls-R databases loaded by the library's own code alone (without
// the tool's constant-time appends), and a walk over every entry.
#ifndef LSRCHECK_BENCH_PLAIN_KPATHSEA_H
#define LSRCHECK_BENCH_PLAIN_KPATHSEA_H

#include <cstdlib>

extern "C" {
#include <kpathsea/kpathsea.h>
}

// Set up Kpathsea for ARGV0, load its ls-R databases, and call FN with the
// file name and directory of every entry.
inline void walk_plain_databases(const char *argv0,
                                 void (*fn)(const char *name, const char *dir))
{
  kpse_set_program_name(argv0, argv0);
  char *prefix = uppercasify(kpse_program_name);
  kpse_init_prog(prefix, 600, nullptr, nullptr);
  free(prefix);
  kpse_init_format(kpse_db_format);
  const hash_table_type &db = kpse_def_inst.db;
  for (unsigned b = 0; db.buckets != nullptr && b < db.size; b++)
    for (const hash_element_type *e = db.buckets[b]; e; e = e->next)
      fn(e->key, e->value);
}

#endif
