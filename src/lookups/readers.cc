// The programs TeX Live installs and the kinds of file each reads, from
// their manual pages, texmf.cnf's comments and Kpathsea's format table;
// the suite checks each row with kpsewhich -progname=P -format=F.

#include "lookups/readers.h"

#include <algorithm>

#include "kpathsea/lookup.h"
#include "platform/platform.h"

namespace {

// The rows of the TeX engines, by how a program runs them: each reads TeX
// input (and inputs a name of any kind as TeX), font metrics, its format;
// the fonts themselves, maps, encodings and images only where it writes
// PDF; Lua only LuaTeX.  Never the web2c files of updmap and fmtutil,
// dvips's configuration, BibTeX's or MakeIndex's files.  The suite
// confirms each row by runs with -recorder.
std::vector<reader_row> engine_rows()
{
  return {
    {{"pdflatex", "pdflatex-dev", "pdftex", "pdfetex", "pdfcsplain", "pdfjadetex", "pdfxmltex",
      "pdfmex", "utf8mex"},
     false,
     {"tex", "tfm", "vf", "pk", "bitmap font", "map", "enc files", "type1 fonts",
      "truetype fonts", "subfont definition files", "graphic/figure", "pdftex config", "fmt",
      "cnf"},
     {},
     "tex"},
    // In DVI mode the images' bounding boxes are read as TeX input.
    {{"latex", "latex-dev", "etex", "amstex", "jadetex", "xmltex", "csplain", "eplain", "mex",
      "mllatex", "tex", "initex", "virtex"},
     false,
     {"tex", "tfm", "fmt", "cnf"},
     {{"*.eps", "tex"}, {"*.bb", "tex"}, {"texfonts.map", "map"}},
     "tex"},
    {{"lualatex", "lualatex-dev", "luatex", "luahbtex", "luajittex", "luajithbtex",
      "luacsplain", "optex"},
     false,
     {"tex", "tfm", "ofm", "vf", "ovf", "map", "enc files", "type1 fonts", "truetype fonts",
      "opentype fonts", "afm", "lua", "clua", "font feature files", "misc fonts",
      "graphic/figure", "fmt", "cnf"},
     {},
     "tex"},
    {{"dvilualatex", "dvilualatex-dev", "dviluatex"},
     false,
     {"tex", "tfm", "ofm", "opentype fonts", "truetype fonts", "afm", "lua", "clua",
      "font feature files", "misc fonts", "fmt", "cnf"},
     {{"*.eps", "tex"}, {"*.bb", "tex"}, {"texfonts.map", "map"}},
     "tex"},
    {{"xelatex", "xelatex-dev", "xetex"},
     false,
     {"tex", "tfm", "ofm", "opentype fonts", "truetype fonts", "type1 fonts",
      "font feature files", "misc fonts", "graphic/figure", "fmt", "cnf"},
     {},
     "tex"},
    // Any other program an engine runs: what the engine can read.
    {{"tex", "etex", "pdftex", "pdfetex", "luatex", "luahbtex", "luajittex", "luajithbtex",
      "luametatex", "xetex", "ptex", "eptex", "uptex", "euptex", "aleph", "hitex"},
     true,
     {"tex", "tfm", "ofm", "vf", "ovf", "pk", "bitmap font", "map", "enc files", "type1 fonts",
      "type42 fonts", "truetype fonts", "opentype fonts", "lig files",
      "subfont definition files", "cmap files", "cid maps", "font feature files", "misc fonts",
      "afm", "lua", "clua", "pdftex config", "fmt", "texpool", "cnf", "graphic/figure", "ocp",
      "otp", "other text files", "other binary files"},
     {},
     "tex"},
  };
}

} // namespace

