// The dates that decide "older", asked of the machine's own LaTeX: copies
// planted in two home trees, where a reading of the file alone would give
// another date than LaTeX records, or none.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "helpers.h"

namespace {

using json = nlohmann::json;

// Plant MINE and OTHER as NAME (in tex/latex/t) in the two home trees
// HOME/a and HOME/b, the first the one latex loads, and return the run of
// -explain -json -file=NAME over them with the variables ENV set besides.
run_result explain_two_copies(const std::string &home, const std::string &name,
                              const std::string &mine, const std::string &other,
                              const std::vector<std::pair<std::string, std::string>> &env)
{
  write_file(home + "/a/tex/latex/t/" + name, mine);
  write_file(home + "/b/tex/latex/t/" + name, other);
  run_options opts;
  opts.env = {{"TEXMFHOME", "{" + home + "/a," + home + "/b}"}, {"HOME", home}};
  opts.env.insert(opts.env.end(), env.begin(), env.end());
  return run_lsrcheck({"-explain", "-json", "-file=" + name}, opts);
}

TEST(ExplainLatex, OlderIsJudgedOnTheDatesLatexRecords)
{
  if (command_output("command -v latex").empty())
    GTEST_SKIP() << "latex is not installed";
  const std::string newer = "\\ProvidesPackage{lsrtrap}[2022/02/02 v2 new]\n";
  struct {
    const char *what;
    std::string mine;       // the copy latex loads, in the first home tree
    std::string beside;     // another file of the first tree, "" for none
    const char *date;       // what LaTeX records for the loaded copy ("" none)
    bool older;
    bool same = false;      // the other copy has the same bytes as the loaded one
  } cases[] = {
    {"identical copies, one beside the file it inputs", "\\input{lsrtrap-version.tex}\n",
     "tex/latex/t/lsrtrap-version.tex|\\ProvidesPackage{lsrtrap}[2019/01/01 v1 old]\n",
     "2019/01/01", false, true},
    {"the date of a file it inputs through Kpathsea", "\\input{lsrtrap-version.tex}\n",
     "tex/latex/v/lsrtrap-version.tex|\\ProvidesPackage{lsrtrap}[2019/01/01 v1 old]\n",
     "2019/01/01", true},
    {"a package loaded first declares for itself",
     "\\RequirePackage{lsrother}\n\\ProvidesPackage{lsrtrap}[2023/03/03 v3]\n",
     "tex/latex/o/lsrother.sty|\\ProvidesPackage{lsrother}[2010/01/01 v0]\n", "2023/03/03", false},
    {"a declaration behind \\endinput", "\\endinput\n\\ProvidesPackage{lsrtrap}[2010/01/01 v0]\n",
     "", "", false},
    {"a blank line before the optional argument",
     "\\ProvidesPackage{lsrtrap}\n\n[2010/01/01 v0]\n", "", "", false},
    {"a declaration under \\iffalse", "\\iffalse\n\\ProvidesPackage{lsrtrap}[2010/01/01 v0]\n\\fi\n"
     "\\ProvidesPackage{lsrtrap}[2023/01/01 v3]\n", "", "2023/01/01", false},
  };
  for (const auto &c : cases) {
    std::string home = make_temp_dir(), tmp = make_temp_dir();
    if (!c.beside.empty())
      write_file(home + "/a/" + c.beside.substr(0, c.beside.find('|')),
                 c.beside.substr(c.beside.find('|') + 1));
    run_result r = explain_two_copies(home, "lsrtrap.sty", c.mine, c.same ? c.mine : newer,
                                      {{"TMPDIR", tmp}});
    json report = json::parse(r.out);
    ASSERT_EQ(report["groups"].size(), 1u) << c.what << r.err;
    const json &g = report["groups"][0];
    EXPECT_EQ(g["members"][0]["path"], home + "/a/tex/latex/t/lsrtrap.sty") << c.what;
    EXPECT_EQ(g["members"][0]["date"], *c.date ? json(c.date) : json(nullptr)) << c.what;
    if (c.same) {
      // No difference, so no LaTeX: the same bytes show the same reading.
      EXPECT_EQ(g["members"][1]["date"], c.date) << c.what;
      EXPECT_EQ(g["findings"], json::array()) << c.what;
      continue;
    }
    EXPECT_EQ(g["members"][0]["date_source"], "latex") << c.what;
    EXPECT_EQ(g["members"][1]["date"], "2022/02/02") << c.what;
    EXPECT_EQ(g["members"][1]["date_source"], "latex") << c.what;
    bool older = false;
    for (const json &f : g["findings"])
      older = older || f["kind"] == "older";
    EXPECT_EQ(older, c.older) << c.what << "\n" << g.dump(1);
    // LaTeX ran in a directory of its own, gone with what LaTeX wrote.
    EXPECT_EQ(command_output("ls -A " + tmp), std::vector<std::string>()) << c.what;
  }
}

// The date LaTeX records for the file NAME in DIR when PROGRAM loads it by
// its name, found there by Kpathsea as in a document's run: the oracle,
// made without the tool, read from the line LaTeX's declaration writes to
// its log ("Package: NAME DATE ...", babel's "Language: NAME DATE ...",
// a file's "File: NAME DATE ...").
std::string recorded_date(const std::string &program, const std::string &dir,
                          const std::string &name)
{
  std::string stem = name.substr(0, name.rfind('.')), ext = name.substr(stem.size());
  std::string load = "\\input{" + name + "}", logged = "File: " + name;
  if (ext == ".ldf")
    load = "\\RequirePackage[english]{babel}" + load, logged = "Language: " + stem;
  else if (ext == ".sty")
    load = "\\RequirePackage{" + stem + "}", logged = "Package: " + stem;
  std::string job = make_temp_dir();
  write_file(job + "/h.tex", load + "\\csname @@end\\endcsname\n");
  std::vector<std::string> out = command_output(
      "cd " + job + " && HOME='" + job + "' TEXMFVAR='" + job + "' TEXINPUTS='" + dir +
      "//:' MKTEXFMT=0 MKTEXTFM=0 MKTEXPK=0 max_print_line=10000 " +
      program + " -interaction=nonstopmode h.tex >/dev/null 2>&1 </dev/null; sed -n 's/^" +
      logged + " \\([0-9/]*\\) .*$/\\1/p' h.log");
  return out.empty() ? "" : out.back();
}

// Each program's verdict rests on the date its own engine's LaTeX records
// for the file, loaded as a run loads it, whatever its path, however it
// declares itself, and whatever it writes.
TEST(ExplainLatex, EachProgramsVerdictRestsOnItsOwnLatex)
{
  if (command_output("command -v latex").empty())
    GTEST_SKIP() << "latex is not installed";
  struct {
    const char *what;
    std::string dir;  // below the first home tree
    std::string name;
    std::string mine;      // the copy loaded; the other declares 2022/02/02
    std::string saved = ""; // the loaded copy's file name, where not NAME
  } cases[] = {
    {"a path TeX reads as commands", "tex/latex/my_tools/a b#c%d~e&f$g^h\xc3\xa9", "lsrtrap.sty",
     "\\ProvidesPackage{lsrtrap}[2019/01/01 v1 old]\n"},
    {"a file that writes the answer it wants", "tex/latex/t", "lsrtrap.sty",
     "\\ProvidesPackage{lsrtrap}[2019/01/01 v1 old]\n"
     "\\immediate\\write17{LSRCHECK-DECLARED:2099/12/31 v9}\\immediate\\write17{LSRCHECK-NONE}"
     "\\stop\n"},
    {"a date that depends on the engine", "tex/latex/t", "lsrtrap.sty",
     "\\ifdefined\\directlua\\ProvidesPackage{lsrtrap}[2023/03/03 v3 lua]\n"
     "\\else\\ProvidesPackage{lsrtrap}[2019/01/01 v1 old]\\fi\n"},
    {"a babel language", "tex/generic/t", "lsrtrap.ldf",
     "\\ProvidesLanguage{lsrtrap}[2019/01/01 v1 old]\n"},
    // Kpathsea finds it for lsrtrap.sty, the name matched in another case.
    {"saved in capitals", "tex/latex/t", "lsrtrap.sty",
     "\\ProvidesPackage{lsrtrap}[2019/01/01 v1 old]\n", "LSRTRAP.STY"},
    {"a file saved in capitals", "tex/latex/t", "lsrtrap.cfg",
     "\\ProvidesFile{lsrtrap.cfg}[2019/01/01 v1 old]\n", "LsrTrap.CFG"},
  };
  for (const auto &c : cases) {
    std::string home = make_temp_dir();
    std::string ext = c.name.substr(c.name.rfind('.'));
    std::string other = ext == ".ldf"   ? "\\ProvidesLanguage{lsrtrap}[2022/02/02 v2 new]\n"
                        : ext == ".sty" ? "\\ProvidesPackage{lsrtrap}[2022/02/02 v2 new]\n"
                                        : "\\ProvidesFile{lsrtrap" + ext + "}[2022/02/02 v2 new]\n";
    write_file(home + "/a/" + c.dir + "/" + (c.saved.empty() ? c.name : c.saved), c.mine);
    write_file(home + "/b/" + c.dir + "/" + c.name, other);
    std::vector<std::string> programs = {"latex", "pdflatex"};
    if (!command_output("command -v lualatex").empty())
      programs.push_back("lualatex");
    run_options opts;
    opts.env = {{"TEXMFHOME", "{" + home + "/a," + home + "/b}"}, {"HOME", home}};
    std::vector<std::string> args = {"-explain", "-json", "-file=" + c.name};
    if (!c.saved.empty())
      args.push_back("-file=" + c.saved);
    for (const std::string &p : programs)
      args.push_back("-progname=" + p);
    run_result r = run_lsrcheck(args, opts);
    ASSERT_EQ(r.status, 0) << c.what << r.err;
    json g = json::parse(r.out)["groups"][0];
    for (size_t p = 0; p < programs.size(); p++) {
      std::string mine = recorded_date(programs[p], home + "/a", c.name),
                  theirs = recorded_date(programs[p], home + "/b", c.name);
      ASSERT_FALSE(mine.empty() || theirs.empty()) << c.what << " " << programs[p];
      std::string older; // the older finding's text for this program
      for (const json &f : g["findings"])
        for (const json &q : f["programs"])
          if (f["kind"] == "older" && q == programs[p])
            older = f["text"];
      EXPECT_EQ(!older.empty(), mine < theirs)
          << c.what << " " << programs[p] << "\n" << g.dump(1);
      if (!older.empty()) {
        EXPECT_NE(older.find(" declares " + mine + ","), std::string::npos) << older;
      }
    }
    EXPECT_EQ(g["members"][0]["date_source"], "latex") << c.what << g.dump(1);
  }
}

// LaTeX likely to be asked is started before the lookups and waits for its
// question; the answer is LaTeX's own however the run was started: by a
// LaTeX started ahead, by a run of its own where the one started ahead
// refused its first line (openin_any=p refuses the standard input), or
// where more is asked than was started ahead (two packages, four copies,
// on a machine of fewer cores).  Where nothing is asked after all, nothing
// is left behind.
TEST(ExplainLatex, TheAnswerIsLatexsHoweverTheRunIsStarted)
{
  if (command_output("command -v latex").empty())
    GTEST_SKIP() << "latex is not installed";
  struct {
    const char *what;
    std::string mine, mine_dir; // the copy latex loads, in HOME/a/MINE_DIR
    const char *openin_any;
    bool asked;
    bool two = false; // a second package, lsrtrapb.sty, planted the same way
    const char *name = "lsrtrap";
  } cases[] = {
    {"started ahead", "\\ProvidesPackage{lsrtrap}[2019/01/01 v1 older]\n", "tex/latex/t", "a",
     true},
    // Its other copies are in the databases: started before the groups
    // are known.
    {"started with the databases", "\\ProvidesPackage{lsrtrap}[2019/01/01 v1 older]\n",
     "tex/latex/t", "a", true, false, "array"},
    {"the one started ahead refuses", "\\ProvidesPackage{lsrtrap}[2019/01/01 v1 older]\n",
     "tex/latex/t", "p", true},
    {"more asked than started ahead", "\\ProvidesPackage{lsrtrap}[2019/01/01 v1 older]\n",
     "tex/latex/t", "a", true, true},
    {"foreseen, nothing asked", "\\ProvidesPackage{lsrtrap}[2019/01/01 v1 older]\n", "doc/t",
     "a", false},
  };
  for (const auto &c : cases) {
    std::string home = make_temp_dir(), tmp = make_temp_dir();
    for (std::string name : {std::string(c.name), std::string(c.name) + "b"}) {
      if (name != c.name && !c.two)
        break;
      std::string mine = c.mine;
      mine.replace(mine.find("lsrtrap"), 7, name);
      write_file(home + "/a/" + c.mine_dir + "/" + name + ".sty", mine);
      write_file(home + "/b/tex/latex/t/" + name + ".sty",
                 "\\ProvidesPackage{" + name + "}[2022/02/02 v2 new]\n");
    }
    run_options opts;
    opts.env = {{"TEXMFHOME", "{" + home + "/a," + home + "/b}"}, {"HOME", home},
                {"TMPDIR", tmp}, {"openin_any", c.openin_any}};
    run_result r = run_lsrcheck(
        {"-explain", "-json", "-file=" + std::string(c.name) + (c.two ? "*.sty" : ".sty"),
         "-progname=latex"},
        opts);
    ASSERT_EQ(r.status, 0) << c.what << r.err;
    json groups = json::parse(r.out)["groups"];
    ASSERT_EQ(groups.size(), c.two ? 2u : 1u) << c.what << r.out;
    for (const json &g : groups)
      for (const json &m : g["members"]) {
        std::string path = m["path"], name = g["name"];
        if (path.compare(0, home.size(), home) != 0)
          continue; // the distribution's, behind both
        if (!c.asked) {
          EXPECT_NE(m["date_source"], "latex") << c.what << g.dump(1);
          continue;
        }
        std::string dir = path.substr(0, path.rfind('/'));
        EXPECT_EQ(m["date"], recorded_date("latex", dir, name)) << c.what << " " << path;
        EXPECT_EQ(m["date_source"], "latex") << c.what << " " << path;
      }
    EXPECT_EQ(command_output("ls -A " + tmp), std::vector<std::string>()) << c.what;
  }
}

// Kpathsea searches first the directory of a tree searched on disk where it
// last found a file: where copies lie in two directories one element of
// the search path reaches, which one a run loads depends on what it loaded
// before (two LaTeX runs with -recorder show it), and -explain says so.
TEST(ExplainLatex, WhichCopyLoadsCanDependOnWhatTheRunLoadedBefore)
{
  if (command_output("command -v latex").empty())
    GTEST_SKIP() << "latex is not installed";
  struct {
    const char *what;
    const char *first, *second; // the directories of the two copies, below the home tree
    bool depends;
  } cases[] = {
    {"two directories of tex/latex//", "tex/latex/a-first", "tex/latex/b-second", true},
    {"tex/latex// and tex/generic//, two elements", "tex/latex/a-first", "tex/generic/b-second",
     false},
  };
  for (const auto &c : cases) {
    std::string home = make_temp_dir();
    for (const char *dir : {c.first, c.second}) {
      write_file(home + "/" + dir + "/lsrorder.sty", std::string("% ") + dir + "\n");
      write_file(home + "/" + dir + "/lsrhelp-" + (dir == c.first ? "a" : "b") + ".sty", "\n");
    }
    // Which copy each order of loading gets, as LaTeX's recorder saw it.
    std::set<std::string> loaded;
    for (const char *helper : {"lsrhelp-a", "lsrhelp-b"}) {
      std::string job = make_temp_dir();
      write_file(job + "/h.tex", std::string("\\RequirePackage{") + helper +
                                     "}\\RequirePackage{lsrorder}\\csname @@end\\endcsname\n");
      for (const std::string &line : command_output(
               "cd " + job + " && HOME='" + job + "' TEXMFHOME='" + home +
               "' MKTEXFMT=0 MKTEXTFM=0 MKTEXPK=0 latex -recorder "
               "-interaction=nonstopmode h.tex >/dev/null 2>&1; grep '^INPUT .*lsrorder.sty' h.fls"))
        loaded.insert(line);
    }
    EXPECT_EQ(loaded.size() == 2, c.depends) << c.what;
    run_options opts;
    opts.env = {{"TEXMFHOME", home}, {"HOME", home}};
    run_result r = run_lsrcheck({"-explain", "-json", "-progname=latex", "-file=lsrorder.sty"}, opts);
    json g = json::parse(r.out)["groups"][0];
    EXPECT_EQ(g["order_dependent"], c.depends ? json({"latex"}) : json::array()) << c.what;
  }
}

TEST(ExplainLatex, ALatexThatNeverEndsOrFloodsIsEndedAndNoVerdict)
{
  if (command_output("command -v latex").empty())
    GTEST_SKIP() << "latex is not installed";
  struct {
    const char *what, *body, *why;
  } cases[] = {
      {"a loop", "\\def\\loop{\\loop}\\loop", "LaTeX did not end within 20 seconds"},
      // Ended long before the time limit: neither LaTeX's output nor its
      // log fills memory or the disk.
      {"a flood of messages", "\\def\\loop{\\message{flood flood flood flood}\\loop}\\loop",
       "LaTeX wrote more than 16 MiB"},
      {"a flood of the log only", "\\def\\loop{\\wlog{flood flood flood flood}\\loop}\\loop",
       "LaTeX wrote more than 16 MiB"},
  };
  for (const auto &c : cases) {
    std::string home = make_temp_dir(), tmp = make_temp_dir();
    run_result r = explain_two_copies(
        home, "lsrloop.sty", std::string(c.body) + "\n\\ProvidesPackage{lsrloop}[2019/01/01 v1]\n",
        "\\ProvidesPackage{lsrloop}[2022/02/02 v2]\n", {{"TMPDIR", tmp}});
    EXPECT_EQ(r.status, 0) << c.what << r.err;
    json m = json::parse(r.out)["groups"][0]["members"][0];
    EXPECT_EQ(m["latex_not_asked"], c.why) << c.what << m.dump(1);
    EXPECT_EQ(m["date_source"], "reader") << c.what << m.dump(1);
    EXPECT_EQ(command_output("ls -A " + tmp), std::vector<std::string>()) << c.what;
  }
}

// A signal that ends the report while LaTeX runs ends LaTeX too, and the
// lookups' directory goes with what LaTeX wrote in it.
TEST(ExplainLatex, ASignalDuringALatexRunLeavesNothingBehind)
{
  if (command_output("command -v latex").empty())
    GTEST_SKIP() << "latex is not installed";
  for (const char *sig : {"INT", "TERM", "HUP"}) {
    std::string home = make_temp_dir(), tmp = make_temp_dir();
    write_file(home + "/a/tex/latex/t/lsrhang.sty",
               "\\ProvidesPackage{lsrhang}[2019/01/01 v1]\\def\\loop{\\loop}\\loop\n");
    write_file(home + "/b/tex/latex/t/lsrhang.sty", "\\ProvidesPackage{lsrhang}[2022/02/02 v2]\n");
    std::string command = "cd / && TMPDIR='" + tmp + "' HOME='" + home + "' TEXMFHOME='{" + home +
                          "/a," + home + "/b}' timeout -s " + sig + " 2 " + LSRCHECK_BINARY +
                          " -explain -file=lsrhang.sty >/dev/null 2>&1; sleep 0.2; "
                          "for p in $(pgrep -x latex); do readlink /proc/$p/cwd; done | "
                          "grep -F '" + tmp + "' || true";
    std::vector<std::string> running = command_output(command);
    EXPECT_EQ(running, std::vector<std::string>()) << sig << ": a LaTeX left running";
    EXPECT_EQ(command_output("ls -A " + tmp), std::vector<std::string>()) << sig;
  }
}

// Kpathsea would build a missing font or format for LaTeX and keep it in
// the user's or the system's trees, where it then shadows the
// installation's own: the runs make nothing of the kind.
TEST(ExplainLatex, TheLatexRunsBuildNoFontAndNoFormat)
{
  if (command_output("command -v latex").empty())
    GTEST_SKIP() << "latex is not installed";
  struct {
    const char *what, *body;
    bool no_format;     // no latex.fmt where LaTeX looks
    const char *source; // of the date of the loaded copy
    const char *why;    // the start of why LaTeX gave none
  } cases[] = {
      // An EC font at a size no one has made yet: Metafont could make it.
      {"a font without its metrics", "\\font\\lsrfont=ecrm1077\n", false, "latex", ""},
      {"no format", "", true, "reader",
       "LaTeX stopped before it finished the file (I can't find the format file"},
  };
  for (const auto &c : cases) {
    // Where the user's and (run as root) the system's built files go.
    std::string home = make_temp_dir(), var = make_temp_dir(), sysvar = make_temp_dir();
    std::vector<std::pair<std::string, std::string>> env = {{"TEXMFVAR", var}};
    if (c.no_format)
      env.insert(env.end(), {{"TEXFORMATS", "/nonexistent"}, {"TEXMFSYSVAR", sysvar}});
    run_result r = explain_two_copies(
        home, "lsrtrap.sty", std::string(c.body) + "\\ProvidesPackage{lsrtrap}[2019/01/01 v1]\n",
        "\\ProvidesPackage{lsrtrap}[2022/02/02 v2]\n", env);
    json m = json::parse(r.out)["groups"][0]["members"][0];
    EXPECT_EQ(m["date_source"], c.source) << c.what << m.dump(1);
    EXPECT_EQ(m.value("latex_not_asked", "").substr(0, strlen(c.why)), c.why) << c.what;
    EXPECT_EQ(command_output("find " + var + " " + sysvar + " -type f"),
              std::vector<std::string>())
        << c.what;
  }
}

} // namespace
