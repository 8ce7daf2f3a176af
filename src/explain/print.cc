// The explained report as text and as JSON.

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "explain/explain.h"
#include "lookups/readers.h"
#include "shared/output.h"
#include "shared/paths.h"
#include "platform/platform.h"

namespace {

// The JSON document's schema version (docs/explain-schema.md).
const int schema_version = 4;

const char *const state_names[] = {"ok", "missing", "dangling link", "unreadable",
                                   "not a regular file", "could not check"};
const char *const state_keys[] = {"ok", "missing", "dangling", "unreadable", "not-regular",
                                  "unchecked"};
// The kinds of the problems, in the order the JSON lists them.
const unsigned problem_kinds[] = {finding_differ, finding_older, finding_stale};
const char *const hit_keys[] = {"member", "suffix-added", "alias", "excluded", "outside",
                                "none", "not-read"};

// Return the content mark M as letters: 0 -> A, 25 -> Z, 26 -> AA.
std::string mark_text(int m)
{
  std::string text;
  for (m++; m > 0; m = (m - 1) / 26)
    text.insert(text.begin(), static_cast<char>('A' + (m - 1) % 26));
  return text;
}

// Return "[N]" for member I.
std::string member_ref(size_t i)
{
  return "[" + std::to_string(i + 1) + "]";
}

// Return, for an "older" verdict on the declarations LOADED and NEXT, where
// their dates were only read from the files because LaTeX could not be
// asked: why; else "".
std::string reader_dates_note(const declaration_facts &loaded, const declaration_facts &next)
{
  for (const declaration_facts *d : {&loaded, &next})
    if (!d->by_latex && !d->latex_why.empty())
      return " (dates read from the files, not asked of LaTeX: " + d->latex_why + ")";
  return "";
}

// Return, for a finding whose loaded copy Kpathsea matched in another case
// than the name looked up, what was looked up; else "".
std::string looked_up_text(const finding &f)
{
  return f.looked_up.empty() ? ""
                             : ", found for the name " + escaped(f.looked_up) + " in another case,";
}

// Return what finding F of G is, naming the members as [N].
std::string finding_text(const group_info &g, const finding &f)
{
  std::string text;
  switch (f.kind) {
  case finding_differ:
    text = "the loaded copy " + member_ref(f.subject) + looked_up_text(f) + " differs from ";
    for (size_t i = 0; i < f.others.size(); i++)
      text += (i > 0 ? ", " : "") + member_ref(f.others[i]);
    return text + ", found behind it";
  case finding_older:
    return "the loaded copy " + member_ref(f.subject) + looked_up_text(f) + " declares " +
           f.declared.date + ", older than the copy behind it, " + member_ref(f.others[0]) +
           " (" + f.declared_behind.date + "): removing " + member_ref(f.subject) +
           " would load " + member_ref(f.others[0]) +
           reader_dates_note(f.declared, f.declared_behind);
  case finding_stale:
    // A link to nothing stays whatever mktexlsr does: it is the link to mend.
    return member_ref(f.subject) + " is gone from disk (" +
           (g.members[f.subject].copy.file.state == file_dangling ? "a dangling link"
                                                                   : "stale ls-R entry") +
           ")";
  }
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

// The summary's counts of R: groups with problems of each kind and in
// all, groups with findings of the distribution's own, members no program
// finds.
struct summary_counts {
  size_t problems = 0, differ = 0, older = 0, stale = 0, distribution = 0, unreachable = 0,
         accepted = 0;
};

summary_counts count_findings(const explained_report &r)
{
  summary_counts c;
  for (const group_info &g : r.groups) {
    c.problems += g.problems != 0;
    c.differ += (g.problems & finding_differ) != 0;
    c.older += (g.problems & finding_older) != 0;
    c.stale += (g.problems & finding_stale) != 0;
    c.distribution += g.distribution != 0;
    c.accepted += g.accepted != 0;
    for (const member_info &m : g.members)
      c.unreachable += m.copy.file.state == file_ok && m.use.reached_by.empty() && !g.unread;
  }
  return c;
}

// Write the text of program P's first hit in group G on OUT, with the
// format it was looked up in where that is not the group's.
void print_hit(const explained_report &r, const group_info &g, size_t p, FILE *out)
{
  const program_hit &h = g.hits[p];
  if (h.kind == hit_not_read)
    return; // said for all such programs in one line
  fprintf(out, "  %-12s ", r.programs[p].c_str());
  std::string path = escaped(h.path);
  switch (h.kind) {
  case hit_member:
    if (!g.all_read) {
      fprintf(out, "loads [%d]", h.member + 1);
      break;
    }
    fputs("loads", out);
    for (size_t m : g.searches[p][0].finds)
      fprintf(out, "%s [%zu]", m == g.searches[p][0].finds[0] ? "" : ",", m + 1);
    fputs(" (each texmf.cnf it finds; the first to set a variable wins)", out);
    break;
  case hit_suffix_added:
    fprintf(out, "loads %s (the name with a suffix added)", path.c_str());
    break;
  case hit_alias: fprintf(out, "loads %s (an alias, texfonts.map)", path.c_str()); break;
  case hit_excluded: fprintf(out, "loads %s (left out by the patterns)", path.c_str()); break;
  case hit_outside: fprintf(out, "loads %s (outside the databases and trees)", path.c_str()); break;
  case hit_none: fputs("finds nothing", out); break;
  case hit_not_read: break;
  }
  // A program that reads the name in a format of its own (dvips's
  // config.* as 'dvips config') says so: that is the format to look it up in.
  if (!h.format.empty() && h.format != g.format)
    fprintf(out, ", looked up as %s", h.format.c_str());
  putc('\n', out);
}

// Return the kind of file FORMAT holds, for a reader: "web2c files",
// "bst files", "type1 fonts".
std::string kind_text(const std::string &format)
{
  return platform::ends_with_p(format, "files") || platform::ends_with_p(format, "fonts") ? format
                                                                       : format + " files";
}

// Write on OUT, in one line, the programs of R that do not read G's kind
// of file, and where none of them does, the programs that do.
void print_not_read(const explained_report &r, const group_info &g, FILE *out)
{
  std::vector<size_t> unread;
  for (size_t p = 0; p < r.programs.size(); p++)
    if (g.hits[p].kind == hit_not_read)
      unread.push_back(p);
  if (unread.empty())
    return;
  fprintf(out, "  %s %s %s", program_list(r, unread).c_str(),
          unread.size() == 1 ? "does not read" : "do not read", kind_text(g.format).c_str());
  std::vector<std::string> readers = readers_of(g.format_number);
  if (g.unread && !readers.empty()) {
    std::string list;
    for (const std::string &reader : readers)
      list += (list.empty() ? "" : ", ") + reader;
    fprintf(out, "; %s %s them", list.c_str(), readers.size() == 1 ? "reads" : "read");
  }
  putc('\n', out);
}

// Return what is said of member M of G when none of the programs finds
// it: why, as its state tells; "not on their paths" only of a file that
// is there to be found by a program that reads its kind.
std::string unfound_text(const group_info &g, const member_info &m)
{
  switch (m.copy.file.state) {
  case file_ok: break;
  case file_missing: return "gone (stale ls-R entry)";
  case file_dangling: return "gone (a dangling link)";
  case file_not_regular: return "no regular file: found by none of the programs";
  case file_unreadable:
  case file_unchecked: return "could not check (" + escaped(m.copy.file.why) + ")";
  }
  if (g.unread)
    return "read by none of these programs";
  return "found by none of the programs (not on their paths)";
}

// Return true if D and E say the same.
bool same_declaration_p(const declaration_facts &d, const declaration_facts &e)
{
  return d.date == e.date && d.version == e.version && d.by_latex == e.by_latex;
}

// Return the declarations of M, each with the programs whose verdicts rest
// on it: one for all where LaTeX was not asked or its engines agree.
std::vector<std::pair<declaration_facts, std::vector<size_t>>> declarations_of(
    const explained_report &r, const member_info &m)
{
  std::vector<std::pair<declaration_facts, std::vector<size_t>>> list;
  for (size_t p = 0; p < std::max<size_t>(r.programs.size(), 1); p++) {
    const declaration_facts &d = declaration_for(m, p);
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const auto &e) { return same_declaration_p(e.first, d); });
    if (it == list.end())
      list.push_back({d, {p}});
    else
      it->second.push_back(p);
  }
  return list;
}

