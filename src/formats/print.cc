// The formats' report, as text and as JSON.

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "formats/formats.h"
#include "shared/output.h"
#include "shared/paths.h"
#include "platform/platform.h"

namespace {

// The JSON document's schema version (docs/formats-schema.md).
const int schema_version = 1;

// The findings by name, in the order they are told.
const kind_name finding_names[] = {{"missing", format_missing}, {"per-user", format_per_user},
                                   {"stale", format_stale},     {"engine", format_engine},
                                   {"fails", format_fails}};

// Return what finding KIND of F says.
std::string finding_text(const format_entry &f, unsigned kind)
{
  switch (kind) {
  case format_missing:
    return "enabled in " + escaped(f.line.cnf) + ", its engine installed, and no " + f.file +
           " found for it";
  case format_per_user:
    return "a per-user format (fmtutil-user makes them) in front of the system's: the "
           "distribution's updates will not rebuild it";
  case format_stale:
    return f.log.empty() ? "its log, which names what it was built from, is gone"
                         : "older than " + escaped(f.newer) + " (" + time_text(f.newer_mtime) +
                               "), which it was built from";
  case format_engine:
    return "built by " + f.built_by + ", but the engine installed is " + escaped(f.installed);
  case format_fails:
    return "a run on a minimal document fails: " + escaped(f.error);
  default:
    return "";
  }
}

// Return whose copy C is and when it was MADE: "per-user (TEXMFVAR),
// built 2026-12-10 08:09", "TEXMFSYSVAR's, ...".
std::string copy_text(const format_copy &c, const char *made = "built")
{
  std::string text = c.user ? "per-user (" + c.tree + ")"
                            : c.tree.empty() ? "outside the installation's trees" : c.tree + "'s";
  return c.there ? text + ", " + made + " " + time_text(c.mtime) : text + ", not a file";
}

// Write F in full on OUT.
void print_format(const formats_report &r, const format_entry &f, FILE *out)
{
  fprintf(out, "%s (%s)\n", f.line.name.c_str(), f.line.engine.c_str());
  for (size_t c = 0; c < f.copies.size() && c < 2; c++)
    fprintf(out, "  %-8s %s\n           %s\n", c == 0 ? "loads" : "behind",
            escaped(f.copies[c].path).c_str(), copy_text(f.copies[c]).c_str());
  for (const kind_name &k : finding_names)
    if ((f.findings & k.second) != 0)
      fprintf(out, "  %s: %s\n", k.first, finding_text(f, k.second).c_str());
  if (!f.not_asked.empty())
    fprintf(out, "  not run: %s\n", f.not_asked.c_str());
  std::string mend = format_mend(r, f);
  if (!mend.empty())
    fprintf(out, "  mend: %s\n", mend.c_str());
  putc('\n', out);
}

// The map findings by name, in the order they are told.
const kind_name map_finding_names[] = {{"per-user", map_per_user}, {"stale", map_stale}};

// Return what finding KIND of map M says.
std::string map_finding_text(const map_entry &m, unsigned kind)
{
  if (kind == map_per_user)
    return "a per-user map (updmap-user makes them) in front of the system's: fonts installed "
           "later are not in it";
  std::string text;
  if (!m.missing.empty()) {
    text = "lacks ";
    for (size_t i = 0; i < m.missing.size() && i < 5; i++)
      text += (i == 0 ? "" : ", ") + escaped(m.missing[i]);
    if (m.missing.size() > 5)
      text += " and " + std::to_string(m.missing.size() - 5) + " more";
    text += ", which the updmap.cfg files enable now";
  }
  if (!m.newer_cfg.empty())
    text += (text.empty() ? "older than " : "; older than ") + escaped(m.newer_cfg);
  return text;
}

// Write map M in full on OUT.
void print_map(const formats_report &r, const map_entry &m, FILE *out)
{
  fprintf(out, "%s (%s)\n", m.name.c_str(), m.program.c_str());
  for (size_t c = 0; c < m.copies.size() && c < 2; c++)
    fprintf(out, "  %-8s %s\n           %s\n", c == 0 ? "reads" : "behind",
            escaped(m.copies[c].path).c_str(), copy_text(m.copies[c], "made").c_str());
  for (const kind_name &k : map_finding_names)
    if ((m.findings & k.second) != 0)
      fprintf(out, "  %s: %s\n", k.first, map_finding_text(m, k.second).c_str());
  std::string mend = map_mend(r, m);
  if (!mend.empty())
    fprintf(out, "  mend: %s\n", mend.c_str());
  putc('\n', out);
}

// Return the command that stops the updmap.cfg of E from enabling its map.
std::string disable_command(const formats_report &r, const enabled_map &e)
{
  std::string word = platform::command_word(e.file);
  if (e.user)
    return "updmap-user --disable " + word;
  return platform::privileged({r.map_tool + " --disable " + word},
                              platform::may_write_p(std::string(directory_of(e.cfg))));
}

} // namespace

