// Functions with logic of their own: the name comparison and the group scan.

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

#include "duplicates/duplicates.h"
#include "helpers.h"
#include "kpathsea/binding.h"

namespace {

// Return the sign of compare_basenames for paths A and B.
int order(const char *a, const char *b)
{
  int r = compare_basenames(&a, &b);
  return (r > 0) - (r < 0);
}

TEST(Stricmp, FoldsOnlyAsciiLettersAndComparesBytesUnsigned)
{
  EXPECT_EQ(stricmp("Foo.STY", "foo.sty"), 0);
  EXPECT_LT(stricmp("abc", "abd"), 0);
  EXPECT_LT(stricmp("ab", "abc"), 0);
  // '_' lies between the upper- and lower-case letters: letters fold down.
  EXPECT_LT(stricmp("_", "a"), 0);
  EXPECT_LT(stricmp("_", "A"), 0);
  EXPECT_LT(stricmp("Z", "\x80"), 0);
  EXPECT_NE(stricmp("\xc3\xa9", "\xc3\x89"), 0); // é and É stay different
}

TEST(CompareBasenames, ComparesFinalComponentsOnly)
{
  EXPECT_EQ(order("/z/Foo.sty", "/a/foo.STY"), 0);
  EXPECT_EQ(order("/z/a.sty", "/a/b.sty"), -1);
  EXPECT_EQ(order("/a/b.sty", "/z/a.sty"), 1);
  // A path without a final component sorts before all others.
  EXPECT_EQ(order("/a/dir/", "/a/!"), -1);
  EXPECT_EQ(order("/a/!", "/a/dir/"), 1);
  EXPECT_EQ(order("/a/", "/b/"), 0);
}

TEST(ReportGroups, ScansNeighboursIntoGroups)
{
  EXPECT_EQ(reference_report({}), expected_report(0, {}));
  EXPECT_EQ(reference_report({"/a/x"}), expected_report(1, {}));
  EXPECT_EQ(reference_report({"/c/X", "/a/y", "/b/x", "/d/Y", "/e/x", "/f/z"}),
            expected_report(6, {{"/b/x", "/c/X", "/e/x"}, {"/a/y", "/d/Y"}}));
  // Paths without a file name never form a group, even with each other.
  EXPECT_EQ(reference_report({"/a/", "/b/", "/c/q", "/d/Q"}),
            expected_report(4, {{"/c/q", "/d/Q"}}));
}

TEST(Dostounix, LeavesBackslashesAloneOnLinux)
{
  char path[] = "/tex/a\\b/c.sty";
  EXPECT_STREQ(dostounix_filename(path), "/tex/a\\b/c.sty");
}

} // namespace
