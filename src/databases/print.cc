// The database health report as text and as JSON.

#include "databases/databases.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "databases/misplaced.h"
#include "databases/walk.h"
#include "shared/output.h"
#include "shared/paths.h"
#include "platform/platform.h"

namespace {

// How many entries of a long list the text shows unless asked for all.
const size_t shown = 5;

// The JSON document's schema version (docs/databases-schema.md).
const int schema_version = 6;

// Write the count of LIST with its heading (ONE for a single entry, else
// MANY) and the entries, escaped and indented, on OUT: the first few and
// a count of the rest unless ALL.
void print_list(const std::vector<std::string> &list, const std::string &one,
                const std::string &many, bool all, FILE *out)
{
  if (list.empty())
    return;
  fprintf(out, "  %s\n", counted(list.size(), one, many).c_str());
  for (size_t i = 0; i < list.size() && (all || i < shown); i++)
    fprintf(out, "    %s\n", escaped(list[i]).c_str());
  if (!all && list.size() > shown)
    fprintf(out, "    ... and %zu more (-verbose lists all)\n", list.size() - shown);
}

// Return the dangling links of T as lines: the link, where it leads, and
// the package that installed it.
std::vector<std::string> dangling_lines(const tree_health &t, bool *all_packaged)
{
  std::vector<std::string> lines;
  *all_packaged = true;
  for (const dangling_link &d : t.dangling) {
    // Where a link points cannot always be read (Windows): then it is
    // enough that it leads nowhere.
    lines.push_back(d.path + (d.target.empty() ? "" : " -> " + d.target) +
                    (d.package.empty() ? "" : " (package " + d.package + ")"));
    *all_packaged = *all_packaged && !d.package.empty();
  }
  return lines;
}

// Return the one-line state of tree T.
std::string tree_state(const tree_health &t)
{
  switch (t.kind) {
  case tree_absent:
    return "it does not exist: nothing to find (create it, or remove it from TEXMFDBS)";
  case tree_not_directory:
    return "it is " + t.kind_why +
           ", not a directory: nothing in it is found (remove it from TEXMFDBS)";
  case tree_unknown:
    return "could not look at it (" + t.kind_why + ")";
  case tree_directory:
    break;
  }
  std::string link = t.lsr_target.empty() ? "" : " (a link to " + escaped(t.lsr_target) + ")";
  if (t.lsr.empty()) {
    if (!t.searched_database_only)
      return "no ls-R: Kpathsea searches it on disk";
    return t.holds_files ? "no ls-R: nothing in it is ever found"
                         : "no ls-R, and no files in it: nothing to find";
  }
  if (!t.lsr_readable)
    return "ls-R" + link + " cannot be read (" + t.lsr_why + ")";
  if (t.entries == 0)
    return "ls-R" + link + " has no usable entries: Kpathsea does not use it";
  // The distribution's own dangling links are listed, but are no problem.
  return std::string(tree_problems_p(t) ? "ls-R" : "ls-R up to date") + link + ", " +
         counted(t.entries, "entry", "entries");
}

// Return the command that makes T's unreadable ls-R readable.
std::string permission_command(const tree_health &t)
{
  const std::string &file = t.lsr_target.empty() ? t.lsr : t.lsr_target;
  return platform::privileged({platform::make_readable_command(file)}, t.owner);
}

// Set KEY of J to the paths of LIST, each an object whose "path" is kept
// whole as put_bytes keeps it.
void put_paths(nlohmann::ordered_json &j, const char *key, const std::vector<std::string> &list)
{
  j[key] = nlohmann::ordered_json::array();
  for (const std::string &path : list) {
    nlohmann::ordered_json item;
    put_bytes(item, "path", path);
    j[key].push_back(item);
  }
}

} // namespace

