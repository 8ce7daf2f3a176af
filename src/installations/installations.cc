// The TeX installations on PATH.
//
// Each directory of PATH is listed for the programs of TeX; each program
// belongs to the installation its links lead into: a TeX Live tree (its
// bin/ARCH, or a script of its texmf-dist), Debian's packages (by dpkg),
// another distribution's layout (a directory texmf* beside its bin), or
// else a lone copy.  The programs a user runs are those PATH finds first.

#include "installations/installations.h"

#include <algorithm>
#include <cstddef>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "kpathsea/variables.h"
#include "platform/platform.h"
#include "shared/files.h"
#include "shared/installation.h"
#include "shared/packages.h"
#include "shared/paths.h"

namespace {

// The programs a user runs, in the order the report shows them.
const char *const user_programs[] = {"latex",      "pdflatex",   "lualatex", "xelatex",
                                     "kpsewhich",  "mktexlsr",   "fmtutil",  "fmtutil-sys",
                                     "updmap",     "updmap-sys", "tlmgr",    "biber"};

// The engines: the installation of the first one PATH finds is the one
// the user typesets with.
const char *const engines[] = {"latex", "pdflatex", "lualatex", "xelatex"};

// The programs that read or change an installation's trees: taken from
// another installation, they act on the wrong one.
const char *const maintenance[] = {"kpsewhich", "mktexlsr",   "fmtutil", "fmtutil-sys",
                                   "updmap",    "updmap-sys", "tlmgr"};

// Other programs that mark a directory as one of TeX's.
const char *const other_programs[] = {"tex",   "etex",     "pdftex", "luatex",   "luahbtex",
                                      "xetex", "bibtex",   "makeindex", "dvips", "dvipdfmx",
                                      "mpost", "texhash",  "kpseaccess", "texlua"};

// Return true if NAME is one of WORDS.
template <size_t N> bool among_p(const std::string &name, const char *const (&words)[N])
{
  return std::any_of(std::begin(words), std::end(words),
                     [&](const char *w) { return name == w; });
}

// Return the directories programs are looked for in, each once (by where
// it leads), in order.
std::vector<std::string> path_directories()
{
  std::vector<std::string> out;
  std::set<std::string> seen;
  for (std::string dir : platform::program_directories()) {
    dir = platform::tool_path(dir); // spelled with the reports' separator
    if (platform::directory_p(dir) && seen.insert(path_key(platform::real_path(dir))).second)
      out.push_back(dir);
  }
  return out;
}

// Return the TeX programs in DIR, by name.
std::vector<path_program> programs_in(const std::string &dir)
{
  std::vector<path_program> out;
  auto look = [&](const char *name) {
    std::string path = joined_path(dir, std::string(name) + platform::program_suffix);
    if (platform::executable_p(path))
      out.push_back({name, path, platform::real_path(path), "", -1});
  };
  for (const char *name : user_programs)
    look(name);
  for (const char *name : other_programs)
    look(name);
  return out;
}

// Return the TeX Live year of ROOT, as its release file says, or "".
std::string texlive_year(const std::string &root)
{
  std::string text;
  if (!read_whole_file(root + "/release-texlive.txt", text))
    return "";
  size_t at = text.find("version ");
  if (at == std::string::npos || text.find('\n') < at)
    return "";
  std::string year = text.substr(at + 8, 4);
  return year.size() == 4 && std::all_of(year.begin(), year.end(), ::isdigit) ? year : "";
}

// Return the root of another distribution's layout holding the program
// REAL: a directory, up to three above it, with a texmf* directory in it.
std::string layout_root(const std::string &real)
{
  std::string dir(directory_of(real));
  for (int up = 0; up < 3 && dir.size() > 1; up++) {
    dir = std::string(directory_of(dir));
    if (dir.empty())
      break;
    for (const std::string &name : platform::directory_names(dir))
      if (name.compare(0, 5, "texmf") == 0 && platform::directory_p(joined_path(dir, name)))
        return dir;
  }
  return "";
}

// Return the index in R of the installation of KIND at ROOT, added if new,
// with DIR among its PATH directories.
int installation_index(installations_report &r, const std::string &kind, const std::string &root,
                       const std::string &dir)
{
  size_t i = 0;
  while (i < r.installations.size() &&
         !(r.installations[i].kind == kind && r.installations[i].root == root))
    i++;
  if (i == r.installations.size())
    r.installations.push_back({kind, root, kind == "texlive" ? texlive_year(root) : "", {}});
  std::vector<std::string> &dirs = r.installations[i].dirs;
  if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end())
    dirs.push_back(dir);
  return static_cast<int>(i);
}

