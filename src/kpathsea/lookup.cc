#include "kpathsea/lookup.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kpathsea/binding.h"
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

// Return S as a string and free it.
std::string take_string(char *s)
{
  std::string answer = s != nullptr ? s : "";
  free(s);
  return answer;
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

std::string lookup_first(const char *name, int format)
{
  return take_string(kpse_find_file(name, static_cast<kpse_file_format_type>(format), false));
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

std::vector<std::pair<std::string, std::string>> format_engines()
{
  std::vector<std::pair<std::string, std::string>> pairs;
  std::string cnf = take_string(kpse_find_file("fmtutil.cnf", kpse_web2c_format, false));
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

std::string variable_value(const char *name)
{
  std::string value = take_string(kpse_var_expand((std::string("$") + name).c_str()));
  return value == std::string("$") + name ? "" : value;
}

std::string texmf_root()
{
  std::string root = variable_value("TEXMFROOT");
  return platform::real_path(root.empty() ? variable_value("SELFAUTOPARENT") : root);
}

std::vector<path_element> path_elements(const char *name)
{
  std::vector<path_element> elements;
  std::string value = variable_value(name);
  if (value.empty())
    return elements;
  std::string expanded = take_string(kpse_brace_expand(value.c_str()));
  for (std::string dir : platform::split_text(expanded, ENV_SEP)) {
    bool database_only = dir.compare(0, 2, "!!") == 0;
    if (database_only)
      dir.erase(0, 2);
    while (dir.size() > 1 && dir.back() == '/')
      dir.pop_back();
    if (!dir.empty())
      elements.push_back({dir, database_only});
  }
  return elements;
}

std::vector<std::pair<std::string, std::string>> tree_roots(
    const std::vector<const char *> &variables)
{
  std::vector<std::pair<std::string, std::string>> roots;
  for (const char *variable : variables)
    for (const path_element &e : path_elements(variable))
      roots.emplace_back(variable, platform::real_path(e.dir));
  return roots;
}

std::string configuration_file()
{
  // Kpathsea reads texmf.cnf before any ls-R: it is looked for on disk, as
  // then, not only in a database that may lack it.
  return take_string(kpse_find_file("texmf.cnf", kpse_cnf_format, true));
}

std::string configuration_path()
{
  const char *path = kpse_init_format(kpse_cnf_format);
  return path != nullptr ? path : "";
}

// Return the ls-R files of the tree DIR that Kpathsea loads: ls-R, then
// ls-r where it is another file.
std::vector<std::string> database_files(const std::string &dir)
{
  std::vector<std::string> found;
  for (const char *name : database_names) {
    std::string path = dir + "/" + name;
    if (platform::present_p(path) && (found.empty() || !platform::same_file_p(found[0], path)))
      found.push_back(path);
  }
  return found;
}

std::vector<std::string> disk_searched_trees()
{
  std::vector<std::string> loaded;
  for (const path_element &e : path_elements("TEXMFDBS"))
    for (const std::string &db : database_files(e.dir))
      if (platform::regular_file_p(db)) // a dangling link loads nothing
        loaded.push_back(e.dir);
  std::vector<std::string> trees;
  for (const path_element &e : path_elements("TEXMF")) {
    if (e.database_only)
      continue;
    bool covered = false;
    for (const std::string &db : loaded)
      covered = covered || e.dir == db || platform::below_p(e.dir, db);
    if (!covered && std::find(trees.begin(), trees.end(), e.dir) == trees.end())
      trees.push_back(e.dir);
  }
  return trees;
}
