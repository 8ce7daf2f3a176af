// The explained report: Kpathsea's own lookups for each program, and what
// each copy of a shared name is.
//
// The lookups run on this thread and in a child process, each on a share
// of the programs, since Kpathsea serves one thread only; meanwhile a
// helper thread reads the members themselves and the package lists.  Lookups run
// from an empty directory of their own, so that the directory the user
// happens to be in decides nothing.

#include "explain/explain.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

#include "explain/facts.h"
#include "pathsearch/files.h"
#include "pathsearch/lookup.h"
#include "pathsearch/pathsearch.h"

namespace {

// The trees by their texmf.cnf variables; on a tie the first listed wins.
const std::vector<const char *> tree_variables = {
  "TEXMFHOME", "TEXMFLOCAL", "TEXMFDIST", "TEXMFMAIN", "TEXMFSYSVAR", "TEXMFSYSCONFIG",
  "TEXMFVAR", "TEXMFCONFIG", "TEXMFDEBIAN", "TEXMFAUXTREES", "TEXMFROOT"};

// The engines of the usual formats, where fmtutil.cnf does not say.
const std::pair<const char *, const char *> usual_engines[] = {
  {"latex", "pdftex"},       {"pdflatex", "pdftex"},      {"lualatex", "luahbtex"},
  {"xelatex", "xetex"},      {"latex-dev", "pdftex"},     {"pdflatex-dev", "pdftex"},
  {"lualatex-dev", "luahbtex"}, {"xelatex-dev", "xetex"}, {"etex", "pdftex"},
  {"pdftex", "pdftex"},      {"tex", "tex"},              {"luatex", "luatex"},
  {"xetex", "xetex"},        {"pdfetex", "pdftex"},       {"amstex", "pdftex"},
  {"optex", "luatex"},       {"context", "luametatex"}};

// Return the engine that runs PROGRAM: from PAIRS (fmtutil.cnf), else the
// usual one, else the program itself.
std::string engine_of(const std::string &program,
                      const std::vector<std::pair<std::string, std::string>> &pairs)
{
  for (const auto &[format, engine] : pairs)
    if (format == program)
      return engine;
  for (const auto &[format, engine] : usual_engines)
    if (program == format)
      return engine;
  return program;
}

// Return the variable of the tree PATH lies in, by the longest root of
// ROOTS that holds it, or "".
std::string tree_of(const std::string &path,
                    const std::vector<std::pair<std::string, std::string>> &roots)
{
  std::string real = collapsed_path(path);
  char *resolved = realpath(path.c_str(), nullptr);
  std::string target = resolved != nullptr ? resolved : "";
  free(resolved);
  std::string best;
  size_t best_length = 0;
  for (const auto &[variable, root] : roots)
    for (const std::string &p : {real, target}) {
      bool inside = root == "/" || (p.compare(0, root.size(), root) == 0 &&
                                    p.size() > root.size() && p[root.size()] == '/');
      if (inside && root.size() > best_length) {
        best = variable;
        best_length = root.size();
      }
    }
  return best;
}

// Return DATE (YYYY/MM/DD or YYYY-MM-DD) as YYYYMMDD, for comparison.
std::string date_key(const std::string &date)
{
  std::string key;
  for (char c : date)
    if (c >= '0' && c <= '9')
      key += c;
  return key;
}

// Return the index of the member of G whose path is PATH, or -1.
int member_index(const group_info &g, const std::string &path)
{
  std::string c = collapsed_path(path);
  for (size_t i = 0; i < g.members.size(); i++)
    if (g.members[i].path == path || collapsed_path(g.members[i].path) == c)
      return static_cast<int>(i);
  return -1;
}

// Return how the first hit HIT of G's name relates to G, HIT being its
// member MEMBER (-1: none).
hit_kind classify(const group_info &g, int format, const std::string &hit, int member)
{
  if (member >= 0)
    return hit_member;
  size_t slash = hit.rfind('/');
  std::string dir = hit.substr(0, slash + 1), base = hit.substr(slash + 1);
  if (stricmp(base.c_str(), g.name.c_str()) == 0)
    return database_entry_p(dir, base) ? hit_excluded : hit_outside;
  return suffix_added_p(format, g.name, base) ? hit_suffix_added : hit_alias;
}

// Run FN in an empty directory of its own, made and removed around it.
template <typename Fn> void in_empty_directory(Fn fn)
{
  const char *tmp = getenv("TMPDIR");
  std::string dir = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                    "/lsrcheck-lookups-XXXXXX";
  int back = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  bool moved = mkdtemp(dir.data()) != nullptr && chdir(dir.c_str()) == 0;
  fn();
  if (moved) {
    if (back < 0 || fchdir(back) != 0)
      chdir("/");
    rmdir(dir.c_str());
  }
  if (back >= 0)
    close(back);
}

// Every hit of every group for one program, in search order.
typedef std::vector<std::vector<std::string>> program_hits;

// Return the hits of the groups NAMES in FORMATS for PROGRAM, run by
// ENGINE.
program_hits hits_for(const std::string &program, const std::string &engine,
                      const std::vector<std::string> &names, const std::vector<int> &formats)
{
  lookup_as_program(program.c_str(), engine.c_str());
  program_hits hits;
  for (size_t g = 0; g < names.size(); g++)
    hits.push_back(lookup_all(names[g].c_str(), formats[g]));
  return hits;
}

// Write HITS on the descriptor FD as length-prefixed strings; return false
// on a write error.
bool send_hits(int fd, const std::vector<program_hits> &hits)
{
  std::string data;
  auto put = [&](uint32_t n) { data.append(reinterpret_cast<const char *>(&n), sizeof n); };
  for (const program_hits &program : hits)
    for (const std::vector<std::string> &group : program) {
      put(static_cast<uint32_t>(group.size()));
      for (const std::string &hit : group) {
        put(static_cast<uint32_t>(hit.size()));
        data += hit;
      }
    }
  for (size_t at = 0; at < data.size();) {
    ssize_t n = write(fd, data.data() + at, data.size() - at);
    if (n <= 0)
      return false;
    at += n;
  }
  return true;
}

// Read PROGRAMS x GROUPS hits sent by send_hits from FD into HITS; return
// false if they did not all arrive.
bool receive_hits(int fd, size_t programs, size_t groups, std::vector<program_hits> &hits)
{
  std::string data;
  char buffer[65536];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return false;
    data.append(buffer, n);
  }
  size_t at = 0;
  auto get = [&](uint32_t *n) {
    if (data.size() - at < sizeof *n)
      return false;
    memcpy(n, data.data() + at, sizeof *n);
    at += sizeof *n;
    return true;
  };
  hits.assign(programs, program_hits(groups));
  for (program_hits &program : hits)
    for (std::vector<std::string> &group : program) {
      uint32_t count, length;
      if (!get(&count))
        return false;
      for (uint32_t i = 0; i < count; i++) {
        if (!get(&length) || data.size() - at < length)
          return false;
        group.push_back(data.substr(at, length));
        at += length;
      }
    }
  return at == data.size();
}

