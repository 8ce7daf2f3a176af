// The dates that decide an "older" verdict, asked of the installation's
// own LaTeX: each file input by its path, so that what it inputs is found
// as in a real run, and the declaration LaTeX records under the file's own
// name reported.
#ifndef LSRCHECK_EXPLAIN_LATEX_H
#define LSRCHECK_EXPLAIN_LATEX_H

#include <cstddef>
#include <string>

#include "explain/explain.h"

// How long one file may keep LaTeX busy, and how much it may make LaTeX
// write (a declaration's run writes a few KiB).
const unsigned latex_seconds = 20;
const size_t latex_output_limit = size_t(16) << 20;

// Return the TeX input that makes LaTeX input the file at PATH, named NAME,
// report the declaration it records under NAME and stop; "" where PATH or
// NAME hold characters TeX would read as commands.
std::string latex_probe(const std::string &path, const std::string &name);

// Return the LaTeX program of the installation whose programs are in BIN,
// or "" where it has none.
std::string latex_program(const std::string &bin);

// Ask LATEX (a program, or "" for none, for the reason UNAVAILABLE) for the dates of the copies that
// decide "older" in the groups of REPORT with a differ finding that is a
// problem: for each program, the copy it loads and the copy that would
// take its place.  Each answer replaces the member's date and version
// (latex_date); where LaTeX cannot be asked, latex_why says why.  Return
// true if any date was asked.
bool ask_latex_for_dates(explained_report &report, const std::string &latex,
                         const std::string &unavailable);

#endif