// Set the installation of every program of R, with dpkg's owners OWNERS
// where given.
void classify(installations_report &r, const package_map *owners)
{
  for (path_directory &d : r.dirs)
    for (path_program &p : d.programs) {
      if (owners != nullptr)
        for (const std::string &path : {p.path, p.real, resolved_directory_path(p.path)})
          if (p.package.empty() && owners->count(path) > 0)
            p.package = owners->at(path);
      std::string root = texlive_root_holding(p.path), kind = "texlive";
      if (root.empty() && !p.package.empty())
        kind = "debian";
      // Without dpkg, a package's script may look like a layout of its own.
      else if (root.empty() && owners != nullptr && !(root = layout_root(p.real)).empty())
        kind = "layout";
      else if (root.empty()) {
        // Without dpkg, what is no TeX Live's is told apart by directory.
        kind = owners != nullptr ? "lone" : "dir";
        root = platform::real_path(d.dir);
      }
      p.installation = installation_index(r, kind, root, d.dir);
    }
}

// Return the directory of R's PATH holding PROGRAM of installation I, or "".
std::string directory_with(const installations_report &r, const std::string &program, int i)
{
  for (const path_directory &d : r.dirs)
    for (const path_program &p : d.programs)
      if (p.name == program && p.installation == i)
        return d.dir;
  return "";
}

// Add to R the mixes of what PATH finds first: each program taken from
// another installation than the first engine's.
void find_mixes(installations_report &r)
{
  const path_program *engine = nullptr;
  for (const path_program &p : r.taken)
    if (engine == nullptr && among_p(p.name, engines))
      engine = &p;
  if (engine == nullptr)
    return;
  for (const path_program &p : r.taken) {
    if (p.installation == engine->installation)
      continue;
    std::string before = directory_with(r, p.name, engine->installation);
    // A program of its own (biber beside Debian's TeX) mixes nothing; one
    // that shadows the engine's own installation's does.
    if (!among_p(p.name, engines) && !among_p(p.name, maintenance) && before.empty())
      continue;
    r.mixes.push_back({p.name, engine->name, p.installation, engine->installation, before});
  }
}

// Set in R the texmf.cnf the first kpsewhich on PATH reads.
void ask_path_kpsewhich(installations_report &r)
{
  r.path_kpsewhich = path_kpsewhich();
  std::string out, why;
  if (r.path_kpsewhich.empty() ||
      !platform::run_program(r.path_kpsewhich, {"kpsewhich", "texmf.cnf"}, {}, "", 10, 1 << 16,
                             &out, &why))
    return;
  out = out.substr(0, out.find_first_of("\r\n"));
  if (absolute_path_p(out))
    r.path_cnf = platform::tool_path(out);
}

} // namespace

installations_report find_installations(bool dpkg, bool run_kpsewhich)
{
  installations_report r;
  for (const std::string &dir : path_directories()) {
    std::vector<path_program> programs = programs_in(dir);
    if (!programs.empty())
      r.dirs.push_back({dir, programs});
  }
  package_map owners;
  if (dpkg && *platform::dpkg_info_dir) {
    std::unordered_set<std::string> paths;
    for (const path_directory &d : r.dirs)
      for (const path_program &p : d.programs)
        paths.insert({p.path, p.real, resolved_directory_path(p.path)});
    owners = debian_owners(paths, platform::dpkg_info_dir, name_set(), &r.packages_unread);
  }
  classify(r, dpkg ? &owners : nullptr);
  for (const char *name : user_programs) {
    const path_program *first = nullptr;
    for (const path_directory &d : r.dirs)
      for (const path_program &p : d.programs)
        if (first == nullptr && p.name == name)
          first = &p;
    if (first != nullptr)
      r.taken.push_back(*first);
    else
      r.missing.push_back(name);
  }
  find_mixes(r);
  if (run_kpsewhich)
    ask_path_kpsewhich(r);
  return r;
}

bool installation_problems_p(const installations_report &report)
{
  return !report.mixes.empty();
}
