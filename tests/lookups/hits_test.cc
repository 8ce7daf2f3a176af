// The hits as the lookups' child hands them to its parent.

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "lookups/hits.h"

namespace {

TEST(Hits, RoundTripAndTruncation)
{
  std::vector<program_hits> hits = {
    {{3, {"/a/x.sty", "/b/x.sty"}}, {-1, {}}, {0, {std::string("nul\0byte", 8)}}},
    {{26, {}}, {3, {"/only.sty"}}, {3, {"", "/empty/before"}}},
  };
  std::string data = encoded_hits(hits);
  // Two programs of three names: formats, counts and lengths, four bytes
  // each, then the paths.
  EXPECT_EQ(data.size(), 6 * 4 + 6 * 4 + 6 * 4 + 8 + 8 + 8 + 9 + 0 + 13);
  size_t at = 0;
  std::vector<program_hits> back;
  ASSERT_TRUE(decode_hits(data, at, 2, 3, back));
  EXPECT_EQ(at, data.size());
  EXPECT_EQ(back, hits);
  // Whatever is cut short is no answer, wherever it is cut.
  for (size_t cut : {size_t(0), size_t(3), size_t(4), size_t(10), data.size() - 1}) {
    size_t from = 0;
    EXPECT_FALSE(decode_hits(data.substr(0, cut), from, 2, 3, back)) << cut;
  }
  // Two encodings one after the other are read in turn.
  std::vector<program_hits> one = {{{1, {"/c"}}}};
  std::string both = encoded_hits(one) + data;
  at = 0;
  ASSERT_TRUE(decode_hits(both, at, 1, 1, back));
  EXPECT_EQ(back, one);
  ASSERT_TRUE(decode_hits(both, at, 2, 3, back));
  EXPECT_EQ(at, both.size());
}

} // namespace
