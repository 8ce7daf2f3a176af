// The dates that decide an "older" verdict, asked of the installation's own
// LaTeX: the copy each program loads and the copy that would take its
// place, each input by its path, so that what it inputs is found as in a
// real run.
#ifndef LSRCHECK_EXPLAIN_DATES_H
#define LSRCHECK_EXPLAIN_DATES_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "explain/explain.h"
#include "latex/latex.h"

// LaTeX programs started ahead of the questions, waiting for them.
typedef std::vector<waiting_latex> latex_ahead;

// Return how many groups of REPORT are likely to have LaTeX asked for
// their dates: a LaTeX file with a copy outside the distribution's trees
// whose bytes differ from another copy's.  None on a stock installation.
size_t likely_asked_groups(const explained_report &report);

// Return how many of FILES (found on disk outside the databases) that the
// report KEPT are likely to have LaTeX asked for their dates: a LaTeX file
// whose bytes differ from a copy of its name the loaded databases hold.
// Known before the groups are.
size_t likely_asked_files(const std::vector<std::string> &files,
                          const std::function<bool(const std::string &)> &kept);

// Start in AHEAD, in the current directory, the LaTeX programs of PROGRAMS
// (the installation's, in BIN) for LIKELY questions, so that their formats
// load while the report is made: two for each engine (one a core at most)
// with those AHEAD holds already, at most MOST more, and none where none is
// likely or descriptors are scarce.
void start_latex_ahead(latex_ahead &ahead, const std::vector<std::string> &programs,
                       const std::string &bin, size_t likely, size_t most = SIZE_MAX);

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
