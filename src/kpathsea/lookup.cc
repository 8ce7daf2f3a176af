#include "kpathsea/lookup.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kpathsea/binding.h"
#include "kpathsea/variables.h"
#include "platform/platform.h"

namespace {

// Names whose format is fixed, whatever their suffix.
const std::pair<const char *, kpse_file_format_type> fixed_formats[] = {
  {"config.ps", kpse_dvips_config_format},
  {"fmtutil.cnf", kpse_web2c_format},
  {"glyphlist.txt", kpse_fontmap_format},
  {"mktex.cnf", kpse_web2c_format},
  {"pdfglyphlist.txt", kpse_fontmap_format},
  {"pdftex.cfg", kpse_pdftex_config_format},
  {"texglyphlist.txt", kpse_fontmap_format},
  {"texmf.cnf", kpse_cnf_format},
  {"updmap.cfg", kpse_web2c_format},
  {"XDvi", kpse_program_text_format},
};

// Return true if NAME ends in one of SUFFIXES (a null-terminated list).
bool ends_in_p(const std::string &name, const_string *suffixes)
{
  for (; suffixes != nullptr && *suffixes != nullptr; suffixes++) {
    size_t length = strlen(*suffixes);
    if (name.size() >= length && name.compare(name.size() - length, length, *suffixes) == 0)
      return true;
  }
  return false;
}

// Return Kpathsea's information on FORMAT, its search path initialised.
const kpse_format_info_type &format_info(int format)
{
  kpse_file_format_type f = static_cast<kpse_file_format_type>(format);
  if (kpse_format_info[f].path == nullptr)
    kpse_init_format(f);
  return kpse_format_info[f];
}

} // namespace

int lookup_format(const char *name)
{
  for (const auto &[fixed, format] : fixed_formats)
    if (strcmp(name, fixed) == 0)
      return format;
  for (int f = 0; f < kpse_last_format; f++) {
    const kpse_format_info_type &info = format_info(f);
    if (ends_in_p(name, info.suffix) || ends_in_p(name, info.alt_suffix))
      return f;
  }
  return kpse_tex_format;
}

const char *format_name(int format)
{
  const char *type = format_info(format).type;
  return type != nullptr ? type : "";
}

int format_named(const std::string &name)
{
  for (int f = 0; f < kpse_last_format; f++)
    if (name == format_name(f))
      return f;
  return -1;
}

bool name_of_format_p(int format, const std::string &name)
{
  const kpse_format_info_type &info = format_info(format);
  return ends_in_p(name, info.suffix) || ends_in_p(name, info.alt_suffix);
}

bool suffix_added_p(int format, const std::string &name, const std::string &hit)
{
  const kpse_format_info_type &info = format_info(format);
  for (const_string *list : {info.suffix, info.alt_suffix})
    for (; list != nullptr && *list != nullptr; list++)
      if (hit == name + *list)
        return true;
  return false;
}

void lookup_as_program(const char *program, const char *engine)
{
  xputenv("engine", engine);
  kpse_reset_program_name(program);
  for (int f = 0; f < kpse_last_format; f++)
    kpse_set_program_enabled(static_cast<kpse_file_format_type>(f), false, kpse_src_cmdline);
}

std::vector<std::string> lookup_all(const char *name, int format)
{
  std::vector<std::string> hits;
  string *all = kpse_find_file_generic(name, static_cast<kpse_file_format_type>(format),
                                       false, true);
  for (string *hit = all; hit != nullptr && *hit != nullptr; hit++) {
    hits.push_back(*hit);
    free(*hit);
  }
  free(all);
  return hits;
}

std::string search_path(int format)
{
  const char *path = format_info(format).path;
  return path != nullptr ? path : "";
}

std::string lookup_first(const char *name, int format)
{
  return taken_string(kpse_find_file(name, static_cast<kpse_file_format_type>(format), false));
}

bool database_entry_p(const std::string &dir, const std::string &name)
{
  const hash_table_type *db = hash_shared_exists_p(DB_LOADED_ONLY);
  if (db == nullptr)
    return false;
  const_string *dirs = hash_lookup(*db, name.c_str());
  bool found = false;
  for (const_string *d = dirs; d != nullptr && *d != nullptr && !found; d++)
    found = dir == *d;
  free(dirs);
  return found;
}

std::vector<std::string> database_dirs(const std::string &name)
{
  std::vector<std::string> found;
  const hash_table_type *db = hash_shared_exists_p(DB_LOADED_ONLY);
  if (db == nullptr)
    return found;
  const_string *dirs = hash_lookup(*db, name.c_str());
  for (const_string *d = dirs; d != nullptr && *d != nullptr; d++)
    found.emplace_back(*d);
  free(dirs);
  return found;
}

std::vector<std::pair<std::string, std::string>> format_engines()
{
  std::vector<std::pair<std::string, std::string>> pairs;
  std::string cnf = taken_string(kpse_find_file("fmtutil.cnf", kpse_web2c_format, false));
  FILE *in = cnf.empty() ? nullptr : fopen(cnf.c_str(), "r");
  if (in == nullptr)
    return pairs;
  char line[4096];
  while (fgets(line, sizeof line, in) != nullptr) {
    // "#! format engine ..." marks a disabled format; its engine still holds.
    char *p = line;
    if (strncmp(p, "#!", 2) == 0)
      p += 2;
    else if (*p == '#')
      continue;
    char format[256], engine[256];
    if (sscanf(p, " %255s %255s", format, engine) == 2)
      pairs.emplace_back(format, engine);
  }
  fclose(in);
  return pairs;
}
