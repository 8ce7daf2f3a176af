#include "lookups/hits.h"

#include <cstdint>
#include <cstring>

std::string encoded_hits(const std::vector<program_hits> &hits)
{
  std::string data;
  auto put = [&](uint32_t n) { data.append(reinterpret_cast<const char *>(&n), sizeof n); };
  for (const program_hits &program : hits)
    for (const name_hits &name : program) {
      put(static_cast<uint32_t>(name.format + 1));
      put(static_cast<uint32_t>(name.paths.size()));
      for (const std::string &hit : name.paths) {
        put(static_cast<uint32_t>(hit.size()));
        data += hit;
      }
    }
  return data;
}

bool decode_hits(const std::string &data, size_t &at, size_t programs, size_t names,
                 std::vector<program_hits> &hits)
{
  auto get = [&](uint32_t *n) {
    if (data.size() - at < sizeof *n)
      return false;
    memcpy(n, data.data() + at, sizeof *n);
    at += sizeof *n;
    return true;
  };
  hits.assign(programs, program_hits(names));
  for (program_hits &program : hits)
    for (name_hits &name : program) {
      uint32_t format, count, length;
      if (!get(&format) || !get(&count))
        return false;
      name.format = static_cast<int>(format) - 1;
      for (uint32_t i = 0; i < count; i++) {
        if (!get(&length) || data.size() - at < length)
          return false;
        name.paths.push_back(data.substr(at, length));
        at += length;
      }
    }
  return true;
}
