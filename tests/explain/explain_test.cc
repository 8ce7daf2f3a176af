// The explained report on small made trees: the lookups' order, each kind
// of first hit, the copies' content and declarations, stale members, names
// that are not UTF-8, -file and -fail-on.

#include <cstring>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <regex>
#include <nlohmann/json.hpp>
#include <vector>

#include "helpers.h"

namespace {

using nlohmann::json;

// Two trees, LOCAL before DIST on TEXMF, with search paths in texmf.cnf's
// style: subdirectory before tree, and one of xelatex's own; and a home
// tree searched on disk.
struct explain_trees {
  texmf_fixture fixture;
  std::string base, local, dist, cnf;
};

explain_trees make_explain_trees()
{
  // Members list in byte order: the local tree's come first.
  texmf_fixture f = make_fixture("TEXMFLOCAL = @1local\nTEXMFDIST = @2dist\n"
                                 "TEXMFHOME = @home\n"
                                 "TEXMF = {$TEXMFHOME,!!$TEXMFLOCAL,!!$TEXMFDIST}\n"
                                 "TEXMFDBS = {!!$TEXMFLOCAL,!!$TEXMFDIST}\n"
                                 "TEXINPUTS = .;$TEXMF/tex/{$progname,generic,}//\n"
                                 "TEXINPUTS.latex = .;$TEXMF/tex/{latex,generic,}//\n"
                                 "TEXINPUTS.xelatex = .;$TEXMF/tex/{xelatex,latex,generic,}//\n"
                                 "TEXINPUTS.pdflatex = .;$TEXMF/tex/{generic,latex,}//\n"
                                 "TFMFONTS = .;$TEXMF/fonts/tfm//\nTEXFONTMAPS = .;$TEXMF/fonts/map//\n");
  return {f, f.base, f.base + "/1local", f.base + "/2dist", f.cnf};
}

// Put a file of CONTENT at PATH below TREE.
void add(explain_trees &, const std::string &tree, const std::string &path,
         const std::string &content)
{
  write_file(tree + "/" + path, content);
}

// Write each tree's ls-R with mktexlsr.
void write_databases(explain_trees &t)
{
  for (const std::string &tree : {t.local, t.dist})
    mktexlsr(tree);
}

// Run lsrcheck with ARGS on T's trees.
run_result run_on(const explain_trees &t, std::vector<std::string> args)
{
  return run_fixture(t.fixture, args);
}

// Return the JSON report's group named NAME.
json group_named(const json &report, const std::string &name)
{
  for (const json &g : report["groups"])
    if (g["name"] == name)
      return g;
  ADD_FAILURE() << "no group " << name;
  return json::object();
}

// Return the kinds of group G's findings, and "unreachable" for its note.
json kinds(const json &g)
{
  json list = json::array();
  for (const json &f : g["findings"])
    if (std::find(list.begin(), list.end(), f["kind"]) == list.end())
      list.push_back(f["kind"]);
  if (g["unreachable"] == true)
    list.push_back("unreachable");
  return list;
}

// Return the path of the first hit of group G for program P.
std::string first_hit(const json &g, size_t p)
{
  return g["lookups"][p].value("path", "") + " (" + g["lookups"][p]["kind"].get<std::string>() + ")";
}

TEST(Explain, FirstHitsFollowKpathseasOrderAndSayWhatTheyAre)
{
  explain_trees t = make_explain_trees();
  // Subdirectory before tree: the distribution's tex/latex beats the local
  // tree's tex/generic for latex.
  add(t, t.local, "tex/generic/a/order.sty", "local\n");
  add(t, t.dist, "tex/latex/a/order.sty", "dist\n");
  // A path of xelatex's own.
  add(t, t.dist, "tex/latex/b/own.cls", "latex\n");
  add(t, t.dist, "tex/xelatex/b/own.cls", "xelatex\n");
  // The name with the format's suffix added wins over the bare name.
  add(t, t.local, "tex/latex/c/bare", "1\n");
  add(t, t.dist, "tex/latex/c/bare", "2\n");
  add(t, t.local, "tex/latex/d/bare.tex", "3\n");
  // A font no search path reaches, found through a texfonts.map alias.
  add(t, t.local, "doc/x/fnt.tfm", "a");
  add(t, t.dist, "doc/y/fnt.tfm", "b");
  add(t, t.dist, "fonts/tfm/z/other.tfm", "c");
  // The first word is the file, the others its aliases.
  add(t, t.dist, "fonts/map/texfonts.map", "other fnt\n");
  write_databases(t);

  run_result r = run_on(t, {"-explain", "-json", "-progname=latex", "-progname=xelatex"});
  ASSERT_EQ(r.status, 0) << r.err;
  json report = json::parse(r.out);
  EXPECT_EQ(report["schema_version"], 4);
  struct {
    std::string name, format, latex, xelatex;
  } cases[] = {
    {"order.sty", "tex", t.dist + "/tex/latex/a/order.sty (member)",
     t.dist + "/tex/latex/a/order.sty (member)"},
    {"own.cls", "tex", t.dist + "/tex/latex/b/own.cls (member)",
     t.dist + "/tex/xelatex/b/own.cls (member)"},
    {"bare", "tex", t.local + "/tex/latex/d/bare.tex (suffix-added)",
     t.local + "/tex/latex/d/bare.tex (suffix-added)"},
    {"fnt.tfm", "tfm", t.dist + "/fonts/tfm/z/other.tfm (alias)",
     t.dist + "/fonts/tfm/z/other.tfm (alias)"},
  };
  for (const auto &c : cases) {
    json g = group_named(report, c.name);
    EXPECT_EQ(g["format"], c.format) << c.name;
    EXPECT_EQ(first_hit(g, 0), c.latex) << c.name;
    EXPECT_EQ(first_hit(g, 1), c.xelatex) << c.name;
  }
  // No program finds the fonts in doc/.
  json fonts = group_named(report, "fnt.tfm");
  EXPECT_EQ(kinds(fonts), json({"unreachable"}));
  // The local generic copy is shadowed for latex, the tree is named.
  json order = group_named(report, "order.sty");
  EXPECT_EQ(order["members"][1]["tree"], "TEXMFLOCAL");
  EXPECT_EQ(order["members"][1]["found_by"], json({"latex", "xelatex"}));
  EXPECT_EQ(order["members"][1]["loaded_by"], json::array());
  EXPECT_EQ(order["members"][0]["tree"], "TEXMFDIST");
}

TEST(Explain, AMembersTreeIsTheTreeItIsListedInNotWhereItsLinkLeads)
{
  explain_trees t = make_explain_trees();
  add(t, t.dist, "tex/latex/k/linked.sty", "z\n");
  make_dirs(t.base + "/home/tex/latex/k");
  symlink((t.dist + "/tex/latex/k/linked.sty").c_str(),
          (t.base + "/home/tex/latex/k/linked.sty").c_str());
  write_databases(t);
  json report = json::parse(run_on(t, {"-explain", "-json"}).out);
  json linked = group_named(report, "linked.sty");
  ASSERT_EQ(linked["members"].size(), 2u);
  EXPECT_EQ(linked["members"][0]["path"], t.base + "/home/tex/latex/k/linked.sty");
  EXPECT_EQ(linked["members"][0]["tree"], "TEXMFHOME");
  EXPECT_EQ(linked["members"][1]["path"], t.dist + "/tex/latex/k/linked.sty");
  EXPECT_EQ(linked["members"][1]["tree"], "TEXMFDIST");
}

TEST(Explain, ContentDeclarationsStaleMembersAndFailOn)
{
  explain_trees t = make_explain_trees();
  const std::string old_pkg = "\\ProvidesPackage{pkg}[2019/01/01 v1.0 old]\n";
  const std::string new_pkg = "%\\ProvidesPackage{pkg}[2001/01/01 v0 comment]\n"
                              "\\ProvidesPackage{pkg}[2022-03-04 v2.1 new]\n";
  add(t, t.local, "tex/latex/p/pkg.sty", old_pkg);
  add(t, t.dist, "tex/latex/p/pkg.sty", new_pkg);
  add(t, t.dist, "tex/latex/q/pkg.sty", new_pkg);
  // Identical copies of an expl3 package.
  const std::string expl = "\\ProvidesExplPackage {same} {2020/02/02} {3.4} {desc}\n";
  add(t, t.local, "tex/latex/s/same.sty", expl);
  add(t, t.dist, "tex/latex/s/same.sty", expl);
  // Listed but gone, and a dangling link.
  add(t, t.dist, "tex/latex/g/gone.sty", "x\n");
  add(t, t.local, "tex/latex/g/gone.sty", "x\n");
  add(t, t.local, "tex/latex/l/link.sty", "");
  add(t, t.dist, "tex/latex/l/link.sty", "y\n");
  write_databases(t);
  unlink((t.dist + "/tex/latex/g/gone.sty").c_str());
  unlink((t.local + "/tex/latex/l/link.sty").c_str());
  symlink("nowhere.sty", (t.local + "/tex/latex/l/link.sty").c_str());

  run_result r = run_on(t, {"-explain", "-json"});
  ASSERT_EQ(r.status, 0) << r.err;
  json report = json::parse(r.out);
  json pkg = group_named(report, "pkg.sty");
  EXPECT_EQ(pkg["members"][0]["date"], "2019/01/01");
  EXPECT_EQ(pkg["members"][0]["version"], "v1.0");
  EXPECT_EQ(pkg["members"][1]["date"], "2022-03-04");
  EXPECT_EQ(pkg["members"][1]["content"], pkg["members"][2]["content"]);
  EXPECT_NE(pkg["members"][0]["content"], pkg["members"][1]["content"]);
  EXPECT_EQ(pkg["members"][1]["differs_from_loaded"], true);
  EXPECT_EQ(kinds(pkg), json({"differ", "older"}));
  json same = group_named(report, "same.sty");
  EXPECT_EQ(same["members"][0]["date"], "2020/02/02");
  EXPECT_EQ(same["members"][0]["version"], "v3.4"); // LaTeX puts the v before it
  EXPECT_EQ(kinds(same), json::array());
  EXPECT_EQ(group_named(report, "gone.sty")["members"][1]["state"], "missing");
  EXPECT_EQ(group_named(report, "link.sty")["members"][1]["state"], "dangling");
  EXPECT_EQ(kinds(group_named(report, "link.sty")), json({"stale"}));
  EXPECT_EQ(report["summary"]["stale"], 2);
  EXPECT_EQ(report["summary"]["older"], 1);
  // In the text, a member gone from disk is said to be gone, never "not on
  // their paths"; the summary counts only the members said to be that.
  std::string text = run_on(t, {"-explain"}).out;
  size_t unfound = 0;
  for (size_t at = 0; (at = text.find("(not on their paths)\n", at)) != std::string::npos; at++)
    unfound++;
  // The listed file is a stale entry; the link is what to mend, whatever
  // mktexlsr does.
  for (const char *said : {"      gone (stale ls-R entry)\n", "      gone (a dangling link)\n",
                           "[2] is gone from disk (stale ls-R entry)\n",
                           "[2] is gone from disk (a dangling link)\n"}) {
    size_t gone = 0;
    for (size_t at = 0; (at = text.find(said, at)) != std::string::npos; at++)
      gone++;
    EXPECT_EQ(gone, 1u) << said << text;
  }
  EXPECT_NE(text.find("members none of the programs finds"), std::string::npos);
  EXPECT_NE(text.find("; " + std::to_string(unfound) + " members none of the programs finds."),
            std::string::npos)
      << text;

  // Each kind fails the run with status 3 only where it was found.
  struct {
    std::vector<std::string> args;
    int status;
  } cases[] = {
    {{"-fail-on=differ"}, 3}, {{"-fail-on=older"}, 3}, {{"-fail-on=stale"}, 3},
    {{"-fail-on=unreachable"}, 0}, {{"-fail-on=any"}, 3},
    {{"-fail-on=differ,stale", "-file=same.sty"}, 0},
    {{"-fail-on", "older", "-file=pkg.*"}, 3},
    {{"-fail-on=newer"}, 1}, {{"-fail-on=differ,"}, 1},
  };
  for (const auto &c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "-explain");
    run_result f = run_on(t, args);
    EXPECT_EQ(f.status, c.status) << c.args[0];
    if (c.status == 1) {
      EXPECT_NE(f.err.find("lsrcheck: -fail-on: unknown kind"), std::string::npos) << f.err;
    }
  }
}