// Return what declaration D says, for the programs P of R where FOR_SOME:
// "2019/01/01 v1 (as LaTeX records it)", "no date (as lualatex records it)".
std::string declaration_text(const explained_report &r, const declaration_facts &d,
                             const std::vector<size_t> &p, bool for_some)
{
  std::string text = d.date + (!d.date.empty() && !d.version.empty() ? " " : "") + d.version;
  if (text.empty())
    text = "no date";
  if (!for_some)
    return text + (d.by_latex ? " (as LaTeX records it)" : "");
  if (d.by_latex)
    return text + " (as " + program_list(r, p) + (p.size() == 1 ? " records it)" : " record it)");
  return text + " (read from the file, for " + program_list(r, p) + ")";
}

// Write the text of member I of G on OUT.
void print_member(const explained_report &r, const group_info &g, size_t i, FILE *out)
{
  const member_info &m = g.members[i];
  const file_facts &f = m.copy.file;
  const copy_owner &o = m.copy.owner;
  fprintf(out, "  [%zu] %s\n      ", i + 1, escaped(m.copy.path).c_str());
  fprintf(out, "%s", m.place.tree.empty() ? "no known tree" : m.place.tree.c_str());
  if (m.place.on_disk)
    fputs(m.place.lsr_unused ? " (on disk, its ls-R not used)" : " (on disk, no ls-R)", out);
  if (m.place.outside)
    fputs(" (outside the databases and trees)", out);
  if (f.state != file_ok)
    fprintf(out, ", %s%s%s%s", state_names[f.state], f.why.empty() ? "" : " (",
            escaped(f.why).c_str(), f.why.empty() ? "" : ")");
  if (f.size >= 0)
    fprintf(out, ", %lld bytes, %s", f.size, time_text(f.mtime).c_str());
  if (f.mark >= 0)
    fprintf(out, ", content %s%s", mark_text(f.mark).c_str(),
            m.use.differs ? " (differs from the loaded copy)" : "");
  putc('\n', out);
  auto declarations = declarations_of(r, m);
  if (declarations.size() > 1) {
    // The engines' LaTeX record it differently: each program's own.
    fputs("      declares ", out);
    for (size_t k = 0; k < declarations.size(); k++)
      fprintf(out, "%s%s", k == 0 ? "" : ", ",
              declaration_text(r, declarations[k].first, declarations[k].second, true).c_str());
    putc('\n', out);
  }
  const declaration_facts &d = declarations[0].first;
  bool declared = declarations.size() == 1 && (!d.date.empty() || !d.version.empty() || d.by_latex);
  if (declared || !o.package.empty() || !o.texlive_package.empty()) {
    fputs("      ", out);
    const char *sep = "";
    if (declared && (!d.date.empty() || !d.version.empty())) {
      fprintf(out, "declares %s", declaration_text(r, d, {}, false).c_str());
      sep = ", ";
    } else if (declared) {
      fputs("LaTeX records no date for it", out);
      sep = ", ";
    }
    if (!o.package.empty()) {
      fprintf(out, "%spackage %s", sep, o.package.c_str());
      sep = ", ";
    }
    if (!o.texlive_package.empty())
      fprintf(out, "%sTeX Live package %s", sep, o.texlive_package.c_str());
    putc('\n', out);
  }
  std::vector<size_t> shadowed;
  for (size_t p : m.use.reached_by)
    if (std::find(m.use.loaded_by.begin(), m.use.loaded_by.end(), p) == m.use.loaded_by.end())
      shadowed.push_back(p);
  fputs("      ", out);
  if (!m.use.loaded_by.empty())
    fprintf(out, "loaded by %s%s", program_list(r, m.use.loaded_by).c_str(),
            shadowed.empty() ? "" : "; ");
  if (!shadowed.empty())
    fprintf(out, "shadowed for %s", program_list(r, shadowed).c_str());
  if (m.use.reached_by.empty())
    fputs(unfound_text(g, m).c_str(), out);
  putc('\n', out);
}

