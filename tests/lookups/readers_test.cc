// What each program reads: the table against Kpathsea's formats, and its
// rows for the TeX engines against real runs with -recorder.

#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "lookups/readers.h"
#include "kpathsea/binding.h"
#include "kpathsea/lookup.h"
#include "helpers.h"

namespace {

// Every row of the table of readers names formats that Kpathsea knows for
// that program.
TEST(Readers, TheTableNamesFormatsKpathseaKnows)
{
  for (const reader_row &row : reader_table())
    for (const std::string &format : row.formats) {
      std::string program = row.by_engine ? "latex" : row.programs[0];
      std::vector<std::string> path = command_output(
          "kpsewhich -progname=" + program + " -show-path='" + format + "' 2>&1");
      ASSERT_EQ(path.size(), 1u) << program << " " << format;
      EXPECT_EQ(path[0].find("kpsewhich"), std::string::npos) << path[0];
    }
}

// The suffixes of the files a run of PROGRAM on DOCUMENT (a file's text,
// named NAME) read, as its -recorder list says; empty where it could not
// run.
std::set<std::string> suffixes_read(const std::string &program, const std::string &name,
                                    const std::string &document)
{
  std::string dir = make_temp_dir();
  write_file(dir + "/" + name, document);
  std::string stem = name.substr(0, name.rfind('.'));
  std::set<std::string> read;
  for (const std::string &line : command_output(
           "cd " + dir + " && HOME=" + dir + " MKTEXTFM=0 MKTEXPK=0 MKTEXFMT=0 MKTEXMF=0 " +
           program + " -recorder -interaction=nonstopmode " + name + " >/dev/null 2>&1 </dev/null;"
           " sed -n 's/^INPUT //p' " + stem + ".fls"))
    read.insert(line.substr(line.rfind('.')));
  return read;
}

// Return true if the table says PROGRAM (run by ENGINE) reads a file named
// NAME, in its kind's format or one of its own.
bool said_to_read_p(const std::string &program, const std::string &engine,
                    const std::string &name)
{
  return program_format(program, engine, name, lookup_format(name.c_str())) >= 0;
}

TEST(Readers, EachEnginesRowIsWhatItsRunsRead)
{
  set_up_path_search(LSRCHECK_BINARY);
  const std::string document =
      "\\documentclass{article}\\usepackage[T1]{fontenc}\\usepackage{lmodern}"
      "\\usepackage{graphicx}\\begin{document}x \\fontfamily{ptm}\\selectfont y "
      "\\includegraphics{example-image.IMAGE}\\end{document}\n";
  struct {
    const char *program, *engine, *name;
    std::string document;
    std::vector<std::string> reads, never; // suffixes of the files it reads, and never
  } cases[] = {
    {"pdflatex", "pdftex", "p.tex", document, {".tfm", ".vf", ".enc", ".pfb", ".map", ".pdf"},
     {".lua", ".afm", ".otf"}},
    // DVI: fonts stay the driver's; the image's bounding box is TeX input.
    {"latex", "pdftex", "d.tex", document, {".tfm", ".eps"}, {".vf", ".enc", ".pfb"}},
    {"lualatex", "luahbtex", "l.tex",
     "\\documentclass{article}\\begin{document}x\\end{document}\n", {".lua", ".tfm", ".pfb", ".map"},
     {}},
    {"mpost", "mpost", "t.mp", "input local.mf;\nend\n", {".mf"}, {}},
  };
  for (auto &c : cases) {
    if (command_output(std::string("command -v ") + c.program).empty())
      continue;
    std::string text = c.document;
    size_t image = text.find("IMAGE");
    if (image != std::string::npos)
      text.replace(image, 5, std::string(c.program) == "latex" ? "eps" : "pdf");
    if (std::string(c.program) == "mpost") {
      // MetaPost needs its own macros (texlive-metapost) to run at all.
      if (command_output("kpsewhich -progname=mpost plain.mp").empty())
        continue;
    }
    std::set<std::string> read = suffixes_read(c.program, c.name, text);
    ASSERT_FALSE(read.empty()) << c.program << " did not run";
    // Times' virtual fonts and the example image come with packages that
    // texlive-base alone lacks.
    const std::map<std::string, std::string> needs = {
        {".vf", "ptmr8t.vf"}, {".pdf", "example-image.pdf"}, {".eps", "example-image.eps"}};
    for (const std::string &suffix : c.reads) {
      auto need = needs.find(suffix);
      if (need != needs.end() && command_output("kpsewhich " + need->second).empty())
        continue;
      EXPECT_TRUE(read.count(suffix)) << c.program << " read no " << suffix;
      EXPECT_TRUE(said_to_read_p(c.program, c.engine, "x" + suffix))
          << "the table says " << c.program << " reads no " << suffix;
    }
    for (const std::string &suffix : c.never) {
      EXPECT_FALSE(read.count(suffix)) << c.program << " read " << suffix;
      EXPECT_FALSE(said_to_read_p(c.program, c.engine, "x" + suffix))
          << "the table says " << c.program << " reads " << suffix;
    }
  }
}

} // namespace
