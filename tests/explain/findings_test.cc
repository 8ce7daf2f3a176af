// The findings of groups built by hand: what each program loads against
// the copies its search finds behind it, and the text that says so.

#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "explain/explain.h"
#include "explain/findings.h"

namespace {

// A member as a row gives it.
struct hand_member {
  int mark;         // its content
  const char *date; // its declaration's, "" for none
  file_state state;
  bool distribution;
  const char *latex_why; // why LaTeX was not asked for its date, "" where it was not needed
};

// Return a report of one group of MEMBERS, where program P's search finds
// the members FOUND[P] in that order (the first the one it loads).
explained_report hand_report(const std::vector<hand_member> &members,
                             const std::vector<std::vector<size_t>> &found)
{
  explained_report r;
  for (size_t p = 0; p < found.size(); p++)
    r.programs.push_back(p == 0 ? "latex" : "pdflatex");
  group_info &g = r.groups.emplace_back();
  g.name = "x.sty";
  g.spellings = {"x.sty"};
  g.format = "tex";
  for (size_t i = 0; i < members.size(); i++) {
    member_info &m = g.members.emplace_back();
    m.copy.path = "/t" + std::to_string(i) + "/x.sty";
    m.copy.file.state = members[i].state;
    m.copy.file.mark = members[i].state == file_ok ? members[i].mark : -1;
    m.copy.declaration.date = members[i].date;
    m.copy.declaration.latex_why = members[i].latex_why;
    m.place.distribution = members[i].distribution;
  }
  for (size_t p = 0; p < found.size(); p++) {
    program_hit &h = g.hits.emplace_back();
    g.searches.push_back({name_search{found[p].empty() ? -1 : static_cast<int>(found[p][0]),
                                      found[p]}});
    if (!found[p].empty()) {
      h.kind = hit_member;
      h.member = static_cast<int>(found[p][0]);
      g.members[found[p][0]].use.loaded_by.push_back(p);
    }
    for (size_t i : found[p])
      g.members[i].use.reached_by.push_back(p);
  }
  for (group_info &g : r.groups)
    find_findings(g, r.programs.size());
  return r;
}

// Return the finding lines of the text of R.
std::vector<std::string> finding_lines(const explained_report &r)
{
  char *text = nullptr;
  size_t size = 0;
  FILE *out = open_memstream(&text, &size);
  print_explained(r, true, out);
  fclose(out);
  std::istringstream in(std::string(text, size));
  free(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("  finding", 0) == 0)
      lines.push_back(line);
  return lines;
}

TEST(Findings, OnGroupsBuiltByHand)
{
  const hand_member dated_old{0, "2019/01/01", file_ok, false, ""},
      dated_new{1, "2022/02/02", file_ok, false, ""}, undated{1, "", file_ok, false, ""};
  struct {
    const char *what;
    std::vector<hand_member> members;
    std::vector<std::vector<size_t>> found;
    unsigned problems;
    std::vector<std::string> lines;
  } cases[] = {
    {"same bytes: nothing", {{0, "", file_ok, false, ""}, {0, "", file_ok, false, ""}},
     {{0, 1}, {0, 1}}, 0, {}},
    {"each program its own copies behind",
     {{0, "", file_ok, false, ""}, {1, "", file_ok, false, ""}, {2, "", file_ok, false, ""}},
     {{0, 1}, {0, 1, 2}}, finding_differ,
     {"  finding: the loaded copy [1] differs from [2], found behind it, for latex",
      "  finding: the loaded copy [1] differs from [2], [3], found behind it, for pdflatex"}},
    {"older than the next copy", {dated_old, dated_new}, {{0, 1}, {0, 1}},
     finding_differ | finding_older,
     {"  finding: the loaded copy [1] differs from [2], found behind it, for latex, pdflatex",
      "  finding: the loaded copy [1] declares 2019/01/01, older than the copy behind it, [2] "
      "(2022/02/02): removing [1] would load [2], for latex, pdflatex"}},
    {"older only than a copy further back: no verdict",
     {dated_new, {2, "2020/01/01", file_ok, false, ""}, {3, "2023/03/03", file_ok, false, ""}},
     {{0, 1, 2}}, finding_differ,
     {"  finding: the loaded copy [1] differs from [2], [3], found behind it, for latex"}},
    {"the next copy declares no date", {dated_old, undated}, {{0, 1}}, finding_differ,
     {"  finding: the loaded copy [1] differs from [2], found behind it, for latex"}},
    {"dates read from the files say so",
     {{0, "2019/01/01", file_ok, false, "no format"}, dated_new}, {{0, 1}},
     finding_differ | finding_older,
     {"  finding: the loaded copy [1] differs from [2], found behind it, for latex",
      "  finding: the loaded copy [1] declares 2019/01/01, older than the copy behind it, [2] "
      "(2022/02/02): removing [1] would load [2] (dates read from the files, not asked of "
      "LaTeX: no format), for latex"}},
    {"a member gone from disk", {{0, "", file_ok, false, ""}, {0, "", file_missing, false, ""}},
     {{0}}, finding_stale, {"  finding: [2] is gone from disk (stale ls-R entry)"}},
    {"a dangling link", {{0, "", file_ok, false, ""}, {0, "", file_dangling, false, ""}},
     {{0}}, finding_stale, {"  finding: [2] is gone from disk (a dangling link)"}},
    {"the distribution's own copies",
     {{0, "", file_ok, true, ""}, {1, "", file_ok, true, ""}}, {{0, 1}}, 0,
     {"  finding (the distribution's own): the loaded copy [1] differs from [2], found behind "
      "it, for latex"}},
  };
  for (const auto &c : cases) {
    explained_report r = hand_report(c.members, c.found);
    EXPECT_EQ(r.groups[0].problems, c.problems) << c.what;
    EXPECT_EQ(finding_lines(r), c.lines) << c.what;
  }
}

TEST(Findings, NextCopyIsTheOneThatWouldTakeTheLoadedOnesPlace)
{
  explained_report r = hand_report({{0, "", file_ok, false, ""}, {1, "", file_ok, false, ""},
                                    {2, "", file_ok, false, ""}},
                                   {{2, 0, 1}, {1}});
  EXPECT_EQ(next_copy(r.groups[0], 0, 0), 0);
  EXPECT_EQ(next_copy(r.groups[0], 1, 0), -1);
}

} // namespace
