// The explained report: Kpathsea's own lookups for each program, and what
// each copy of a shared name is.
//
// The lookups run on this thread and, where the system can start one (not
// Windows), in a child process, each on a share of the programs, since
// Kpathsea serves one thread only; meanwhile a
// helper thread reads the members themselves and the package lists.  Lookups run
// from an empty directory of their own, so that the directory the user
// happens to be in decides nothing.

#include "explain/explain.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "explain/accept.h"
#include "explain/findings.h"
#include "explain/dates.h"
#include "texsource/declarations.h"
#include "lookups/lookups.h"
#include "shared/output.h"
#include "shared/packages.h"
#include "shared/status.h"
#include "shared/files.h"
#include "shared/paths.h"
#include "shared/walk.h"
#include "shared/workers.h"
#include "latex/latex.h"
#include "kpathsea/complaints.h"
#include "kpathsea/variables.h"
#include "kpathsea/load.h"
#include "kpathsea/lookup.h"
#include "kpathsea/binding.h"
#include "platform/platform.h"

namespace {

// The members of a group by their paths as paths compare ('/' runs
// collapsed, case folded where names ignore it): Kpathsea may spell a path
// with doubled slashes, or in lower case, where the databases do not.
typedef std::unordered_map<std::string, int> member_map;

// Return the copies of the members of GROUPS.
std::vector<file_copy *> copies_of(const std::vector<group_info *> &groups)
{
  std::vector<file_copy *> copies;
  for (group_info *g : groups)
    for (member_info &m : g->members)
      copies.push_back(&m.copy);
  return copies;
}

// Return the map of G's members by path.
member_map member_paths(const group_info &g)
{
  member_map paths;
  for (size_t i = 0; i < g.members.size(); i++)
    paths.emplace(path_key(g.members[i].copy.path), static_cast<int>(i));
  return paths;
}

// Return the index of the member whose path is PATH in PATHS, or -1.
int member_index(const member_map &paths, const std::string &path)
{
  auto it = paths.find(path_key(path));
  return it == paths.end() ? -1 : it->second;
}

// A lookup to make: a spelling of a group's name, in the format each
// program reads it in.
struct group_lookup {
  name_lookup lookup;
  size_t group, spelling;
};
typedef std::vector<group_lookup> lookup_list;

// Return the names of LOOKUPS, to look up.
std::vector<name_lookup> names_of(const lookup_list &lookups)
{
  std::vector<name_lookup> names;
  for (const group_lookup &l : lookups)
    names.push_back(l.lookup);
  return names;
}

// Record in REPORT, from HITS of the lookups LOOKUPS, the first hit of each
// group for each program, and which members each program loads and finds.
// A member is looked up by its own spelling.
void record_hits(explained_report &report, const lookup_list &lookups,
                 const std::vector<program_hits> &hits)
{
  std::vector<member_map> paths;
  for (const group_info &g : report.groups)
    paths.push_back(member_paths(g));
  for (size_t p = 0; p < report.programs.size(); p++)
    for (size_t k = 0; k < lookups.size(); k++) {
      const group_lookup &l = lookups[k];
      group_info &g = report.groups[l.group];
      const member_map &members = paths[l.group];
      const std::vector<std::string> &found = hits[p][k].paths;
      // The format that found them: the kind's, or where that found
      // nothing the one the program inputs any name in.
      int format = l.lookup.formats[p] < 0 ? -1 : hits[p][k].format;
      if (l.spelling == 0 && format < 0)
        g.hits[p].kind = hit_not_read;
      else if (l.spelling == 0)
        g.hits[p].format = format_name(format);
      if (found.empty())
        continue;
      int first = member_index(members, found[0]);
      if (l.spelling == 0) {
        program_hit &h = g.hits[p];
        h.path = found[0];
        h.member = first;
        h.kind = hit_member;
        if (first < 0) {
          std::string dir(directory_with_slash(found[0])), base(base_name(found[0]));
          if (stricmp(base.c_str(), g.name.c_str()) == 0)
            h.kind = database_entry_p(dir, base) ? hit_excluded : hit_outside;
          else
            h.kind = suffix_added_p(format, g.name, base) ? hit_suffix_added : hit_alias;
        }
      }
      // The first hit may be a copy of another spelling: in a tree
      // searched on disk Kpathsea matches a name in another case where a
      // directory lacks it in this one.
      name_search &search = g.searches[p][l.spelling];
      search.loads = first;
      for (const std::string &hit : found) {
        int m = member_index(members, hit);
        if (m < 0)
          continue;
        program_use &use = g.members[m].use;
        if (use.reached_by.empty() || use.reached_by.back() != p)
          use.reached_by.push_back(p);
        if (!has_p(search.finds, m))
          search.finds.push_back(m);
        // Kpathsea reads every texmf.cnf it finds, not only the first.
        if ((m == first || g.all_read) && !has_p(use.loaded_by, p))
          use.loaded_by.push_back(p);
      }
    }
}

// Return true if PATH is the databases' own bookkeeping: an ls-R at the
// top of a tree of TEXMFDBS (DATABASE_FILES, by their keys), or the ".:" that
// mktexlsr writes at the head of each.
bool bookkeeping_p(const std::string &path, const std::unordered_set<std::string> &database_files)
{
  return base_name(path) == ".:" ||
         database_files.count(path_key(path)) > 0;
}

// Drop from GROUPS the members that are bookkeeping, and the groups left
// with fewer than two members; return how many members were dropped.
size_t drop_bookkeeping(std::vector<std::vector<std::string>> &groups)
{
  std::unordered_set<std::string> database_files;
  for (const path_element &e : path_elements("TEXMFDBS"))
    for (const char *name : database_names)
      database_files.insert(path_key(e.dir + "/" + name));
  size_t dropped = 0;
  std::vector<std::vector<std::string>> kept;
  for (std::vector<std::string> &paths : groups) {
    size_t before = paths.size();
    paths.erase(
        std::remove_if(paths.begin(), paths.end(),
                       [&](const std::string &p) { return bookkeeping_p(p, database_files); }),
        paths.end());
    dropped += before - paths.size();
    if (paths.size() >= 2)
      kept.push_back(std::move(paths));
  }
  groups = std::move(kept);
  return dropped;
}

// Return true if PATH lies in one of the trees DIRS.
bool below_any_p(const std::string &path, const std::vector<std::string> &dirs)
{
  std::string key = path_key(path);
  for (const std::string &dir : dirs)
    if (platform::below_p(key, path_key(dir + "/")))
      return true;
  return false;
}

// Make members of the copies that the lookups HITS found of a group's own
// spelling outside the databases and the trees searched on disk (system
// fonts through OSFONTDIR, say): every copy a program may load is in its
// group.  The facts of a group that grew are learnt again, its packages
// from OWNERS, read for the names NAMES (or read again, TLPDB of the
// installation at ROOT, where a copy leads to a file of another name).
// Return the package list that read again could not read, and why, or "".
std::string add_outside_copies(explained_report &report, const lookup_list &lookups,
                               const std::vector<program_hits> &hits,
                               const std::vector<std::pair<std::string, std::string>> &roots,
                               const package_owners &owners, const name_set &names,
                               const std::string &tlpdb, const std::string &root)
{
  std::vector<group_info *> grown;
  for (size_t k = 0; k < lookups.size(); k++) {
    const group_lookup &l = lookups[k];
    group_info &g = report.groups[l.group];
    member_map members = member_paths(g);
    for (const program_hits &program : hits)
      for (const std::string &hit : program[k].paths) {
        std::string dir(directory_with_slash(hit)), base(base_name(hit));
        if (base != l.lookup.name || member_index(members, hit) >= 0 ||
            database_entry_p(dir, base) || below_any_p(hit, report.disk_trees))
          continue;
        member_info m;
        m.copy.path = hit;
        m.place.spelling = l.spelling;
        m.place.tree = tree_of(hit, roots);
        m.place.outside = true;
        members.emplace(path_key(hit), static_cast<int>(g.members.size()));
        g.members.push_back(m);
        if (grown.empty() || grown.back() != &g)
          grown.push_back(&g);
      }
  }
  for (group_info *g : grown) {
    std::sort(g->members.begin(), g->members.end(),
              [](const member_info &a, const member_info &b) { return a.copy.path < b.copy.path; });
    // What was learnt of its file and programs is learnt again.
    for (member_info &m : g->members) {
      m.copy = file_copy{m.copy.path, {}, {}, {}};
      m.use = program_use();
    }
    learn_file_facts(copies_of({g}));
  }
  if (!learn_packages_from(copies_of(grown), owners, names))
    return learn_packages(copies_of(grown), platform::dpkg_info_dir, tlpdb, root).unread;
  return "";
}

// The trees by their texmf.cnf variables, as tree_roots gives them.
typedef std::vector<std::pair<std::string, std::string>> tree_list;

// Add to REPORT the trees Kpathsea searches on disk, and their files to
// EXTRA_FILES, the files found outside the databases; return those files,
// each with whether its tree holds an ls-R (which Kpathsea does not use).
std::unordered_map<std::string, bool> add_disk_trees(explained_report &report,
                                               std::vector<std::string> &extra_files)
{
  std::unordered_map<std::string, bool> on_disk;
  for (const std::string &tree : disk_searched_trees()) {
    platform::file_status st;
    if (!platform::look_at(tree, true, &st))
      continue;
    report.disk_trees.push_back(tree);
    bool lsr = !database_files(tree).empty();
    report.disk_trees_lsr.push_back(lsr);
    for (std::string &path : files_below(tree))
      on_disk.emplace(extra_files.emplace_back(std::move(path)), lsr);
  }
  return on_disk;
}

// Add the groups FOUND to REPORT, each member with its tree (of ROOTS)
// and whether it lies in a tree searched on disk (ON_DISK); return the
// lookups PROGRAMS make: each spelling of each group's name.
lookup_list add_groups(explained_report &report, duplicate_groups &found, const tree_list &roots,
                       const std::unordered_map<std::string, bool> &on_disk,
                       const std::vector<lookup_program> &programs)
{
  lookup_list lookups;
  for (std::vector<std::string> &paths : found.groups) {
    group_info &g = report.groups.emplace_back();
    g.hits.resize(report.programs.size());
    g.searches.resize(report.programs.size());
    for (std::string &path : paths) {
      member_info &m = g.members.emplace_back();
      m.copy.path = std::move(path);
      m.place.tree = tree_of(m.copy.path, roots);
      auto disk = on_disk.find(m.copy.path);
      m.place.on_disk = disk != on_disk.end();
      m.place.lsr_unused = m.place.on_disk && disk->second;
      std::string spelling(base_name(m.copy.path));
      auto it = std::find(g.spellings.begin(), g.spellings.end(), spelling);
      m.place.spelling = it - g.spellings.begin();
      if (it == g.spellings.end())
        g.spellings.push_back(spelling);
    }
    g.name = g.spellings[0];
    for (std::vector<name_search> &searches : g.searches)
      searches.resize(g.spellings.size());
    size_t group = report.groups.size() - 1;
    for (size_t s = 0; s < g.spellings.size(); s++) {
      int format;
      lookups.push_back({name_lookup_of(g.spellings[s], programs, &format), group, s});
      if (s == 0) {
        g.format = format_name(format);
        g.format_number = format;
        g.all_read = format == format_named("cnf");
      }
    }
  }
  return lookups;
}

// Read again the declarations of the members of REPORT whose reading met
// an \input not beside them, the files they input looked up as Kpathsea
// looks them up for the first of PROGRAMS.  Run from the lookups' empty
// directory.
void follow_inputs(explained_report &report, const std::vector<lookup_program> &programs)
{
  if (programs.empty())
    return;
  input_finder through_kpathsea = input_through_kpathsea(programs[0]);
  std::string head;
  for (group_info &g : report.groups)
    for (member_info &m : g.members) {
      if (!m.copy.declaration.unfollowed || !read_whole_file(m.copy.path, head))
        continue;
      auto [date, version] =
          provides_declaration(head.substr(0, declaration_window), through_kpathsea,
                               &m.copy.declaration.unfollowed, std::string(base_name(m.copy.path)));
      m.copy.declaration.date = date;
      m.copy.declaration.version = version;
    }
}

// Return the element of the search path ELEMENTS through whose
// subdirectories ("//") a search on disk reaches the directory DIR, or -1.
int disk_element(const std::vector<std::string> &elements, const std::string &dir)
{
  for (size_t e = 0; e < elements.size(); e++) {
    const std::string &element = elements[e];
    size_t slashes = element.find("//");
    if (element.compare(0, 2, "!!") == 0 || slashes == std::string::npos)
      continue;
    std::string base = path_key(element.substr(0, slashes)), key = path_key(dir);
    if (key == base || platform::below_p(key, base))
      return static_cast<int>(e);
  }
  return -1;
}

// Note in the groups of REPORT where two copies lie in directories one
// element of a program's search path reaches in a tree searched on disk:
// Kpathsea searches first the directory of such an element where it last
// found a file, so which copy loads can depend on what the run loaded
// before.  PROGRAMS are the programs looked up as, LOOKUPS the lookups made.
void note_order_dependence(explained_report &report, const std::vector<lookup_program> &programs,
                           const lookup_list &lookups)
{
  std::map<std::pair<size_t, int>, std::vector<std::string>> paths; // by program and format
  for (const group_lookup &l : lookups) {
    group_info &g = report.groups[l.group];
    if (l.spelling != 0 || std::count_if(g.members.begin(), g.members.end(), [](const member_info &m) {
          return m.place.on_disk;
        }) < 2)
      continue;
    for (size_t p = 0; p < programs.size(); p++) {
      int format = l.lookup.formats[p];
      if (format < 0)
        continue;
      auto it = paths.find({p, format});
      if (it == paths.end())
        it = paths.emplace(std::make_pair(p, format), search_path_of(programs[p], format)).first;
      std::map<int, std::vector<size_t>> by_element;
      for (size_t m = 0; m < g.members.size(); m++)
        if (g.members[m].place.on_disk && has_p(g.members[m].use.reached_by, p))
          by_element[disk_element(it->second, std::string(directory_of(g.members[m].copy.path)))]
              .push_back(m);
      for (const auto &[element, members] : by_element)
        if (element >= 0 && members.size() >= 2) {
          for (size_t m : members)
            if (!has_p(g.order_members, m))
              g.order_members.push_back(m);
          g.order_programs.push_back(p);
          break;
        }
    }
    std::sort(g.order_members.begin(), g.order_members.end());
  }
}

// Make LOOKUPS for REPORT's programs into *HITS while other threads read
// the members and their packages (TLPDB of the installation at ROOT) into
// *OWNERS, with those of any file named as one of NAMES; FIRST runs before
// the lookups, THEN after them.
void look_up_and_learn(explained_report &report, const std::vector<lookup_program> &programs,
                       const lookup_list &lookups,
                       const std::string &tlpdb, const std::string &root, const name_set &names,
                       const std::function<void()> &first, const std::function<void()> &then,
                       std::vector<program_hits> *hits, package_owners *owners)
{
  std::atomic<bool> out_of_memory{false};
  {
    // Joined on every way out, a lack of memory on this thread included.
    joined_thread facts, packages;
    first();
    *hits = look_up_names(programs, names_of(lookups), [&]() {
      // The files and their packages, each on a thread of its own: they
      // touch different fields of the members, and the files take longer
      // than the lookups.
      facts.thread = start_or_run([&]() {
        try {
          for (group_info &g : report.groups)
            learn_file_facts(copies_of({&g}));
        } catch (const std::bad_alloc &) {
          out_of_memory = true;
        }
      });
      packages.thread = start_or_run([&]() {
        try {
          std::vector<group_info *> groups;
          for (group_info &g : report.groups)
            groups.push_back(&g);
          *owners =
              learn_packages(copies_of(groups), platform::dpkg_info_dir, tlpdb, root, names);
        } catch (const std::bad_alloc &) {
          out_of_memory = true;
        }
      });
    });
    // Kpathsea is free again: the \input the facts could not follow.
    for (joined_thread *t : {&facts, &packages})
      if (t->thread.joinable())
        t->thread.join();
  }
  if (out_of_memory)
    throw std::bad_alloc();
  follow_inputs(report, programs);
  then();
}

// Judge the groups of REPORT on the HITS of the LOOKUPS its programs
// (looked up as PROGRAMS) made; where copies differ, the dates that decide
// "older" are asked of the installation's own LaTeX (in BIN, AHEAD of it
// first), and the findings judged again on them.
void judge_groups(explained_report &report, const std::vector<lookup_program> &programs,
                  const lookup_list &lookups, const std::vector<program_hits> &hits,
                  const std::string &bin, latex_ahead &ahead)
{
  record_hits(report, lookups, hits);
  for (group_info &g : report.groups) {
    for (member_info &m : g.members)
      m.place.distribution = distribution_p(m);
    same_facts_for_same_bytes(g);
    number_in_search_order(g);
  }
  note_order_dependence(report, programs, lookups);
  for (group_info &g : report.groups)
    find_findings(g, report.programs.size());
  if (ask_latex_for_dates(report, bin, ahead))
    for (group_info &g : report.groups)
      find_findings(g, report.programs.size());
}

// Make the report of REPORT's programs (as in explain_duplicates) from the
// current directory, on the files found on disk outside the databases
// (EXTRA_FILES, each with whether its tree holds an ls-R); LaTeX from BIN.
// Return the package list that could not be read, or "".
std::string explain_here(const check_filter &filter, explained_report &report,
                         const std::string &bin, const std::vector<std::string> &extra_files,
                         const std::unordered_map<std::string, bool> &on_disk)
{
  // LaTeX likely to be asked is started as soon as that is known, so that
  // its formats load beside the report's work; it is asked here too.
  // While the databases load, on one core, a local LaTeX file is all there
  // is to go on: the other cores start LaTeX for it, ended at once if the
  // databases hold no other copy of its name.
  auto kept = [&](const std::string &path) { return kept_path_p(filter, path); };
  bool local = std::any_of(extra_files.begin(), extra_files.end(), [&](const std::string &p) {
    return latex_file_p(std::string(base_name(p))) && kept(p);
  });
  latex_ahead ahead;
  struct ended {
    latex_ahead &ahead;
    ~ended() { end_latex_ahead(ahead); }
  } end_ahead{ahead};
  // As for one question, however many local files: most are no trap.
  start_latex_ahead(ahead, report.programs, bin, local ? 1 : 0, thread_count(0) - 1);
  load_deferred_databases();
  size_t likely = likely_asked_files(extra_files, kept);
  if (likely == 0)
    end_latex_ahead(ahead);
  start_latex_ahead(ahead, report.programs, bin, likely);
  duplicate_groups found = find_duplicates(filter, extra_files);
  report.kept = found.kept;
  report.bookkeeping = drop_bookkeeping(found.groups);
  tree_list roots = tree_roots(tree_variables);
  std::vector<lookup_program> lookup_as = lookup_programs(report.programs);
  lookup_list lookups = add_groups(report, found, roots, on_disk, lookup_as);
  // The files and the package lists, beside Kpathsea's lookups.
  std::string root = variable_value("TEXMFROOT");
  std::string tlpdb = texlive_database(root);
  // The packages are read once: for the members, and for the copies of
  // their names the lookups may find outside the databases.
  std::vector<std::string> name_keys;
  for (const group_lookup &l : lookups)
    name_keys.push_back(path_key(l.lookup.name));
  name_set names(name_keys.begin(), name_keys.end());
  std::vector<program_hits> hits;
  package_owners owners;
  std::string unread;
  auto first = [&]() {
    // The trees with an ls-R are known only now.
    if (ahead.empty())
      start_latex_ahead(ahead, report.programs, bin, likely_asked_groups(report));
  };
  auto then = [&]() {
    unread = owners.unread;
    if (unread.empty())
      unread = add_outside_copies(report, lookups, hits, roots, owners, names, tlpdb, root);
    if (unread.empty())
      judge_groups(report, lookup_as, lookups, hits, bin, ahead);
  };
  look_up_and_learn(report, lookup_as, lookups, tlpdb, root, names, first, then, &hits, &owners);
  return unread;
}

} // namespace