// Return the member of G that a program loads and that is a per-user
// format or font map (fmtutil-user's, updmap-user's) in front of one
// that is not, or -1.
int per_user_member(const group_info &g)
{
  bool format = platform::ends_with_p(g.name, ".fmt") || platform::ends_with_p(g.name, ".base");
  bool map = g.name == "pdftex.map" || g.name == "psfonts.map" || g.name == "kanjix.map";
  auto user_p = [](const member_info &m) { return user_tree_p(m.place.tree); };
  if (!format && !map)
    return -1;
  bool system = false;
  for (const member_info &m : g.members)
    system = system || !user_p(m);
  for (size_t i = 0; system && i < g.members.size(); i++)
    if (user_p(g.members[i]) && !g.members[i].use.loaded_by.empty())
      return static_cast<int>(i);
  return -1;
}

// Write group G of R in full on OUT: its lookups, members and findings.
void print_group(const explained_report &r, const group_info &g, FILE *out)
{
  fprintf(out, "%s (format %s)\n", escaped(g.name).c_str(), g.format.c_str());
  for (size_t p = 0; p < r.programs.size(); p++)
    print_hit(r, g, p, out);
  print_not_read(r, g, out);
  for (size_t i = 0; i < g.members.size(); i++)
    print_member(r, g, i, out);
  for (const finding &f : g.findings)
    fprintf(out, "  finding%s: %s%s%s\n",
            f.accepted ? " (accepted)" : f.distribution ? " (the distribution's own)" : "",
            finding_text(g, f).c_str(), f.programs.empty() ? "" : ", for ",
            program_list(r, f.programs).c_str());
  int user = per_user_member(g);
  if (user >= 0)
    fprintf(out, "  note: %s is a per-user %s in front of the system's: %s (-formats checks it)\n",
            member_ref(static_cast<size_t>(user)).c_str(),
            platform::ends_with_p(g.name, ".map") ? "font map (updmap-user makes them)"
                                                  : "format (fmtutil-user makes them)",
            platform::ends_with_p(g.name, ".map")
                ? "fonts installed later are not in it"
                : "the distribution's updates will not rebuild it");
  if (g.unreachable)
    fputs("  note: a copy none of these programs finds (not on their paths)\n", out);
  if (!g.order_programs.empty()) {
    std::string members;
    for (size_t m : g.order_members)
      members += (members.empty() ? "" : ", ") + member_ref(m);
    fprintf(out, "  note: %s lie in directories of one tree searched on disk: which one %s %s "
                 "can depend on what the run loaded before (Kpathsea searches first where it "
                 "last found a file)\n",
            members.c_str(), program_list(r, g.order_programs).c_str(),
            g.order_programs.size() == 1 ? "loads" : "load");
  }
  putc('\n', out);
}

} // namespace

