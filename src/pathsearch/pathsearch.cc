#include "pathsearch/pathsearch.h"

#include <cstdlib>
#include <fcntl.h>
#include <fnmatch.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

shared_db_handle hash_shared_exists_p(int which)
{
  // Any format initialisation makes Kpathsea load its ls-R databases; the
  // one for the databases themselves does the least other work.
  if (which == DB_LOAD && kpse_def_inst.db.buckets == nullptr)
    kpse_init_format(kpse_db_format);
  if (kpse_def_inst.db.buckets == nullptr)
    return nullptr;
  return &kpse_def_inst.db;
}

void hash_shared_iter(shared_db_handle db, db_entry_fn fn)
{
  if (db == nullptr)
    return;
  for (unsigned b = 0; b < db->size; b++)
    for (const hash_element_type *e = db->buckets[b]; e; e = e->next)
      fn(e->key, e->value);
}

char *dostounix_filename(char *path)
{
#if defined(_WIN32)
  for (char *p = path; *p; p++)
    if (*p == '\\')
      *p = '/';
#endif
  return path;
}

int stricmp(const char *a, const char *b)
{
  const unsigned char *p = reinterpret_cast<const unsigned char *>(a);
  const unsigned char *q = reinterpret_cast<const unsigned char *>(b);
  for (;; p++, q++) {
    int c = *p, d = *q;
    if (c >= 'A' && c <= 'Z')
      c += 'a' - 'A';
    if (d >= 'A' && d <= 'Z')
      d += 'a' - 'A';
    if (c != d || c == 0)
      return c - d;
  }
}

int match_pattern(const char *pattern, const char *path)
{
  return fnmatch(pattern, path, FNM_CASEFOLD);
}

bool file_mapping_exists_p(const char *name)
{
  // POSIX names shared-memory objects with one leading slash; on Linux
  // they show as /dev/shm/NAME.
  std::string posix_name = std::string("/") + name;
  int fd = shm_open(posix_name.c_str(), O_RDWR, 0);
  if (fd < 0)
    return false;
  close(fd);
  return true;
}

void set_up_path_search(const char *argv0)
{
  kpse_set_program_name(argv0, argv0);
  // The prefix only names environment variables during the call.
  char *prefix = uppercasify(kpse_program_name);
  kpse_init_prog(prefix, 600, nullptr, nullptr);
  free(prefix);
}

void add_debug_flags(unsigned bits)
{
  kpathsea_debug |= bits;
}

unsigned debug_flags()
{
  return kpathsea_debug;
}

const char *path_search_version()
{
  return kpathsea_version_string;
}

const char *path_search_bug_address()
{
  return kpse_bug_address;
}
