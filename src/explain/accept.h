// Accepted findings: those of an earlier -explain -json report that a team
// keeps on purpose (a local copy it maintains), each known by its group,
// its kind and the paths and contents of the members it involves.
#ifndef LSRCHECK_EXPLAIN_ACCEPT_H
#define LSRCHECK_EXPLAIN_ACCEPT_H

#include <set>
#include <string>

#include "explain/explain.h"

typedef std::set<std::string> accepted_findings;

// Read the findings of the report in FILE into *ACCEPTED; return false,
// with the reason in *WHY, if FILE cannot be read or is no report of
// -explain -json.
bool read_accepted(const std::string &file, accepted_findings *accepted, std::string *why);

// Give each member of REPORT's findings the hash of its content, so that
// the JSON report can be accepted later.
void hash_finding_members(explained_report &report);

// Mark the findings of REPORT that ACCEPTED holds, for the same members
// with the same contents, as accepted: no problem and no distribution's
// finding any more, counted apart.
void accept_findings(explained_report &report, const accepted_findings &accepted);

#endif