std::string map_mend(const formats_report &r, const map_entry &m)
{
  if (m.findings == 0)
    return "";
  if (m.copies[0].user) {
    std::string dir(directory_of(m.copies[0].path));
    return platform::remove_tree_command(dir) + "  (the system's is read again), or  " +
           "updmap-user  (and again after every font package installed)";
  }
  return platform::privileged({r.map_tool},
                              platform::may_write_p(std::string(directory_of(m.copies[0].path))));
}

std::string format_mend(const formats_report &r, const format_entry &f)
{
  if (f.findings == 0)
    return "";
  std::string rebuild = r.mend_tool + " --byfmt " + platform::command_word(f.line.name);
  if (f.user_cnf && (f.copies.empty() || f.copies[0].user))
    return "fmtutil-user --byfmt " + platform::command_word(f.line.name);
  // A run that fails where nothing else is wrong: the file whose loading
  // failed is where to look.
  size_t loading = f.error.find("Loading '");
  if (f.findings == format_fails && loading != std::string::npos) {
    std::string name = f.error.substr(loading + 9, f.error.find('\'', loading + 9) - loading - 9);
    return "lsrcheck -explain -file=" + platform::command_word(name) +
           "  (which copy of the file whose loading failed is loaded, and whose it is)";
  }
  if (f.copies.empty() || !f.copies[0].user) {
    std::string dir = f.copies.empty() ? "" : std::string(directory_of(f.copies[0].path));
    return platform::privileged({rebuild}, !dir.empty() && platform::may_write_p(dir));
  }
  // A per-user format: back to the system's, or rebuilt, and then again
  // after every update.
  return platform::remove_command(f.copies[0].path) + "  (the system's loads again), or  " +
         "fmtutil-user --byfmt " + platform::command_word(f.line.name) +
         "  (and again after every update)";
}

void print_formats(const formats_report &r, bool list_all, FILE *out)
{
  size_t problems = 0, fine = 0, map_problems = 0, fine_maps = 0;
  for (const format_entry &f : r.formats) {
    problems += f.findings != 0;
    if (f.findings != 0 || !f.not_asked.empty() || list_all)
      print_format(r, f, out);
    else
      fine++;
  }
  for (const map_entry &m : r.maps) {
    map_problems += m.findings != 0;
    if (m.findings != 0 || list_all)
      print_map(r, m, out);
    else
      fine_maps++;
  }
  for (const enabled_map &e : r.unfound)
    fprintf(out, "%s\n  enabled by %s (%s), and not found: updmap would fail on it\n  mend: %s\n\n",
            escaped(e.file).c_str(), escaped(e.cfg).c_str(), e.kind.c_str(),
            disable_command(r, e).c_str());
  if (fine > 0)
    fprintf(out, "%s that load%s and %s up to date; -verbose lists them.\n",
            counted(fine, "format").c_str(), fine == 1 ? "s" : "", fine == 1 ? "is" : "are");
  if (fine_maps > 0)
    fprintf(out, "%s up to date; -verbose lists %s.\n", counted(fine_maps, "font map").c_str(),
            fine_maps == 1 ? "it" : "them");
  if (r.cnf_files.empty())
    fputs("Kpathsea finds no fmtutil.cnf: no format is enabled.\n", out);
  if (!r.no_engine.empty()) {
    std::string names;
    for (const std::string &name : r.no_engine)
      names += (names.empty() ? "" : ", ") + name;
    fprintf(out, "Enabled, but their engine is not installed: %s.\n", names.c_str());
  }
  fprintf(out, "Summary: %s, %s with problems; %s, %s with problems.\n",
          counted(r.formats.size(), "format").c_str(), std::to_string(problems).c_str(),
          counted(r.maps.size(), "font map").c_str(),
          std::to_string(map_problems + r.unfound.size()).c_str());
}

