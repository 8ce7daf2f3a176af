// The report of the installations on PATH, as text and as JSON, and the
// one-line note of the other reports.

#include "installations/installations.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kpathsea/variables.h"
#include "platform/platform.h"
#include "shared/output.h"
#include "shared/paths.h"
#include "shared/status.h"

namespace {

// The JSON document's schema version (docs/installations-schema.md).
const int schema_version = 1;

// Return installation I of R as the report names it.
std::string installation_text(const installations_report &r, int i)
{
  if (i < 0)
    return "no installation";
  const tex_installation &t = r.installations[i];
  if (t.kind == "texlive")
    return "TeX Live" + (t.year.empty() ? "" : " " + t.year) + " (" + escaped(t.root) + ")";
  if (t.kind == "debian")
    return "Debian's packages";
  if (t.kind == "layout")
    return "the installation at " + escaped(t.root);
  if (t.kind == "dir")
    return "the programs in " + escaped(t.root);
  return "a lone copy in " + escaped(t.root);
}

// Return the directory PATH lies in, as the report names it.
std::string dir_text(const std::string &path)
{
  return escaped(std::string(directory_of(path)));
}

// Return the names of the mixes of R from installation FROM with WITH, and
// BEFORE, as one list.
std::string mixed_names(const installations_report &r, const installation_mix &m)
{
  std::string names;
  for (const installation_mix &o : r.mixes)
    if (o.from == m.from && o.with == m.with && o.before.empty() == m.before.empty())
      names += (names.empty() ? "" : ", ") + o.program;
  return names;
}

// Write the mixes of R on OUT, those of one installation and one mend on
// one line.
void print_mixes(const installations_report &r, FILE *out)
{
  fputs("Problems:\n", out);
  std::vector<std::string> said;
  for (const installation_mix &m : r.mixes) {
    std::string names = mixed_names(r, m);
    if (std::find(said.begin(), said.end(), names) != said.end())
      continue;
    said.push_back(names);
    std::string engine_dir, from_dir;
    for (const path_program &p : r.taken) {
      if (p.name == m.engine)
        engine_dir = dir_text(p.path);
      if (p.name == m.program)
        from_dir = dir_text(p.path);
    }
    fprintf(out, "  %s from %s (%s), %s from %s (%s): ", names.c_str(),
            installation_text(r, m.from).c_str(), from_dir.c_str(), m.engine.c_str(),
            installation_text(r, m.with).c_str(), engine_dir.c_str());
    if (!m.before.empty()) {
      fprintf(out, "they act on another installation than the one %s runs in\n",
              m.engine.c_str());
      fprintf(out, "    mend: %s\n", platform::path_first_command(m.before).c_str());
    } else {
      fprintf(out, "%s's installation has none of them on PATH; remove %s from PATH, or put "
                   "it first to run %s throughout\n",
              m.engine.c_str(), from_dir.c_str(), installation_text(r, m.from).c_str());
    }
  }
}

} // namespace

void print_installations(const installations_report &r, FILE *out)
{
  fprintf(out, "%s:\n", counted(r.dirs.size(), "directory of PATH holds TeX programs",
                                "directories of PATH hold TeX programs").c_str());
  for (const path_directory &d : r.dirs) {
    std::string names;
    int first = d.programs.empty() ? -1 : d.programs[0].installation;
    bool one = true;
    for (const path_program &p : d.programs) {
      names += (names.empty() ? "" : ", ") + p.name;
      one = one && p.installation == first;
    }
    fprintf(out, "  %s: %s\n    %s\n", escaped(d.dir).c_str(),
            one ? installation_text(r, first).c_str() : "programs of several installations",
            names.c_str());
  }
  fputs("Programs a user runs:\n", out);
  for (const path_program &p : r.taken)
    fprintf(out, "  %-12s %s: %s%s\n", p.name.c_str(), escaped(p.path).c_str(),
            installation_text(r, p.installation).c_str(),
            p.package.empty() ? "" : (" (package " + p.package + ")").c_str());
  for (const std::string &name : r.missing)
    fprintf(out, "  %-12s not on PATH\n", name.c_str());
  fprintf(out, "Checked: %s (texmf.cnf %s)\n", escaped(r.checked).c_str(),
          r.own_cnf.empty() ? "none" : escaped(r.own_cnf).c_str());
  if (!r.path_cnf.empty() && platform::real_path(r.path_cnf) != platform::real_path(r.own_cnf))
    fprintf(out, "Note: the first kpsewhich on PATH, %s, reads %s; this report's Kpathsea "
                 "reads %s\n",
            escaped(r.path_kpsewhich).c_str(), escaped(r.path_cnf).c_str(),
            escaped(r.own_cnf).c_str());
  if (installation_problems_p(r))
    print_mixes(r, out);
  fputs(installation_problems_p(r) ? "Problems found.\n" : "No mix of installations on PATH.\n",
        out);
}

