// The document's report: the files one run read, each looked up again as
// the run's program looks it up from the run's directory, so that the
// document's own copies count, and judged against what it finds.

#include "document/document.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "latex/latex.h"
#include "lookups/lookups.h"
#include "shared/files.h"
#include "shared/output.h"
#include "shared/packages.h"
#include "shared/paths.h"
#include "shared/status.h"
#include "shared/workers.h"
#include "texsource/declarations.h"
#include "kpathsea/lookup.h"
#include "kpathsea/variables.h"
#include "platform/platform.h"

namespace {

typedef std::vector<std::pair<std::string, std::string>> tree_list;

// Return the class of a file in the tree of texmf.cnf variable TREE.
file_class class_of_tree(const std::string &tree)
{
  if (tree.empty())
    return class_outside;
  if (user_tree_p(tree))
    return class_user;
  return tree == "TEXMFLOCAL" ? class_site : class_distribution;
}

// Return the root of ROOTS that the tree TREE has and that holds PATH, or "".
std::string root_holding(const std::string &path, const std::string &tree, const tree_list &roots)
{
  for (const auto &[variable, root] : roots)
    if (variable == tree && !path_below(resolved_directory_path(path), root).empty())
      return root;
  return tree.empty() ? "" : tree;
}

// Return the copy at PATH, placed: the document's where it lies below the
// run's directory PWD (unless in a tree whose root does too), else by its
// tree of ROOTS.
document_copy placed_copy(const std::string &path, const std::string &pwd, const tree_list &roots)
{
  document_copy c;
  c.copy.path = path;
  c.tree = tree_of(path, roots);
  c.where = class_of_tree(c.tree);
  if (!path_below(path, pwd).empty()) {
    std::string root = root_holding(path, c.tree, roots);
    if (c.tree.empty() || path_below(root, pwd).empty())
      c.where = class_document;
  }
  return c;
}

// Return the program the run of REPORT was, and its engine, from the
// format it loaded (web2c/ENGINE/PROGRAM.fmt) or its log's "format=";
// pdflatex where the record names neither.
void learn_program(document_report &r)
{
  for (const std::string &input : r.record.inputs) {
    std::string name(base_name(input));
    if (!platform::ends_with_p(name, ".fmt"))
      continue;
    r.program = name.substr(0, name.size() - 4);
    r.engine = base_name(directory_of(input));
    return;
  }
  r.program = r.record.format_name;
  if (r.program.empty()) {
    r.program = "pdflatex";
    r.program_assumed = true;
  }
}

// Return the class of the file PATH the run read, RECORDED so, where its
// name alone decides it: written by the run (OUTPUTS, by key), a format,
// a texmf.cnf; else class_count.
file_class class_by_name(const std::string &path, const std::unordered_set<std::string> &outputs)
{
  if (outputs.count(path_key(path)) > 0)
    return class_run;
  std::string name(base_name(path));
  if (platform::ends_with_p(name, ".fmt"))
    return class_format;
  return name == "texmf.cnf" ? class_configuration : class_count;
}

// Add to REPORT a file for each file its record names, once each, placed
// by ROOTS.
void add_files(document_report &r, const tree_list &roots)
{
  const std::string &pwd = r.record.pwd;
  std::unordered_set<std::string> outputs, seen;
  for (const std::string &out : r.record.outputs)
    outputs.insert(path_key(joined_path(pwd, out)));
  for (const std::string &recorded : r.record.inputs) {
    std::string path = joined_path(pwd, recorded);
    if (!seen.insert(path_key(path)).second)
      continue;
    document_file &f = r.files.emplace_back();
    f.recorded = recorded;
    f.copies.push_back(placed_copy(path, pwd, roots));
    file_class by_name = class_by_name(path, outputs);
    if (by_name != class_count)
      f.copies[0].where = by_name;
    switch (f.copies[0].where) {
    case class_document: f.looked_up = path_below(path, pwd); break;
    case class_user:
    case class_site:
    case class_distribution:
    case class_format:
    case class_configuration: f.looked_up = base_name(path); break;
    default: break; // not found by name, or the run's own
    }
  }
}

// Add to F the copies that HITS found, in search order, and where the file
// read stands among them.
void add_hits(document_file &f, const std::vector<std::string> &hits, const std::string &pwd,
              const tree_list &roots)
{
  std::string read = path_key(f.copies[0].copy.path);
  for (const std::string &hit : hits) {
    std::string path = joined_path(pwd, hit);
    if (path_key(path) == read) {
      if (f.read_at < 0)
        f.read_at = static_cast<int>(f.copies.size()) - 1;
      continue;
    }
    bool known = false;
    for (const document_copy &c : f.copies)
      known = known || path_key(c.copy.path) == path_key(path);
    if (known)
      continue;
    document_copy c = placed_copy(path, pwd, roots);
    if (f.copies[0].where == class_format || f.copies[0].where == class_configuration)
      c.where = f.copies[0].where;
    f.copies.push_back(std::move(c));
  }
  if (!hits.empty())
    f.loads_now = f.read_at == 0 ? 0 : 1;
}

// Return the copies of the files of REPORT.
std::vector<file_copy *> all_copies(document_report &r)
{
  std::vector<file_copy *> copies;
  for (document_file &f : r.files)
    for (document_copy &c : f.copies)
      copies.push_back(&c.copy);
  return copies;
}

// Return true if a verdict on dates may be made for F: it was read from
// the document's, a user's or the site's tree.
bool dated_p(const document_file &f)
{
  file_class read = f.copies[0].where;
  return read == class_document || read == class_user || read == class_site;
}

// Read again the declarations of REPORT's copies that input a file not
// beside them, the files looked up as PROGRAM's Kpathsea finds them: the
// copies of the files a verdict on dates is made for, or EVERY file's
// (the distribution's large sources input much and declare little).
void follow_inputs(document_report &r, const lookup_program &program, bool every)
{
  input_finder through_kpathsea = input_through_kpathsea(program);
  std::string head;
  for (document_file &f : r.files)
    for (document_copy &c : f.copies) {
      if (!every && !dated_p(f))
        break;
      declaration_facts &d = c.copy.declaration;
      if (!d.unfollowed || !read_whole_file(c.copy.path, head))
        continue;
      auto [date, version] = provides_declaration(head.substr(0, declaration_window),
                                                  through_kpathsea, &d.unfollowed,
                                                  std::string(base_name(c.copy.path)));
      d.date = date;
      d.version = version;
    }
}

// The Debian packages' lists, read on a thread of their own from the
// start: the longest read of the report, and one that needs nothing of
// Kpathsea's, so that it runs while the databases load.
struct early_owners {
  std::vector<std::string> names; // the names wanted, as paths compare
  name_set wanted;
  package_owners owners;
  std::atomic<bool> out_of_memory{false};
  joined_thread thread; // last: joined before the rest goes
};

// Start reading into *EARLY the owners of the files RECORD names, by their
// names and, where one is a link, by its target's (pdftex.map is
// updmap's pdftex_dl14.map, and listed under that name).
void start_owners(const run_record &record, early_owners *early)
{
  for (const std::string &input : record.inputs) {
    early->names.push_back(path_key(std::string(base_name(input))));
    if (absolute_path_p(input))
      early->names.push_back(path_key(std::string(base_name(platform::real_path(input)))));
  }
  early->wanted = name_set(early->names.begin(), early->names.end());
  early->thread.thread = start_or_run([early]() {
    try {
      early->owners = learn_packages({}, platform::dpkg_info_dir, "", "", early->wanted);
    } catch (const std::bad_alloc &) {
      early->out_of_memory = true;
    }
  });
}

// Look up the files of REPORT that the run found by name, as PROGRAMS
// (the run's program) from the current directory, add what is found, and
// learn the facts of every copy (the declarations where a verdict may
// rest on them, or of EVERY copy) and their packages: Debian's from
// EARLY, TeX Live's of the installation rooted at ROOT read meanwhile.
void look_up_and_learn(document_report &r, const std::vector<lookup_program> &programs,
                       const tree_list &roots, const std::string &root, bool every,
                       early_owners &early)
{
  std::map<std::string, size_t> index; // by name looked up
  std::vector<name_lookup> names;
  for (const document_file &f : r.files)
    if (!f.looked_up.empty() && index.emplace(f.looked_up, names.size()).second)
      names.push_back(name_lookup_of(f.looked_up, programs));
  package_owners owners;
  std::atomic<bool> out_of_memory{false};
  std::vector<program_hits> hits;
  {
    joined_thread packages;
    hits = look_up_names(programs, names, [&]() {
      packages.thread = start_or_run([&]() {
        try {
          owners = learn_packages({}, "", texlive_database(root), root, early.wanted);
        } catch (const std::bad_alloc &) {
          out_of_memory = true;
        }
      });
    });
  }
  if (early.thread.thread.joinable())
    early.thread.thread.join();
  if (out_of_memory || early.out_of_memory)
    throw std::bad_alloc();
  owners.debian = std::move(early.owners.debian);
  if (!early.owners.unread.empty())
    owners.unread = early.owners.unread;
  for (document_file &f : r.files) {
    if (!f.looked_up.empty())
      add_hits(f, hits[0][index[f.looked_up]].paths, r.record.pwd, roots);
    std::vector<file_copy *> copies;
    for (document_copy &c : f.copies)
      copies.push_back(&c.copy);
    learn_file_facts(copies, every || dated_p(f));
    if (f.copies[0].where == class_configuration)
      for (const document_copy &c : f.copies)
        if (std::find(r.configuration.begin(), r.configuration.end(), c.copy.path) ==
            r.configuration.end())
          r.configuration.push_back(c.copy.path);
  }
  std::vector<file_copy *> copies = all_copies(r);
  if (!learn_packages_from(copies, owners, early.wanted))
    learn_packages(copies, platform::dpkg_info_dir, texlive_database(root), root);
  follow_inputs(r, programs[0], every);
}

// Return true if the copy C is as the distribution put it.
bool distribution_copy_p(const document_copy &c)
{
  return c.where == class_distribution;
}

// Judge whether F's file is still what the run read: gone, or changed
// since the run ended at WHEN.
void judge_since(document_file &f, time_t when)
{
  const file_facts &file = f.copies[0].copy.file;
  if (file.state == file_missing || file.state == file_dangling)
    f.rerun = rerun_gone;
  else if (file.state == file_ok && file.mtime > when)
    f.rerun = rerun_changed;
}

// Judge the format of the run, F: the installation's own, loaded now?
void judge_format(document_file &f)
{
  const document_copy &read = f.copies[0];
  if (f.loads_now < 0)
    f.foreign = read.copy.file.state == file_ok ? foreign_absent : foreign_none;
  else if (f.loads_now > 0)
    f.foreign = foreign_another;
  else if (class_of_tree(read.tree) == class_user)
    for (size_t c = 1; c < f.copies.size(); c++)
      if (class_of_tree(f.copies[c].tree) != class_user && f.copies[c].copy.file.state == file_ok) {
        f.foreign = foreign_user_format;
        f.compared = static_cast<int>(c);
        break;
      }
  if (f.foreign == foreign_another)
    f.compared = 1;
}

// Judge a file of the run, F, found by name: another copy first now, or a
// local copy in front of another.
void judge_found(document_file &f)
{
  const document_copy &read = f.copies[0];
  if (f.loads_now > 0 && f.rerun == rerun_none &&
      !(distribution_copy_p(read) && distribution_copy_p(f.copies[1])))
    f.rerun = rerun_another;
  if (f.read_at != 0 || read.where == class_distribution || read.copy.file.mark < 0)
    return;
  // The copy it hides that counts most: the distribution's, else the next.
  for (size_t c = 1; c < f.copies.size(); c++)
    if (f.compared < 0 || (distribution_copy_p(f.copies[c]) &&
                           !distribution_copy_p(f.copies[f.compared])))
      f.compared = static_cast<int>(c);
  if (f.compared < 0 || f.copies[f.compared].copy.file.mark < 0)
    return;
  const file_copy &behind = f.copies[f.compared].copy;
  if (behind.file.mark == read.copy.file.mark) {
    f.findings |= document_kept;
    return;
  }
  f.findings |= document_differ;
  if (older_date_p(read.copy.declaration.date, behind.declaration.date))
    f.findings |= document_older;
}

// Judge every file of REPORT.
void judge_files(document_report &r)
{
  for (document_file &f : r.files) {
    f.findings = 0;
    f.rerun = rerun_none;
    f.foreign = foreign_none;
    f.compared = -1;
    const document_copy &read = f.copies[0];
    if (read.where == class_run)
      continue;
    judge_since(f, r.record.when);
    if (read.where == class_outside)
      f.findings |= document_outside;
    else if (read.where == class_format)
      judge_format(f);
    else if (read.where == class_configuration)
      f.foreign = std::find(r.configuration.begin(), r.configuration.end(),
                            read.copy.path) == r.configuration.end() ? foreign_another
                                                                     : foreign_none;
    else if (!f.looked_up.empty())
      judge_found(f);
    if (f.rerun != rerun_none)
      f.findings |= document_rerun;
    if (f.foreign != foreign_none)
      f.findings |= document_foreign;
  }
}

// Ask the installation's LaTeX (in BIN) for the dates of the copies that
// decide "older" in REPORT: each differing file's and the one behind it.
void ask_latex(document_report &r, const std::string &bin)
{
  std::string program = r.program, latex;
  if (latex_program_p(program))
    latex = latex_program(bin, program);
  if (latex.empty())
    latex = latex_program(bin, program = "latex");
  std::vector<std::pair<file_copy *, std::string>> asks; // the copy, its name
  for (document_file &f : r.files)
    if ((f.findings & document_differ) != 0 && latex_file_p(f.looked_up))
      for (int c : {0, f.compared})
        asks.emplace_back(&f.copies[c].copy, std::string(base_name(f.looked_up)));
  if (asks.empty())
    return;
  if (latex.empty()) {
    r.latex_why = "the installation has no latex program";
    return;
  }
  std::vector<latex_declaration> answers(asks.size());
  std::string why;
  bool entered = platform::in_empty_directory([&]() {
    run_side_by_side(asks.size(), [&](size_t i, const std::string &dir) {
      if (dir.empty())
        answers[i].why = "no directory to run LaTeX in";
      else
        answers[i] = ask_latex_declaration(latex, program, asks[i].first->path,
                                           asks[i].second, dir);
    });
  }, &why);
  if (!entered)
    r.latex_why = "no empty directory to run it in (" + why + ")";
  for (size_t i = 0; entered && i < asks.size(); i++) {
    declaration_facts &d = asks[i].first->declaration;
    if (answers[i].answered) {
      d.date = answers[i].date;
      d.version = answers[i].version;
      d.by_latex = true;
    } else {
      d.latex_why = answers[i].why;
    }
  }
}

} // namespace