void print_explained(const explained_report &r, bool list_all, FILE *out)
{
  fprintf(out, "%zu files in your databases.\n", r.kept);
  std::string programs = program_list(r, [&]() {
    std::vector<size_t> all;
    for (size_t p = 0; p < r.programs.size(); p++)
      all.push_back(p);
    return all;
  }());
  for (size_t i = 0; i < r.disk_trees.size(); i++)
    fprintf(out, "Searched on disk (%s): %s\n",
            r.disk_trees_lsr[i] ? "its ls-R is not used" : "no ls-R",
            escaped(r.disk_trees[i]).c_str());
  if (r.bookkeeping > 0)
    fprintf(out, "Left out: %s of the databases' own bookkeeping (each tree's ls-R, "
                 "mktexlsr's \".:\").\n", counted(r.bookkeeping, "entry", "entries").c_str());
  fprintf(out, "Which copy %s load%s, looked up as from a directory without TeX files.\n\n",
          programs.c_str(), r.programs.size() == 1 ? "s" : "");
  // The groups a user has to act on come first; the rest follow in full
  // only when asked for, else counted.
  for (const group_info &g : r.groups)
    if (g.problems != 0)
      print_group(r, g, out);
  size_t quiet = 0, distribution = 0, unreachable = 0, accepted = 0;
  for (const group_info &g : r.groups) {
    if (g.problems != 0)
      continue;
    if (list_all)
      print_group(r, g, out);
    quiet++;
    distribution += g.distribution != 0;
    unreachable += g.unreachable;
    accepted += g.accepted != 0;
  }
  if (!list_all && quiet > 0) {
    fprintf(out, "%s without a problem", counted(quiet, "group").c_str());
    std::vector<std::string> kinds;
    if (accepted > 0)
      kinds.push_back(std::to_string(accepted) + " with accepted findings");
    if (distribution > 0)
      kinds.push_back(std::to_string(distribution) + " with findings of the distribution's own");
    if (unreachable > 0)
      kinds.push_back(std::to_string(unreachable) + " with a copy none of the programs finds");
    for (size_t i = 0; i < kinds.size(); i++)
      fprintf(out, "%s%s", i == 0 ? " (" : ", ", kinds[i].c_str());
    if (!kinds.empty())
      fputs(")", out);
    fputs("; -verbose lists them\n\n", out);
  }
  summary_counts c = count_findings(r);
  fprintf(out, "Summary: %s; %zu with problems (%zu differ, %zu older, %zu stale); "
               "%zu with findings of the distribution's own; %s none of the programs "
               "finds.\n",
          counted(r.groups.size(), "group").c_str(), c.problems, c.differ, c.older, c.stale,
          c.distribution, counted(c.unreachable, "member").c_str());
  if (c.accepted > 0)
    fprintf(out, "Accepted: %s with findings the accepted report holds, for the same "
                 "contents.\n", counted(c.accepted, "group").c_str());
}

