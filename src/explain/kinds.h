// The kinds of the explained report's findings, and their names as
// -fail-on and the JSON report give them.
#ifndef LSRCHECK_EXPLAIN_KINDS_H
#define LSRCHECK_EXPLAIN_KINDS_H

#include <string>

// The kinds of findings, as bits.
enum finding_kind : unsigned {
  finding_differ = 1,        // a loaded copy's bytes differ from one behind it
  finding_older = 2,         // a loaded copy declares an older date than one behind it
  finding_unreachable = 4,   // a member none of the programs finds: a note
  finding_stale = 8,         // a member gone from disk (missing, dangling link)
  finding_distribution = 16, // a finding whose copies are all the distribution's
};

// The kinds -fail-on=any stands for: the problems a user can act on.
const unsigned findings_any = finding_differ | finding_older | finding_stale;

// Return the name of the finding kind KIND (one bit) as -fail-on and the
// JSON report give it: "differ", "older", "stale", ...
const char *finding_kind_name(unsigned kind);

// Add to *BITS the finding kinds named by LIST ("differ,stale", "any") and
// return true, or set *BAD to the first name that is no kind and return
// false.
bool parse_finding_kinds(const std::string &list, unsigned *bits, std::string *bad);

#endif
