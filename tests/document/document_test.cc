// -document: what a run of TeX recorded, read back (the recorder's list,
// the log's), and the verdicts on real runs of the machine's LaTeX,
// checked against kpsewhich from the document's directory and against
// the dates LaTeX's own \listfiles gives.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "document/record.h"
#include "helpers.h"

namespace {

using json = nlohmann::json;
using namespace std::string_literals;

TEST(DocumentRecord, ReadsWhatTheRunRecorded)
{
  const std::string long_path = "./" + std::string(90, 'x') + ".sty";
  write_file("/tmp/lsrcheck-record-probe/" + long_path, "");
  struct {
    const char *what;
    bool log;
    std::string text;
    bool ok;
    std::string pwd;
    std::vector<std::string> inputs;
  } cases[] = {
    {"an .fls, each file once, outputs apart", false,
     "PWD /d\nINPUT /t/a.sty\nOUTPUT p.aux\nINPUT p.aux\nINPUT /t/a.sty\n", true, "/d",
     {"/t/a.sty", "p.aux"}},
    {"CRLF line ends", false, "PWD /d\r\nINPUT /t/a.sty\r\n", true, "/d", {"/t/a.sty"}},
    {"a NUL cuts a line: no name", false, "PWD /d\nINPUT /t/a\0b.sty\nINPUT c.sty\n"s,
     true, "/d", {"c.sty"}},
    {"a truncated last line is kept as written", false, "PWD /d\nINPUT /t/a.st", true, "/d",
     {"/t/a.st"}},
    {"non-UTF-8 names are bytes", false, "PWD /d\nINPUT /t/\xe9t\xe9.sty\n", true, "/d",
     {"/t/\xe9t\xe9.sty"}},
    {"no PWD: not a recorder list", false, "INPUT /t/a.sty\n", false, "", {}},
    {"a PDF", false, "%PDF-1.5\n%\xe2\xe3\xcf\xd3\n", false, "", {}},
    {"a log, its wrapped line joined", true,
     "This is pdfTeX, Version 3.14 (preloaded format=pdflatex 2024.1.1)\n(" +
         long_path.substr(0, 78) + "\n" + long_path.substr(78) + ")\n(/no/such/file.sty)\n",
     true, "/tmp/lsrcheck-record-probe", {long_path}},
    {"not a log", true, "Hello\n(/etc/passwd)\n", false, "", {}},
  };
  for (const auto &c : cases) {
    run_record record;
    std::string why;
    bool ok = c.log ? read_log(c.text, "/tmp/lsrcheck-record-probe", 79, &record, &why)
                    : read_fls(c.text, &record, &why);
    EXPECT_EQ(ok, c.ok) << c.what << ": " << why;
    if (!ok) {
      EXPECT_FALSE(why.empty()) << c.what;
      continue;
    }
    EXPECT_EQ(record.pwd, c.pwd) << c.what;
    EXPECT_EQ(record.inputs, c.inputs) << c.what;
  }
  EXPECT_EQ(magic_program("% !TEX program = LuaLaTeX\n\\documentclass{article}\n"), "lualatex");
  EXPECT_EQ(magic_program("%!TeX TS-program = xelatex\n"), "xelatex");
  EXPECT_EQ(magic_program("\\documentclass{article}\n"), "pdflatex");
  command_output("rm -rf /tmp/lsrcheck-record-probe");
}

// The environment of a user's TeX run and of the tool after it: HOME of
// its own, and no fonts or formats built.
std::string user_env(const std::string &home)
{
  return "HOME='" + home + "' MKTEXFMT=0 MKTEXTFM=0 MKTEXPK=0 MKTEXMF=0 ";
}

// Compile DOC/paper.tex with PROGRAM -recorder as a user whose home is HOME.
void compile(const std::string &doc, const std::string &home, const std::string &program)
{
  command_output("cd '" + doc + "' && " + user_env(home) + program +
                 " -recorder -interaction=nonstopmode paper.tex >/dev/null 2>&1");
}

// Return ARRAY with the date of its declaration made 2001/01/01.
std::string aged(const std::string &array)
{
  std::smatch m;
  std::regex_search(array, m, std::regex("\\\\ProvidesPackage\\{array\\}\\s*\\[([0-9/]+)"));
  return array.substr(0, m.position(1)) + "2001/01/01" + array.substr(m.position(1) + m.length(1));
}

// Return the findings of the report R, by the name of the file: its kinds.
std::map<std::string, std::set<std::string>> findings_of(const json &r)
{
  std::map<std::string, std::set<std::string>> found;
  for (const json &f : r["files"]) {
    std::string recorded = f["recorded"];
    std::string name = recorded.substr(recorded.find_last_of('/') + 1);
    for (const json &k : f["findings"])
      found[name].insert(k["kind"].get<std::string>());
  }
  return found;
}

// Check the copies of the report R against kpsewhich -all as PROGRAM from
// DOC, and the dates of the files read against LaTeX's \listfiles in LOG.
void check_against_tex(const json &r, const std::string &doc, const std::string &home,
                       const std::string &program, const std::string &log, const char *what)
{
  std::string names, ours;
  for (const json &f : r["files"]) {
    if (f["looked_up"].is_null())
      continue;
    std::string name = f["looked_up"];
    if (!std::regex_match(name, std::regex("[a-z0-9-]+\\.(sty|cls|clo|cfg|def|fd|tex)")))
      continue;
    names += " " + name;
    // The file read stands at read_at among the copies found now.
    std::vector<std::string> order;
    for (size_t c = 1; c < f["copies"].size(); c++)
      order.push_back(f["copies"][c]["path"]);
    int read_at = f["read_at"];
    if (read_at >= 0)
      order.insert(order.begin() + read_at, f["copies"][0]["path"].get<std::string>());
    for (const std::string &path : order)
      ours += path + "\n";
  }
  std::string theirs;
  for (const std::string &line :
       command_output("cd '" + doc + "' && " + user_env(home) + "kpsewhich -all -progname=" +
                      program + names))
    theirs += (line.compare(0, 2, "./") == 0 ? doc + line.substr(1) : line) + "\n";
  EXPECT_EQ(ours, theirs) << what;
  // \listfiles: " array.sty    2022/09/04 v2.5g Tabular extension package (FMi)"
  std::map<std::string, std::string> listed;
  std::string text = read_file(log);
  const std::regex entry("\n *([A-Za-z0-9.-]+) +([0-9]{4}/[0-9]{2}/[0-9]{2})");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), entry);
       it != std::sregex_iterator(); ++it)
    listed[(*it)[1]] = (*it)[2];
  size_t compared = 0;
  for (const json &f : r["files"]) {
    std::string recorded = f["recorded"];
    auto at = listed.find(recorded.substr(recorded.find_last_of('/') + 1));
    if (at == listed.end() || f["copies"][0]["date"] == "")
      continue;
    EXPECT_EQ(f["copies"][0]["date"], at->second) << what << ": " << recorded;
    compared++;
  }
  EXPECT_GT(compared, 3u) << what;
}