namespace {

using json = nlohmann::ordered_json;

// Return COPIES as JSON.
json copies_json(const std::vector<format_copy> &copies)
{
  json list = json::array();
  for (const format_copy &c : copies) {
    json copy;
    put_bytes(copy, "path", c.path);
    copy["tree"] = c.tree;
    copy["per_user"] = c.user;
    copy["there"] = c.there;
    copy["mtime"] = static_cast<long long>(c.mtime);
    list.push_back(copy);
  }
  return list;
}

// Return format F of R as JSON.
json format_json(const formats_report &r, const format_entry &f)
{
  json e;
  e["name"] = f.line.name;
  e["engine"] = f.line.engine;
  e["file"] = f.file;
  put_bytes(e, "enabled_in", f.line.cnf);
  e["latex"] = f.latex;
  e["copies"] = copies_json(f.copies);
  put_bytes(e, "log", f.log);
  put_bytes(e, "newer", f.newer);
  e["built_by"] = f.built_by;
  e["installed"] = f.installed;
  e["run"] = f.asked;
  e["error"] = f.error;
  e["not_run"] = f.not_asked;
  json findings = json::array();
  for (const kind_name &k : finding_names)
    if ((f.findings & k.second) != 0)
      findings.push_back({{"kind", k.first}, {"text", finding_text(f, k.second)}});
  e["findings"] = findings;
  e["mend"] = format_mend(r, f);
  return e;
}

// Return map M of R as JSON.
json map_json(const formats_report &r, const map_entry &m)
{
  json e;
  e["name"] = m.name;
  e["program"] = m.program;
  e["copies"] = copies_json(m.copies);
  e["missing"] = m.missing;
  put_bytes(e, "newer_cfg", m.newer_cfg);
  json findings = json::array();
  for (const kind_name &k : map_finding_names)
    if ((m.findings & k.second) != 0)
      findings.push_back({{"kind", k.first}, {"text", map_finding_text(m, k.second)}});
  e["findings"] = findings;
  e["mend"] = map_mend(r, m);
  return e;
}

} // namespace

void print_formats_json(const formats_report &r, FILE *out)
{
  json j;
  j["schema_version"] = schema_version;
  j["fmtutil_cnf"] = json::array();
  for (const std::string &cnf : r.cnf_files)
    j["fmtutil_cnf"].push_back(platform::display_path(cnf));
  size_t problems = 0, map_problems = r.unfound.size();
  j["formats"] = json::array();
  for (const format_entry &f : r.formats) {
    problems += f.findings != 0;
    j["formats"].push_back(format_json(r, f));
  }
  j["no_engine"] = r.no_engine;
  j["updmap_cfg"] = json::array();
  for (const std::string &cfg : r.updmap_cfgs)
    j["updmap_cfg"].push_back(platform::display_path(cfg));
  j["maps"] = json::array();
  for (const map_entry &m : r.maps) {
    map_problems += m.findings != 0;
    j["maps"].push_back(map_json(r, m));
  }
  j["unfound_maps"] = json::array();
  for (const enabled_map &e : r.unfound)
    j["unfound_maps"].push_back({{"file", e.file}, {"kind", e.kind},
                                 {"cfg", platform::display_path(e.cfg)},
                                 {"mend", disable_command(r, e)}});
  j["summary"] = {{"formats", r.formats.size()}, {"with_problems", problems},
                  {"maps", r.maps.size()}, {"maps_with_problems", map_problems}};
  fprintf(out, "%s\n", json_text(j).c_str());
}