void print_installations_json(const installations_report &r, FILE *out)
{
  using json = nlohmann::ordered_json;
  json doc;
  doc["schema_version"] = schema_version;
  doc["installations"] = json::array();
  for (const tex_installation &t : r.installations) {
    json jt;
    jt["kind"] = t.kind;
    put_bytes(jt, "root", t.root);
    jt["year"] = t.year.empty() ? json(nullptr) : json(t.year);
    jt["dirs"] = t.dirs;
    doc["installations"].push_back(jt);
  }
  auto program = [](const path_program &p) {
    json jp;
    jp["name"] = p.name;
    put_bytes(jp, "path", p.path);
    put_bytes(jp, "real", p.real);
    jp["package"] = p.package.empty() ? json(nullptr) : json(p.package);
    jp["installation"] = p.installation;
    return jp;
  };
  doc["path"] = json::array();
  for (const path_directory &d : r.dirs) {
    json jd;
    put_bytes(jd, "dir", d.dir);
    jd["programs"] = json::array();
    for (const path_program &p : d.programs)
      jd["programs"].push_back(program(p));
    doc["path"].push_back(jd);
  }
  doc["taken"] = json::array();
  for (const path_program &p : r.taken)
    doc["taken"].push_back(program(p));
  doc["missing"] = r.missing;
  doc["mixes"] = json::array();
  for (const installation_mix &m : r.mixes)
    doc["mixes"].push_back({{"program", m.program}, {"engine", m.engine}, {"from", m.from},
                            {"with", m.with},
                            {"mend", m.before.empty() ? json(nullptr)
                                                      : json(platform::path_first_command(m.before))}});
  doc["checked"] = r.checked;
  doc["texmf_cnf"] = r.own_cnf.empty() ? json(nullptr) : json(r.own_cnf);
  doc["path_kpsewhich"] = r.path_kpsewhich.empty() ? json(nullptr) : json(r.path_kpsewhich);
  doc["path_kpsewhich_cnf"] = r.path_cnf.empty() ? json(nullptr) : json(r.path_cnf);
  doc["healthy"] = !installation_problems_p(r);
  fprintf(out, "%s\n", json_text(doc).c_str());
}

std::string path_mix_note()
{
  installations_report r = find_installations(false, false);
  if (r.mixes.empty())
    return "";
  const installation_mix &m = r.mixes[0];
  return "PATH mixes TeX installations: " + m.engine + " is taken from " +
         installation_text(r, m.with) + ", " + mixed_names(r, m) + " from " +
         installation_text(r, m.from) + "; see -installations";
}

int run_installations(bool json, const char *program_name)
{
  installations_report r = find_installations(true, true);
  r.checked = texmf_root();
  r.own_cnf = configuration_file();
  if (!r.packages_unread.empty())
    fprintf(stderr, "%s: warning, cannot read the package list %s: which package installed "
                    "a program is not known\n",
            program_name, escaped(r.packages_unread).c_str());
  if (json)
    print_installations_json(r, stdout);
  else
    print_installations(r, stdout);
  return installation_problems_p(r) ? status_problems : EXIT_SUCCESS;
}