bool check_document(const std::string &file, const std::string &bin, bool every_date,
                    document_report *out, std::string *why)
{
  document_report &r = *out;
  if (!find_run_record(file, &r.record, why))
    return false;
  learn_program(r);
  early_owners owners;
  start_owners(r.record, &owners);
  tree_list roots = tree_roots(tree_variables);
  add_files(r, roots);
  std::vector<lookup_program> programs = lookup_programs({r.program});
  if (r.engine.empty())
    r.engine = programs[0].engine;
  std::string root = variable_value("TEXMFROOT");
  // From the run's directory, as the run looked its files up; where that
  // is gone, from an empty one (its files are gone too).
  auto work = [&]() { look_up_and_learn(r, programs, roots, root, every_date, owners); };
  std::string not_there;
  if (!platform::in_directory(r.record.pwd, work, &not_there) &&
      !platform::in_empty_directory(work, why)) {
    *why = "cannot make an empty directory for the lookups (" + *why + ")";
    return false;
  }
  judge_files(r);
  // The report shows the copies of each file with a finding in full.
  for (document_file &f : r.files)
    if (f.findings != 0 && !every_date && !dated_p(f)) {
      std::vector<file_copy *> copies;
      for (document_copy &c : f.copies)
        copies.push_back(&c.copy);
      learn_file_facts(copies);
    }
  ask_latex(r, bin);
  judge_files(r);
  return true;
}

int run_document(const document_request &request, const char *program_name)
{
  document_report report;
  std::string why;
  document_accepted accepted;
  if (!request.accepted.empty() && !read_document_accepted(request.accepted, &accepted, &why)) {
    fprintf(stderr, "%s: -accept: %s\n", program_name, escaped(why).c_str());
    return EXIT_FAILURE;
  }
  if (!check_document(request.file, request.bin, request.json, &report, &why)) {
    fprintf(stderr, "%s: -document: %s\n", program_name, escaped(why).c_str());
    return EXIT_FAILURE;
  }
  hash_finding_copies(report);
  for (document_file &f : report.files)
    for (unsigned kind = 1; kind <= document_outside; kind <<= 1)
      if ((f.findings & kind) != 0 &&
          std::find(accepted.begin(), accepted.end(), finding_key(f, kind)) != accepted.end())
        f.accepted |= kind;
  if (request.json)
    print_document_json(report, stdout);
  else
    print_document(report, request.list_all, stdout);
  return (document_findings(report) & request.fail_on) != 0 ? status_findings : EXIT_SUCCESS;
}