TEST(Explain, FileKeepsMatchingNamesAndTextReportReads)
{
  explain_trees t = make_explain_trees();
  add(t, t.local, "tex/latex/a/Array.sty", "1\n");
  add(t, t.dist, "tex/latex/a/array.sty", "1\n");
  add(t, t.dist, "tex/latex/b/other.sty", "2\n");
  add(t, t.local, "tex/latex/b/other.sty", "3\n");
  write_databases(t);

  run_result r = run_on(t, {"-file=ARRAY.*", "-explain", "-progname=latex"});
  EXPECT_EQ(r.status, 0) << r.err;
  // Times are the files' own; the rest is fixed.
  std::string text = std::regex_replace(r.out, std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{5}"),
                                        "TIME");
  EXPECT_EQ(text,
            "2 files in your databases.\n"
            "Which copy latex loads, looked up as from a directory without TeX files.\n\n"
            "Array.sty (format tex)\n"
            "  latex        loads [1]\n"
            "  [1] " + t.local + "/tex/latex/a/Array.sty\n"
            "      TEXMFLOCAL, 2 bytes, TIME, content A\n"
            "      loaded by latex\n"
            "  [2] " + t.dist + "/tex/latex/a/array.sty\n"
            "      TEXMFDIST, 2 bytes, TIME, content A\n"
            "      loaded by latex\n\n"
            "Summary: 1 group; 0 with problems (0 differ, 0 older, 0 stale); 0 with findings "
            "of the distribution's own; 0 members none of the programs finds.\n");
  // The plain report keeps the same files, and -file alone asks for it.
  run_result plain = run_on(t, {"-file=ARRAY.*"});
  EXPECT_EQ(plain.out.substr(0, 26), "2 files in your databases.");
  EXPECT_NE(plain.out.find("/array.sty\n"), std::string::npos) << plain.out;
  EXPECT_EQ(run_on(t, {"-file=ARRAY.*", "-m"}).out, plain.out);
  EXPECT_EQ(run_on(t, {"-file=nothing*", "-file=ARRAY.*", "-m"}).out, plain.out);
}

