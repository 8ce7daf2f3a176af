#include "explain/dates.h"

#include "explain/findings.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <string>
#include <utility>
#include <vector>

#include "latex/latex.h"
#include "kpathsea/lookup.h"
#include "lookups/lookups.h"
#include "shared/files.h"
#include "shared/paths.h"
#include "platform/platform.h"

namespace {

// One question for LaTeX: the declaration of the copies of one content,
// as one engine's LaTeX records it.
struct latex_ask {
  size_t runner;             // which of the runners asks
  const member_info *copy;   // a member of that content, to copy for LaTeX
  std::string name;          // its name, as a run loads it
  latex_declaration answer;
};

// A LaTeX program that answers for programs run by its engine.
struct latex_runner {
  std::string program, path;
};

// Return the LaTeX that answers for each of PROGRAMS (an index into
// *RUNNERS, or -1 where the installation in BIN has none): the program
// itself where it is a LaTeX program of the installation, else its latex;
// one a engine.
std::vector<int> runners_of(const std::vector<std::string> &programs, const std::string &bin,
                            std::vector<latex_runner> *runners)
{
  std::vector<lookup_program> lookup = lookup_programs(programs);
  std::map<std::string, int> by_engine;
  std::vector<int> of;
  for (const lookup_program &p : lookup) {
    std::string name = p.name, path;
    if (latex_program_p(name))
      path = latex_program(bin, name);
    std::string engine = p.engine;
    if (path.empty()) {
      name = "latex";
      path = latex_program(bin, name);
      engine = lookup_programs({"latex"})[0].engine;
    }
    if (path.empty()) {
      of.push_back(-1);
      continue;
    }
    auto [it, added] = by_engine.emplace(engine, static_cast<int>(runners->size()));
    if (added)
      runners->push_back({name, path});
    of.push_back(it->second);
  }
  return of;
}

// Return the members of G whose dates decide "older" for program P: the
// copy it loads for each spelling of the name, and the one behind it.
std::set<size_t> deciding_members(const group_info &g, size_t p)
{
  std::set<size_t> deciding;
  for (size_t s = 0; s < g.spellings.size(); s++)
    if (g.searches[p][s].loads >= 0) {
      deciding.insert(g.searches[p][s].loads);
      int next = next_copy(g, p, s);
      if (next >= 0)
        deciding.insert(next);
    }
  return deciding;
}

// Give each member of G of content MARK the answer A for the programs
// RUNNER_OF answers for with A's runner; the other programs keep what
// they have.
void give_answer(group_info &g, int mark, const latex_ask &a, const std::vector<int> &runner_of)
{
  for (member_info &m : g.members) {
    if (m.copy.file.mark != mark || m.copy.file.state != file_ok)
      continue;
    if (m.by_program.empty())
      m.by_program.assign(runner_of.size(), m.copy.declaration);
    for (size_t p = 0; p < runner_of.size(); p++) {
      if (runner_of[p] != static_cast<int>(a.runner))
        continue;
      declaration_facts &d = m.by_program[p];
      if (a.answer.answered) {
        d.date = a.answer.date;
        d.version = a.answer.version;
        d.by_latex = true;
        d.latex_why.clear();
      } else {
        d.latex_why = a.answer.why;
      }
    }
  }
}

// The trees whose files the distribution put there.
const char *const distribution_trees[] = {"TEXMFDIST", "TEXMFMAIN", "TEXMFDEBIAN", "TEXMFSYSVAR"};

// Return the first 64 KiB of the regular file at PATH ("" where it cannot
// be read): enough to guess whether two copies differ.
std::string head_of(const std::string &path)
{
  int fd, error;
  struct stat st;
  std::string text;
  if (platform::open_regular(path, &fd, &st, &error) != platform::open_ok)
    return "";
  platform::read_up_to(fd, size_t(64) << 10, text);
  platform::close_file(fd);
  return text;
}

// Return true if G is likely to have LaTeX asked for its dates: a LaTeX
// file with a copy outside the distribution's trees whose bytes differ
// from another copy's (by their heads).  Only a guess, made before the
// lookups: a copy the guess misses is still asked, by a run of its own.
bool likely_asked_p(const group_info &g)
{
  auto local_p = [](const member_info &m) {
    return std::none_of(std::begin(distribution_trees), std::end(distribution_trees),
                        [&](const char *tree) { return m.place.tree == tree; });
  };
  if (!latex_file_p(g.name) || std::none_of(g.members.begin(), g.members.end(), local_p))
    return false;
  std::vector<std::string> heads;
  for (const member_info &m : g.members)
    heads.push_back(head_of(m.copy.path));
  for (size_t i = 0; i < g.members.size(); i++)
    if (local_p(g.members[i]) &&
        std::any_of(heads.begin(), heads.end(), [&](const std::string &h) { return h != heads[i]; }))
      return true;
  return false;
}

// Return true if W was started as runner R runs LaTeX.
bool runs_as_p(const waiting_latex &w, const latex_runner &r)
{
  return w.latex == r.path && w.program == r.program;
}

// Take from AHEAD into *W, under TAKING, a LaTeX started ahead for the
// runner R; return false where none waits.
bool take_waiting(latex_ahead &ahead, const latex_runner &r, std::mutex *taking, waiting_latex *w)
{
  std::lock_guard<std::mutex> hold(*taking);
  for (size_t i = 0; i < ahead.size(); i++)
    if (runs_as_p(ahead[i], r)) {
      *w = std::move(ahead[i]);
      ahead.erase(ahead.begin() + static_cast<long>(i));
      return true;
    }
  return false;
}

// End the programs of AHEAD that no question of ASKS (to RUNNERS) will
// take, so that they stop loading their formats before the runs.
void keep_wanted(latex_ahead &ahead, const std::vector<latex_runner> &runners,
                 const std::vector<latex_ask> &asks)
{
  std::vector<size_t> wanted(runners.size());
  for (const latex_ask &a : asks)
    wanted[a.runner]++;
  latex_ahead kept;
  for (waiting_latex &w : ahead) {
    size_t r = 0;
    while (r < runners.size() && !runs_as_p(w, runners[r]))
      r++;
    if (r < runners.size() && wanted[r] > 0) {
      wanted[r]--;
      kept.push_back(std::move(w));
    } else {
      end_waiting_latex(w);
    }
  }
  ahead = std::move(kept);
}

} // namespace