bool explain_duplicates(const check_filter &filter, const std::vector<std::string> &programs,
                        const std::string &bin, explained_report *out, std::string *why)
{
  explained_report &report = *out;
  report.programs = programs;
  // The trees Kpathsea searches on disk join the databases' files; they
  // are walked from where the tool was started.
  std::vector<std::string> extra_files;
  std::unordered_map<std::string, bool> on_disk = add_disk_trees(report, extra_files);
  std::string unread;
  // Looking up from the current directory would report its files as the
  // installation's.
  bool entered = platform::in_empty_directory(
      [&]() { unread = explain_here(filter, report, bin, extra_files, on_disk); }, why);
  if (!entered) {
    *why = "cannot make an empty directory for the lookups (" + *why + ")";
    return false;
  }
  // Without its packages no copy can be told for the distribution's: every
  // verdict would be a guess.
  if (!unread.empty()) {
    *why = "cannot read the package list " + escaped(unread) +
           ": the distribution's copies cannot be told from local ones";
    return false;
  }
  return true;
}

int run_explain(const check_filter &filter, const explain_request &request,
                const char *program_name)
{
  explained_report report;
  std::string why;
  accepted_findings accepted;
  if (!request.accepted.empty() && !read_accepted(request.accepted, &accepted, &why)) {
    fprintf(stderr, "%s: -accept: %s\n", program_name, escaped(why).c_str());
    return EXIT_FAILURE;
  }
  if (!explain_duplicates(filter, request.programs, request.bin, &report, &why)) {
    fprintf(stderr, "%s: %s\n", program_name, why.c_str());
    return EXIT_FAILURE;
  }
  hash_finding_members(report);
  if (!request.accepted.empty())
    accept_findings(report, accepted);
  if (request.json)
    print_explained_json(report, stdout);
  else
    print_explained(report, request.list_all, stdout);
  return (report_findings(report) & request.fail_on) != 0 ? status_findings : EXIT_SUCCESS;
}