TEST(Explain, TextLeadsWithTheProblemsAndCountsTheRest)
{
  explain_trees t = make_explain_trees();
  // Two quiet groups (same bytes) and one with a problem, whose name sorts last.
  for (const char *name : {"a1.sty", "a2.sty"}) {
    add(t, t.local, std::string("tex/latex/q/") + name, "same\n");
    add(t, t.dist, std::string("tex/latex/q/") + name, "same\n");
  }
  add(t, t.local, "tex/latex/p/zz.sty", "mine\n");
  add(t, t.dist, "tex/latex/p/zz.sty", "theirs\n");
  write_databases(t);
  struct {
    std::vector<std::string> args;
    std::vector<std::string> groups; // the groups printed, in order
    bool counted;                    // the quiet ones counted in a line
  } cases[] = {
    {{"-explain"}, {"zz.sty"}, true},
    {{"-explain", "-verbose"}, {"zz.sty", "a1.sty", "a2.sty"}, false},
    {{"-explain", "-file=*.sty"}, {"zz.sty", "a1.sty", "a2.sty"}, false},
    {{"-explain", "-file=a1.sty"}, {"a1.sty"}, false},
  };
  for (const auto &c : cases) {
    run_result r = run_on(t, c.args);
    std::vector<std::string> groups;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
      if (line.find(" (format tex)") != std::string::npos)
        groups.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(groups, c.groups) << c.args.back();
    EXPECT_EQ(r.out.find("2 groups without a problem; -verbose lists them\n") != std::string::npos,
              c.counted)
        << r.out;
    EXPECT_NE(r.out.find(c.groups.size() == 1 && !c.counted ? "Summary: 1 group;"
                                                               : "Summary: 3 groups;"),
              std::string::npos)
        << r.out;
  }
}