TEST(DocumentRuns, VerdictsAgreeWithTexOnRealRuns)
{
  if (command_output("command -v pdflatex").empty() || command_output("command -v pdftex").empty())
    GTEST_SKIP() << "pdflatex is not installed";
  const std::string array = read_file(command_output("kpsewhich array.sty").at(0));
  const std::string plain = "\\documentclass{article}\n\\usepackage{amsmath}\n\\usepackage{array}\n"
                            "\\listfiles\n\\begin{document}\n$x$\n\\end{document}\n";
  struct {
    const char *what;
    std::string program;
    std::string before; // shell commands before the run, in DOC with HOME set
    std::string after;  // ... after it
    std::string uses;   // what the document loads besides
    std::map<std::string, std::set<std::string>> findings;
    int status; // with -fail-on=any
    bool oracle;
  } cases[] = {
    {"article with amsmath: nothing to say", "pdflatex", "", "", "", {}, 0, true},
    {"the distribution's array.sty kept in the document", "pdflatex", "cp \"$(kpsewhich array.sty)\" .",
     "", "", {{"array.sty", {"kept"}}}, 0, true},
    {"an older array.sty in the document", "pdflatex", "cp ../old-array.sty array.sty", "", "",
     {{"array.sty", {"older", "differ"}}}, 3, true},
    {"an older array.sty in TEXMFHOME", "pdflatex",
     "mkdir -p \"$HOME/texmf/tex/latex\" && cp ../old-array.sty \"$HOME/texmf/tex/latex/array.sty\"",
     "", "", {{"array.sty", {"older", "differ"}}}, 3, true},
    {"a file of the document removed since", "pdflatex", "echo '\\ProvidesPackage{mine}' >mine.sty",
     "rm mine.sty", "\\usepackage{mine}\n", {{"mine.sty", {"rerun"}}}, 3, false},
    {"a record naming another installation's format", "pdflatex", "",
     "sed -i 's|^INPUT .*/pdflatex.fmt$|INPUT /opt/texlive/2019/texmf-var/web2c/pdftex/pdflatex.fmt|' paper.fls",
     "", {{"pdflatex.fmt", {"foreign", "rerun"}}}, 3, false},
    {"a per-user format in TEXMFVAR", "pdflatex",
     "d=\"$(kpsewhich -var-value TEXMFVAR)/web2c/pdftex\" && mkdir -p \"$d\" && cd \"$d\" && "
     "pdftex -ini -jobname=pdflatex -progname=pdflatex -etex pdflatex.ini >/dev/null 2>&1",
     "", "", {{"pdflatex.fmt", {"foreign"}}}, 3, true},
    {"a LuaLaTeX run", "lualatex", "", "", "", {}, 0, true},
  };
  for (const auto &c : cases) {
    if (command_output("command -v " + c.program).empty())
      continue;
    std::string job = make_temp_dir(), doc = job + "/doc", home = job + "/home";
    make_dirs(home);
    write_file(doc + "/paper.tex", plain.substr(0, 24) + c.uses + plain.substr(24));
    write_file(job + "/old-array.sty", aged(array));
    if (!c.before.empty())
      command_output("cd '" + doc + "' && " + user_env(home) + "sh -c '" +
                     std::regex_replace(c.before, std::regex("'"), "'\\''") + "'");
    compile(doc, home, c.program);
    ASSERT_FALSE(read_file(doc + "/paper.fls").empty()) << c.what;
    std::string log = read_file(doc + "/paper.log");
    if (!c.after.empty())
      command_output("cd '" + doc + "' && " + c.after);
    run_options opts;
    opts.env = {{"HOME", home}, {"MKTEXTFM", "0"}, {"MKTEXPK", "0"}, {"MKTEXFMT", "0"}};
    std::string listing = command_output("ls -A '" + doc + "' | tr '\\n' ' '").at(0);
    run_result r = run_lsrcheck({"-document=" + doc + "/paper.fls", "-json", "-fail-on=any"}, opts);
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.err << r.out;
    EXPECT_EQ(command_output("ls -A '" + doc + "' | tr '\\n' ' '").at(0), listing) << c.what;
    json report = json::parse(r.out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << c.what << r.out;
    EXPECT_EQ(report["program"], c.program) << c.what;
    EXPECT_EQ(findings_of(report), c.findings) << c.what << "\n"
                                               << run_lsrcheck({"-document=" + doc + "/paper.fls"}, opts).out;
    if (c.status != 0) {
      // Findings once accepted no longer fail the run.
      write_file(job + "/accepted.json", r.out);
      run_result again = run_lsrcheck(
          {"-document=" + doc + "/paper.fls", "-accept=" + job + "/accepted.json", "-fail-on=any"}, opts);
      EXPECT_EQ(again.status, 0) << c.what << "\n" << again.err << again.out;
      EXPECT_NE(again.out.find("(accepted)"), std::string::npos) << c.what << again.out;
    }
    write_file(doc + "/paper.listed.log", log);
    if (c.oracle)
      check_against_tex(report, doc, home, c.program, doc + "/paper.listed.log", c.what);
  }
}

TEST(DocumentRuns, BadRecordsGetAMessageAndStatusOne)
{
  std::string dir = make_temp_dir();
  write_file(dir + "/paper.pdf", "%PDF-1.5\n%\xe2\xe3\xcf\xd3\n1 0 obj\n");
  write_file(dir + "/nul.fls", std::string(4096, '\0'));
  write_file(dir + "/notes.tex", "% !TEX program = lualatex\n\\documentclass{article}\n");
  write_file(dir + "/away.fls", "PWD /elsewhere/machine\nINPUT /elsewhere/machine/x.sty\n"
                                "INPUT relative.sty\n");
  command_output("truncate -s 70M '" + dir + "/huge.fls'");
  struct {
    const char *what;
    std::string file;
    int status;
    std::string said; // on standard error, or standard output with status 0
  } cases[] = {
    {"a PDF", dir + "/paper.pdf", 1, "not a list of TeX's -recorder"},
    {"a directory", dir, 1, "a directory, not the record of a run"},
    {"a device", "/dev/zero", 1, "/dev/zero"},
    {"a file over 64 MiB", dir + "/huge.fls", 1, "too large"},
    {"NUL bytes only", dir + "/nul.fls", 1, "no PWD line"},
    {"a .tex never recorded: the command", dir + "/notes.tex", 1, "lualatex -recorder notes.tex"},
    {"a missing file", dir + "/none.fls", 1, "no such file"},
    {"files of another machine: gone", dir + "/away.fls", 0, "x.sty"},
  };
  for (const auto &c : cases) {
    std::string listing = command_output("ls -A '" + dir + "' | tr '\\n' ' '").at(0);
    run_options opts;
    opts.timeout = 30;
    run_result r = run_lsrcheck({"-document=" + c.file}, opts);
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.err;
    EXPECT_NE((c.status == 0 ? r.out : r.err).find(c.said), std::string::npos)
        << c.what << "\n" << r.err << r.out;
    if (c.status != 0) {
      EXPECT_EQ(r.err.rfind("lsrcheck: ", 0), 0u) << c.what << r.err;
    }
    EXPECT_EQ(command_output("ls -A '" + dir + "' | tr '\\n' ' '").at(0), listing) << c.what;
  }
}

} // namespace
