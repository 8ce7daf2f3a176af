// The database health check.
//
// This thread reads the ls-R files as Kpathsea reads them; then each tree
// on TEXMFDBS is walked as mktexlsr lists it (links followed, dangling
// links and hidden names listed), by a thread per core taking directories
// from a shared stack.  The two are then compared both ways: files the
// ls-R lacks, and entries whose files are gone.  Nothing is ever written.

#include "databases/databases.h"
#include "databases/lsr.h"
#include "databases/misplaced.h"
#include "databases/walk.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <climits>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "shared/output.h"
#include "shared/packages.h"
#include "shared/status.h"
#include "shared/workers.h"
#include "shared/files.h"
#include "shared/paths.h"
#include "shared/walk.h"
#include "shared/installation.h"
#include "kpathsea/load.h"
#include "kpathsea/variables.h"
#include "platform/platform.h"

namespace {

// Return true if DIR holds a file somewhere below it, hidden files and
// directories and dangling links left out, as far as it can be listed.
bool holds_files_p(const std::string &dir)
{
  bool found = false;
  walk_files(dir, [&](const std::string &, const platform::listed_entry &e) {
    found = e.name[0] != '.' && !e.dangling;
    return !found;
  });
  return found;
}

// Add the configuration problems of the trees of TEXMFDBS and TEXMF.
void check_configuration(database_health &health, const std::vector<path_element> &texmf)
{
  std::unordered_set<std::string> on_dbs;
  for (const tree_health &t : health.trees)
    on_dbs.insert(platform::real_path(t.dir));
  std::unordered_set<std::string> said;
  // Each rule once for each tree, among the problems or the notes (LIST).
  auto add_to = [&](std::vector<config_problem> &list, const char *rule, const std::string &dir,
                    const std::string &text) {
    if (said.insert(std::string(rule) + "\n" + dir).second)
      list.push_back({rule, dir, text});
  };
  auto add = [&](const char *rule, const std::string &dir, const std::string &text) {
    add_to(health.config, rule, dir, text);
  };
  // Whether Kpathsea also searches a loaded tree on disk is the search
  // path's '!!', not TEXMFDBS's; an ls-R without usable entries is not
  // loaded at all.
  std::unordered_set<std::string> searched_on_disk;
  for (const path_element &e : texmf)
    if (!e.database_only)
      searched_on_disk.insert(platform::real_path(e.dir));
  for (const tree_health &t : health.trees)
    if (t.entries > 0 && searched_on_disk.count(platform::real_path(t.dir)) > 0)
      add("not-database-only", t.dir,
          "TEXMF names it without !!: for lookups that need not succeed, a file its "
          "ls-R lacks is never found, and lookups that must succeed search the disk");
  for (const path_element &e : texmf) {
    bool dbs = on_dbs.count(platform::real_path(e.dir)) > 0, lsr = !database_files(e.dir).empty();
    if (e.database_only && !dbs)
      add("not-on-TEXMFDBS", e.dir,
          "TEXMF marks it !!, but TEXMFDBS does not list it: its ls-R is never read");
    // Kpathsea searches such a tree on disk and finds all it holds: its
    // ls-R is only unused, whatever it lacks.
    if (lsr && !dbs && !e.database_only)
      add_to(health.notes, "ls-R-not-loaded", e.dir,
             "its ls-R is not used: Kpathsea searches it on disk");
    if (e.database_only && !lsr && !dbs && holds_files_p(e.dir))
      add("database-only-without-ls-R", e.dir,
          "it is marked !! and has no ls-R: nothing in it is ever found");
  }
  for (const tree_health &t : health.trees)
    if (t.searched_database_only && t.lsr.empty() && t.holds_files)
      add("database-only-without-ls-R", t.dir,
          "it is marked !! and has no ls-R: nothing in it is ever found");
}

// Set TREE's kind from what is at its directory; return true if it is a
// directory to walk, with what a look at it found in *ST.
bool look_at_tree(tree_health &tree, platform::file_status *st)
{
  if (platform::look_at(tree.dir, true, st)) {
    tree.kind = st->directory ? tree_directory : tree_not_directory;
    if (tree.kind == tree_not_directory)
      tree.kind_why = platform::file_type_text(st->mode);
    return tree.kind == tree_directory;
  }
  int error = st->error;
  platform::file_status link;
  if (error == ENOENT && platform::look_at(tree.dir, false, &link)) {
    tree.kind = tree_not_directory;
    tree.kind_why = "a dangling symbolic link";
  } else {
    tree.kind = error == ENOENT || error == ENOTDIR ? tree_absent : tree_unknown;
    tree.kind_why = strerror(error);
  }
  return false;
}

// Set each dangling link's target, and the Debian package that installed
// it, if any.
void explain_dangling_links(database_health &health)
{
  std::unordered_set<std::string> paths;
  for (tree_health &t : health.trees)
    for (dangling_link &d : t.dangling) {
      d.target = platform::link_target(d.path);
      paths.insert(d.path);
      // dpkg records a file behind a linked directory by its resolved path.
      paths.insert(resolved_directory_path(d.path));
    }
  package_map owners =
      debian_owners(paths, platform::dpkg_info_dir, name_set(), &health.packages_unread);
  for (tree_health &t : health.trees)
    for (dangling_link &d : t.dangling) {
      std::string resolved = resolved_directory_path(d.path);
      for (const std::string &p : {d.path, resolved})
        if (d.package.empty() && owners.count(p) > 0)
          d.package = owners[p];
    }
}

// Return the health report begun: what keeps Kpathsea from loading any
// ls-R, the installation's own mktexlsr, and the trees of TEXMFDBS, each
// with the mark the search path's trees TEXMF give it.
database_health health_of_setup(const std::vector<path_element> &texmf)
{
  database_health health;
  std::vector<path_element> dbs = path_elements("TEXMFDBS");
  std::string cnf = configuration_file();
  if (cnf.empty())
    health.setup.push_back("texmf.cnf not found in " + configuration_path() +
                           ": Kpathsea has no configuration, and TeX finds nothing");
  else if (dbs.empty())
    health.setup.push_back("TEXMFDBS is empty (" + cnf + "): Kpathsea loads no ls-R");
  std::string bin = variable_value("SELFAUTOLOC");
  // The installation's own mktexlsr, where the system has none on its path.
  std::string own = bin + "/" + platform::mktexlsr_name;
  if (!bin.empty() && platform::executable_p(own) &&
      !(*platform::system_mktexlsr && platform::executable_p(platform::system_mktexlsr)))
    health.mktexlsr = own;
  // TEXMFDBS only says which ls-R files Kpathsea loads; whether it also
  // searches a tree on disk is the search path's '!!', the trees of TEXMF.
  for (const path_element &e : dbs) {
    tree_health &t = health.trees.emplace_back();
    t.dir = e.dir;
    t.database_only = t.searched_database_only = e.database_only;
    std::string real = platform::real_path(e.dir);
    for (const path_element &s : texmf)
      if (platform::real_path(s.dir) == real) {
        t.searched_database_only = s.database_only;
        break;
      }
  }
  return health;
}

// Walk the trees of HEALTH that are directories on THREADS threads, marking in SEEN and DANGLING the entries of TABLE
// they meet; return what each thread found.
std::vector<walk_result> walk_database_trees(const database_health &health, const db_table &table,
                                             unsigned threads, std::vector<char> &seen,
                                             std::vector<char> &dangling)
{
  std::unordered_map<std::string_view, uint32_t> dir_index;
  for (uint32_t d = 0; d < table.dirs.size(); d++)
    dir_index.emplace(table.dirs[d], d);
  entry_index listed(table);
  walk_context context;
  context.entry_of = [&](const std::string &dir, std::string_view name) -> int64_t {
    auto d = dir_index.find(dir);
    return d == dir_index.end() ? -1 : listed.find(d->second, name);
  };
  context.seen = &seen;
  context.dangling = &dangling;
  std::vector<std::string> tops;
  for (const tree_health &t : health.trees)
    tops.push_back(t.kind == tree_directory ? t.dir : ""); // "" is never walked
  std::vector<walk_result> results(threads);
  for (walk_result &r : results)
    r.holds_files.assign(health.trees.size(), 0);
  bool whole = walk_trees(tops, threads,
                          [&](const walk_item &item, std::vector<platform::listed_entry> &names,
                              int error, unsigned worker) {
    record_directory(context, item, names, error, results[worker]);
    return true;
  });
  if (!whole)
    throw std::bad_alloc();
  return results;
}

// Record in HEALTH what the walk's RESULTS found that the databases lack:
// files missing from an ls-R or left out by mktexlsr, names no ls-R can
// hold, directories that could not be listed or are no files.
void record_unlisted(database_health &health, const std::vector<walk_result> &results)
{
  for (const walk_result &r : results) {
    for (size_t i = 0; i < health.trees.size(); i++)
      health.trees[i].holds_files = health.trees[i].holds_files || r.holds_files[i];
    for (const walked_name &n : r.names) {
      const auto &[tree_index, dir] = r.dirs[n.dir];
      tree_health &tree = health.trees[tree_index];
      if (tree.lsr.empty() || !tree.lsr_readable)
        continue;
      std::string path = dir + std::string(n.name);
      if (std::any_of(std::begin(database_names), std::end(database_names),
                      [&](const char *name) { return path == collapsed_path(tree.dir + "/" + name); }))
        continue;
      if (unlistable_name_p(n.name))
        tree.unlistable_names.push_back(path);
      else if (n.vcs)
        tree.vcs_own.push_back(path);
      else if (n.dropped)
        tree.left_out.push_back(path);
      else
        (n.dangling ? tree.missing_dangling : tree.missing).push_back(path);
    }
    for (auto &[tree, path] : r.trips)
      health.trees[tree].trips.push_back(collapsed_path(path));
    for (auto &[tree, dir] : r.unlistable)
      health.trees[tree].unlistable.push_back(dir);
    for (auto &[tree, dir] : r.pseudo)
      health.trees[tree].pseudo.push_back(dir);
  }
}

// Record in HEALTH the entries of TABLE the walk did not meet (SEEN):
// gone, outside the trees, or not to be looked at; and the dangling links
// among all (DANGLING, as the walk found them).
void record_unmet(database_health &health, const db_table &table, const std::vector<char> &seen,
                  std::vector<char> &dangling)
{
  // A directory too long to name (past PATH_MAX) is said once for all its
  // entries: a path each would cost its length again and again.
  std::vector<size_t> too_long(table.dirs.size(), 0);
  for (size_t e = 0; e < table.entries.size(); e++) {
    const db_table::entry &entry = table.entries[e];
    tree_health &t = health.trees[table.dir_tree[entry.dir]];
    if (entry.top_header)
      continue;
    if (!seen[e] && table.dirs[entry.dir].size() >= PATH_MAX) {
      too_long[entry.dir]++;
      continue;
    }
    std::string path = table.dirs[entry.dir] + std::string(entry.name);
    if (!seen[e]) {
      platform::file_status st;
      if (!platform::look_at(path, false, &st)) {
        if (st.error == ENOENT || st.error == ENOTDIR)
          t.gone.push_back(path);
        else
          t.unchecked.push_back(path + " (" + strerror(st.error) + ")");
        continue;
      }
      dangling[e] = st.link && !platform::look_at(path, true, &st) && st.error == ENOENT;
    }
    if (dangling[e])
      t.dangling.push_back({path, "", ""});
  }
  for (size_t d = 0; d < table.dirs.size(); d++)
    if (too_long[d] > 0)
      health.trees[table.dir_tree[d]].unchecked.push_back(
          table.dirs[d] + " (" + std::to_string(too_long[d]) + " entries: " +
          strerror(ENAMETOOLONG) + ")");
}

// Sort every list of HEALTH's trees by path, each path once.
void sort_lists(database_health &health)
{
  for (tree_health &t : health.trees) {
    for (std::vector<std::string> *list :
         {&t.missing, &t.missing_dangling, &t.left_out, &t.trips, &t.vcs_own,
          &t.unlistable_names, &t.gone, &t.unlistable, &t.unchecked, &t.pseudo}) {
      std::sort(list->begin(), list->end());
      list->erase(std::unique(list->begin(), list->end()), list->end());
    }
    std::sort(t.dangling.begin(), t.dangling.end(),
              [](const dangling_link &a, const dangling_link &b) { return a.path < b.path; });
  }
}

} // namespace