// Return the paths kpsewhich -all lists for NAME as PROGRAM on T's trees.
std::vector<std::string> kpsewhich_all(const explain_trees &t, const std::string &program,
                                       const std::string &name)
{
  std::string command = "cd / && TEXMFCNF='" + t.cnf + "' kpsewhich -all -progname=" + program +
                        " '" + name + "' 2>/dev/null";
  return command_output(command);
}

TEST(Explain, PlantedTrapsFailAnyAndNameTheCopyWhileAStockSetIsQuiet)
{
  const std::string dated = "\\ProvidesPackage{trap}\n  [2022/05/05 v2.0 the real one]\n";
  const std::string older = "\\ProvidesPackage{trap}%\n  [2019/01/01 v1.0 an old copy]\n";
  const std::string edited = "\\ProvidesPackage{trap}\n  [2022/05/05 v2.0 the real one]\n% mine\n";
  struct {
    const char *what;
    const char *tree;    // where the planted copy goes: home, local, or "" for none
    const char *path;    // below it
    std::string content;
    bool removed;        // the planted copy removed once its ls-R lists it
    bool swapped;        // the distribution's tex/latex copy older than its tex/generic one
    int status;          // of -fail-on=any
    const char *finding; // the kind that names the planted copy
  } cases[] = {
    {"stock", "", "", "", false, false, 0, ""},
    {"old copy in TEXMFHOME", "home", "tex/latex/old/trap.sty", older, false, false, 3, "older"},
    {"old copy in TEXMFLOCAL after mktexlsr", "local", "tex/latex/old/trap.sty", older, false,
     false, 3, "older"},
    {"edited copy with the same date", "home", "tex/latex/mine/trap.sty", edited, false, false,
     3, "differ"},
    {"stale entry in a tree of one's own", "local", "tex/latex/gone/trap.sty", "", true, false, 3,
     "stale"},
    {"latex loads the older copy, pdflatex the newer", "", "", "", false, true, 3, "older"},
  };
  for (const auto &c : cases) {
    explain_trees t = make_explain_trees();
    // The distribution's copies: identical in two places, owned by nobody
    // here, but the same bytes and date.
    add(t, t.dist, "tex/latex/trap/trap.sty", dated);
    add(t, t.dist, "tex/latex/base/same.sty", dated);
    add(t, t.local, "tex/latex/base/same.sty", dated);
    std::string planted;
    if (c.swapped) {
      add(t, t.dist, "tex/generic/trap/trap.sty", older); // behind the latex one for latex
      write_file(t.dist + "/tex/latex/trap/trap.sty", older);
      write_file(t.dist + "/tex/generic/trap/trap.sty", dated);
      planted = t.dist + "/tex/latex/trap/trap.sty";
    } else if (std::string(c.tree) == "home") {
      planted = t.base + "/home/" + c.path;
      write_file(planted, c.content);
    } else if (std::string(c.tree) == "local") {
      planted = t.local + "/" + c.path;
      add(t, t.local, c.path, c.content);
    }
    write_databases(t);
    if (c.removed)
      unlink(planted.c_str());
    run_result r = run_on(t, {"-explain", "-json", "-fail-on=any"});
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.err;
    json report = json::parse(r.out);
    if (c.status == 3) {
      json g = group_named(report, "trap.sty");
      bool named = false;
      for (const json &f : g["findings"]) {
        std::string text = f["text"];
        for (size_t i = 0; i < g["members"].size(); i++)
          if (g["members"][i]["path"] == planted && f["kind"] == c.finding &&
              text.find("[" + std::to_string(i + 1) + "]") != std::string::npos)
            named = true;
      }
      EXPECT_TRUE(named) << c.what << "\n" << g.dump(1);
      if (std::string(c.tree) == "home") {
        EXPECT_NE(g.dump().find("\"on_disk\":true"), std::string::npos) << c.what;
      }
    }
    // Every copy kpsewhich finds for a grouped name is a member.
    for (const json &g : report["groups"])
      for (const char *program : {"latex", "pdflatex"}) {
        std::set<std::string> members;
        for (const json &m : g["members"])
          members.insert(m["path"].get<std::string>());
        for (const std::string &hit : kpsewhich_all(t, program, g["name"]))
          EXPECT_TRUE(members.count(hit)) << c.what << ": " << hit;
      }
  }
}

