// The database health report as text and as JSON.

#include <nlohmann/json.hpp>

#include "databases/databases.h"

namespace {

// How many entries of a long list the text shows unless asked for all.
const size_t shown = 5;

// Write HEADING and the entries of LIST, indented, on OUT: the first few
// and a count of the rest unless ALL.
void print_list(const std::vector<std::string> &list, const std::string &heading, bool all,
                FILE *out)
{
  if (list.empty())
    return;
  fprintf(out, "  %zu %s\n", list.size(), heading.c_str());
  for (size_t i = 0; i < list.size() && (all || i < shown); i++)
    fprintf(out, "    %s\n", list[i].c_str());
  if (!all && list.size() > shown)
    fprintf(out, "    ... and %zu more (-verbose lists all)\n", list.size() - shown);
}

// Return the command that mends TREE.
std::string mending_command(const tree_health &t)
{
  std::string sudo = t.writable ? "" : "sudo ";
  if (!t.lsr.empty() && !t.lsr_header)
    return sudo + "rm " + t.lsr + " && " + sudo + "mktexlsr " + t.dir;
  return sudo + "mktexlsr " + t.dir;
}

// Return the one-line state of TREE's ls-R.
std::string lsr_state(const tree_health &t)
{
  std::string link = t.lsr_target.empty() ? "" : " (a link to " + t.lsr_target + ")";
  if (t.lsr.empty())
    return "no ls-R";
  if (!t.lsr_readable)
    return "ls-R" + link + " cannot be read";
  if (t.entries == 0)
    return "ls-R" + link + " has no usable entries: Kpathsea does not use it";
  bool clean = t.missing.empty() && t.gone.empty() && t.dangling.empty() && t.left_out.empty() &&
               t.unlistable.empty() && t.lsr_header;
  return std::string(clean ? "ls-R up to date" : "ls-R") + link + ", " +
         std::to_string(t.entries) + " entries";
}

} // namespace

void print_database_health(const database_health &health, bool all, FILE *out)
{
  for (const tree_health &t : health.trees) {
    fprintf(out, "%s%s: %s\n", t.database_only ? "!!" : "", t.dir.c_str(), lsr_state(t).c_str());
    if (!t.lsr.empty() && t.lsr_readable && !t.lsr_header)
      fputs("  ls-R lacks mktexlsr's header line: Kpathsea reads it, but mktexlsr refuses "
            "to update it\n", out);
    print_list(t.missing,
               std::string("files missing from ls-R: ") +
                   (t.database_only ? "never found, the tree is marked !!"
                                    : "found only by lookups that must succeed (\\input)"),
               all, out);
    print_list(t.gone, "entries whose files are gone: TeX skips them", all, out);
    print_list(t.dangling,
               "entries that are dangling symbolic links: TeX skips them, and mktexlsr lists "
               "them again (mend the links)",
               all, out);
    print_list(t.left_out,
               "files mktexlsr itself leaves out (a name containing .git, .hg, .svn or .bzr "
               "makes it drop the rest of its directory): rerunning it will not help",
               all, out);
    print_list(t.unlistable, "directories that cannot be listed", all, out);
    if (mended_by_mktexlsr_p(t))
      fprintf(out, "  mend: %s\n", mending_command(t).c_str());
  }
  if (!health.config.empty()) {
    fputs("Configuration:\n", out);
    for (const config_problem &p : health.config)
      fprintf(out, "  %s: %s (%s)\n", p.dir.c_str(), p.text.c_str(), p.rule.c_str());
  }
  fputs(problems_p(health) ? "Problems found.\n" : "All databases are healthy.\n", out);
}

void print_database_health_json(const database_health &health, FILE *out)
{
  using json = nlohmann::ordered_json;
  json doc;
  doc["schema_version"] = 1;
  doc["trees"] = json::array();
  for (const tree_health &t : health.trees) {
    json jt;
    jt["dir"] = t.dir;
    jt["database_only"] = t.database_only;
    jt["ls_r"] = t.lsr.empty() ? json(nullptr) : json(t.lsr);
    jt["ls_r_target"] = t.lsr_target.empty() ? json(nullptr) : json(t.lsr_target);
    jt["readable"] = t.lsr_readable;
    jt["header"] = t.lsr_header;
    jt["entries"] = t.entries;
    jt["missing"] = t.missing;
    jt["gone"] = t.gone;
    jt["dangling"] = t.dangling;
    jt["left_out"] = t.left_out;
    jt["unlistable"] = t.unlistable;
    jt["mend"] = mended_by_mktexlsr_p(t) ? json(mending_command(t)) : json(nullptr);
    doc["trees"].push_back(jt);
  }
  doc["configuration"] = json::array();
  for (const config_problem &p : health.config)
    doc["configuration"].push_back({{"rule", p.rule}, {"dir", p.dir}, {"text", p.text}});
  doc["healthy"] = !problems_p(health);
  fprintf(out, "%s\n", doc.dump(1, ' ', false, json::error_handler_t::replace).c_str());
}
