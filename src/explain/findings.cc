// The findings of the explained report: members numbered in search order,
// each program's loaded copy against the copies behind it, and what the
// distribution did itself.

#include "explain/findings.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

// Return true if ITEM is in LIST.
bool has_p(const std::vector<size_t> &list, size_t item)
{
  return std::find(list.begin(), list.end(), item) != list.end();
}

void number_in_search_order(group_info &g)
{
  std::vector<size_t> order;
  for (const program_hit &h : g.hits)
    if (h.kind == hit_member) {
      for (const name_search &search : g.searches[&h - g.hits.data()])
        for (size_t m : search.finds)
          if (!has_p(order, m))
            order.push_back(m);
      break;
    }
  for (size_t i = 0; i < g.members.size(); i++)
    if (!has_p(order, i))
      order.push_back(i);
  std::vector<size_t> place(order.size());
  std::vector<member_info> members;
  for (size_t i = 0; i < order.size(); i++) {
    place[order[i]] = i;
    members.push_back(std::move(g.members[order[i]]));
  }
  g.members = std::move(members);
  for (program_hit &h : g.hits)
    if (h.member >= 0)
      h.member = static_cast<int>(place[h.member]);
  for (std::vector<name_search> &searches : g.searches)
    for (name_search &search : searches) {
      if (search.loads >= 0)
        search.loads = static_cast<int>(place[search.loads]);
      for (size_t &m : search.finds)
        m = place[m];
    }
  std::map<int, int> marks;
  for (member_info &m : g.members)
    if (m.copy.file.mark >= 0)
      m.copy.file.mark =
          marks.emplace(m.copy.file.mark, static_cast<int>(marks.size())).first->second;
}

namespace {

// The findings of a group by what makes one: a finding is one for all its
// programs, the same kind about the same copies, on the same dates.
typedef std::map<std::tuple<unsigned, size_t, std::vector<size_t>, std::string, std::string>,
                 size_t>
    finding_index;

// Add to G, through SEEN, the finding KIND about the member SUBJECT and
// OTHERS for PROGRAM (SIZE_MAX: for none), where LOOKED_UP was looked up;
// an older one on the declarations MINE and BEHIND.
void add_finding(group_info &g, finding_index &seen, unsigned kind, size_t subject,
                 const std::vector<size_t> &others, size_t program, const std::string &looked_up,
                 const declaration_facts *mine, const declaration_facts *behind)
{
  std::string dates = mine == nullptr ? "" : mine->date + '\n' + mine->latex_why + '\n' +
                                                 behind->date + '\n' + behind->latex_why;
  auto [it, added] = seen.emplace(std::make_tuple(kind, subject, others, looked_up, dates),
                                  g.findings.size());
  if (added) {
    finding f;
    f.kind = kind;
    f.subject = subject;
    f.others = others;
    f.looked_up = looked_up;
    if (mine != nullptr) {
      f.declared = *mine;
      f.declared_behind = *behind;
    }
    f.distribution = true;
    f.members = others;
    f.members.push_back(subject);
    std::sort(f.members.begin(), f.members.end());
    for (size_t m : f.members)
      f.distribution = f.distribution && g.members[m].place.distribution;
    g.findings.push_back(f);
  }
  if (program != SIZE_MAX)
    g.findings[it->second].programs.push_back(program);
}

// Add to G, through SEEN, what program P's search for spelling S finds of
// the copy it loads, the member L: the copies behind it that differ, and
// whether it is older than the one that would take its place.
void judge_loaded_copy(group_info &g, finding_index &seen, size_t p, size_t s, size_t l)
{
  const name_search &search = g.searches[p][s];
  const member_info &loaded = g.members[l];
  // Kpathsea may have matched the name in another case.
  std::string looked_up = s == loaded.place.spelling ? "" : g.spellings[s];
  std::vector<size_t> differing;
  for (size_t h = 0; h < g.members.size(); h++) {
    const member_info &hidden = g.members[h];
    if (h != l && has_p(search.finds, h) && loaded.copy.file.mark >= 0 &&
        hidden.copy.file.mark >= 0 && hidden.copy.file.mark != loaded.copy.file.mark)
      differing.push_back(h);
  }
  if (!differing.empty())
    add_finding(g, seen, finding_differ, l, differing, p, looked_up, nullptr, nullptr);
  // Older only than the copy that would take its place: a copy further
  // back may be newer still, but removing this one would not bring it.
  int next = next_copy(g, p, s);
  if (next < 0)
    return;
  // Each program's verdict rests on the dates its own LaTeX records.
  const declaration_facts &mine = declaration_for(loaded, p),
                          &behind = declaration_for(g.members[next], p);
  if (loaded.copy.file.mark != g.members[next].copy.file.mark && !mine.date.empty() &&
      older_date_p(mine.date, behind.date))
    add_finding(g, seen, finding_older, l, {static_cast<size_t>(next)}, p, looked_up, &mine,
                &behind);
}

} // namespace