std::string mending_command(const database_health &health, const tree_health &t)
{
  if (!mended_by_mktexlsr_p(t))
    return "";
  std::vector<std::string> commands;
  // The names that make mktexlsr leave files out are renamed first.
  for (const std::string &trip : t.trips)
    commands.push_back(platform::move_command(
        trip, std::string(directory_with_slash(trip)) + untripped_name(base_name(trip))));
  // An ls-R without the header is refused (an empty one is rewritten); a
  // link that leads into no directory is skipped.
  if (!t.lsr.empty() && ((t.lsr_readable && !t.lsr_header && !t.lsr_empty) ||
                         (t.lsr_dangling && !t.lsr_target_dir)))
    commands.push_back(platform::remove_command(t.lsr));
  commands.push_back(platform::command_word(health.mktexlsr) + " " + platform::command_word(t.dir));
  return platform::privileged(commands, t.writable);
}

namespace {

// Write what is wrong with tree T of HEALTH on OUT, and its mend; lists
// show their first entries unless ALL.
void print_tree(const database_health &health, const tree_health &t, bool all, FILE *out)
{
  fprintf(out, "%s%s: %s\n", t.database_only ? "!!" : "", escaped(t.dir).c_str(),
          tree_state(t).c_str());
  if (!t.second_lsr.empty())
    fprintf(out, "  Kpathsea also reads %s\n", escaped(t.second_lsr).c_str());
  if (!t.lsr.empty() && t.lsr_readable && !t.lsr_header && !t.lsr_empty)
    fputs("  ls-R lacks mktexlsr's header line: Kpathsea reads it, but mktexlsr refuses "
          "to update it\n", out);
  std::string missing_tail = t.searched_database_only
                                 ? "never found, the tree is marked !!"
                                 : "found only by lookups that must succeed (\\input)";
  print_list(t.missing, "file missing from ls-R: " + missing_tail,
             "files missing from ls-R: " + missing_tail, all, out);
  print_list(t.missing_dangling,
             "dangling symbolic link missing from ls-R: it leads nowhere, TeX finds nothing "
             "there (mend or remove the link)",
             "dangling symbolic links missing from ls-R: they lead nowhere, TeX finds nothing "
             "there (mend or remove the links)",
             all, out);
  print_list(t.gone, "entry whose file is gone: TeX skips it",
             "entries whose files are gone: TeX skips them", all, out);
  bool packaged;
  std::vector<std::string> links = dangling_lines(t, &packaged);
  if (packaged)
    print_list(links,
               "entry that is a dangling symbolic link, installed by a package: install "
               "what it points to",
               "entries that are dangling symbolic links, installed by packages: install "
               "what they point to",
               all, out);
  else
    print_list(links,
               "entry that is a dangling symbolic link: TeX skips it; mend or remove the "
               "link (mktexlsr lists it again)",
               "entries that are dangling symbolic links: TeX skips them; mend or remove "
               "the links (mktexlsr lists them again)",
               all, out);
  const std::string left_out_why =
      " (a name holding .git, .hg, .svn or .bzr makes it drop the rest of its directory, "
      "a name ending in _darcs is dropped, a directory whose name holds _darcs whole): "
      "rerunning it will not help, renaming will";
  print_list(t.left_out, "file mktexlsr itself leaves out" + left_out_why,
             "files mktexlsr itself leaves out" + left_out_why, all, out);
  print_list(t.trips, "name that trips its rule", "names that trip its rule", all, out);
  print_list(t.vcs_own,
             "file of version control that mktexlsr leaves out (a _darcs directory, "
             ".gitignore and the like): never meant to be found",
             "files of version control that mktexlsr leaves out (a _darcs directory, "
             ".gitignore and the like): never meant to be found",
             all, out);
  print_list(t.unlistable_names,
             "file whose name mktexlsr cannot list (a line end in the name): rename it",
             "files whose names mktexlsr cannot list (a line end in the name): rename them",
             all, out);
  print_list(t.odd_blocks, "block mktexlsr never writes", "blocks mktexlsr never writes", all,
             out);
  print_list(t.unlistable, "directory that cannot be listed",
             "directories that cannot be listed", all, out);
  print_list(t.unchecked, "entry that could not be checked",
             "entries that could not be checked", all, out);
  print_list(t.pseudo,
             "directory that leads into /proc or /sys: not walked, and mktexlsr would never "
             "end (remove the link)",
             "directories that lead into /proc or /sys: not walked, and mktexlsr would "
             "never end (remove the links)",
             all, out);
  if (!t.lsr.empty() && !t.lsr_readable && t.lsr_regular && !t.lsr_dangling &&
      t.kind == tree_directory)
    fprintf(out, "  mend: %s\n", permission_command(t).c_str());
  if (mended_by_mktexlsr_p(t))
    fprintf(out, "  mend: %s\n", mending_command(health, t).c_str());
}

// Return the command that rebuilds the ls-R of TREE once files moved in it.
std::string lsr_command(const database_health &health, const std::string &tree)
{
  return platform::privileged(
      {platform::command_word(health.mktexlsr) + " " + platform::command_word(tree)},
      platform::may_write_p(tree));
}

// Return the programs of F that look where it lies, as a short list.
std::string readers_text(const misplaced_file &f)
{
  std::string text;
  for (size_t i = 0; i < f.readers.size() && i < 3; i++)
    text += (i == 0 ? "" : ", ") + f.readers[i];
  if (f.readers.size() > 3)
    text += " and " + std::to_string(f.readers.size() - 3) + " more";
  return text;
}

// Return what is wrong with F where it lies, and where it belongs.
std::string misplaced_text(const misplaced_file &f)
{
  std::string text = latex_only_p(f) ? "LaTeX never looks here (only " + readers_text(f) + " do)"
                                     : "TeX never looks here";
  text += "; it belongs in " + escaped(f.belongs) + "/";
  if (f.occupied)
    text += ", which holds a file of its name already: keep one of the two";
  return text;
}

// Write the misplaced files of HEALTH, each with its mend, and the
// user's unsearched texmf directory on OUT; the first few unless ALL.
void print_misplaced(const database_health &health, bool all, FILE *out)
{
  for (const unsearched_home &h : health.home) {
    fprintf(out, "%s: TEXMFHOME is %s; %s is not searched\n", escaped(h.dir).c_str(),
            escaped(h.texmfhome).c_str(), escaped(h.dir).c_str());
    fprintf(out, "  mend: %s\n", home_command(h).c_str());
  }
  if (health.misplaced.empty())
    return;
  fprintf(out, "%s:\n", counted(health.misplaced.size(), "file where TeX never finds it",
                                "files where TeX never finds them").c_str());
  std::vector<std::string> trees;
  for (size_t i = 0; i < health.misplaced.size(); i++) {
    const misplaced_file &f = health.misplaced[i];
    if (f.tree_lsr && std::find(trees.begin(), trees.end(), f.tree) == trees.end())
      trees.push_back(f.tree);
    if (!all && i >= shown)
      continue;
    fprintf(out, "  %s: %s\n", escaped(f.path).c_str(), misplaced_text(f).c_str());
    std::string mend = misplaced_command(f);
    if (!mend.empty())
      fprintf(out, "    mend: %s\n", mend.c_str());
  }
  if (!all && health.misplaced.size() > shown)
    fprintf(out, "  ... and %zu more (-verbose lists all)\n", health.misplaced.size() - shown);
  for (const std::string &tree : trees)
    fprintf(out, "  then: %s\n", lsr_command(health, tree).c_str());
}

} // namespace

