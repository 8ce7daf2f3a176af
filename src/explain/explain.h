// The explained report: for each group of files sharing a name, which copy
// each program loads, whether the copies differ, and what each one is.
#ifndef LSRCHECK_EXPLAIN_H
#define LSRCHECK_EXPLAIN_H

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "copies/copies.h"
#include "explain/kinds.h"
#include "grouping/grouping.h"

// Where a member stands: its spelling of the group's name, its tree, and
// whether the distribution put it there.
struct member_place {
  size_t spelling = 0;       // its file name, as an index of the group's
  std::string tree;          // texmf.cnf variable of its tree, or ""
  bool on_disk = false;      // in a tree Kpathsea searches on disk
  bool lsr_unused = false;   // ... though the tree holds an ls-R
  bool outside = false;      // outside the databases and those trees
  bool distribution = false; // put there by the distribution
};

// What the programs do with a member.
struct program_use {
  std::vector<size_t> loaded_by;  // programs whose first hit it is
  std::vector<size_t> reached_by; // programs that find it at all
  bool differs = false;           // its bytes differ from the loaded copy's
};

// One copy of a shared name: its file, where it stands, and what the
// programs do with it.
struct member_info {
  file_copy copy;
  member_place place;
  program_use use;
  // Where LaTeX was asked: the declaration each program's LaTeX records
  // for it (the reading's where it gave none, with why); else empty.
  std::vector<declaration_facts> by_program;
};

// Return the declaration of M that a verdict for program P rests on.
inline const declaration_facts &declaration_for(const member_info &m, size_t p)
{
  return m.by_program.empty() ? m.copy.declaration : m.by_program[p];
}

// How a program's first hit relates to the group.
enum hit_kind {
  hit_member, hit_suffix_added, hit_alias, hit_excluded, hit_outside, hit_none, hit_not_read
};

struct program_hit {
  hit_kind kind = hit_none;
  std::string format; // the format the program reads the name in, "" if none
  std::string path;
  int member = -1; // with hit_member
};

// What one program's search finds for one spelling of a group's name.
struct name_search {
  int loads = -1;            // the member its first hit is, or -1
  std::vector<size_t> finds; // the members it finds, in search order
};

// One finding of a group: its kind, what it is about, for which programs,
// and whether every copy it involves is the distribution's.  Its text is
// made where it is printed.
struct finding {
  unsigned kind = 0;
  size_t subject = 0;          // the loaded copy (differ, older), the gone one (stale)
  std::vector<size_t> others;  // the copies behind it that differ; the next copy (older)
  std::string looked_up;       // the name the programs looked up, where it is not the loaded
                               // copy's own (Kpathsea matched it in another case)
  declaration_facts declared, declared_behind; // older: the two dates it compares
  bool distribution = false;
  std::vector<size_t> programs;
  std::vector<size_t> members; // every member it involves, in order
  bool accepted = false; // held by the accepted report, same members and contents
};

struct group_info {
  std::string name;
  std::vector<std::string> spellings; // the members' file names, name first
  std::string format;
  int format_number = -1;        // Kpathsea's number of FORMAT
  std::vector<program_hit> hits; // one per program, for NAME
  std::vector<member_info> members;
  std::vector<std::vector<name_search>> searches; // per program, per spelling
  bool all_read = false;     // every copy a program finds is read (texmf.cnf)
  std::vector<finding> findings;
  unsigned problems = 0;     // kinds of the findings that are neither the distribution's nor accepted
  unsigned accepted = 0;     // kinds of the accepted findings
  unsigned distribution = 0; // kinds of the distribution's findings
  bool unreachable = false;  // a member none of the programs finds
  // Copies in two directories that one element of a program's search path
  // reaches in a tree searched on disk, and those programs: which one loads
  // can depend on what a run loaded before.
  std::vector<size_t> order_members, order_programs;
  bool unread = false;       // none of the programs reads this kind of file
};

struct explained_report {
  size_t kept = 0;
  size_t bookkeeping = 0;                // the databases' own entries left out
  std::vector<std::string> disk_trees;   // trees searched on disk, walked
  std::vector<bool> disk_trees_lsr;      // whether each holds an ls-R (unused)
  std::vector<std::string> programs;
  std::vector<group_info> groups;
};

// Find the groups under FILTER, with the files of the trees Kpathsea
// searches on disk, and explain them for PROGRAMS into *REPORT, the dates
// that decide "older" asked of the LaTeX programs in BIN, the
// installation's programs ("" for none).  Kpathsea must be set up.  Return
// false, with the reason in *WHY, if the lookups cannot be kept out of the
// current directory.
bool explain_duplicates(const check_filter &filter, const std::vector<std::string> &programs,
                        const std::string &bin, explained_report *report, std::string *why);

// What the user asked of the explained report.
struct explain_request {
  std::vector<std::string> programs; // the programs to look up as
  bool json = false;                 // JSON instead of text
  bool list_all = false;             // text: every group in full, not only the problems
  unsigned fail_on = 0;              // finding kinds that make the status status_findings
  std::string accepted;              // a report whose findings are accepted, or ""
  std::string bin;                   // the installation's programs, or "" for none
};

// Explain the groups under FILTER as REQUEST asks and print the report on
// standard output; return the exit status: status_findings if a group
// shows a finding of the kinds REQUEST.fail_on, else 0; 1, with a
// complaint that starts with PROGRAM_NAME, if the lookups cannot be made.
// Kpathsea must be set up.
int run_explain(const check_filter &filter, const explain_request &request,
                const char *program_name);

// The report (print.cc).  Write REPORT as text on OUT: the groups with a
// problem in full, then the others in full if LIST_ALL, else counted.
void print_explained(const explained_report &report, bool list_all, FILE *out);

// Write REPORT as one JSON document on OUT.
void print_explained_json(const explained_report &report, FILE *out);

#endif
