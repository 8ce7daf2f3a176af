// What each program reads: the kinds of file (Kpathsea's formats) it looks
// up, so that a program is asked only about files it reads, and in the
// format it reads them in.
#ifndef LSRCHECK_LOOKUPS_READERS_H
#define LSRCHECK_LOOKUPS_READERS_H

#include <string>
#include <utility>
#include <vector>

// Programs and the formats they read, by Kpathsea's names of the formats.
// A row BY_ENGINE names engines: it holds for every program they run.
struct reader_row {
  std::vector<std::string> programs;
  bool by_engine = false;
  std::vector<std::string> formats;
  // File names (wildcards) that the programs read in a format of their
  // own, whatever their suffix says.
  std::vector<std::pair<std::string, std::string>> named;
  // The format their input reads a name of any kind in (a TeX engine's
  // \input and \openin, MetaPost's and Metafont's input), or "".
  std::string input = "";
};

// Return the table of the programs TeX Live installs and what they read.
const std::vector<reader_row> &reader_table();

// Return the format PROGRAM, run by ENGINE, looks NAME up in: -1 if it
// reads no such file; FORMAT (NAME's own, as kpsewhich picks it) where it
// reads that, or where the table does not know the program.
int program_format(const std::string &program, const std::string &engine,
                   const std::string &name, int format);

// Return the format PROGRAM, run by ENGINE, inputs a name of any kind in
// (a TeX engine's \input), or -1.
int input_format(const std::string &program, const std::string &engine);

// Return the programs of the table that read FORMAT, one name for each
// row ("updmap", "fmtutil"; "the TeX engines" for theirs).
std::vector<std::string> readers_of(int format);

#endif
