// The hits of the lookups as the lookups' child process hands them to its
// parent: length-prefixed strings through a pipe.
#ifndef LSRCHECK_LOOKUPS_HITS_H
#define LSRCHECK_LOOKUPS_HITS_H

#include <cstddef>
#include <string>
#include <vector>

// What one lookup of a name found: every hit in search order, and the
// format that found them (the last one tried where none did; -1 where the
// program reads no such file).
struct name_hits {
  int format = -1;
  std::vector<std::string> paths;

  bool operator==(const name_hits &other) const
  {
    return format == other.format && paths == other.paths;
  }
};

// What one program's lookups found, a name each.
typedef std::vector<name_hits> program_hits;

// Return HITS as length-prefixed strings.
std::string encoded_hits(const std::vector<program_hits> &hits);

// Read PROGRAMS x NAMES hits encoded by encoded_hits from DATA at AT into
// HITS, moving AT past them; return false if they are not all there.
bool decode_hits(const std::string &data, size_t &at, size_t programs, size_t names,
                 std::vector<program_hits> &hits);

#endif
