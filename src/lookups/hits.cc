#include "lookups/hits.h"

#include <cstdint>
#include <cstring>

// Return HITS as length-prefixed strings.
std::string encoded_hits(const std::vector<program_hits> &hits)
{
  std::string data;
  auto put = [&](uint32_t n) { data.append(reinterpret_cast<const char *>(&n), sizeof n); };
  for (const program_hits &program : hits)
    for (const std::vector<std::string> &group : program) {
      put(static_cast<uint32_t>(group.size()));
      for (const std::string &hit : group) {
        put(static_cast<uint32_t>(hit.size()));
        data += hit;
      }
    }
  return data;
}

// Read PROGRAMS x GROUPS hits encoded by encoded_hits from DATA at AT
// into HITS, moving AT past them; return false if they are not all there.
bool decode_hits(const std::string &data, size_t &at, size_t programs, size_t groups,
                 std::vector<program_hits> &hits)
{
  auto get = [&](uint32_t *n) {
    if (data.size() - at < sizeof *n)
      return false;
    memcpy(n, data.data() + at, sizeof *n);
    at += sizeof *n;
    return true;
  };
  hits.assign(programs, program_hits(groups));
  for (program_hits &program : hits)
    for (std::vector<std::string> &group : program) {
      uint32_t count, length;
      if (!get(&count))
        return false;
      for (uint32_t i = 0; i < count; i++) {
        if (!get(&length) || data.size() - at < length)
          return false;
        group.push_back(data.substr(at, length));
        at += length;
      }
    }
  return true;
}
