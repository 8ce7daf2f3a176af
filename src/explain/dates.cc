#include "explain/dates.h"

#include "explain/findings.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "latex/latex.h"
#include "lookups/lookups.h"
#include "shared/files.h"
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

} // namespace

bool ask_latex_for_dates(explained_report &report, const std::string &bin,
                         const std::string &unavailable)
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
        if (runner_of[p] < 0 || !unavailable.empty()) {
          if (m.by_program.empty())
            m.by_program.assign(report.programs.size(), m.copy.declaration);
          m.by_program[p].latex_why =
              unavailable.empty() ? "the installation has no latex program" : unavailable;
          continue;
        }
        if (!keys.emplace(runner_of[p], m.copy.file.mark).second)
          continue;
        asks.push_back({static_cast<size_t>(runner_of[p]), &m, g.spellings[m.place.spelling], {}});
        asked_for.emplace_back(&g, m.copy.file.mark);
      }
  }
  run_side_by_side(asks.size(), [&](size_t i, const std::string &dir) {
    latex_ask &a = asks[i];
    if (dir.empty()) {
      a.answer.why = "no directory to run LaTeX in";
      return;
    }
    const latex_runner &r = runners[a.runner];
    a.answer = ask_latex_declaration(r.path, r.program, a.copy->copy.path, a.name, dir);
  });
  for (size_t i = 0; i < asks.size(); i++)
    give_answer(*asked_for[i].first, asked_for[i].second, asks[i], runner_of);
  return asked;
}
