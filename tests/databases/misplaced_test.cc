// -databases: files where TeX never looks, planted in a private TEXMFHOME
// and a TEXMFLOCAL with an ls-R, with kpsewhich as the oracle before and
// after each mend the report prints.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "databases/misplaced.h"
#include "helpers.h"

namespace {

using json = nlohmann::json;

TEST(Misplaced, SearchPathElementsReachAsKpathseaSearches)
{
  struct { const char *element, *dir; bool reached; } cases[] = {
    {"/t/tex/latex//", "/t/tex/latex", true},
    {"/t/tex/latex//", "/t/tex/latex/a/b", true},
    {"!!/t/tex///", "/t/tex/plain/x", true},
    {"/t/tex/latex", "/t/tex/latex/a", false},
    {"/t/tex/latex/", "/t/tex/latex", true},
    {"/t/fonts//type1", "/t/fonts/a/b/type1", true},
    {"/t/fonts//type1", "/t/fonts/type1/x", false},
    {"/t/tex/latex//", "/t/tex/latexx", false},
    {"/t/tex/latex//", "/t/tex", false},
    {"//", "/anywhere/at/all", true},
    {".", "/t/tex/latex", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(element_reaches_p(c.element, c.dir), c.reached) << c.element << " " << c.dir;
}

// The shell's words of the environment of the planted trees.
std::string env_words(const std::vector<std::pair<std::string, std::string>> &env)
{
  std::string words;
  for (const auto &[k, v] : env)
    words += k + "='" + v + "' ";
  return words;
}

// Return the paths kpsewhich lists for NAME as any of the programs a user
// runs, in ENV.
std::set<std::string> found_by_any(const std::string &env, const std::string &name)
{
  std::set<std::string> found;
  for (const char *p : {"latex", "pdflatex", "lualatex", "xelatex", "tex", "bibtex", "mpost",
                        "dvips"})
    for (const std::string &hit :
         command_output("cd / && " + env + "kpsewhich -all -progname=" + p + " '" + name + "'"))
      found.insert(hit);
  return found;
}

TEST(Misplaced, PlantedFilesAreFoundWhereTheirMendPutsThem)
{
  if (command_output("command -v kpsewhich").empty() || command_output("command -v mktexlsr").empty())
    GTEST_SKIP() << "no kpsewhich or mktexlsr";
  std::string base = make_temp_dir(), home = base + "/home", local = base + "/texmf-local";
  std::string t = home + "/texmf";
  struct { std::string file; bool flagged; } cases[] = {
    {t + "/mypkg.sty", true},
    {t + "/latex/mypkg2.sty", true},
    {t + "/texmf-dist/tex/latex/foo/foo.sty", true},
    {t + "/bibtex/mystyles/mine.bst", true},
    {t + "/somefont.tfm", true},
    {local + "/lost.cls", true},
    {t + "/tex/latex/ok/ok.sty", false},
    {t + "/tex/plain/bar/bar.sty", false}, // latex's path ends in tex//
    {t + "/doc/latex/d/d.sty", false},
    {t + "/source/latex/s/s.sty", false},
    {t + "/README", false},
    {t + "/x.dtx", false},
    {t + "/paper.aux", false},
    {local + "/tex/latex/fine/fine.cls", false},
  };
  for (const auto &c : cases)
    write_file(c.file, "\\ProvidesFile{x}\n");
  mktexlsr(local);
  std::vector<std::pair<std::string, std::string>> env = {{"HOME", home}, {"TEXMFLOCAL", local}};
  run_options opts;
  opts.env = env;
  run_result r = run_lsrcheck({"-databases", "-json"}, opts);
  ASSERT_EQ(r.status, 4) << r.err;
  json report = json::parse(r.out);
  EXPECT_EQ(report["schema_version"], 6);
  std::set<std::string> flagged, expected;
  for (const auto &c : cases)
    if (c.flagged)
      expected.insert(c.file);
  for (const json &m : report["misplaced"])
    flagged.insert(m["path"].get<std::string>());
  EXPECT_EQ(flagged, expected);
  // Nowhere any program looks before the mend; where the mend puts it
  // after, and there first.
  std::string words = env_words(env);
  for (const json &m : report["misplaced"]) {
    std::string path = m["path"], name = path.substr(path.rfind('/') + 1);
    EXPECT_EQ(found_by_any(words, name).count(path), 0u) << path;
    ASSERT_TRUE(m["mend"].is_string()) << path;
    std::string mend = m["mend"];
    if (m["then"].is_string())
      mend += " && " + m["then"].get<std::string>();
    EXPECT_TRUE(command_output(mend + " >/dev/null 2>&1 || echo failed").empty()) << mend;
    std::string placed = m["belongs"].get<std::string>() + "/" + name;
    EXPECT_EQ(found_by_any(words, name).count(placed), 1u) << placed;
  }
  // Once mended, nothing is left to report.
  r = run_lsrcheck({"-databases", "-json"}, opts);
  EXPECT_EQ(json::parse(r.out)["misplaced"].size(), 0u) << r.out;
  // The distribution's own layout, as a local tree, is no finding.
  std::string copy = base + "/dist-layout";
  command_output("mkdir -p '" + copy + "' && for d in tex fonts bibtex metapost makeindex; do "
                 "ln -s \"$(kpsewhich -var-value TEXMFDIST)/$d\" '" + copy + "/'; done");
  opts.env = {{"HOME", base + "/nobody"}, {"TEXMFLOCAL", copy}};
  r = run_lsrcheck({"-databases", "-json"}, opts);
  EXPECT_EQ(json::parse(r.out)["misplaced"].size(), 0u) << r.out;
}

TEST(Misplaced, LaTeXPackagesOnlyOtherProgramsReachAndAnUnsearchedHome)
{
  if (command_output("command -v kpsewhich").empty())
    GTEST_SKIP() << "no kpsewhich";
  std::string home = make_temp_dir();
  write_file(home + "/texmf/tex/plain/bar/bar.sty", "\\ProvidesPackage{bar}\n");
  // A configuration whose LaTeX searches tex/latex and tex/generic only.
  run_options opts;
  for (const char *p : {"latex", "pdflatex", "lualatex", "xelatex", "dvilualatex"})
    opts.env.push_back({std::string("TEXINPUTS_") + p, ".:$TEXMF/tex/{latex,generic}//"});
  opts.env.push_back({"HOME", home});
  run_result r = run_lsrcheck({"-databases", "-json"}, opts);
  json m = json::parse(r.out)["misplaced"];
  ASSERT_EQ(m.size(), 1u) << r.out;
  EXPECT_EQ(m[0]["problem"], "latex-never-looks");
  EXPECT_EQ(m[0]["belongs"], home + "/texmf/tex/latex/bar");
  EXPECT_GT(m[0]["readers"].size(), 0u);
  EXPECT_TRUE(command_output(env_words(opts.env) + "kpsewhich -progname=pdflatex bar.sty").empty());
  // A texmf in the home while TEXMFHOME names another place.
  run_options moved;
  moved.env = {{"HOME", home}, {"TEXMFHOME", home + "/Library/texmf"}};
  r = run_lsrcheck({"-databases"}, moved);
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.out.find(home + "/texmf: TEXMFHOME is " + home + "/Library/texmf; " + home +
                       "/texmf is not searched"),
            std::string::npos)
      << r.out;
  std::string mend = json::parse(run_lsrcheck({"-databases", "-json"}, moved).out)
                         ["unsearched_home"]["mend"];
  EXPECT_TRUE(command_output(mend + " || echo failed").empty()) << mend;
  EXPECT_EQ(command_output(env_words(moved.env) + "kpsewhich -progname=tex bar.sty"),
            std::vector<std::string>{home + "/Library/texmf/tex/plain/bar/bar.sty"});
}

} // namespace