// Return the paths of group G's members, in their numbering.
std::vector<std::string> member_paths(const json &g)
{
  std::vector<std::string> paths;
  for (const json &m : g["members"])
    paths.push_back(m["path"]);
  return paths;
}

TEST(Explain, OlderMeansOlderThanTheCopyThatWouldTakeItsPlace)
{
  // For latex: the home copy, then the local tree's tex/latex, then the
  // distribution's tex/generic (reached last, as a pre-release is).
  auto doc = [](const char *date) {
    return std::string("\\ProvidesPackage{doc}[") + date + " v1]\n";
  };
  struct {
    const char *what;
    const char *home, *local, *dist; // dates; "" for no copy there
    const char *older;               // the finding's text, "" for none
  } cases[] = {
    {"newer than the next, older than one further back", "2022/09/01", "2022/07/03",
     "2022/11/13", ""},
    {"older than the next", "2019/01/01", "2022/07/03", "2018/01/01",
     "the loaded copy [1] declares 2019/01/01, older than the copy behind it, [2] "
     "(2022/07/03): removing [1] would load [2]"},
    {"the next declares no date: no verdict", "2019/01/01", "", "2022/11/13", ""},
  };
  for (const auto &c : cases) {
    explain_trees t = make_explain_trees();
    write_file(t.base + "/home/tex/latex/doc/doc.sty", doc(c.home));
    add(t, t.local, "tex/latex/doc/doc.sty", *c.local ? doc(c.local) : "no date\n");
    add(t, t.dist, "tex/generic/doc/doc.sty", doc(c.dist));
    write_databases(t);
    run_result r = run_on(t, {"-explain", "-json", "-progname=latex"});
    json g = group_named(json::parse(r.out), "doc.sty");
    // Numbered in latex's search order, as kpsewhich -all lists them.
    EXPECT_EQ(member_paths(g), kpsewhich_all(t, "latex", "doc.sty")) << c.what;
    // (LaTeX, with no format in these trees, gives no dates: the finding
    // says so behind its text.)
    std::string older;
    for (const json &f : g["findings"])
      if (f["kind"] == "older")
        older = f["text"];
    EXPECT_EQ(older.substr(0, strlen(c.older)), c.older) << c.what;
    EXPECT_EQ(older.empty(), !*c.older) << c.what;
  }
}

