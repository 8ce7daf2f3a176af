// The dates that decide an "older" verdict, asked of the installation's own
// LaTeX: the copy each program loads and the copy that would take its
// place, each input by its path, so that what it inputs is found as in a
// real run.
#ifndef LSRCHECK_EXPLAIN_DATES_H
#define LSRCHECK_EXPLAIN_DATES_H

#include <string>
#include <vector>

#include "explain/explain.h"
#include "latex/latex.h"

// LaTeX programs started ahead of the questions, waiting for them.
typedef std::vector<waiting_latex> latex_ahead;

// Start, in the current directory, the LaTeX programs the groups of REPORT
// are likely to ask (the installation's programs in BIN), so that their
// formats load while the lookups run: where a LaTeX file has a copy outside
// the distribution's trees that differs from another, two for each engine
// asked (one a core at most), and none where descriptors are scarce.
// None on a stock installation.
latex_ahead start_latex_ahead(const explained_report &report, const std::string &bin);

// End the programs of AHEAD, unasked.
void end_latex_ahead(latex_ahead &ahead);

// Ask the LaTeX programs of the installation whose programs are in BIN,
// from the current directory, for the dates of the copies
// that decide "older" in the groups of REPORT with a differ finding that is
// a problem: for each program, the copy it loads and the copy that would
// take its place, each program's answer from its own engine's LaTeX (or
// from latex where it is no LaTeX program), one question a content and
// engine.  The answers go to every member of that content (by_program).
// Questions go first to the programs of AHEAD, which then all end.
// Return true if any date was asked.
bool ask_latex_for_dates(explained_report &report, const std::string &bin, latex_ahead &ahead);

#endif
