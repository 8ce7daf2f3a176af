// The findings of the explained report: members numbered in search order,
// each program's loaded copy against the copies behind it, and what the
// distribution did itself.

#include "explain/findings.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// Return DATE (YYYY/MM/DD or YYYY-MM-DD) as YYYYMMDD, for comparison.
std::string date_key(const std::string &date)
{
  std::string key;
  for (char c : date)
    if (c >= '0' && c <= '9')
      key += c;
  return key;
}

// Return "[N]" for member I.
std::string member_ref(size_t i)
{
  return "[" + std::to_string(i + 1) + "]";
}


// Return, for an "older" verdict on LOADED against NEXT, where their dates
// were only read from the files because LaTeX could not be asked: why; else
// "".
std::string reader_dates_note(const member_info &loaded, const member_info &next)
{
  for (const member_info *m : {&loaded, &next})
    if (!m->latex_date && !m->latex_why.empty())
      return " (dates read from the files, not asked of LaTeX: " + m->latex_why + ")";
  return "";
}

} // namespace

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
      order = g.found[&h - g.hits.data()];
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
  for (std::vector<size_t> &found : g.found)
    for (size_t &m : found)
      m = place[m];
  std::map<int, int> marks;
  for (member_info &m : g.members)
    if (m.mark >= 0)
      m.mark = marks.emplace(m.mark, static_cast<int>(marks.size())).first->second;
}

void find_findings(group_info &g, size_t programs)
{
  g.findings.clear();
  g.unreachable = false;
  std::map<std::pair<unsigned, std::string>, size_t> seen;
  auto add = [&](unsigned kind, const std::string &text, const std::vector<size_t> &involved,
                 size_t program) {
    auto [it, added] = seen.emplace(std::make_pair(kind, text), g.findings.size());
    if (added) {
      finding f;
      f.kind = kind;
      f.text = text;
      f.distribution = true;
      f.members = involved;
      std::sort(f.members.begin(), f.members.end());
      for (size_t m : involved)
        f.distribution = f.distribution && g.members[m].distribution;
      g.findings.push_back(f);
    }
    if (program != SIZE_MAX)
      g.findings[it->second].programs.push_back(program);
  };

  // The copy loaded by the first program that loads a member: the one the
  // content marks are shown against.
  int shown_loaded = -1;
  for (const program_hit &h : g.hits)
    if (h.kind == hit_member && shown_loaded < 0)
      shown_loaded = h.member;
  for (member_info &m : g.members)
    m.differs = shown_loaded >= 0 && m.mark >= 0 && g.members[shown_loaded].mark >= 0 &&
                m.mark != g.members[shown_loaded].mark;

  for (size_t p = 0; p < programs; p++)
    for (size_t l = 0; l < g.members.size(); l++) {
      const member_info &loaded = g.members[l];
      if (!has_p(loaded.loaded_by, p))
        continue;
      std::vector<size_t> differing;
      for (size_t h = 0; h < g.members.size(); h++) {
        const member_info &hidden = g.members[h];
        if (h != l && hidden.spelling == loaded.spelling && has_p(hidden.reached_by, p) &&
            loaded.mark >= 0 && hidden.mark >= 0 && hidden.mark != loaded.mark)
          differing.push_back(h);
      }
      if (!differing.empty()) {
        std::string text = "the loaded copy " + member_ref(l) + " differs from ";
        for (size_t i = 0; i < differing.size(); i++)
          text += (i > 0 ? ", " : "") + member_ref(differing[i]);
        text += ", found behind it";
        differing.push_back(l);
        add(finding_differ, text, differing, p);
      }
      // Older only than the copy that would take its place: a copy
      // further back may be newer still, but removing this one would not
      // bring it.
      int next = next_copy(g, p, l);
      if (next >= 0 && loaded.mark != g.members[next].mark && !loaded.date.empty() &&
          !g.members[next].date.empty() && date_key(loaded.date) < date_key(g.members[next].date))
        add(finding_older,
            "the loaded copy " + member_ref(l) + " declares " + loaded.date +
                ", older than the copy behind it, " + member_ref(next) + " (" +
                g.members[next].date + "): removing " + member_ref(l) + " would load " +
                member_ref(next) + reader_dates_note(loaded, g.members[next]),
            {l, static_cast<size_t>(next)}, p);
    }
  g.unread = std::all_of(g.hits.begin(), g.hits.end(),
                         [](const program_hit &h) { return h.kind == hit_not_read; });
  for (size_t i = 0; i < g.members.size(); i++) {
    const member_info &m = g.members[i];
    if (m.state == file_missing || m.state == file_dangling)
      add(finding_stale, member_ref(i) + " is gone from disk (stale ls-R entry)", {i}, SIZE_MAX);
    else if (m.state == file_ok && m.reached_by.empty() && !g.unread)
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
    if (m.mark < 0)
      continue;
    const member_info *chosen = &m;
    bool disagree = false;
    for (const member_info &other : g.members)
      if (other.mark == m.mark) {
        disagree = disagree || other.date != m.date || other.version != m.version;
        if (other.distribution && !chosen->distribution)
          chosen = &other;
      }
    if (!disagree)
      continue;
    std::string date = chosen->distribution ? chosen->date : "";
    std::string version = chosen->distribution ? chosen->version : "";
    for (member_info &other : g.members)
      if (other.mark == m.mark) {
        other.date = date;
        other.version = version;
      }
  }
}

bool distribution_p(const member_info &m)
{
  return !m.package.empty() || !m.texlive_package.empty() || m.tree == "TEXMFSYSVAR" ||
         m.tree == "TEXMFSYSCONFIG";
}

int next_copy(const group_info &g, size_t program, size_t loaded)
{
  const std::vector<size_t> &found = g.found[program];
  auto at = std::find(found.begin(), found.end(), loaded);
  for (; at != found.end(); ++at)
    if (*at != loaded && g.members[*at].spelling == g.members[loaded].spelling)
      return static_cast<int>(*at);
  return -1;
}

unsigned report_findings(const explained_report &report)
{
  unsigned all = 0;
  for (const group_info &g : report.groups)
    all |= g.problems | (g.distribution != 0 ? unsigned{finding_distribution} : 0u) |
           (g.unreachable ? unsigned{finding_unreachable} : 0u);
  return all;
}
