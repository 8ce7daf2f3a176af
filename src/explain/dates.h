// The dates that decide an "older" verdict, asked of the installation's own
// LaTeX: the copy each program loads and the copy that would take its
// place, each input by its path, so that what it inputs is found as in a
// real run.
#ifndef LSRCHECK_EXPLAIN_DATES_H
#define LSRCHECK_EXPLAIN_DATES_H

#include <string>

#include "explain/explain.h"

// Ask LATEX (a program, or "" for none, for the reason UNAVAILABLE) for the dates of the copies that
// decide "older" in the groups of REPORT with a differ finding that is a
// problem: for each program, the copy it loads and the copy that would
// take its place.  Each answer replaces the member's date and version
// (latex_date); where LaTeX cannot be asked, latex_why says why.  Return
// true if any date was asked.
bool ask_latex_for_dates(explained_report &report, const std::string &latex,
                         const std::string &unavailable);

#endif