void find_findings(group_info &g, size_t programs)
{
  g.findings.clear();
  g.unreachable = false;
  finding_index seen;
  // The copy loaded by the first program that loads a member: the one the
  // content marks are shown against.
  int shown_loaded = -1;
  for (const program_hit &h : g.hits)
    if (h.kind == hit_member && shown_loaded < 0)
      shown_loaded = h.member;
  for (member_info &m : g.members)
    m.use.differs = shown_loaded >= 0 && m.copy.file.mark >= 0 &&
                    g.members[shown_loaded].copy.file.mark >= 0 &&
                    m.copy.file.mark != g.members[shown_loaded].copy.file.mark;
  // Every texmf.cnf a program finds is read: none is loaded over another.
  for (size_t p = 0; p < programs && !g.all_read; p++)
    for (size_t l = 0; l < g.members.size(); l++)
      for (size_t s = 0; s < g.spellings.size(); s++)
        if (g.searches[p][s].loads == static_cast<int>(l))
          judge_loaded_copy(g, seen, p, s, l);
  g.unread = std::all_of(g.hits.begin(), g.hits.end(),
                         [](const program_hit &h) { return h.kind == hit_not_read; });
  for (size_t i = 0; i < g.members.size(); i++) {
    const member_info &m = g.members[i];
    if (m.copy.file.state == file_missing || m.copy.file.state == file_dangling)
      add_finding(g, seen, finding_stale, i, {}, SIZE_MAX, "", nullptr, nullptr);
    else if (m.copy.file.state == file_ok && m.use.reached_by.empty() && !g.unread)
      g.unreachable = true;
  }
  tally_findings(g);
}

void tally_findings(group_info &g)
{
  g.problems = g.distribution = g.accepted = 0;
  for (const finding &f : g.findings)
    (f.accepted ? g.accepted : f.distribution ? g.distribution : g.problems) |= f.kind;
}

void same_facts_for_same_bytes(group_info &g)
{
  for (member_info &m : g.members) {
    if (m.copy.file.mark < 0)
      continue;
    const member_info *chosen = &m;
    bool disagree = false;
    for (const member_info &other : g.members)
      if (other.copy.file.mark == m.copy.file.mark) {
        disagree = disagree || other.copy.declaration.date != m.copy.declaration.date ||
                   other.copy.declaration.version != m.copy.declaration.version;
        if (other.place.distribution && !chosen->place.distribution)
          chosen = &other;
      }
    if (!disagree)
      continue;
    std::string date = chosen->place.distribution ? chosen->copy.declaration.date : "";
    std::string version = chosen->place.distribution ? chosen->copy.declaration.version : "";
    for (member_info &other : g.members)
      if (other.copy.file.mark == m.copy.file.mark) {
        other.copy.declaration.date = date;
        other.copy.declaration.version = version;
      }
  }
}

bool distribution_p(const member_info &m)
{
  return !m.copy.owner.package.empty() || !m.copy.owner.texlive_package.empty() ||
         m.place.tree == "TEXMFSYSVAR" || m.place.tree == "TEXMFSYSCONFIG";
}

int next_copy(const group_info &g, size_t program, size_t spelling)
{
  const name_search &search = g.searches[program][spelling];
  auto at = std::find(search.finds.begin(), search.finds.end(), search.loads);
  if (search.loads < 0 || at == search.finds.end() || ++at == search.finds.end())
    return -1;
  return static_cast<int>(*at);
}

unsigned report_findings(const explained_report &report)
{
  unsigned all = 0;
  for (const group_info &g : report.groups)
    all |= g.problems | (g.distribution != 0 ? unsigned{finding_distribution} : 0u) |
           (g.unreachable ? unsigned{finding_unreachable} : 0u);
  return all;
}