void print_database_health(const database_health &health, bool all, FILE *out)
{
  for (const std::string &problem : health.setup)
    fprintf(out, "%s\n", problem.c_str());
  for (const tree_health &t : health.trees)
    print_tree(health, t, all, out);
  if (!health.config.empty()) {
    fputs("Configuration:\n", out);
    for (const config_problem &p : health.config)
      fprintf(out, "  %s: %s (%s)\n", escaped(p.dir).c_str(), p.text.c_str(), p.rule.c_str());
  }
  print_misplaced(health, all, out);
  if (!health.notes.empty()) {
    fputs("Notes:\n", out);
    for (const config_problem &p : health.notes)
      fprintf(out, "  %s: %s (%s)\n", escaped(p.dir).c_str(), p.text.c_str(), p.rule.c_str());
  }
  fputs(problems_p(health) ? "Problems found.\n" : "All databases are healthy.\n", out);
}

void print_database_health_json(const database_health &health, FILE *out)
{
  using json = nlohmann::ordered_json;
  static const char *const kinds[] = {"directory", "absent", "not-directory", "unknown"};
  json doc;
  doc["schema_version"] = schema_version;
  doc["setup"] = health.setup;
  doc["trees"] = json::array();
  for (const tree_health &t : health.trees) {
    json jt;
    put_bytes(jt, "dir", t.dir);
    jt["database_only"] = t.database_only;
    jt["searched_database_only"] = t.searched_database_only;
    jt["kind"] = kinds[t.kind];
    jt["holds_files"] = t.holds_files;
    if (t.lsr.empty())
      jt["ls_r"] = nullptr;
    else
      put_bytes(jt, "ls_r", t.lsr);
    jt["ls_r_target"] = t.lsr_target.empty() ? json(nullptr) : json(t.lsr_target);
    jt["readable"] = t.lsr_readable;
    jt["header"] = t.lsr_header;
    jt["entries"] = t.entries;
    put_paths(jt, "missing", t.missing);
    put_paths(jt, "gone", t.gone);
    jt["dangling"] = json::array();
    for (const dangling_link &d : t.dangling) {
      json jd;
      put_bytes(jd, "path", d.path);
      put_bytes(jd, "target", d.target);
      jd["package"] = d.package.empty() ? json(nullptr) : json(d.package);
      jt["dangling"].push_back(jd);
    }
    put_paths(jt, "missing_dangling", t.missing_dangling);
    put_paths(jt, "left_out", t.left_out);
    put_paths(jt, "trips", t.trips);
    put_paths(jt, "vcs_own", t.vcs_own);
    put_paths(jt, "unlistable_names", t.unlistable_names);
    put_paths(jt, "unlistable", t.unlistable);
    put_paths(jt, "unchecked", t.unchecked);
    put_paths(jt, "pseudo", t.pseudo);
    put_paths(jt, "odd_blocks", t.odd_blocks);
    std::string mend = mending_command(health, t);
    if (!t.lsr.empty() && !t.lsr_readable && t.lsr_regular && !t.lsr_dangling &&
        t.kind == tree_directory)
      mend = permission_command(t);
    jt["mend"] = mend.empty() ? json(nullptr) : json(mend);
    doc["trees"].push_back(jt);
  }
  doc["configuration"] = json::array();
  for (const config_problem &p : health.config)
    doc["configuration"].push_back({{"rule", p.rule}, {"dir", p.dir}, {"text", p.text}});
  doc["notes"] = json::array();
  for (const config_problem &p : health.notes)
    doc["notes"].push_back({{"rule", p.rule}, {"dir", p.dir}, {"text", p.text}});
  doc["misplaced"] = json::array();
  for (const misplaced_file &f : health.misplaced) {
    json jf;
    put_bytes(jf, "path", f.path);
    put_bytes(jf, "tree", f.tree);
    jf["kind"] = f.kind;
    jf["problem"] = latex_only_p(f) ? "latex-never-looks" : "never-looked";
    jf["readers"] = f.readers;
    jf["belongs"] = f.belongs;
    jf["occupied"] = f.occupied;
    std::string mend = misplaced_command(f);
    jf["mend"] = mend.empty() ? json(nullptr) : json(mend);
    jf["then"] = f.tree_lsr ? json(lsr_command(health, f.tree)) : json(nullptr);
    doc["misplaced"].push_back(jf);
  }
  doc["unsearched_home"] = json(nullptr);
  for (const unsearched_home &h : health.home)
    doc["unsearched_home"] = {{"dir", h.dir}, {"texmfhome", h.texmfhome}, {"mend", home_command(h)}};
  doc["healthy"] = !problems_p(health);
  fprintf(out, "%s\n", json_text(doc).c_str());
}

