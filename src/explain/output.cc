// The explained report as text and as JSON.

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "explain/explain.h"
#include "output.h"

namespace {

// The JSON document's schema version (docs/explain-schema.md).
const int schema_version = 1;

const char *const state_names[] = {"ok", "missing", "dangling link", "unreadable",
                                   "not a regular file"};
const char *const state_keys[] = {"ok", "missing", "dangling", "unreadable", "not-regular"};
const char *const hit_keys[] = {"member", "suffix-added", "alias", "excluded", "outside",
                                "none"};

// Return the content mark M as letters: 0 -> A, 25 -> Z, 26 -> AA.
std::string mark_text(int m)
{
  std::string text;
  for (m++; m > 0; m = (m - 1) / 26)
    text.insert(text.begin(), static_cast<char>('A' + (m - 1) % 26));
  return text;
}

// Return time T as local "YYYY-MM-DD HH:MM".
std::string time_text(time_t t)
{
  char text[32];
  struct tm tm;
  if (localtime_r(&t, &tm) == nullptr || strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm) == 0)
    return "";
  return text;
}

// Return the names of PROGRAMS at INDEXES, joined with ", ".
std::string program_list(const explained_report &r, const std::vector<size_t> &indexes)
{
  std::string list;
  for (size_t i : indexes)
    list += (list.empty() ? "" : ", ") + r.programs[i];
  return list;
}

// Count the groups of R with finding BIT.
size_t groups_with(const explained_report &r, unsigned bit)
{
  size_t n = 0;
  for (const group_info &g : r.groups)
    n += (g.findings & bit) != 0;
  return n;
}

// Count the members of R that are gone from disk and those no program finds.
void count_members(const explained_report &r, size_t *stale, size_t *unreachable)
{
  *stale = *unreachable = 0;
  for (const group_info &g : r.groups)
    for (const member_info &m : g.members) {
      bool gone = m.state == file_missing || m.state == file_dangling;
      *stale += gone;
      *unreachable += !gone && m.reached_by.empty();
    }
}

// Write the text of one program's first hit H of G on OUT.
void print_hit(const group_info &g, const program_hit &h, const std::string &program, FILE *out)
{
  fprintf(out, "  %-12s ", program.c_str());
  size_t member = 0;
  for (; member < g.members.size() && g.members[member].path != h.path; member++)
    ;
  switch (h.kind) {
  case hit_member: fprintf(out, "loads [%zu]\n", member + 1); break;
  case hit_suffix_added: fprintf(out, "loads %s (the name with a suffix added)\n", h.path.c_str()); break;
  case hit_alias: fprintf(out, "loads %s (an alias, texfonts.map)\n", h.path.c_str()); break;
  case hit_excluded: fprintf(out, "loads %s (left out by the patterns)\n", h.path.c_str()); break;
  case hit_outside: fprintf(out, "loads %s (outside the databases)\n", h.path.c_str()); break;
  case hit_none: fputs("finds nothing\n", out); break;
  }
}

// Write the text of member I of G on OUT.
void print_member(const explained_report &r, const group_info &g, size_t i, FILE *out)
{
  const member_info &m = g.members[i];
  fprintf(out, "  [%zu] %s\n      ", i + 1, m.path.c_str());
  fprintf(out, "%s", m.tree.empty() ? "no known tree" : m.tree.c_str());
  if (m.state != file_ok)
    fprintf(out, ", %s", state_names[m.state]);
  if (m.size >= 0)
    fprintf(out, ", %lld bytes, %s", m.size, time_text(m.mtime).c_str());
  if (m.mark >= 0)
    fprintf(out, ", content %s%s", mark_text(m.mark).c_str(),
            m.differs ? " (differs from the loaded copy)" : "");
  putc('\n', out);
  if (!m.date.empty() || !m.version.empty() || !m.package.empty() || !m.texlive_package.empty()) {
    fputs("      ", out);
    const char *sep = "";
    if (!m.date.empty() || !m.version.empty()) {
      fprintf(out, "declares %s%s%s", m.date.c_str(),
              !m.date.empty() && !m.version.empty() ? " " : "", m.version.c_str());
      sep = ", ";
    }
    if (!m.package.empty()) {
      fprintf(out, "%spackage %s", sep, m.package.c_str());
      sep = ", ";
    }
    if (!m.texlive_package.empty())
      fprintf(out, "%sTeX Live package %s", sep, m.texlive_package.c_str());
    putc('\n', out);
  }
  std::vector<size_t> shadowed;
  for (size_t p : m.reached_by)
    if (std::find(m.loaded_by.begin(), m.loaded_by.end(), p) == m.loaded_by.end())
      shadowed.push_back(p);
  fputs("      ", out);
  if (!m.loaded_by.empty())
    fprintf(out, "loaded by %s%s", program_list(r, m.loaded_by).c_str(),
            shadowed.empty() ? "" : "; ");
  if (!shadowed.empty())
    fprintf(out, "shadowed for %s", program_list(r, shadowed).c_str());
  if (m.reached_by.empty())
    fputs("found by none of the programs", out);
  putc('\n', out);
}

} // namespace

