// The programs TeX Live installs and the kinds of file each reads, from
// their manual pages, texmf.cnf's comments and Kpathsea's format table;
// the suite checks each row with kpsewhich -progname=P -format=F.

#include "lookups/readers.h"

#include <algorithm>

#include "kpathsea/lookup.h"
#include "platform/platform.h"

const std::vector<reader_row> &reader_table()
{
  static const std::vector<reader_row> table = {
    // The TeX engines read TeX input, fonts and their maps, their own
    // formats and pools, images, and Lua where they run it; never the
    // web2c files of updmap and fmtutil, dvips's configuration, BibTeX's
    // or MakeIndex's files.
    {{"tex", "etex", "pdftex", "pdfetex", "luatex", "luahbtex", "luajittex", "luajithbtex",
      "luametatex", "xetex", "ptex", "eptex", "uptex", "euptex", "aleph", "hitex"},
     true,
     {"tex", "tfm", "ofm", "vf", "ovf", "pk", "bitmap font", "map", "enc files", "type1 fonts",
      "type42 fonts", "truetype fonts", "opentype fonts", "lig files",
      "subfont definition files", "cmap files", "cid maps", "font feature files", "misc fonts",
      "afm", "lua", "clua", "pdftex config", "fmt", "texpool", "cnf", "graphic/figure", "ocp",
      "otp", "other text files", "other binary files"},
     {}},
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
    {{"mpost", "pmpost", "upmpost", "dvitomp"},
     false,
     {"mp", "MetaPost support", "mem", "mppool", "tfm", "vf", "map", "enc files", "type1 fonts",
      "cnf"},
     {}},
    {{"mf", "mf-nowin", "inimf"}, false, {"mf", "base", "mfpool", "cnf"}, {}},
    {{"mft"}, false, {"mft", "cnf"}, {}},
    {{"tangle", "weave"}, false, {"web", "cnf"}, {}},
    {{"ctangle", "cweave"}, false, {"cweb", "cnf"}, {}},
    {{"updmap", "updmap-sys", "updmap-user"}, false, {"web2c files", "map", "enc files", "cnf"},
     {}},
    {{"fmtutil", "fmtutil-sys", "fmtutil-user"}, false, {"web2c files", "cnf"}, {}},
    {{"texdoc"}, false, {"TeX system documentation", "cnf"}, {}},
  };
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
  return reads_p(*row, format) ? format : -1;
}

std::vector<std::string> readers_of(int format)
{
  std::vector<std::string> readers;
  for (const reader_row &row : reader_table())
    if (reads_p(row, format))
      readers.push_back(row.by_engine ? "the TeX engines" : row.programs[0]);
  return readers;
}
