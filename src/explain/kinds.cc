// The names of the explained report's finding kinds, as -fail-on takes
// them.

#include "explain/kinds.h"

#include "platform/platform.h"

#include <string>
#include <utility>

namespace {

// The kinds by name; "any" stands for several.
const std::pair<const char *, unsigned> kinds[] = {
  {"differ", finding_differ}, {"older", finding_older}, {"unreachable", finding_unreachable},
  {"stale", finding_stale}, {"distribution", finding_distribution}, {"any", findings_any}};

} // namespace

const char *finding_kind_name(unsigned kind)
{
  for (const auto &[name, bit] : kinds)
    if (bit == kind)
      return name;
  return "";
}

bool parse_finding_kinds(const std::string &list, unsigned *bits, std::string *bad)
{
  for (const std::string &word : platform::split_text(list, ',')) {
    unsigned found = 0;
    for (const auto &[name, bit] : kinds)
      if (word == name)
        found = bit;
    if (found == 0) {
      *bad = word;
      return false;
    }
    *bits |= found;
  }
  return true;
}
