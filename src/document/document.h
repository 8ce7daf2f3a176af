// The document's report: every file one run of TeX read, where it came
// from, which copy the installation would load for it now, and what is
// wrong with that.
#ifndef LSRCHECK_DOCUMENT_DOCUMENT_H
#define LSRCHECK_DOCUMENT_DOCUMENT_H

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "copies/copies.h"
#include "document/record.h"

// Where a file the run read comes from.
enum file_class {
  class_document,      // the document's directory and below
  class_user,          // TEXMFHOME, TEXMFCONFIG, TEXMFVAR
  class_site,          // TEXMFLOCAL
  class_distribution,  // the installation's other trees
  class_format,        // the format the run loaded
  class_configuration, // a texmf.cnf
  class_outside,       // outside every tree of the installation
  class_run,           // written by the run and read back (.aux, .toc)
  class_count
};

// The kinds of the document's findings, as bits.
enum document_kind : unsigned {
  document_differ = 1,   // a local copy shadows another and differs from it
  document_older = 2,    // ... and declares an older date
  document_kept = 4,     // a local copy shadows one with the same bytes: a note
  document_rerun = 8,    // the file read is not what the installation loads now
  document_foreign = 16, // the run's format or texmf.cnf is not the installation's
  document_outside = 32, // read from outside every tree: a note
};

// The kinds -fail-on=any stands for: the problems a user can act on.
const unsigned document_any = document_differ | document_older | document_rerun |
                              document_foreign;

// Return the name of the document finding kind KIND (one bit), as
// -fail-on and the JSON report give it.
const char *document_kind_name(unsigned kind);

// Add to *BITS the kinds named by LIST ("differ,rerun", "any") and return
// true, or set *BAD to the first name that is no kind and return false.
bool parse_document_kinds(const std::string &list, unsigned *bits, std::string *bad);

// One copy of a file: its facts now, and where it stands.
struct document_copy {
  file_copy copy;
  file_class where = class_outside;
  std::string tree; // the texmf.cnf variable of its tree, or ""
};

// Why the file the run read is not what the installation loads now.
enum rerun_reason { rerun_none, rerun_gone, rerun_changed, rerun_another };

// Why the run's format or texmf.cnf is not the installation's.
enum foreign_reason { foreign_none, foreign_another, foreign_user_format, foreign_absent };

// One file the run read.
struct document_file {
  std::string recorded;  // as the record names it
  std::string looked_up; // the name looked up for it, or "" (not found by name)
  // The file read first, then every other copy the run's program finds
  // for it now, in search order.
  std::vector<document_copy> copies;
  int read_at = -1;     // the file read, among the copies found now; -1 if not found
  int loads_now = -1;   // the copy the program loads now, or -1
  int compared = -1;    // the copy behind it that it is compared with, or -1
  unsigned findings = 0;
  rerun_reason rerun = rerun_none;
  foreign_reason foreign = foreign_none;
  unsigned accepted = 0; // the kinds of its findings the accepted report holds
};

// The whole report.
struct document_report {
  run_record record;
  std::string program, engine; // the program the run was, and its engine
  bool program_assumed = false; // the record names no format
  std::vector<document_file> files;
  std::vector<std::string> configuration; // the installation's texmf.cnf files
  std::string latex_why; // why LaTeX gave no dates, where it was asked and could not
};

// What the user asked of the document's report.
struct document_request {
  std::string file;     // the record, or the document beside it
  bool json = false;
  bool list_all = false;
  unsigned fail_on = 0;
  std::string accepted; // an earlier -document -json report, or ""
  std::string bin;      // the installation's programs, or ""
};

// Read the record of FILE and judge each file it names into *REPORT, the
// dates of differing copies asked of the LaTeX programs in BIN.  The
// declarations are read where a verdict or a finding shows them, or of
// every copy with EVERY_DATE.  Kpathsea must be set up.  Return false,
// with *WHY, where there is no record to read or the lookups cannot be
// made from its directory.
bool check_document(const std::string &file, const std::string &bin, bool every_date,
                    document_report *report, std::string *why);

// Check the document of REQUEST and print the report on standard output;
// return the exit status: status_findings where a finding of the kinds
// REQUEST.fail_on is not accepted, else 0; 1, with a complaint that starts
// with PROGRAM_NAME, where there is nothing to check.
int run_document(const document_request &request, const char *program_name);

// The accepted findings of an earlier JSON report, each as its key.
typedef std::vector<std::string> document_accepted;

// Read the findings of the report in FILE; return false, with *WHY, where
// FILE is no report of -document -json.
bool read_document_accepted(const std::string &file, document_accepted *accepted,
                            std::string *why);

// Return the key by which finding KIND of FILE is accepted: its kind, the
// paths and the contents it is about.
std::string finding_key(const document_file &file, unsigned kind);

// Return the copies (of F.copies) that finding KIND of F is about: the
// file read first.
std::vector<size_t> finding_copies(const document_file &f, unsigned kind);

// Give the copies REPORT's findings are about the hash of their content,
// so that the JSON report can be accepted later.
void hash_finding_copies(document_report &report);

// Return the kinds of REPORT's findings that are not accepted.
unsigned document_findings(const document_report &report);

// The report (print.cc).  Write REPORT as text on OUT: the findings in
// full, the other files counted by class, or all of them if LIST_ALL.
void print_document(const document_report &report, bool list_all, FILE *out);

// Write REPORT as one JSON document on OUT.
void print_document_json(const document_report &report, FILE *out);

#endif