// Return every hit of every group of REPORT for every program, computed
// by this process and, for every other program, by a child process on the
// other core: Kpathsea serves one thread only.  START runs in this process
// once the child is on its way.
template <typename Fn>
std::vector<program_hits> look_up(const explained_report &report,
                                  const std::vector<int> &formats, Fn start)
{
  auto engines = format_engines();
  std::vector<std::string> names;
  for (const group_info &g : report.groups)
    names.push_back(g.name);
  size_t programs = report.programs.size();
  std::vector<program_hits> hits(programs);
  std::vector<bool> done(programs, false);

  int fds[2] = {-1, -1};
  pid_t child = programs > 1 && pipe(fds) == 0 ? fork() : -1;
  if (child == 0) {
    close(fds[0]);
    std::vector<program_hits> share;
    for (size_t p = 1; p < programs; p += 2)
      share.push_back(hits_for(report.programs[p], engine_of(report.programs[p], engines),
                               names, formats));
    _exit(send_hits(fds[1], share) ? 0 : 1);
  }
  if (fds[1] >= 0)
    close(fds[1]);
  start();
  for (size_t p = 0; p < programs; p += child > 0 ? 2 : 1) {
    hits[p] = hits_for(report.programs[p], engine_of(report.programs[p], engines), names,
                       formats);
    done[p] = true;
  }
  if (child > 0) {
    std::vector<program_hits> share;
    bool received = receive_hits(fds[0], programs / 2, names.size(), share);
    int status = 0;
    waitpid(child, &status, 0);
    if (received && WIFEXITED(status) && WEXITSTATUS(status) == 0)
      for (size_t p = 1, i = 0; p < programs; p += 2, i++) {
        hits[p] = std::move(share[i]);
        done[p] = true;
      }
  }
  if (fds[0] >= 0)
    close(fds[0]);
  // Whatever the child could not deliver is looked up here.
  for (size_t p = 0; p < programs; p++)
    if (!done[p])
      hits[p] = hits_for(report.programs[p], engine_of(report.programs[p], engines), names,
                         formats);
  return hits;
}

