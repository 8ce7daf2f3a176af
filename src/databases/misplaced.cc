// Files TeX never finds where they lie.
//
// Each file of a tree of TEXMF is looked at as the lookups see its name:
// the kind each program reads it as (and the kind its \input reads any
// name as), and the search path of that kind for that program.  A file
// that no program's path reaches is misplaced; where a LaTeX package is
// reached by other programs but by no LaTeX, LaTeX never finds it.

#include "databases/misplaced.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kpathsea/lookup.h"
#include "kpathsea/variables.h"
#include "lookups/lookups.h"
#include "lookups/readers.h"
#include "platform/platform.h"
#include "shared/paths.h"
#include "shared/walk.h"

namespace {

// Kinds no one places by hand, or whose suffix as often names something
// else: what programs write (formats, pools, bitmap fonts), configuration
// and databases, documentation and sources, Perl scripts (.pl), shared
// libraries, files found by program name.
const char *const unplaced_kinds[] = {
    "gf", "pk", "bitmap font", "base", "fmt", "mem", "mfpool", "mppool", "texpool", "cnf",
    "ls-R", "TeX system documentation", "TeX system sources", "web", "cweb", "opl",
    "texmfscripts", "web2c files", "clua", "other text files", "other binary files"};

// What a run writes beside a document: never meant to be found.
const char *const run_suffixes[] = {".aux", ".bbl", ".log"};

// The directories at a tree's top that hold what no search path is meant
// to reach: documentation, sources, scripts (found by program name),
// TeX Live's own.
const char *const unsearched_tops[] = {"doc", "source", "scripts", "tlpkg"};

// The texmf.cnf variables of the trees left out: the distribution's, laid
// out as it installed them, and those its programs write into.
const char *const unchecked_trees[] = {"TEXMFDIST",   "TEXMFMAIN",      "TEXMFDEBIAN",
                                       "TEXMFSYSVAR", "TEXMFVAR",       "TEXMFSYSCONFIG",
                                       "TEXMFCONFIG"};

// Where each kind belongs below a tree, as the TeX directory structure
// has it; the package's own directory goes below.
const std::pair<const char *, const char *> kind_places[] = {
    {"tex", "tex/latex"},
    {"graphic/figure", "tex/latex"},
    {"bib", "bibtex/bib"},
    {"mlbib", "bibtex/bib"},
    {"bst", "bibtex/bst"},
    {"mlbst", "bibtex/bst"},
    {"tfm", "fonts/tfm/public"},
    {"vf", "fonts/vf/public"},
    {"ofm", "fonts/ofm/public"},
    {"ovf", "fonts/ovf/public"},
    {"afm", "fonts/afm/public"},
    {"type1 fonts", "fonts/type1/public"},
    {"type42 fonts", "fonts/type42/public"},
    {"truetype fonts", "fonts/truetype/public"},
    {"opentype fonts", "fonts/opentype/public"},
    {"enc files", "fonts/enc/dvips"},
    {"map", "fonts/map/dvips"},
    {"subfont definition files", "fonts/sfd"},
    {"mf", "fonts/source/public"},
    {"mp", "metapost"},
    {"ist", "makeindex"},
    {"lua", "tex/luatex"},
    {"PostScript header", "dvips"},
};

// Directory names of the TeX directory structure: never a package's name.
const char *const structure_words[] = {
    "tex",     "latex", "generic",  "plain",    "fonts",    "bibtex",    "bib",    "bst",
    "tfm",     "vf",    "afm",      "type1",    "truetype", "opentype",  "enc",    "map",
    "dvips",   "pdftex", "public",  "metapost", "makeindex", "luatex",   "lua",    "source",
    "texmf",   "texmf-dist", "texmf-local", "sty", "cls", "styles", "packages"};

// The programs that are LaTeX: where a LaTeX package is read.
const char *const latex_programs[] = {"latex", "pdflatex", "lualatex", "xelatex",
                                      "dvilualatex"};

// Return true if NAME is one of the COUNT WORDS.
template <size_t N> bool among_p(const std::string &name, const char *const (&words)[N])
{
  return std::any_of(std::begin(words), std::end(words),
                     [&](const char *w) { return name == w; });
}

// Return the components of PATH, an empty one for each run of separators
// past the first ("//": any directories below).
std::vector<std::string> pattern_components(const std::string &path)
{
  std::vector<std::string> out;
  std::string part;
  bool after_separator = false;
  for (char c : path) {
    if (c != '/') {
      part += c;
      after_separator = false;
      continue;
    }
    if (after_separator) {
      if (out.empty() || !out.back().empty() || out.size() == 1)
        out.push_back(""); // "//": any directories
      continue;
    }
    out.push_back(part);
    part.clear();
    after_separator = true;
  }
  if (!part.empty())
    out.push_back(part);
  return out;
}

// Return the components of PATH (pattern_components) as paths compare
// here: by component, since a key of the whole path would lose its "//".
std::vector<std::string> keyed_components(const std::string &path)
{
  std::vector<std::string> components = pattern_components(path);
  for (std::string &c : components)
    c = c.empty() ? c : path_key(c);
  return components;
}

// Return the search path element ELEMENT ("!!" and "//" as Kpathsea keeps
// them) as components to match a directory's against, or none where it is
// relative (".": the document's directory, no tree's).
std::vector<std::string> compiled_element(const std::string &element)
{
  std::string e = element.compare(0, 2, "!!") == 0 ? element.substr(2) : element;
  return absolute_path_p(e) ? keyed_components(e) : std::vector<std::string>();
}

// Return the directory DIR as components, as compiled_element compares them.
std::vector<std::string> directory_components(const std::string &dir)
{
  return keyed_components(collapsed_path(dir));
}

// Return true if the components DIR from D match those of PATTERN from P.
bool components_match_p(const std::vector<std::string> &pattern, size_t p,
                        const std::vector<std::string> &dir, size_t d)
{
  if (p == pattern.size())
    return d == dir.size();
  // An empty component past the root is "//": any directories, none too.
  if (pattern[p].empty() && p > 0) {
    for (size_t skip = d; skip <= dir.size(); skip++)
      if (components_match_p(pattern, p + 1, dir, skip))
        return true;
    return false;
  }
  return d < dir.size() && pattern[p] == dir[d] && components_match_p(pattern, p + 1, dir, d + 1);
}

// The programs the lookups are made as, and for each (program, kind) the
// search path's elements, filled as files ask for them.
struct reach_table {
  std::vector<lookup_program> programs;
  bool latex_installed = false;
  // The lookups of names, each once: by the name's own kind and suffix,
  // or by the whole name where a program reads it by name (texfonts.map).
  std::vector<name_lookup> lookups;
  std::map<std::string, int> lookup_of_key;
  std::vector<std::string> by_name; // the readers' name patterns that are no suffix
  // Each search path's elements as components (compiled_element).
  std::map<std::pair<size_t, int>, std::vector<std::vector<std::string>>> paths;
  std::map<std::string, std::vector<size_t>> by_dir; // (dir, lookup) -> programs reaching
  std::vector<std::string> distribution;             // the distribution's trees
  std::map<std::string, std::vector<std::string>> listed; // their directories' names
};

// Return the programs of the readers table installed in BIN (all where BIN
// is ""), each with its engine.
std::vector<lookup_program> installed_programs(const std::string &bin)
{
  std::set<std::string> names;
  for (const reader_row &row : reader_table())
    for (const std::string &p : row.programs)
      if (bin.empty() ||
          platform::executable_p(joined_path(bin, p + platform::program_suffix)))
        names.insert(p);
  return lookup_programs(std::vector<std::string>(names.begin(), names.end()));
}

// Return the lookup of TABLE for NAME: the kinds each program reads it in
// (and its \input's); -1 where NAME is of no kind placed by hand.
int lookup_index(reach_table &table, const std::string &name)
{
  int own = lookup_format(name.c_str());
  size_t dot = name.rfind('.');
  std::string key = std::to_string(own) + (dot == std::string::npos ? "=" + name : name.substr(dot));
  for (const std::string &pattern : table.by_name)
    if (platform::match_pattern(pattern.c_str(), name.c_str()) == 0)
      key = "=" + name;
  auto known = table.lookup_of_key.find(key);
  if (known != table.lookup_of_key.end())
    return known->second;
  int index = -1;
  if (own >= 0 && name_of_format_p(own, name) && !among_p(format_name(own), unplaced_kinds) &&
      !std::any_of(std::begin(run_suffixes), std::end(run_suffixes),
                   [&](const char *s) { return platform::ends_with_p(name, s); })) {
    name_lookup n = name_lookup_of(name, table.programs);
    // A kind no program installed reads is no kind here.
    if (!std::all_of(n.formats.begin(), n.formats.end(), [](int f) { return f < 0; })) {
      index = static_cast<int>(table.lookups.size());
      table.lookups.push_back(n);
    }
  }
  table.lookup_of_key.emplace(key, index);
  return index;
}

// Set in TABLE the search path of every (program, kind) its lookups ask
// for, a program at a time: Kpathsea builds each program's paths anew.
void fill_paths(reach_table &table)
{
  std::set<std::pair<size_t, int>> wanted;
  for (const name_lookup &n : table.lookups)
    for (size_t p = 0; p < n.formats.size(); p++)
      for (int format : {n.formats[p], n.fallbacks[p]})
        if (format >= 0)
          wanted.insert({p, format});
  for (const auto &[p, format] : wanted)
    for (const std::string &e : search_path_of(table.programs[p], format))
      if (std::vector<std::string> c = compiled_element(e); !c.empty())
        table.paths[{p, format}].push_back(c);
}

// Return the programs of TABLE whose lookup LOOKUP reaches the directory
// DIR.
std::vector<size_t> programs_reaching(reach_table &table, int lookup, const std::string &dir)
{
  const name_lookup &n = table.lookups[lookup];
  std::string key = path_key(dir) + '\0' + std::to_string(lookup);
  auto cached = table.by_dir.find(key);
  if (cached != table.by_dir.end())
    return cached->second;
  std::vector<size_t> out;
  std::vector<std::string> d = directory_components(dir);
  for (size_t p = 0; p < n.formats.size(); p++)
    for (int format : {n.formats[p], n.fallbacks[p]}) {
      if (format < 0)
        continue;
      const std::vector<std::vector<std::string>> &path = table.paths[{p, format}];
      if (std::any_of(path.begin(), path.end(), [&](const std::vector<std::string> &e) {
            return components_match_p(e, 0, d, 0);
          })) {
        out.push_back(p);
        break;
      }
    }
  table.by_dir.emplace(key, out);
  return out;
}

// Return true if one of PROGRAMS of TABLE is LaTeX.
bool latex_among_p(const reach_table &table, const std::vector<size_t> &programs)
{
  return std::any_of(programs.begin(), programs.end(), [&](size_t p) {
    return among_p(table.programs[p].name, latex_programs);
  });
}

// Return true if the directory DIR holds a LaTeX package for TABLE: what
// one of its LaTeX programs reaches.
bool latex_reaches_p(reach_table &table, int lookup, const std::string &dir)
{
  return latex_among_p(table, programs_reaching(table, lookup, dir));
}

// Return true if the distribution puts files such as PATH of TREE where it
// lies: a distribution tree holds, in the same directory below it, a file
// with the same suffix.  That layout is the distribution's to choose.
bool distribution_layout_p(reach_table &table, const std::string &path, const std::string &tree)
{
  std::string rel(directory_of(path_below(path, tree))), name(base_name(path));
  size_t dot = name.rfind('.');
  if (rel.empty() || dot == std::string::npos)
    return false;
  for (const std::string &d : table.distribution) {
    std::string dir = joined_path(d, rel);
    auto [it, added] = table.listed.try_emplace(dir);
    if (added)
      it->second = platform::directory_names(dir);
    for (const std::string &n : it->second)
      if (platform::ends_with_p(n, name.substr(dot)))
        return true;
  }
  return false;
}

// Return the name of the package directory of the file PATH of TREE: its
// own directory's, unless that is the tree or a word of the structure,
// then the file's name without its suffix.
std::string package_name(const std::string &path, const std::string &tree)
{
  std::string dir(directory_of(path)), name(base_name(dir));
  if (path_key(dir) != path_key(tree) && !name.empty() && !among_p(name, structure_words))
    return name;
  std::string file(base_name(path));
  size_t dot = file.rfind('.');
  return dot == 0 || dot == std::string::npos ? file : file.substr(0, dot);
}

// Return the directory below TREE where the file PATH (lookups N, of the
// kind KIND) belongs, or "": its path with leading directories dropped
// (a tree unpacked into a tree), else the kind's place; one that REACHED
// accepts.
template <typename Reached>
std::string place_of(const std::string &path, const std::string &tree, const std::string &kind,
                     Reached reached)
{
  std::string rel = path_below(path, tree);
  std::vector<std::string> parts = platform::split_text(std::string(directory_of(rel)), '/');
  for (size_t drop = 1; !rel.empty() && drop < parts.size() && !parts[0].empty(); drop++) {
    std::string dir = tree;
    for (size_t i = drop; i < parts.size(); i++)
      dir = joined_path(dir, parts[i]);
    if (reached(dir))
      return dir;
  }
  for (const auto &[k, place] : kind_places)
    if (kind == k) {
      std::string dir = joined_path(joined_path(tree, place), package_name(path, tree));
      return reached(dir) ? dir : "";
    }
  return "";
}

// Return the trees of TEXMF to check, each once, those of unchecked_trees
// left out; and in *ALL every tree of TEXMF.
std::vector<std::string> trees_to_check(std::vector<std::string> *all)
{
  std::set<std::string> left_out, seen;
  for (const char *variable : unchecked_trees)
    for (const path_element &e : path_elements(variable))
      left_out.insert(path_key(platform::real_path(e.dir)));
  std::vector<std::string> out;
  for (const path_element &e : path_elements("TEXMF")) {
    std::string key = path_key(platform::real_path(e.dir));
    if (!seen.insert(key).second)
      continue;
    all->push_back(e.dir);
    if (left_out.count(key) == 0 && platform::directory_p(e.dir))
      out.push_back(e.dir);
  }
  return out;
}

// Return the trees of ALL that lie inside TREE: checked on their own, or not.
std::vector<std::string> trees_inside(const std::string &tree, const std::vector<std::string> &all)
{
  std::vector<std::string> out;
  for (const std::string &other : all)
    if (path_key(other) != path_key(tree) && !path_below(other, tree).empty())
      out.push_back(other);
  return out;
}

// Return true if the file PATH of TREE is to be looked at: not below a
// directory at the top no path reaches, nor in one of the trees INSIDE.
bool checked_file_p(const std::string &path, const std::string &tree,
                    const std::vector<std::string> &inside)
{
  std::string rel = path_below(path, tree);
  std::string top = rel.substr(0, rel.find('/'));
  if (rel.find('/') != std::string::npos && among_p(top, unsearched_tops))
    return false;
  for (const std::string &other : inside)
    if (!path_below(path, other).empty())
      return false;
  return true;
}

// A file of a kind some program looks up, in a tree of TEXMF.
struct candidate {
  std::string path;
  size_t tree;
  int lookup;
};

// Add to HEALTH the misplaced file PATH of TREE (with an ls-R where LSR),
// of the lookup LOOKUP of TABLE, if it is one.
void look_at_file(database_health &health, reach_table &table, const std::string &path,
                  const std::string &tree, bool lsr, int lookup)
{
  std::string name(base_name(path)), dir(directory_of(path));
  std::vector<size_t> reaching = programs_reaching(table, lookup, dir);
  bool latex_name = platform::ends_with_p(name, ".sty") || platform::ends_with_p(name, ".cls") ||
                    platform::ends_with_p(name, ".clo");
  bool latex_only = !reaching.empty() && latex_name && table.latex_installed &&
                    !latex_among_p(table, reaching);
  if ((!reaching.empty() && !latex_only) || distribution_layout_p(table, path, tree))
    return;
  misplaced_file f;
  f.path = path;
  f.tree = tree;
  f.kind = format_name(lookup_format(name.c_str()));
  for (size_t p : reaching)
    f.readers.push_back(table.programs[p].name);
  f.belongs = place_of(path, tree, f.kind, [&](const std::string &d) {
    return latex_only ? latex_reaches_p(table, lookup, d)
                      : !programs_reaching(table, lookup, d).empty();
  });
  // Where no program searches the tree for the kind at all, the tree is
  // none of the kind's: a matter of the configuration, not of the file.
  if (f.belongs.empty())
    return;
  f.occupied = platform::present_p(joined_path(f.belongs, name));
  f.writable = platform::may_write_p(dir);
  f.tree_lsr = lsr;
  health.misplaced.push_back(f);
}

// Return true if DIR holds a file of a kind some program of TABLE looks up.
bool holds_tex_files_p(reach_table &table, const std::string &dir)
{
  bool found = false;
  walk_files(dir, [&](const std::string &path, const platform::listed_entry &) {
    found = lookup_index(table, std::string(base_name(path))) >= 0;
    return !found;
  });
  return found;
}

// Add to HEALTH the user's texmf directory where it holds TeX files but
// is none of the trees ALL, TEXMFHOME naming another place.
void check_home(database_health &health, reach_table &table, const std::vector<std::string> &all)
{
  std::string home;
  if (!platform::environment_value("HOME", &home) &&
      !platform::environment_value(platform::home_variable, &home))
    return;
  std::string dir = joined_path(home, "texmf");
  std::vector<path_element> texmfhome = path_elements("TEXMFHOME");
  if (home.empty() || texmfhome.empty() || !platform::directory_p(dir))
    return;
  std::string key = path_key(platform::real_path(dir));
  for (const std::string &tree : all)
    if (path_key(platform::real_path(tree)) == key)
      return;
  if (holds_tex_files_p(table, dir))
    health.home.push_back({dir, texmfhome[0].dir});
}

} // namespace

