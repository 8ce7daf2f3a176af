// The formats of the installation: for each format fmtutil.cnf enables,
// the .fmt each engine loads and every other copy, whether the one loaded
// is per-user, stale (older than a file it was built from, or built by
// another version of its engine), missing, or fails to load, and the one
// command that mends each.
#ifndef LSRCHECK_FORMATS_FORMATS_H
#define LSRCHECK_FORMATS_FORMATS_H

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// What is wrong with a format, as bits.
enum format_finding : unsigned {
  format_missing = 1,  // enabled, its engine installed, and no file found
  format_stale = 2,    // older than a file it was built from, or its log gone
  format_engine = 4,   // built by another version of its engine
  format_fails = 8,    // a run on a minimal document fails
  format_per_user = 16 // a per-user copy in front of the system's
};

// One line of fmtutil.cnf that enables a format.
struct format_line {
  std::string name, engine; // "pdflatex", "pdftex"
  std::string cnf;          // the fmtutil.cnf that enables it
};

// One copy of a format file.
struct format_copy {
  std::string path;
  std::string tree;    // the texmf.cnf variable of its tree, or ""
  bool user = false;   // in a tree of the user's (TEXMFVAR, TEXMFHOME, TEXMFCONFIG)
  bool there = false;  // a regular file
  time_t mtime = 0;
};

// One enabled format.
struct format_entry {
  format_line line;
  std::string engine_dir;  // its directory under web2c ("metafont" for mf)
  std::string file;        // the file name ("pdflatex.fmt", "mf.base")
  std::string engine_path; // the engine's program, or "" where not installed
  bool latex = false;      // a LaTeX format
  bool user_cnf = false;   // enabled by a fmtutil.cnf in a tree of the user's
  std::vector<format_copy> copies; // in search order: the first loads
  // Of the copy loaded:
  std::string log;         // its log beside it, or "" where gone
  std::string newer;       // a file it was built from that is newer, or ""
  time_t newer_mtime = 0;
  std::string built_by;    // the engine version the log's banner names
  std::string installed;   // the engine version installed, where it differs
  bool asked = false;      // a run was made
  std::string error;       // the run's first error, as the engine wrote it
  std::string not_asked;   // why no run was made, or ""
  unsigned findings = 0;
};

// What is wrong with a font map, as bits.
enum map_finding : unsigned {
  map_per_user = 1, // a per-user map (updmap-user) in front of the system's
  map_stale = 2,    // older than an updmap.cfg, or without a map it enables
  map_unfound = 4   // an updmap.cfg enables a map file Kpathsea cannot find
};

// One of the font maps updmap makes, as the program that reads it finds it.
struct map_entry {
  std::string name, program; // "pdftex.map", "pdftex"
  std::vector<format_copy> copies;  // in search order: the first is read
  std::vector<std::string> missing; // map files enabled now that it lacks
  std::string newer_cfg;            // an updmap.cfg newer than it, or ""
  unsigned findings = 0;
};

// A map file that an updmap.cfg enables.
struct enabled_map {
  std::string kind;  // "Map", "MixedMap", "KanjiMap"
  std::string file;  // "lm.map"
  std::string cfg;   // the updmap.cfg that enables it
  bool user = false; // that updmap.cfg is in a tree of the user's
};

// The whole report.
struct formats_report {
  std::vector<std::string> cnf_files; // every fmtutil.cnf, in precedence order
  std::vector<format_entry> formats;
  std::vector<std::string> no_engine; // enabled formats whose engine is not installed
  std::vector<std::string> updmap_cfgs; // every updmap.cfg, in precedence order
  std::vector<map_entry> maps;
  std::vector<enabled_map> unfound; // map files enabled that Kpathsea cannot find
  std::string mend_tool;   // fmtutil-sys of the installation, as the advice names it
  std::string map_tool;    // its updmap-sys
};

// What the user asked of the formats' report.
struct formats_request {
  bool json = false;
  bool list_all = false;
  std::string bin;  // the installation's programs
};

// Return the formats that the fmtutil.cnf files CNFS (in precedence
// order: the first that names a format decides it, enabled or "#!"
// disabled) enable, read with READ (the file's text, or false).
std::vector<format_line> enabled_formats(
    const std::vector<std::string> &cnfs,
    const std::function<bool(const std::string &, std::string *)> &read);

// Return the map files that the updmap.cfg files CNFS (in precedence
// order: the first that names a map file decides it, "#!" disabling it)
// enable, read with READ.
std::vector<enabled_map> enabled_maps(
    const std::vector<std::string> &cfgs,
    const std::function<bool(const std::string &, std::string *)> &read);

// Return the map files a map that updmap made, TEXT, holds ("% lm.map").
std::vector<std::string> maps_held(const std::string &text);

// Return the copies of NAME that PROGRAM, run by ENGINE, finds, in search
// order (the first is the one it reads), with their trees (of ROOTS) and
// times, from the current directory.  Kpathsea must be set up.
std::vector<format_copy> copies_found(const std::string &program, const std::string &engine,
                                      const std::string &name,
                                      const std::vector<std::pair<std::string, std::string>> &roots);

// Judge the font maps of the installation into *REPORT, the trees ROOTS
// giving each copy's.  Kpathsea must be set up.
void check_maps(const std::vector<std::pair<std::string, std::string>> &roots,
                formats_report *report);

// Return the engine version the banner of a format's log (its first line,
// "This is pdfTeX, Version 3.14...-1.40.24 (TeX Live 2022/Debian) (INITEX)")
// names, as "3.14...-1.40.24 (TeX Live 2022/Debian)"; "" where none.
std::string banner_version(const std::string &banner);

// Judge the formats of the installation whose programs are in BIN into
// *REPORT.  Kpathsea must be set up.
void check_formats(const std::string &bin, formats_report *report);

// Check the formats of REQUEST and print the report on standard output;
// return 0, or status_problems where a format has a problem.
int run_formats(const formats_request &request);

// Return the one command that mends the findings of map M, "" for none.
std::string map_mend(const formats_report &r, const map_entry &m);

// Return the one command that mends the findings of F, "" for none.
std::string format_mend(const formats_report &r, const format_entry &f);

// The report (print.cc): text on OUT, every format with LIST_ALL, else
// those with a finding and the rest counted.
void print_formats(const formats_report &report, bool list_all, FILE *out);

// Write REPORT as one JSON document on OUT.
void print_formats_json(const formats_report &report, FILE *out);

#endif