const std::vector<reader_row> &reader_table()
{
  static const std::vector<reader_row> table = [] {
    std::vector<reader_row> rows = engine_rows();
    std::vector<reader_row> others = {
    {{"dvips"},
     false,
     {"tfm", "ofm", "vf", "ovf", "pk", "gf", "bitmap font", "type1 fonts", "type42 fonts",
      "truetype fonts", "opentype fonts", "map", "enc files", "PostScript header",
      "dvips config", "graphic/figure", "cnf", "other text files"},
     {{"config.*", "dvips config"}, {"config-*", "dvips config"}}},
    {{"dvipdfmx", "xdvipdfmx", "dvipdfm"},
     false,
     {"tfm", "ofm", "vf", "ovf", "pk", "bitmap font", "type1 fonts", "truetype fonts",
      "opentype fonts", "map", "enc files", "cmap files", "subfont definition files",
      "cid maps", "PostScript header", "graphic/figure", "cnf", "other text files"},
     {}},
    {{"xdvi", "xdvi-xaw"},
     false,
     {"tfm", "ofm", "vf", "ovf", "pk", "gf", "bitmap font", "type1 fonts", "map", "enc files",
      "cnf", "other text files"},
     {}},
    {{"bibtex", "bibtex8", "bibtexu", "pbibtex", "upbibtex"},
     false,
     {"bib", "bst", "mlbib", "mlbst", "cnf"},
     {}},
    {{"makeindex", "mendex", "upmendex"}, false, {"ist", "cnf"}, {}},
    // MetaPost's input reads a name of any kind (input local.mf) along
    // MPINPUTS, Metafont's along MFINPUTS.
    {{"mpost", "pmpost", "upmpost", "dvitomp"},
     false,
     {"mp", "MetaPost support", "mem", "mppool", "tfm", "vf", "map", "enc files", "type1 fonts",
      "cnf"},
     {{"*.mf", "mp"}},
     "mp"},
    {{"mf", "mf-nowin", "inimf"}, false, {"mf", "base", "mfpool", "cnf"}, {}, "mf"},
    {{"mft"}, false, {"mft", "cnf"}, {}},
    {{"tangle", "weave"}, false, {"web", "cnf"}, {}},
    {{"ctangle", "cweave"}, false, {"cweb", "cnf"}, {}},
    {{"updmap", "updmap-sys", "updmap-user"}, false, {"web2c files", "map", "enc files", "cnf"},
     {}},
    {{"fmtutil", "fmtutil-sys", "fmtutil-user"}, false, {"web2c files", "cnf"}, {}},
    {{"texdoc"}, false, {"TeX system documentation", "cnf"}, {}},
    };
    rows.insert(rows.end(), others.begin(), others.end());
    return rows;
  }();
  return table;
}

namespace {

// Return the row of TABLE for PROGRAM, run by ENGINE, or null.
const reader_row *row_of(const std::string &program, const std::string &engine)
{
  for (const reader_row &row : reader_table())
    if (!row.by_engine && std::count(row.programs.begin(), row.programs.end(), program) > 0)
      return &row;
  for (const reader_row &row : reader_table())
    if (row.by_engine && std::count(row.programs.begin(), row.programs.end(), engine) > 0)
      return &row;
  return nullptr;
}

// Return true if ROW reads FORMAT.
bool reads_p(const reader_row &row, int format)
{
  for (const std::string &name : row.formats)
    if (format_named(name) == format)
      return true;
  return false;
}

} // namespace

int program_format(const std::string &program, const std::string &engine,
                   const std::string &name, int format)
{
  const reader_row *row = row_of(program, engine);
  if (row == nullptr)
    return format;
  for (const auto &[pattern, named] : row->named)
    if (platform::match_pattern(pattern.c_str(), name.c_str()) == 0)
      return format_named(named);
  if (reads_p(*row, format))
    return format;
  // The name's kind may be another format's too: kpsewhich takes a .vf
  // for Omega's (ovf), pdfTeX reads it as a plain VF.
  for (const std::string &read : row->formats)
    if (name_of_format_p(format_named(read), name))
      return format_named(read);
  return -1;
}

int input_format(const std::string &program, const std::string &engine)
{
  const reader_row *row = row_of(program, engine);
  return row == nullptr || row->input.empty() ? -1 : format_named(row->input);
}

std::vector<std::string> readers_of(int format)
{
  std::vector<std::string> readers;
  for (const reader_row &row : reader_table()) {
    // The rows of the TeX engines, by how each runs, are one reader here.
    std::string reader = row.input == "tex" ? "the TeX engines" : row.programs[0];
    if (reads_p(row, format) && std::find(readers.begin(), readers.end(), reader) == readers.end())
      readers.push_back(reader);
  }
  return readers;
}
