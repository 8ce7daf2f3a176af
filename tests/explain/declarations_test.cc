// The reading of \Provides... declarations against LaTeX itself, on the
// constructs where a reading of the text could go wrong: each case is
// written to a file, LaTeX inputs it with its declarations made to print
// what they were given, and the reading must give the same date and
// version, or none where LaTeX carries out none.

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

#include "explain/explain.h"
#include "helpers.h"

namespace {

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
      "cd " + dir + " && max_print_line=10000 latex -interaction=nonstopmode h.tex </dev/null "
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

} // namespace