database_health check_databases(unsigned threads)
{
  // The ls-R files are read here, as Kpathsea reads them, and per tree;
  // Kpathsea need not load them too when it first reads a variable.
  skip_database_load();
  std::vector<path_element> texmf = path_elements("TEXMF");
  database_health health = health_of_setup(texmf);
  // Read the databases, then walk the trees on a thread per core, each
  // marking the entries it meets.
  db_table table;
  for (size_t i = 0; i < health.trees.size(); i++) {
    platform::file_status look;
    if (look_at_tree(health.trees[i], &look))
      read_tree_database(health.trees[i], static_cast<uint32_t>(i), table);
  }
  std::vector<char> seen(table.entries.size(), 0), dangling(table.entries.size(), 0);
  record_unlisted(health,
                  walk_database_trees(health, table, thread_count(threads), seen, dangling));
  record_unmet(health, table, seen, dangling);
  sort_lists(health);
  explain_dangling_links(health);
  check_configuration(health, texmf);
  return health;
}

int run_databases(bool json, bool all, const char *program_name, const std::string &bin)
{
  database_health health = check_databases();
  check_misplaced(health, bin);
  if (!health.packages_unread.empty())
    fprintf(stderr, "%s: warning, cannot read the package list %s: which package installed "
                    "a dangling link is not known\n",
            program_name, escaped(health.packages_unread).c_str());
  if (json)
    print_database_health_json(health, stdout);
  else
    print_database_health(health, all, stdout);
  return problems_p(health) ? status_problems : EXIT_SUCCESS;
}