void print_explained(const explained_report &r, FILE *out)
{
  fprintf(out, "%zu files in your databases.\n", r.kept);
  std::string programs = program_list(r, [&]() {
    std::vector<size_t> all;
    for (size_t p = 0; p < r.programs.size(); p++)
      all.push_back(p);
    return all;
  }());
  fprintf(out, "Which copy %s load%s, looked up as from a directory without TeX files.\n\n",
          programs.c_str(), r.programs.size() == 1 ? "s" : "");
  for (const group_info &g : r.groups) {
    fprintf(out, "%s (format %s)\n", g.name.c_str(), g.format.c_str());
    for (size_t p = 0; p < r.programs.size(); p++)
      print_hit(g, g.hits[p], r.programs[p], out);
    for (size_t i = 0; i < g.members.size(); i++)
      print_member(r, g, i, out);
    if (g.findings & finding_differ)
      fputs("  finding: the copies differ\n", out);
    if (g.findings & finding_older)
      fprintf(out, "  finding: a loaded copy is older than a hidden one (%s)\n",
              g.older_dates.c_str());
    if (g.findings & finding_unreachable)
      fputs("  finding: a copy that none of the programs finds\n", out);
    if (g.findings & finding_stale)
      fputs("  finding: a copy gone from disk (stale ls-R entry)\n", out);
    putc('\n', out);
  }
  size_t stale, unreachable;
  count_members(r, &stale, &unreachable);
  fprintf(out, "Summary: %zu groups, %zu with differing copies, %zu whose loaded copy is older "
               "than a hidden one, %zu stale members, %zu members none of the programs finds.\n",
          r.groups.size(), groups_with(r, finding_differ), groups_with(r, finding_older), stale,
          unreachable);
}

void print_explained_json(const explained_report &r, FILE *out)
{
  using json = nlohmann::ordered_json;
  json doc;
  doc["schema_version"] = schema_version;
  doc["kept"] = r.kept;
  doc["programs"] = r.programs;
  doc["groups"] = json::array();
  for (const group_info &g : r.groups) {
    json jg;
    put_bytes(jg, "name", g.name);
    jg["format"] = g.format;
    jg["lookups"] = json::array();
    for (size_t p = 0; p < r.programs.size(); p++) {
      const program_hit &h = g.hits[p];
      json jh;
      jh["program"] = r.programs[p];
      jh["kind"] = hit_keys[h.kind];
      if (h.kind != hit_none)
        put_bytes(jh, "path", h.path);
      jg["lookups"].push_back(jh);
    }
    jg["members"] = json::array();
    for (const member_info &m : g.members) {
      json jm;
      put_bytes(jm, "path", m.path);
      jm["tree"] = m.tree.empty() ? json(nullptr) : json(m.tree);
      jm["state"] = state_keys[m.state];
      jm["size"] = m.size >= 0 ? json(m.size) : json(nullptr);
      jm["mtime"] = m.size >= 0 ? json(static_cast<long long>(m.mtime)) : json(nullptr);
      jm["content"] = m.mark >= 0 ? json(mark_text(m.mark)) : json(nullptr);
      jm["differs_from_loaded"] = m.differs;
      jm["date"] = m.date.empty() ? json(nullptr) : json(m.date);
      jm["version"] = m.version.empty() ? json(nullptr) : json(m.version);
      jm["package"] = m.package.empty() ? json(nullptr) : json(m.package);
      jm["texlive_package"] = m.texlive_package.empty() ? json(nullptr) : json(m.texlive_package);
      jm["loaded_by"] = json::array();
      for (size_t p : m.loaded_by)
        jm["loaded_by"].push_back(r.programs[p]);
      jm["found_by"] = json::array();
      for (size_t p : m.reached_by)
        jm["found_by"].push_back(r.programs[p]);
      jg["members"].push_back(jm);
    }
    jg["findings"] = json::array();
    for (const auto &[bit, name] : {std::pair<unsigned, const char *>{finding_differ, "differ"},
                                    {finding_older, "older"},
                                    {finding_unreachable, "unreachable"},
                                    {finding_stale, "stale"}})
      if (g.findings & bit)
        jg["findings"].push_back(name);
    doc["groups"].push_back(jg);
  }
  size_t stale, unreachable;
  count_members(r, &stale, &unreachable);
  doc["summary"] = {{"groups", r.groups.size()},
                    {"differ", groups_with(r, finding_differ)},
                    {"older", groups_with(r, finding_older)},
                    {"stale_members", stale},
                    {"unreachable_members", unreachable}};
  fprintf(out, "%s\n", json_text(doc).c_str());
}
