// The one tree walker against find -L, on one worker and on several.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "helpers.h"
#include "shared/walk.h"

namespace {

// A tree with what a walk must get right: a link to a directory, a link
// back up (a loop), a dangling link, a hidden directory, a deep chain.
std::string make_walk_tree()
{
  std::string top = make_temp_dir() + "/t";
  write_file(top + "/a/one.sty", "");
  write_file(top + "/a/b/two.sty", "");
  write_file(top + "/.hidden/three.sty", "");
  write_file(top + "/a/.dot.sty", "");
  std::string deep = top + "/c";
  for (int i = 0; i < 40; i++)
    deep += "/d" + std::to_string(i);
  write_file(deep + "/four.sty", "");
  EXPECT_EQ(symlink("a", (top + "/alias").c_str()), 0);
  EXPECT_EQ(symlink("../..", (top + "/a/b/up").c_str()), 0);
  EXPECT_EQ(symlink("nowhere", (top + "/a/broken.sty").c_str()), 0);
  return top;
}

TEST(Walk, FindsWhatFindFindsOnAnyNumberOfWorkers)
{
  std::string top = make_walk_tree();
  std::vector<std::string> found = command_output(
      "find -L '" + top + "' \\( -type d -name '.?*' -prune \\) -o \\( ! -type d -print \\) "
      "2>/dev/null | sort");
  ASSERT_EQ(found.size(), 9u); // four files and a dangling link twice (a/, alias/), four
  EXPECT_EQ(files_below(top), found);

  for (unsigned workers : {1u, 2u, 8u}) {
    std::mutex lock;
    std::vector<std::string> paths;
    std::set<unsigned> used;
    ASSERT_TRUE(walk_trees({top, top + "/missing", ""}, workers,
                           [&](const walk_item &item, std::vector<platform::listed_entry> &entries,
                               int error, unsigned worker) {
                             EXPECT_EQ(error, 0);
                             EXPECT_EQ(item.tree, 0u);
                             std::lock_guard<std::mutex> held(lock);
                             used.insert(worker);
                             for (const platform::listed_entry &e : entries)
                               if (!e.directory)
                                 paths.push_back(item.dir + "/" + e.name);
                             return true;
                           }));
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, found) << workers << " workers";
    EXPECT_LE(*used.rbegin(), workers - 1);
  }
}

TEST(Walk, AVisitorThatSaysStopEndsTheWalkOnEveryWorker)
{
  std::string top = make_walk_tree();
  for (unsigned workers : {1u, 4u}) {
    std::atomic<int> visited{0};
    walk_trees({top}, workers, [&](const walk_item &, std::vector<platform::listed_entry> &, int,
                                   unsigned) {
      visited++;
      return false;
    });
    // Workers already listing when the first says stop may finish theirs.
    EXPECT_GE(visited.load(), 1);
    EXPECT_LE(visited.load(), static_cast<int>(workers)) << workers << " workers";
  }
}

} // namespace