bool element_reaches_p(const std::string &element, const std::string &dir)
{
  std::vector<std::string> pattern = compiled_element(element);
  return !pattern.empty() && components_match_p(pattern, 0, directory_components(dir), 0);
}

void check_misplaced(database_health &health, const std::string &bin)
{
  reach_table table;
  table.programs = installed_programs(bin);
  for (const lookup_program &p : table.programs)
    table.latex_installed = table.latex_installed || among_p(p.name, latex_programs);
  for (const reader_row &row : reader_table())
    for (const auto &named : row.named)
      if (named.first.compare(0, 2, "*.") != 0 || named.first.find_first_of("*?[", 2) != std::string::npos)
        table.by_name.push_back(named.first);
  for (const char *variable : {"TEXMFDIST", "TEXMFMAIN", "TEXMFDEBIAN"})
    for (const path_element &e : path_elements(variable))
      table.distribution.push_back(e.dir);
  std::vector<std::string> all;
  std::vector<std::string> trees = trees_to_check(&all);
  // The names first, then the paths they need, then the verdicts: each
  // switch of program makes Kpathsea build its paths again.
  std::vector<candidate> candidates;
  for (size_t t = 0; t < trees.size(); t++) {
    std::vector<std::string> inside = trees_inside(trees[t], all);
    for (const std::string &path : files_below(trees[t])) {
      int lookup = checked_file_p(path, trees[t], inside)
                       ? lookup_index(table, std::string(base_name(path)))
                       : -1;
      if (lookup >= 0)
        candidates.push_back({path, t, lookup});
    }
  }
  check_home(health, table, all);
  fill_paths(table);
  std::vector<char> lsr;
  for (const std::string &tree : trees)
    lsr.push_back(!database_files(tree).empty());
  for (const candidate &c : candidates)
    look_at_file(health, table, c.path, trees[c.tree], lsr[c.tree], c.lookup);
}

std::string misplaced_command(const misplaced_file &f)
{
  if (f.occupied)
    return "";
  std::string to = joined_path(f.belongs, std::string(base_name(f.path)));
  return platform::privileged(
      {platform::make_directory_command(f.belongs), platform::move_command(f.path, to)},
      f.writable);
}

std::string home_command(const unsearched_home &h)
{
  // Where TEXMFHOME is not there yet, the directory moves whole.
  if (!platform::present_p(h.texmfhome))
    return platform::make_directory_command(std::string(directory_of(h.texmfhome))) + " && " +
           platform::move_command(h.dir, h.texmfhome);
  return platform::make_directory_command(h.texmfhome) + " && " +
         platform::copy_tree_command(h.dir, h.texmfhome);
}
