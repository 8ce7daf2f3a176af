// The findings of the explained report, worked out group by group.
#ifndef LSRCHECK_EXPLAIN_FINDINGS_H
#define LSRCHECK_EXPLAIN_FINDINGS_H

#include <cstddef>
#include <vector>

#include "explain/explain.h"

// Return true if ITEM is in LIST.
bool has_p(const std::vector<size_t> &list, size_t item);

// Number G's members in search order: first the copies that the first
// program loading one of them finds, in its order, then the rest by path
// (as they stand); the hits, the search orders and the content marks
// (lettered in the new order) follow.
void number_in_search_order(group_info &g);

// Work out G's findings: for each program, the copy it loads against the
// copies its own search finds behind it (older, differ); members gone
// from disk (stale); members no program finds (a note).  A finding whose
// copies are all the distribution's is marked so.  Findings of the same
// kind and text are one, for all their programs.
void find_findings(group_info &g, size_t programs);

// Set G's problems, distribution and accepted kinds from its findings: an
// accepted finding is neither a problem nor the distribution's.
void tally_findings(group_info &g);

// Give the members of G that hold the same bytes the same declaration: a
// file's reading may follow an \input only where its neighbours are the
// ones it was written with.  Where the copies were read differently, the
// distribution's copy's reading holds, else none: no date is better than a
// wrong one.
void same_facts_for_same_bytes(group_info &g);

// Return true if M was put there by the distribution: a Debian or TeX Live
// package owns it, or the distribution's tools made it in its own trees.
bool distribution_p(const member_info &m);

// Return the member that PROGRAM's search for spelling SPELLING of G's
// name finds next behind the one it loads: the copy it would load if that
// one were removed; or -1.
int next_copy(const group_info &g, size_t program, size_t spelling);

// Return the findings of all groups of REPORT, as bits: the problems, the
// unreachable note, and finding_distribution for the distribution's own.
unsigned report_findings(const explained_report &report);

#endif
