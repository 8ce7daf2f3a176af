// The explained report: for each group of files sharing a name, which copy
// each program loads, whether the copies differ, and what each one is.
#ifndef LSRCHECK_EXPLAIN_H
#define LSRCHECK_EXPLAIN_H

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "duplicates.h"

// What a member of a group is on disk.
enum member_state { file_ok, file_missing, file_dangling, file_unreadable, file_not_regular };

// One copy of a shared name.
struct member_info {
  std::string path;
  std::string tree;              // texmf.cnf variable of its tree, or ""
  member_state state = file_ok;
  long long size = -1;           // -1 where unknown
  time_t mtime = 0;
  int mark = -1;                 // members with the same bytes share it
  bool differs = false;          // its bytes differ from the loaded copy's
  std::string date, version;     // of its \Provides... declaration
  std::string package;           // the Debian package that installed it
  std::string texlive_package;   // its TeX Live package (texlive.tlpdb)
  std::vector<size_t> loaded_by; // programs whose first hit it is
  std::vector<size_t> reached_by; // programs that find it at all
};

// How a program's first hit relates to the group.
enum hit_kind { hit_member, hit_suffix_added, hit_alias, hit_excluded, hit_outside, hit_none };

struct program_hit {
  hit_kind kind = hit_none;
  std::string path;
};

// The kinds of findings, as bits.
enum finding_kind : unsigned {
  finding_differ = 1,      // the copies' bytes differ
  finding_older = 2,       // a loaded copy declares an older date than a hidden one
  finding_unreachable = 4, // a member none of the programs finds
  finding_stale = 8,       // a member gone from disk (missing, dangling link)
};

struct group_info {
  std::string name;
  std::string format;
  std::vector<program_hit> hits; // one per program
  std::vector<member_info> members;
  unsigned findings = 0;
  std::string older_dates; // "LOADED against HIDDEN" with finding_older
};

struct explained_report {
  size_t kept = 0;
  std::vector<std::string> programs;
  std::vector<group_info> groups;
};

// Find the groups under FILTER and explain them for PROGRAMS.  Kpathsea
// must be set up.
explained_report explain_duplicates(const check_filter &filter,
                                    const std::vector<std::string> &programs);

// Return the findings of all groups of REPORT, as bits.
unsigned report_findings(const explained_report &report);

// Add to *BITS the finding kinds named by LIST ("differ,stale", "any") and
// return true, or set *BAD to the first name that is no kind and return
// false.
bool parse_finding_kinds(const std::string &list, unsigned *bits, std::string *bad);

// Write REPORT as text on OUT.
void print_explained(const explained_report &report, FILE *out);

// Write REPORT as one JSON document on OUT.
void print_explained_json(const explained_report &report, FILE *out);

// Return the date and version that the \Provides... declaration near the
// top of TEXT gives, as {date, version}; empty where there is none.
std::pair<std::string, std::string> provides_declaration(const std::string &text);

#endif
