// The font maps updmap makes: the one each program reads, per-user copies
// in front of the system's, and whether each still holds the map files
// the updmap.cfg files enable.

#include <set>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "kpathsea/lookup.h"
#include "platform/platform.h"
#include "shared/files.h"
#include "shared/paths.h"
#include "texsource/log.h"

namespace {

// The maps updmap makes, and the program that reads each.
const struct {
  const char *name, *program;
  bool kanji;
} made_maps[] = {{"pdftex.map", "pdftex", false},
                 {"psfonts.map", "dvips", false},
                 {"kanjix.map", "dvipdfmx", true}};

// Judge map M against the map files ENABLED (by the updmap.cfg files
// CFGS): the ones its kind holds, and those that may have made it (the
// user's too where M is the user's).
void judge_map(map_entry &m, bool kanji, const std::vector<enabled_map> &enabled,
               const std::vector<std::string> &cfgs,
               const std::vector<std::pair<std::string, std::string>> &roots)
{
  const format_copy &read = m.copies[0];
  std::string text;
  if (!read.there || !read_whole_file(read.path, text))
    return;
  std::vector<std::string> held_list = maps_held(text);
  std::set<std::string> held(held_list.begin(), held_list.end());
  for (const enabled_map &e : enabled)
    if ((e.kind == "KanjiMap") == kanji && (read.user || !e.user) && held.count(e.file) == 0)
      m.missing.push_back(e.file);
  for (const std::string &cfg : cfgs) {
    bool user = user_tree_p(tree_of(cfg, roots));
    if ((read.user || !user) && modified_time(cfg) > read.mtime)
      m.newer_cfg = cfg;
  }
  if (!m.missing.empty() || !m.newer_cfg.empty())
    m.findings |= map_stale;
}

} // namespace

std::vector<format_copy> copies_found(const std::string &program, const std::string &engine,
                                      const std::string &name,
                                      const std::vector<std::pair<std::string, std::string>> &roots)
{
  std::vector<format_copy> copies;
  lookup_as_program(program.c_str(), engine.c_str());
  for (const std::string &path : lookup_all(name.c_str(), lookup_format(name.c_str()))) {
    format_copy c;
    c.path = path;
    c.tree = tree_of(path, roots);
    c.user = user_tree_p(c.tree);
    c.mtime = modified_time(path);
    c.there = c.mtime != 0;
    copies.push_back(c);
  }
  return copies;
}

void check_maps(const std::vector<std::pair<std::string, std::string>> &roots,
                formats_report *out)
{
  formats_report &r = *out;
  r.updmap_cfgs = lookup_all("updmap.cfg", lookup_format("updmap.cfg"));
  std::vector<enabled_map> enabled = enabled_maps(r.updmap_cfgs, [](const std::string &path,
                                                                    std::string *text) {
    return read_whole_file(path, *text);
  });
  for (enabled_map &e : enabled)
    e.user = user_tree_p(tree_of(e.cfg, roots));
  lookup_as_program("updmap", "");
  for (const enabled_map &e : enabled)
    if (lookup_first(e.file.c_str(), lookup_format(e.file.c_str())).empty())
      r.unfound.push_back(e);
  for (const auto &made : made_maps) {
    map_entry m;
    m.name = made.name;
    m.program = made.program;
    m.copies = copies_found(made.program, made.program, made.name, roots);
    if (m.copies.empty())
      continue;
    if (m.copies[0].user)
      for (const format_copy &c : m.copies)
        if (!c.user && c.there)
          m.findings |= map_per_user;
    judge_map(m, made.kanji, enabled, r.updmap_cfgs, roots);
    r.maps.push_back(m);
  }
}
