// What a run of TeX recorded of the files it read and wrote: the list
// `-recorder` writes (NAME.fls), or, without one, the files its log shows
// it opening.
#ifndef LSRCHECK_DOCUMENT_RECORD_H
#define LSRCHECK_DOCUMENT_RECORD_H

#include <ctime>
#include <set>
#include <string>
#include <vector>

// What one run recorded.
struct run_record {
  std::string source;              // the file read (.fls or .log)
  time_t when = 0;                 // its modification time: when the run ended
  bool from_log = false;           // the log's list: it may be incomplete
  std::string pwd;                 // the directory the run ran in
  std::vector<std::string> inputs; // the files it read, each once, in order, as written
  std::set<std::string> outputs;   // the files it wrote, as written
  std::string format_name;         // the format the log names ("pdflatex"), or ""
};

// How large a record may be: a run of a 300-page thesis writes well under
// a megabyte.
const size_t record_limit = size_t(64) << 20;

// Return the record that FILE names: an .fls, or a .tex or .log whose run
// left an .fls beside it (else the log's own list).  Return false, with
// *WHY, where there is none to read (a .tex with neither: the command that
// makes one), or FILE is no record.
bool find_run_record(const std::string &file, run_record *record, std::string *why);

// Read the recorder list TEXT (an .fls) into *RECORD; return false, with
// *WHY, where it is none.
bool read_fls(const std::string &text, run_record *record, std::string *why);

// Read the files TeX's log TEXT shows it opening ("(PATH" groups, its
// lines wrapped at MAX_PRINT_LINE characters) into *RECORD, as found from
// the log's directory DIR; return false, with *WHY, where it is no log.
bool read_log(const std::string &text, const std::string &dir, size_t max_print_line,
              run_record *record, std::string *why);

// Return the TeX program that runs the document TEXT, from its magic
// comment ("% !TEX program = lualatex"), else "pdflatex".
std::string magic_program(const std::string &text);

#endif