// Record in REPORT the first hit of each group for each program, and which
// members each program finds at all.
void record_hits(explained_report &report, const std::vector<int> &formats,
                 const std::vector<program_hits> &hits)
{
  for (size_t p = 0; p < report.programs.size(); p++)
    for (size_t gi = 0; gi < report.groups.size(); gi++) {
      group_info &g = report.groups[gi];
      const std::vector<std::string> &found = hits[p][gi];
      program_hit &first = g.hits[p];
      if (!found.empty()) {
        int member = member_index(g, found[0]);
        first.path = found[0];
        first.kind = classify(g, formats[gi], found[0], member);
        if (member >= 0)
          g.members[member].loaded_by.push_back(p);
      }
      for (const std::string &hit : found) {
        int m = member_index(g, hit);
        if (m >= 0 && (g.members[m].reached_by.empty() || g.members[m].reached_by.back() != p))
          g.members[m].reached_by.push_back(p);
      }
    }
}

// Work out what G's members and hits show: which copies differ from the
// loaded one, and the group's findings.
void find_findings(group_info &g)
{
  // The copy loaded by the first program that loads a member.
  int loaded_mark = -1;
  for (const program_hit &hit : g.hits)
    if (hit.kind == hit_member && loaded_mark < 0)
      loaded_mark = g.members[member_index(g, hit.path)].mark;
  int first_mark = -1;
  for (member_info &m : g.members) {
    if (m.mark >= 0) {
      if (first_mark < 0)
        first_mark = m.mark;
      if (m.mark != first_mark)
        g.findings |= finding_differ;
      m.differs = loaded_mark >= 0 && m.mark != loaded_mark;
    }
    if (m.state == file_missing || m.state == file_dangling)
      g.findings |= finding_stale;
    else if (m.reached_by.empty())
      g.findings |= finding_unreachable;
  }
  for (const member_info &loaded : g.members)
    for (const member_info &hidden : g.members)
      if (!loaded.loaded_by.empty() && hidden.loaded_by.empty() && !loaded.date.empty() &&
          !hidden.date.empty() && date_key(loaded.date) < date_key(hidden.date) &&
          !(g.findings & finding_older)) {
        g.findings |= finding_older;
        g.older_dates = loaded.date + " against " + hidden.date;
      }
}

} // namespace

explained_report explain_duplicates(const check_filter &filter,
                                    const std::vector<std::string> &programs)
{
  explained_report report;
  report.programs = programs;
  duplicate_groups found = find_duplicates(filter);
  report.kept = found.kept;
  auto roots = tree_roots(tree_variables);
  std::vector<int> formats;
  for (std::vector<std::string> &paths : found.groups) {
    group_info &g = report.groups.emplace_back();
    const std::string &first = paths.front();
    g.name = first.substr(first.rfind('/') + 1);
    formats.push_back(lookup_format(g.name.c_str()));
    g.format = format_name(formats.back());
    g.hits.resize(programs.size());
    for (std::string &path : paths) {
      member_info &m = g.members.emplace_back();
      m.path = std::move(path);
      m.tree = tree_of(m.path, roots);
    }
  }

  // The files and the package lists, beside Kpathsea's lookups.
  std::string root = variable_value("TEXMFROOT");
  std::string tlpdb = root + "/tlpkg/texlive.tlpdb";
  if (root.empty() || access(tlpdb.c_str(), R_OK) != 0)
    tlpdb.clear();
  std::thread facts;
  std::vector<program_hits> hits;
  in_empty_directory([&]() {
    hits = look_up(report, formats, [&]() {
      facts = std::thread([&]() {
        for (group_info &g : report.groups)
          learn_file_facts(g);
        learn_packages(report.groups, "/var/lib/dpkg/info", tlpdb, root);
      });
    });
  });
  facts.join();
  record_hits(report, formats, hits);
  for (group_info &g : report.groups)
    find_findings(g);
  return report;
}

unsigned report_findings(const explained_report &report)
{
  unsigned all = 0;
  for (const group_info &g : report.groups)
    all |= g.findings;
  return all;
}

bool parse_finding_kinds(const std::string &list, unsigned *bits, std::string *bad)
{
  static const std::pair<const char *, unsigned> kinds[] = {
    {"differ", finding_differ}, {"older", finding_older}, {"unreachable", finding_unreachable},
    {"stale", finding_stale},
    {"any", finding_differ | finding_older | finding_unreachable | finding_stale}};
  size_t from = 0;
  while (from <= list.size()) {
    size_t comma = list.find(',', from);
    std::string word = list.substr(from, comma == std::string::npos ? std::string::npos
                                                                    : comma - from);
    from = comma == std::string::npos ? list.size() + 1 : comma + 1;
    unsigned found = 0;
    for (const auto &[name, bit] : kinds)
      if (word == name)
        found = bit;
    if (found == 0) {
      *bad = word;
      return false;
    }
    *bits |= found;
  }
  return true;
}