namespace {

using json = nlohmann::ordered_json;

// Set the fields of declaration D in J: date, version, where the date
// comes from, and why LaTeX gave none.
void put_declaration(json &j, const declaration_facts &d)
{
  j["date"] = d.date.empty() ? json(nullptr) : json(d.date);
  j["version"] = d.version.empty() ? json(nullptr) : json(d.version);
  j["date_source"] = d.by_latex                               ? json("latex")
                     : d.date.empty() && d.version.empty() ? json(nullptr)
                                                           : json("reader");
  if (!d.latex_why.empty())
    j["latex_not_asked"] = d.latex_why;
}

// Return member M of a group as JSON; PROGRAMS name the programs by index.
json member_json(const member_info &m, const std::vector<std::string> &programs)
{
  json jm;
  const file_facts &f = m.copy.file;
  const copy_owner &o = m.copy.owner;
  put_bytes(jm, "path", m.copy.path);
  jm["tree"] = m.place.tree.empty() ? json(nullptr) : json(m.place.tree);
  jm["on_disk"] = m.place.on_disk;
  jm["outside"] = m.place.outside;
  jm["state"] = state_keys[f.state];
  if (!f.why.empty())
    put_bytes(jm, "why", f.why);
  jm["size"] = f.size >= 0 ? json(f.size) : json(nullptr);
  jm["mtime"] = f.size >= 0 ? json(static_cast<long long>(f.mtime)) : json(nullptr);
  jm["content"] = f.mark >= 0 ? json(mark_text(f.mark)) : json(nullptr);
  jm["content_hash"] = f.hash.empty() ? json(nullptr) : json(f.hash);
  jm["differs_from_loaded"] = m.use.differs;
  // The first program's declaration, and each program's where their
  // engines' LaTeX record it differently.
  put_declaration(jm, declaration_for(m, 0));
  bool agree = true;
  for (const declaration_facts &d : m.by_program)
    agree = agree && same_declaration_p(d, m.by_program[0]);
  if (!agree) {
    jm["by_program"] = json::array();
    for (size_t p = 0; p < m.by_program.size(); p++) {
      json jp;
      jp["program"] = programs[p];
      put_declaration(jp, m.by_program[p]);
      jm["by_program"].push_back(jp);
    }
  }
  jm["package"] = o.package.empty() ? json(nullptr) : json(o.package);
  jm["texlive_package"] = o.texlive_package.empty() ? json(nullptr) : json(o.texlive_package);
  jm["distribution"] = m.place.distribution;
  jm["loaded_by"] = json::array();
  for (size_t p : m.use.loaded_by)
    jm["loaded_by"].push_back(programs[p]);
  jm["found_by"] = json::array();
  for (size_t p : m.use.reached_by)
    jm["found_by"].push_back(programs[p]);
  return jm;
}

// Return group G as JSON: its lookups, members, findings and problems.
json group_json(const group_info &g, const std::vector<std::string> &programs)
{
  json jg;
  put_bytes(jg, "name", g.name);
  jg["format"] = g.format;
  jg["lookups"] = json::array();
  for (size_t p = 0; p < programs.size(); p++) {
    const program_hit &h = g.hits[p];
    json jh;
    jh["program"] = programs[p];
    jh["kind"] = hit_keys[h.kind];
    jh["format"] = h.format.empty() ? json(nullptr) : json(h.format);
    jh["member"] = h.member >= 0 ? json(h.member + 1) : json(nullptr);
    if (h.kind != hit_none)
      put_bytes(jh, "path", h.path);
    jg["lookups"].push_back(jh);
  }
  jg["members"] = json::array();
  for (const member_info &m : g.members)
    jg["members"].push_back(member_json(m, programs));
  jg["findings"] = json::array();
  for (const finding &f : g.findings) {
    json jf;
    jf["kind"] = finding_kind_name(f.kind);
    jf["distribution"] = f.distribution;
    jf["accepted"] = f.accepted;
    jf["members"] = json::array();
    for (size_t m : f.members)
      jf["members"].push_back(m + 1);
    jf["programs"] = json::array();
    for (size_t p : f.programs)
      jf["programs"].push_back(programs[p]);
    jf["looked_up_as"] = f.looked_up.empty() ? json(nullptr) : json(f.looked_up);
    jf["text"] = finding_text(g, f);
    jg["findings"].push_back(jf);
  }
  jg["problems"] = json::array();
  for (unsigned bit : problem_kinds)
    if (g.problems & bit)
      jg["problems"].push_back(finding_kind_name(bit));
  jg["unreachable"] = g.unreachable;
  jg["read_by_none"] = g.unread;
  jg["all_read"] = g.all_read;
  int user = per_user_member(g);
  jg["per_user"] = user >= 0 ? json(user + 1) : json(nullptr);
  jg["order_dependent"] = json::array();
  for (size_t p : g.order_programs)
    jg["order_dependent"].push_back(programs[p]);
  return jg;
}

} // namespace

void print_explained_json(const explained_report &r, FILE *out)
{
  json doc;
  doc["schema_version"] = schema_version;
  doc["kept"] = r.kept;
  doc["bookkeeping_left_out"] = r.bookkeeping;
  doc["disk_trees"] = json::array();
  for (size_t i = 0; i < r.disk_trees.size(); i++) {
    json jt;
    put_bytes(jt, "dir", r.disk_trees[i]);
    jt["ls_r_unused"] = static_cast<bool>(r.disk_trees_lsr[i]);
    doc["disk_trees"].push_back(jt);
  }
  doc["programs"] = r.programs;
  doc["groups"] = json::array();
  for (const group_info &g : r.groups)
    doc["groups"].push_back(group_json(g, r.programs));
  summary_counts c = count_findings(r);
  doc["summary"] = {{"groups", r.groups.size()},     {"problems", c.problems},
                    {"differ", c.differ},            {"older", c.older},
                    {"stale", c.stale},              {"distribution", c.distribution},
                    {"accepted", c.accepted},        {"unreachable_members", c.unreachable}};
  fprintf(out, "%s\n", json_text(doc).c_str());
}

