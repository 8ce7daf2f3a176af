#include "kpathsea/binding.h"
#include "kpathsea/load.h"
#include "kpathsea/tailappend.h"

#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Where Kpathsea looks for texmf.cnf in a TeX Live installation: relative
// to the program's own directory, as TeX Live's programs are built to look.
const char texlive_texmfcnf[] =
  "{$SELFAUTOLOC,$SELFAUTOLOC/share/texmf-local/web2c,"
  "$SELFAUTOLOC/share/texmf-dist/web2c,$SELFAUTOLOC/share/texmf/web2c,"
  "$SELFAUTOLOC/texmf-local/web2c,$SELFAUTOLOC/texmf-dist/web2c,"
  "$SELFAUTOLOC/texmf/web2c,"
  "$SELFAUTODIR,$SELFAUTODIR/share/texmf-local/web2c,"
  "$SELFAUTODIR/share/texmf-dist/web2c,$SELFAUTODIR/share/texmf/web2c,"
  "$SELFAUTODIR/texmf-local/web2c,$SELFAUTODIR/texmf-dist/web2c,"
  "$SELFAUTODIR/texmf/web2c,"
  "$SELFAUTOGRANDPARENT/texmf-local/web2c,"
  "$SELFAUTOPARENT,$SELFAUTOPARENT/share/texmf-local/web2c,"
  "$SELFAUTOPARENT/share/texmf-dist/web2c,$SELFAUTOPARENT/share/texmf/web2c,"
  "$SELFAUTOPARENT/texmf-local/web2c,$SELFAUTOPARENT/texmf-dist/web2c,"
  "$SELFAUTOPARENT/texmf/web2c}";

} // namespace

shared_db_handle hash_shared_exists_p(int which)
{
  // Any format initialisation makes Kpathsea load its ls-R databases; the
  // one for the databases themselves does the least other work.
  if (which == DB_LOAD && kpse_def_inst.db.buckets == nullptr) {
    begin_tail_appends(&kpse_def_inst.db);
    kpse_init_format(kpse_db_format);
    end_tail_appends();
  }
  if (kpse_def_inst.db.buckets == nullptr)
    return nullptr;
  return &kpse_def_inst.db;
}

shared_db_handle load_databases()
{
  return hash_shared_exists_p(DB_LOAD);
}

void hash_shared_iter(shared_db_handle db, db_entry_fn fn, void *context)
{
  if (db == nullptr)
    return;
  if (const std::vector<logged_entry> *log = load_log(db)) {
    for (const logged_entry &e : *log)
      fn(e.key, e.value, context);
    return;
  }
  for (unsigned b = 0; b < db->size; b++)
    for (const hash_element_type *e = db->buckets[b]; e; e = e->next)
      fn(e->key, e->value, context);
}

size_t hash_shared_size_hint(shared_db_handle db)
{
  const std::vector<logged_entry> *log = db != nullptr ? load_log(db) : nullptr;
  return log != nullptr ? log->size() : 0;
}

char *dostounix_filename(char *path)
{
  // Kpathsea knows the separators of the platform: '\\' is one only on
  // Windows.
  for (char *p = path; *p; p++)
    if (IS_DIR_SEP(*p))
      *p = '/';
  return path;
}

int stricmp(const char *a, const char *b)
{
  const unsigned char *p = reinterpret_cast<const unsigned char *>(a);
  const unsigned char *q = reinterpret_cast<const unsigned char *>(b);
  for (;; p++, q++) {
    int c = *p, d = *q;
    if (c == d) {
      if (c == 0)
        return 0;
      continue;
    }
    c = platform::ascii_folded(static_cast<unsigned char>(c));
    d = platform::ascii_folded(static_cast<unsigned char>(d));
    if (c != d)
      return c - d;
  }
}

void set_up_path_search(const char *argv0, const char *program)
{
  prepare_path_search();
  // Kpathsea takes SELFAUTOLOC and its parents from the program's location
  // alone; TeX Live's texmf.cnf builds every tree from them.
  if (program != nullptr && getenv("TEXMFCNF") == nullptr)
    platform::set_environment("TEXMFCNF", texlive_texmfcnf);
  kpse_set_program_name(program != nullptr ? program : argv0, argv0);
  // The prefix only names environment variables during the call.
  char *prefix = uppercasify(kpse_program_name);
  kpse_init_prog(prefix, 600, nullptr, nullptr);
  free(prefix);
}

void add_debug_flags(unsigned bits)
{
  kpathsea_debug |= bits;
}

const char *path_search_version()
{
  return kpathsea_version_string;
}

const char *path_search_bug_address()
{
  return kpse_bug_address;
}
