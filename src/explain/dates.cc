#include "explain/dates.h"

#include "explain/findings.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "latex/latex.h"
#include "shared/files.h"
#include "shared/workers.h"
#include "platform/platform.h"

namespace {

// Ask LATEX for the declaration of member M of the group NAME, its job
// named JOB; set its date and version where LaTeX answers, else say why
// not.
void ask_latex(const std::string &latex, member_info &m, const std::string &name,
               const std::string &job)
{
  latex_declaration answer = ask_latex_declaration(latex, m.copy.path, name, job);
  if (answer.answered) {
    m.copy.declaration.date = answer.date;
    m.copy.declaration.version = answer.version;
    m.copy.declaration.by_latex = true;
  } else {
    m.copy.declaration.latex_why = answer.why;
  }
}

} // namespace

bool ask_latex_for_dates(explained_report &report, const std::string &latex,
                         const std::string &unavailable)
{
  bool asked = false;
  std::vector<std::pair<member_info *, const std::string *>> asks;
  for (group_info &g : report.groups) {
    if ((g.problems & finding_differ) == 0 || !latex_file_p(g.name))
      continue;
    std::set<size_t> deciding;
    for (size_t p = 0; p < report.programs.size(); p++)
      for (size_t s = 0; s < g.spellings.size(); s++)
        if (g.searches[p][s].loads >= 0) {
          deciding.insert(g.searches[p][s].loads);
          int next = next_copy(g, p, s);
          if (next >= 0)
            deciding.insert(next);
        }
    for (size_t i : deciding) {
      member_info &m = g.members[i];
      if (m.copy.file.state != file_ok)
        continue;
      if (latex.empty())
        m.copy.declaration.latex_why = unavailable;
      else
        asks.emplace_back(&m, &g.spellings[m.place.spelling]);
      asked = true;
    }
  }
  // One LaTeX a core, each with a job name of its own; the files they
  // wrote go with the directory.
  std::atomic<size_t> next{0};
  run_workers(static_cast<unsigned>(std::min<size_t>(thread_count(0), asks.size())),
              [&](unsigned worker) {
                for (size_t i; (i = next++) < asks.size();)
                  ask_latex(latex, *asks[i].first, *asks[i].second,
                            "lsrcheck-" + std::to_string(worker));
              });
  platform::remove_files_here();
  return asked;
}
