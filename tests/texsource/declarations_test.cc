// The reading of \Provides... declarations: table rows of source text with
// what the reading gives, needing no TeX; and, against LaTeX itself, the
// constructs where a reading of the text could go wrong: each case is
// written to a file, LaTeX inputs it with its declarations made to print
// what they were given, and the reading must give the same date and
// version, or none where LaTeX carries out none.

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "texsource/declarations.h"
#include "helpers.h"

namespace {

TEST(Declarations, RowsOfSourceTextNeedNoTex)
{
  struct {
    const char *what;
    std::string text;
    std::map<std::string, std::string> inputs; // the files an \input finds, by name
    std::string date, version;                 // "" for no date read
    bool unfollowed;                           // an \input could not be read
    std::string name = "t.sty";                // the file's own name
  } cases[] = {
    {"plain", "\\ProvidesPackage{t}[2020/01/02 v1.2 plain]\n", {}, "2020/01/02", "v1.2", false},
    {"a file", "\\ProvidesFile{t.sty}[2020-03-04 v3]\n", {}, "2020-03-04", "v3", false},
    // LaTeX records a package's declaration under the name it was loaded
    // by, whatever name it gives; a file's under the name it gives.
    {"a package of another name", "\\ProvidesPackage{other}[2020/01/01 v1]\n", {},
     "2020/01/01", "v1", false},
    {"a file of another name", "\\ProvidesFile{other.sty}[2020/01/01 v1]\n", {}, "", "",
     false},
    {"a file named by a path to it", "\\ProvidesFile{pkg/locale/t.sty}[2021/02/26 v2]\n", {},
     "2021/02/26", "v2", false},
    {"a path to a file of another name", "\\ProvidesFile{pkg/locale/xt.sty}[2021/02/26]\n", {},
     "", "", false},
    {"no optional argument", "\\ProvidesPackage{t}\n\\def\\x{}\n", {}, "", "", false},
    {"a version without a date", "\\ProvidesPackage{t}[v2.0 no date]\n", {}, "", "v2.0",
     false},
    {"commented out, then real", "%\\ProvidesPackage{t}[2001/01/01 v0]\n"
     "\\ProvidesPackage{t}[2021/01/01 v1]\n", {}, "2021/01/01", "v1", false},
    {"after \\endinput", "\\endinput\n\\ProvidesPackage{t}[2021/01/01 v1]\n", {}, "", "", false},
    {"\\iffalse skipped", "\\iffalse\\ProvidesPackage{t}[2001/01/01 v0]\\fi\n"
     "\\ProvidesPackage{t}[2021/01/01 v1]\n", {}, "2021/01/01", "v1", false},
    {"macros for date and version", "\\def\\filedate{2022/02/02}\\def\\fileversion{v9}\n"
     "\\ProvidesPackage{t}[\\filedate\\space\\fileversion\\space x]\n", {}, "2022/02/02",
     "v9", false},
    {"a babel language", "\\ProvidesLanguage{t}[2019/09/09 v3.2 t support]\n", {},
     "2019/09/09", "v3.2", false, "t.ldf"},
    {"a babel language of another name", "\\ProvidesLanguage{u}[2019/09/09 v3.2]\n", {}, "",
     "", false, "t.ldf"},
    {"expl3's form", "\\ProvidesExplPackage{t}{2023/03/03}{4.5}{desc}\n", {}, "2023/03/03",
     "v4.5", false},
    {"declared in a file it inputs", "\\input{t-decl.tex}\n",
     {{"t-decl.tex", "\\ProvidesPackage{t}[2019/09/09 v7]\n"}}, "2019/09/09", "v7", false},
    {"an input that cannot be read comes first", "\\input{gone.tex}\n"
     "\\ProvidesPackage{t}[2019/09/09 v7]\n", {}, "", "", true},
  };
  for (const auto &c : cases) {
    input_finder find = [&c](const std::string &name, std::string *text) {
      auto it = c.inputs.find(name);
      return it != c.inputs.end() && !(*text = it->second).empty();
    };
    bool unfollowed = false;
    auto [date, version] = provides_declaration(c.text, find, &unfollowed, c.name);
    EXPECT_EQ(date, c.date) << c.what;
    EXPECT_EQ(version, c.version) << c.what;
    EXPECT_EQ(unfollowed, c.unfollowed) << c.what;
  }
}

// What LaTeX's declarations were given, printed by a harness of the test's
// own: a declaration reports its optional argument and ends the run.
std::pair<std::string, std::string> latex_declaration(const std::string &file)
{
  std::string dir = make_temp_dir();
  write_file(dir + "/h.tex",
             "\\makeatletter\n"
             "\\def\\lsr@report#1{\\immediate\\write16{LSRDECL[#1]}\\csname @@end\\endcsname}\n"
             "\\def\\ProvidesPackage#1{\\@ifnextchar[\\lsr@withopt{\\lsr@report{}}}\n"
             "\\def\\lsr@withopt[#1]{\\lsr@report{#1}}\n"
             "\\input{" + file + "}\n\\csname @@end\\endcsname\n");
  std::vector<std::string> out = command_output(
      "cd " + dir + " && HOME=" + dir + " MKTEXTFM=0 MKTEXPK=0 MKTEXFMT=0 max_print_line=10000 "
      "latex -interaction=nonstopmode h.tex </dev/null "
      "| sed -n 's/^.*LSRDECL\\[\\(.*\\)\\]$/\\1/p'");
  if (out.empty())
    return {};
  return recorded_declaration(out[0]);
}

TEST(Declarations, TheReadingAgreesWithLatexWhereTextMisleads)
{
  if (command_output("command -v latex").empty())
    GTEST_SKIP() << "latex is not installed";
  const char *const cases[] = {
    "\\iffalse\n\\ProvidesPackage{t}[2010/01/01 v0 never]\n\\fi\n"
    "\\ProvidesPackage{t}[2023/01/01 v3 real]\n",
    "\\endinput\n\\ProvidesPackage{t}[2010/01/01 v0 never read]\n",
    "\\ProvidesPackage{t}\n\n[2010/01/01 v0 behind a par]\n",
    "% a comment ends at a carriage return\r\\ProvidesPackage{t}[2021/01/01 v1 cr]\r",
    "\\csname ProvidesPackage\\endcsname{t}[2021/02/02 v2 built]\n",
    "\\def\\declare{\\ProvidesPackage{t}[2021/03/03 v3 in a macro]}\n\\declare\n",
    "\\ProvidesPackage{t}\n  [2021/04/04 v4 next line]\n",
    "\\def\\v{v5}\\ProvidesPackage{t}[2021/05/05 \\v\\space a macro]\n",
  };
  std::string dir = make_temp_dir();
  int i = 0;
  for (const char *text : cases) {
    std::string file = dir + "/t" + std::to_string(i++) + ".sty";
    write_file(file, text);
    EXPECT_EQ(provides_declaration(text, {}, nullptr, file.substr(file.rfind('/') + 1)),
              latex_declaration(file))
        << text;
  }
}

// What LaTeX records under the name of the package FILE once it has
// loaded it whole (its declaration, or one at the end of the package).
std::pair<std::string, std::string> latex_recorded(const std::string &file)
{
  std::string dir = file.substr(0, file.rfind('/')), stem = file.substr(0, file.rfind('.'));
  std::string name = file.substr(file.rfind('/') + 1);
  write_file(dir + "/h.tex",
             "\\RequirePackage{" + stem + "}\n\\makeatletter\n"
             "\\expandafter\\ifx\\csname ver@" + name + "\\endcsname\\relax\\else"
             "\\immediate\\write16{LSRDECL[\\csname ver@" + name + "\\endcsname]}\\fi\n"
             "\\csname @@end\\endcsname\n");
  std::vector<std::string> out = command_output(
      "cd " + dir + " && HOME=" + dir + " MKTEXTFM=0 MKTEXPK=0 MKTEXFMT=0 max_print_line=10000 "
      "latex -interaction=nonstopmode h.tex </dev/null "
      "| sed -n 's/^.*LSRDECL\\[\\(.*\\)\\]$/\\1/p'");
  return out.empty() ? std::pair<std::string, std::string>() : recorded_declaration(out[0]);
}

TEST(Declarations, WhatAPackageDeclaresWhenLatexLoadsItWhole)
{
  if (command_output("command -v latex").empty())
    GTEST_SKIP() << "latex is not installed";
  const char *const cases[] = {
    // \let takes the tokens after it: a \def there defines nothing.
    "{\\let\\x\\def}\\ProvidesPackage{NAME}[2021/06/06 v6 after a let]\n",
    // plain TeX's guard: \csname fi\endcsname closes only the branch taken.
    "\\def\\plain{plain}\\ifx\\fmtname\\plain\\csname fi\\endcsname\n\\endinput\n\\fi\n"
    "\\ProvidesPackage{NAME}[2021/07/07 v7 after the plain guard]\n",
    // LaTeX 2.09's guard: the third argument is LaTeX2e's, the second never.
    "\\@ifundefined{NeedsTeXFormat}{\\def\\x{}}{\\ProvidesPackage{NAME}[2021/08/08 v8 2e]}\n",
    "\\@ifundefined{NeedsTeXFormat}{\\ProvidesPackage{NAME}[2010/01/01 v0 2.09]}{}\n",
    // "Already loaded" ends a load only where the other package came first.
    "\\@ifpackageloaded{amsmath}{\\endinput}{}\n\\ProvidesPackage{NAME}[2021/09/09 v9 alone]\n",
    // At the end of the package, with the macros as they are then.
    "\\def\\filedate{2021/10/10}\\AtEndOfPackage{\\ProvidesPackage{NAME}[\\filedate\\space "
    "v10]}\\RequirePackage{keyval}\n",
    // A package that never names a macro leaves it as it was.
    "\\def\\filedate{2021/11/11}\\RequirePackage{keyval}\n"
    "\\ProvidesPackage{NAME}[\\filedate\\space v11 kept]\n",
    "\\newcommand{\\filedate}{2021/12/12}\\ProvidesPackage{NAME}[\\filedate\\space v 12]\n",
    "\\newcommand*\\filedate{2022/02/02}\\ProvidesPackage{NAME}[\\filedate\\space v13]\n",
    "\\newcommand*\\declare[2]{\\ProvidesPackage{#1}[#2 v14]}\n\\declare{NAME}{2022/05/05}\n",
    // expl3's \GetIdInfo, and what LaTeX makes of a date it did not expect.
    "\\RequirePackage{expl3}\\GetIdInfo$Id: NAME.dtx 2.1 2022-03-04 12:00:00Z me $\n  {test}\n"
    "\\ProvidesExplPackage{\\ExplFileName}{\\ExplFileDate}{\\ExplFileVersion}{x}\n",
    "\\RequirePackage{expl3}\\GetIdInfo$Id: NAME.dtx 1.0 2021/10/12 +0815 me$\n  {test}\n"
    "\\ProvidesExplPackage{NAME}{\\ExplFileDate}{\\ExplFileVersion}{x}\n",
    // expl3's token lists, blanks ignored.
    "\\RequirePackage{expl3}\\ExplSyntaxOn\n\\tl_const:Nn \\c_t_date_tl {2022/01/01}\n"
    "\\tl_const:Nx \\c_t_version_tl { 1 . 2 }\n"
    "\\ProvidesExplPackage{NAME}{\\c_t_date_tl}{\\c_t_version_tl}{expl3}\n",
  };
  // Files the packages load are found as LaTeX finds them.
  input_finder through_kpsewhich = [](const std::string &name, std::string *text) {
    std::vector<std::string> found = command_output("kpsewhich '" + name + "'");
    return !found.empty() && !(*text = read_file(found[0])).empty();
  };
  int i = 0;
  for (std::string text : cases) {
    std::string dir = make_temp_dir(), name = "p" + std::to_string(i++);
    for (size_t at; (at = text.find("NAME")) != std::string::npos;)
      text.replace(at, 4, name);
    write_file(dir + "/" + name + ".sty", text);
    std::pair<std::string, std::string> latex = latex_recorded(dir + "/" + name + ".sty");
    EXPECT_EQ(provides_declaration(text, through_kpsewhich, nullptr, name + ".sty"), latex)
        << text;
    EXPECT_EQ(latex.first.empty(), i == 4) << text; // the cases mean what they say
  }
}

// Conditionals LaTeX evaluates: the reading evaluates those every LaTeX
// decides alike; where it cannot, it gives no date, never one LaTeX would
// not record (the last declaration carried out).
TEST(Declarations, NeverADateLatexWouldNotRecord)
{
  if (command_output("command -v latex").empty())
    GTEST_SKIP() << "latex is not installed";
  const std::string old = "\\ProvidesPackage{NAME}[2010/01/01 v0 old]",
                    now = "\\ProvidesPackage{NAME}[2021/01/01 v1 now]";
  struct {
    std::string text;
    bool decided; // the reading must give LaTeX's date, not merely none
  } cases[] = {
    {old + "\\iftrue" + now + "\\fi\n", true},
    {"\\unless\\iffalse" + now + "\\fi\n", true},
    {"\\ifx aa" + now + "\\else" + old + "\\fi\n", true},
    {"\\ifnum1=2 " + old + "\\else" + now + "\\fi\n", true},
    {old + "\\ifnum1=1 " + now + "\\fi\n", true},
    {"\\csname iffalse\\endcsname" + old + "\\fi" + now + "\n", true},
    {"\\let\\myif\\iftrue \\myif" + now + "\\else" + old + "\\fi\n", true},
    {"\\expandafter\\ifx\\csname ProvidesPackage\\endcsname\\relax\\else" + now + "\\fi\n", true},
    {old + "\\ifdefined\\relax" + now + "\\fi\n", false},
    {old + "\\ifcase\\catcode`\\@ " + now + "\\else" + now + "\\fi\n", false},
  };
  input_finder none;
  int i = 0;
  for (const auto &c : cases) {
    std::string text = c.text, dir = make_temp_dir(), name = "n" + std::to_string(i++);
    for (size_t at; (at = text.find("NAME")) != std::string::npos;)
      text.replace(at, 4, name);
    write_file(dir + "/" + name + ".sty", text);
    std::pair<std::string, std::string> latex = latex_recorded(dir + "/" + name + ".sty");
    std::pair<std::string, std::string> read = provides_declaration(text, none, nullptr, name + ".sty");
    EXPECT_FALSE(latex.first.empty()) << text;
    if (c.decided)
      EXPECT_EQ(read, latex) << text;
    else
      EXPECT_TRUE(read.first.empty() || read == latex) << text;
  }
}

} // namespace
