// The hits of the lookups as the lookups' child process hands them to its
// parent: length-prefixed strings through a pipe.
#ifndef LSRCHECK_LOOKUPS_HITS_H
#define LSRCHECK_LOOKUPS_HITS_H

#include <cstddef>
#include <string>
#include <vector>

// Every hit of every group for one program, in search order.
typedef std::vector<std::vector<std::string>> program_hits;

// Return HITS as length-prefixed strings.
std::string encoded_hits(const std::vector<program_hits> &hits);

// Read PROGRAMS x GROUPS hits encoded by encoded_hits from DATA at AT
// into HITS, moving AT past them; return false if they are not all there.
bool decode_hits(const std::string &data, size_t &at, size_t programs, size_t groups,
                 std::vector<program_hits> &hits);

#endif
