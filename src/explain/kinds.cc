// The names of the explained report's finding kinds, as -fail-on takes
// them.

#include "explain/kinds.h"

#include "platform/platform.h"
#include "shared/output.h"

#include <iterator>
#include <string>
#include <utility>

namespace {

// The kinds by name; "any" stands for several.
const kind_name kinds[] = {
  {"differ", finding_differ}, {"older", finding_older}, {"unreachable", finding_unreachable},
  {"stale", finding_stale}, {"distribution", finding_distribution}, {"any", findings_any}};

} // namespace

const char *finding_kind_name(unsigned kind)
{
  return name_of_kind(kinds, std::size(kinds), kind);
}

bool parse_finding_kinds(const std::string &list, unsigned *bits, std::string *bad)
{
  return parse_kind_list(list, kinds, std::size(kinds), bits, bad);
}