size_t likely_asked_groups(const explained_report &report)
{
  return std::count_if(report.groups.begin(), report.groups.end(), likely_asked_p);
}

size_t likely_asked_files(const std::vector<std::string> &files,
                          const std::function<bool(const std::string &)> &kept)
{
  size_t likely = 0;
  for (const std::string &path : files) {
    std::string name(base_name(path));
    if (!latex_file_p(name) || !kept(path))
      continue;
    std::vector<std::string> dirs = database_dirs(name);
    if (dirs.empty())
      continue;
    std::string head = head_of(path);
    likely += std::any_of(dirs.begin(), dirs.end(),
                          [&](const std::string &dir) { return head_of(dir + name) != head; });
  }
  return likely;
}

void start_latex_ahead(latex_ahead &ahead, const std::vector<std::string> &programs,
                       const std::string &bin, size_t likely, size_t most)
{
  // Each takes two descriptors for as long as it waits; a run short of
  // them would fail for it.
  if (likely == 0 || platform::descriptor_limit() < 256)
    return;
  std::vector<latex_runner> runners;
  runners_of(programs, bin, &runners);
  // The copy each program loads and the one behind it, one core each.
  size_t each = std::min<size_t>(2 * likely, thread_count(0));
  std::vector<size_t> started(runners.size());
  for (const waiting_latex &w : ahead)
    for (size_t r = 0; r < runners.size(); r++)
      started[r] += runs_as_p(w, runners[r]);
  // One engine after the other, so that the first few started serve
  // every engine.
  for (size_t round = 0; round < each; round++)
    for (size_t r = 0; r < runners.size() && most > 0; r++) {
      if (started[r] > round)
        continue;
      waiting_latex w;
      if (start_waiting_latex(runners[r].path, runners[r].program,
                              "lsrcheck-ahead-" + std::to_string(ahead.size()), &w)) {
        ahead.push_back(std::move(w));
        started[r]++;
        most--;
      }
    }
}

void end_latex_ahead(latex_ahead &ahead)
{
  for (waiting_latex &w : ahead)
    end_waiting_latex(w);
  ahead.clear();
}

bool ask_latex_for_dates(explained_report &report, const std::string &bin, latex_ahead &ahead)
{
  std::vector<latex_runner> runners;
  std::vector<int> runner_of = runners_of(report.programs, bin, &runners);
  // One question a content and engine: identical copies have one set of
  // facts, and each program's verdict rests on its own engine's answer.
  std::vector<latex_ask> asks;
  std::vector<std::pair<group_info *, int>> asked_for; // the group and mark of each ask
  bool asked = false;
  for (group_info &g : report.groups) {
    if ((g.problems & finding_differ) == 0 || !latex_file_p(g.name))
      continue;
    std::set<std::pair<int, int>> keys; // (runner, mark)
    for (size_t p = 0; p < report.programs.size(); p++)
      for (size_t i : deciding_members(g, p)) {
        member_info &m = g.members[i];
        if (m.copy.file.state != file_ok)
          continue;
        asked = true;
        if (runner_of[p] < 0) {
          if (m.by_program.empty())
            m.by_program.assign(report.programs.size(), m.copy.declaration);
          m.by_program[p].latex_why = "the installation has no latex program";
          continue;
        }
        if (!keys.emplace(runner_of[p], m.copy.file.mark).second)
          continue;
        asks.push_back({static_cast<size_t>(runner_of[p]), &m, g.spellings[m.place.spelling], {}});
        asked_for.emplace_back(&g, m.copy.file.mark);
      }
  }
  keep_wanted(ahead, runners, asks);
  std::mutex taking;
  run_side_by_side(asks.size(), [&](size_t i, const std::string &dir) {
    latex_ask &a = asks[i];
    if (dir.empty()) {
      a.answer.why = "no directory to run LaTeX in";
      return;
    }
    const latex_runner &r = runners[a.runner];
    waiting_latex w;
    if (take_waiting(ahead, r, &taking, &w))
      a.answer = ask_waiting_latex(w, a.copy->copy.path, a.name);
    else
      a.answer = ask_latex_declaration(r.path, r.program, a.copy->copy.path, a.name, dir);
  });
  end_latex_ahead(ahead);
  for (size_t i = 0; i < asks.size(); i++)
    give_answer(*asked_for[i].first, asked_for[i].second, asks[i], runner_of);
  return asked;
}
