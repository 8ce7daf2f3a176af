// The path module: how paths split and compare.

#include <gtest/gtest.h>
#include <string>

#include "shared/paths.h"
#include "helpers.h"

namespace {

TEST(Paths, SplitAndCompare)
{
  struct {
    std::string path, base, dir, dir_slash, collapsed;
  } cases[] = {
    {"/usr/share/texmf/tex/a.sty", "a.sty", "/usr/share/texmf/tex", "/usr/share/texmf/tex/",
     "/usr/share/texmf/tex/a.sty"},
    {"/usr/share/texmf//ls-R", "ls-R", "/usr/share/texmf/", "/usr/share/texmf//",
     "/usr/share/texmf/ls-R"},
    {"a.sty", "a.sty", "", "", "a.sty"},
    {"/a.sty", "a.sty", "", "/", "/a.sty"},
    {"/dir/", "", "/dir", "/dir/", "/dir/"},
    {"", "", "", "", ""},
    // A backslash is a character of a name here.
    {"/x/back\\slash.sty", "back\\slash.sty", "/x", "/x/", "/x/back\\slash.sty"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(base_name(c.path), c.base) << c.path;
    EXPECT_EQ(directory_of(c.path), c.dir) << c.path;
    EXPECT_EQ(directory_with_slash(c.path), c.dir_slash) << c.path;
    EXPECT_EQ(collapsed_path(c.path), c.collapsed) << c.path;
    // On Linux case counts: the key is the collapsed path itself.
    EXPECT_EQ(path_key(c.path), c.collapsed) << c.path;
  }
  EXPECT_NE(path_key("/a/Array.sty"), path_key("/a/array.sty"));
}

TEST(Paths, OnlyTheDirectorysLinksAreResolved)
{
  std::string base = make_temp_dir();
  write_file(base + "/real/f.sty", "");
  symlink((base + "/real").c_str(), (base + "/linked").c_str());
  symlink((base + "/real/f.sty").c_str(), (base + "/real/link.sty").c_str());
  struct {
    std::string path, resolved;
  } cases[] = {
    {base + "/linked/f.sty", base + "/real/f.sty"},
    {base + "/real/link.sty", base + "/real/link.sty"}, // the file itself stays a link
    {base + "/linked/gone.sty", base + "/real/gone.sty"},
    {"name-alone.sty", "name-alone.sty"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(resolved_directory_path(c.path), c.resolved) << c.path;
}

} // namespace
