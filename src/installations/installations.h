// The TeX installations on PATH: every directory of PATH holding TeX
// programs, the installation each program belongs to (by where its links
// lead, and dpkg), which one each program a user runs is taken from, and
// the mixes: an engine from one installation, a program that maintains an
// installation from another.
#ifndef LSRCHECK_INSTALLATIONS_INSTALLATIONS_H
#define LSRCHECK_INSTALLATIONS_INSTALLATIONS_H

#include <cstdio>
#include <string>
#include <vector>

// One installation programs on PATH belong to.
struct tex_installation {
  std::string kind;  // "texlive", "debian", "layout" (another distribution's), "lone";
                     // "dir" where no dpkg was asked: the programs of one directory
  std::string root;  // its root; for "lone" the directory the program lies in
  std::string year;  // a TeX Live year, where its release file says it
  std::vector<std::string> dirs; // the directories of PATH holding its programs
};

// A program found in a directory of PATH.
struct path_program {
  std::string name, path; // as PATH finds it
  std::string real;       // links resolved
  std::string package;    // the Debian package that installed it, if any
  int installation = -1;  // index into the report's installations
};

// A directory of PATH holding TeX programs, in PATH order.
struct path_directory {
  std::string dir;
  std::vector<path_program> programs; // every TeX program in it, by name
};

// Programs of two installations used together.
struct installation_mix {
  std::string program;       // the one taken from the other installation
  std::string engine;        // the engine it is used with
  int from = -1, with = -1;  // the installations of PROGRAM and ENGINE
  std::string before;        // the directory of PATH holding WITH's PROGRAM, to put
                             // first; "" where WITH has no PROGRAM on PATH
};

struct installations_report {
  std::vector<tex_installation> installations;
  std::vector<path_directory> dirs;
  std::vector<path_program> taken;   // the programs a user runs: what PATH finds first
  std::vector<std::string> missing;  // ... that PATH finds nowhere
  std::vector<installation_mix> mixes;
  std::string checked;     // the root of the installation the reports check
  std::string own_cnf;     // the texmf.cnf this tool's Kpathsea reads
  std::string path_kpsewhich, path_cnf; // the first kpsewhich on PATH and its texmf.cnf
  std::string packages_unread;
};

// Return what PATH (the environment's) holds: with dpkg's owners where
// DPKG (else every program of no other installation is one of its PATH
// directory), and the texmf.cnf of the first kpsewhich where RUN_KPSEWHICH.
installations_report find_installations(bool dpkg, bool run_kpsewhich);

// Return true if REPORT shows a problem.
bool installation_problems_p(const installations_report &report);

// Return one line that says PATH mixes installations, or "" if it does not
// (the note of the other reports; no dpkg, no program run).
std::string path_mix_note();

// Report the installations on PATH on standard output (as JSON if JSON),
// CHECKED being the root of the installation the reports check; return
// status_problems if a problem was found, else 0.  Kpathsea must be set up.
int run_installations(bool json, const char *program_name);

// Write REPORT as text, or as one JSON document, on OUT (print.cc).
void print_installations(const installations_report &report, FILE *out);
void print_installations_json(const installations_report &report, FILE *out);

#endif