TEST(Explain, EachProgramIsAskedOnlyAboutWhatItReadsInItsOwnFormat)
{
  explain_trees t = make_explain_trees();
  write_file(t.cnf + "/texmf.cnf",
             read_file(t.cnf + "/texmf.cnf") +
                 "TEXCONFIG = $TEXMF/dvips//\nWEB2C = $TEXMF/web2c\n"
                 "BSTINPUTS = .;$TEXMF/bibtex/bst//\nTEXINDEXSTYLE = .;$TEXMF/makeindex//\n");
  for (const std::string &tree : {t.local, t.dist}) {
    add(t, tree, "dvips/config/config.ps", tree + "\n");
    add(t, tree, "dvips/config/config-paper.ps", tree + "\n");
    add(t, tree, "web2c/updmap.cfg", tree + "\n");
    add(t, tree, "bibtex/bst/mine.bst", tree + "\n");
    add(t, tree, "makeindex/mine.ist", tree + "\n");
  }
  write_databases(t);
  struct {
    const char *name, *program, *format; // the lookup kpsewhich makes
  } cases[] = {
    {"config.ps", "dvips", "dvips config"},    {"config-paper.ps", "dvips", "dvips config"},
    {"updmap.cfg", "updmap", "web2c files"},   {"mine.bst", "bibtex", "bst"},
    {"mine.ist", "makeindex", "ist"},          {"config.ps", "latex", ""},
    {"updmap.cfg", "latex", ""},               {"mine.bst", "latex", ""},
  };
  for (const auto &c : cases) {
    run_result r = run_on(t, {"-explain", "-json", std::string("-progname=") + c.program,
                              std::string("-file=") + c.name});
    json lookup = group_named(json::parse(r.out), c.name)["lookups"][0];
    if (!*c.format) {
      EXPECT_EQ(lookup["kind"], "not-read") << c.name << " " << c.program;
      continue;
    }
    std::vector<std::string> found =
        command_output("cd / && TEXMFCNF='" + t.cnf + "' kpsewhich -progname=" + c.program +
                       " -format='" + c.format + "' " + c.name);
    ASSERT_EQ(found.size(), 1u) << c.name;
    EXPECT_EQ(lookup["path"], found[0]) << c.name << " " << c.program;
    EXPECT_EQ(lookup["format"], c.format) << c.name;
  }
  // The default programs say in one line that they do not read a kind,
  // and who does; copies no one of them reads are no finding.
  run_result r = run_on(t, {"-explain", "-file=updmap.cfg", "-fail-on=any"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\n  latex, pdflatex, lualatex, xelatex do not read web2c files; updmap, "
                       "fmtutil read them\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("0 members none of the programs finds"), std::string::npos) << r.out;
  // The text names a format of the program's own, the one to look it up in.
  r = run_on(t, {"-explain", "-progname=dvips", "-file=config-paper.ps"});
  EXPECT_NE(r.out.find("\n  dvips        loads [1], looked up as dvips config\n"),
            std::string::npos)
      << r.out;
}

TEST(Explain, AcceptedFindingsFailNothingUntilTheirContentsChange)
{
  struct {
    const char *what;
    const char *accepted; // the accepted file's content; "" for the first report
    const char *mine;     // the local copy's content now
    bool second_trap;     // another group with a new finding
    int status;           // of -fail-on=any
    const char *err;
  } cases[] = {
    {"the same findings", "", "mine\n", false, 0, ""},
    {"the local copy edited since", "", "mine, edited\n", false, 3, ""},
    {"a new finding beside", "", "mine\n", true, 3, ""},
    {"no JSON", "not json", "mine\n", false, 1, "is not a report of -explain -json"},
    {"another report's JSON", "{\"schema_version\": 3, \"trees\": []}", "mine\n", false, 1,
     "is not a report of -explain -json"},
    {"a report without members", "{\"schema_version\": 3, \"programs\": [], \"groups\": "
     "[{\"name\": \"x\", \"findings\": [{\"kind\": \"differ\", \"members\": [1]}]}]}",
     "mine\n", false, 1, "is not a report of -explain -json: key 'members' not found"},
  };
  for (const auto &c : cases) {
    explain_trees t = make_explain_trees();
    add(t, t.local, "tex/latex/p/kept.sty", "mine\n");
    add(t, t.dist, "tex/latex/p/kept.sty", "theirs\n");
    add(t, t.local, "tex/latex/p/other.sty", "same\n");
    add(t, t.dist, "tex/latex/p/other.sty", "same\n");
    write_databases(t);
    std::string accepted = t.base + "/accepted.json";
    write_file(accepted, *c.accepted ? c.accepted : run_on(t, {"-explain", "-json"}).out);
    write_file(t.local + "/tex/latex/p/kept.sty", c.mine);
    if (c.second_trap)
      write_file(t.local + "/tex/latex/p/other.sty", "changed\n");
    run_result r = run_on(t, {"-explain", "-fail-on=any", "-accept=" + accepted});
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.what << "\n" << r.err;
    if (c.status == 0) {
      EXPECT_NE(r.out.find("2 groups without a problem (1 with accepted findings)"),
                std::string::npos)
          << r.out;
      std::string all = run_on(t, {"-explain", "-verbose", "-accept=" + accepted}).out;
      EXPECT_NE(all.find("  finding (accepted): the loaded copy [1] differs from [2]"),
                std::string::npos)
          << all;
    }
  }
  // Without the file: status 1 and why.
  explain_trees t = make_explain_trees();
  run_result r = run_on(t, {"-explain", "-accept=" + t.base + "/none.json"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("lsrcheck: -accept: cannot read " + t.base + "/none.json"),
            std::string::npos)
      << r.err;
}

TEST(Explain, NamesThatAreNotUtf8ComeThroughJsonWhole)
{
  explain_trees t = make_explain_trees();
  const std::string name = "\xff\xfe-\xc3\xa9.sty";
  add(t, t.local, "tex/latex/u/" + name, "1\n");
  add(t, t.dist, "tex/latex/u/" + name, "2\n");
  write_databases(t);
  run_result r = run_on(t, {"-explain", "-json", "-progname=latex"});
  ASSERT_EQ(r.status, 0) << r.err;
  json report = json::parse(r.out);
  ASSERT_EQ(report["groups"].size(), 1u);
  const json &g = report["groups"][0];
  EXPECT_EQ(g["name_bytes"], "fffe2dc3a92e737479");
  EXPECT_EQ(g["name"], "\xef\xbf\xbd\xef\xbf\xbd-\xc3\xa9.sty");
  EXPECT_EQ(g["members"][0].count("path_bytes"), 1u);
  EXPECT_EQ(g["lookups"][0]["kind"], "member");
}

} // namespace

namespace {

// What Kpathsea itself reads decides what loads: a name matched in another
// case in a tree searched on disk (kpsewhich lists it first), and every
// texmf.cnf on the configuration path (Kpathsea reads them all).
TEST(Explain, KpathseasOwnMatchingDecidesWhatLoads)
{
  explain_trees t = make_explain_trees();
  write_file(t.cnf + "/texmf.cnf", read_file(t.cnf + "/texmf.cnf") + "texmf_casefold_search = 1\n");
  write_file(t.base + "/home/tex/latex/caps/Folded.sty", "\\ProvidesPackage{folded}[2019/01/01 v1]\n");
  add(t, t.dist, "tex/latex/f/folded.sty", "\\ProvidesPackage{folded}[2022/02/02 v2]\n");
  add(t, t.local, "tex/latex/x/folded.sty", "\\ProvidesPackage{folded}[2022/02/02 v2]\n");
  // Two configuration files, both on TEXMFCNF, that differ.
  add(t, t.local, "web2c/texmf.cnf", read_file(t.cnf + "/texmf.cnf"));
  add(t, t.dist, "web2c/texmf.cnf", "% the second\n");
  write_databases(t);
  run_options opts;
  opts.env = {{"TEXMFCNF", t.local + "/web2c:" + t.dist + "/web2c"}};
  run_result r = run_fixture(t.fixture, {"-explain", "-json", "-progname=latex"}, opts);
  ASSERT_EQ(r.status, 0) << r.err;
  json report = json::parse(r.out);
  std::string kpsewhich = "cd / && TEXMFCNF='" + t.local + "/web2c:" + t.dist + "/web2c' kpsewhich -all ";

  // The folded name: loaded, compared with the copy behind it, older.
  std::vector<std::string> folded = command_output(kpsewhich + "folded.sty");
  ASSERT_FALSE(folded.empty());
  json g = group_named(report, "folded.sty");
  EXPECT_EQ(member_paths(g)[0], folded[0]);
  EXPECT_EQ(g["members"][0]["loaded_by"], json({"latex"}));
  EXPECT_EQ(kinds(g), json({"differ", "older"}));
  for (const json &f : g["findings"])
    EXPECT_EQ(f["looked_up_as"], "folded.sty") << f.dump();
  EXPECT_EQ(run_fixture(t.fixture, {"-explain", "-fail-on=older", "-progname=latex"}, opts).status,
            3);

  // texmf.cnf: every copy read, none shadowed, no finding.
  std::vector<std::string> cnf = command_output(kpsewhich + "-format=cnf texmf.cnf");
  json c = group_named(report, "texmf.cnf");
  EXPECT_EQ(member_paths(c), cnf);
  EXPECT_EQ(c["all_read"], true);
  for (const json &m : c["members"])
    EXPECT_EQ(m["loaded_by"], json({"latex"})) << m.dump();
  EXPECT_EQ(c["findings"], json::array());
}

} // namespace

namespace {

// Each program is asked about a file as its runs read it: pdfTeX never
// reads Lua; a TeX engine inputs a file of any kind as TeX where its
// kind's format finds nothing (a package's \input of a .map); MetaPost's
// input reads a .mf along its own path.  kpsewhich, asked in the format
// the report names, is the oracle.
TEST(Explain, EachProgramLooksANameUpAsItsRunsRead)
{
  explain_trees t = make_explain_trees();
  write_file(t.cnf + "/texmf.cnf", read_file(t.cnf + "/texmf.cnf") +
                                       "LUAINPUTS = .;$TEXMF/tex/{luatex,generic,}//\n"
                                       "MPINPUTS = .;$TEXMF/metapost//\n");
  for (const std::string &tree : {t.local, t.dist}) {
    add(t, tree, "tex/generic/f/functions.lua", tree + "\n");
    add(t, tree, "tex/generic/i/ibycus.map", tree + "\n");
    add(t, tree, "metapost/m/local.mf", tree + "\n");
  }
  write_databases(t);
  struct {
    const char *name, *program;
    const char *format; // where the program finds it, "" where it reads none
  } cases[] = {
    {"functions.lua", "pdflatex", ""},
    {"functions.lua", "lualatex", "lua"},
    {"ibycus.map", "pdflatex", "tex"},
    {"local.mf", "mpost", "mp"},
  };
  for (const auto &c : cases) {
    run_result r = run_fixture(t.fixture, {"-explain", "-json", std::string("-progname=") + c.program,
                                           std::string("-file=") + c.name});
    json lookup = group_named(json::parse(r.out), c.name)["lookups"][0];
    if (!*c.format) {
      EXPECT_EQ(lookup["kind"], "not-read") << c.name << " " << c.program;
      EXPECT_EQ(run_fixture(t.fixture, {"-explain", "-fail-on=differ",
                                        std::string("-progname=") + c.program,
                                        std::string("-file=") + c.name})
                    .status,
                0);
      continue;
    }
    std::vector<std::string> found =
        command_output("cd / && TEXMFCNF='" + t.cnf + "' kpsewhich -progname=" + c.program +
                       " -format='" + c.format + "' " + c.name);
    ASSERT_EQ(found.size(), 1u) << c.name << " " << c.program;
    EXPECT_EQ(lookup["path"], found[0]) << c.name << " " << c.program;
    EXPECT_EQ(lookup["format"], c.format) << c.name << " " << c.program;
  }
}

} // namespace
