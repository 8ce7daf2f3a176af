// The disk test answers per directory listing exactly as dir_p answers per
// joined path, on trees full of awkward cases.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "duplicates/duplicates.h"
#include "helpers.h"
#include "kpathsea/binding.h"
#include "platform/platform.h"

namespace {

// A tree with symbolic links to directories and files, dangling links,
// missing names, names differing only in case, and directories that cannot
// be listed or searched.  Returns the ls-R listing of it.
std::string make_awkward_tree(const std::string &root)
{
  std::string listing;
  const char *dirs[] = {"plain", "links", "locked", "unsearchable", "Case"};
  for (const char *dir : dirs) {
    make_dirs(root + "/" + dir + "/sub");
    listing += std::string("./") + dir + ":\n";
    for (const char *name : {"a.sty", "A.STY", "b.tex", "sub", "missing.sty", "sub"})
      listing += std::string(name) + "\n";
    write_file(root + "/" + dir + "/a.sty", "");
    write_file(root + "/" + dir + "/A.STY", "");
    write_file(root + "/" + dir + "/b.tex", "");
  }
  // A directory and a file reached through links, a dangling link, a link
  // loop, and a directory whose own name is a link.
  symlink("../plain", (root + "/links/to-dir").c_str());
  symlink("../plain/a.sty", (root + "/links/to-file").c_str());
  symlink("nowhere", (root + "/links/dangling").c_str());
  symlink("loop", (root + "/links/loop").c_str());
  symlink("plain", (root + "/alias").c_str());
  listing += "./links:\nto-dir\nto-file\ndangling\nloop\n";
  listing += "./alias:\na.sty\nsub\nb.tex\nnope\n";
  // Listed directories that are missing or are files.
  write_file(root + "/file-not-dir", "");
  listing += "./gone:\nx.sty\ny.sty\nz.sty\n./file-not-dir:\nx.sty\ny.sty\nz.sty\n";
  chmod((root + "/locked").c_str(), 0311);       // searchable, not readable
  chmod((root + "/unsearchable").c_str(), 0644); // readable, not searchable
  return listing;
}

// Make DIR and its contents removable again after a test.
void unlock(const std::string &root)
{
  chmod((root + "/locked").c_str(), 0755);
  chmod((root + "/unsearchable").c_str(), 0755);
}

TEST(DiskTest, ListingAgreesWithDirPForEveryName)
{
  std::string root = make_temp_dir();
  make_awkward_tree(root);
  const std::vector<std::string> names = {
      "a.sty", "A.STY", "a.STY", "b.tex", "sub", "sub", "missing.sty", "to-dir", "to-file",
      "dangling", "loop", "sub/..", "sub/", "..", ".", std::string(300, 'n')};
  std::vector<const char *> name_ptrs;
  for (const std::string &name : names)
    name_ptrs.push_back(name.c_str());
  for (const std::string dir : {"plain/", "links/", "locked/", "unsearchable/", "alias/",
                                "alias", "gone/", "file-not-dir/", "plain//", "Case/../plain/"}) {
    std::string full = root + "/" + dir;
    std::unique_ptr<bool[]> answers(new bool[names.size()]);
    platform::find_directories(full.c_str(), name_ptrs.data(), names.size(), answers.get());
    for (size_t i = 0; i < names.size(); i++) {
      std::string path = full + names[i];
      EXPECT_EQ(answers[i], dir_p(path.data()) != 0) << path;
    }
  }
  unlock(root);
}

TEST(DiskTest, JoinedPathsTooLongForStatAreNotDirectories)
{
  std::string root = make_temp_dir();
  // Build a real directory chain whose joined path passes PATH_MAX only
  // with the last name; chdir keeps each creation short.
  std::string dir = root;
  std::string component(200, 'x');
  while (dir.size() + 1 + component.size() < 4096 - 10)
    dir += "/" + component;
  std::string longest(255, 'y');
  int cwd = open(".", O_RDONLY);
  ASSERT_EQ(chdir(root.c_str()), 0);
  for (size_t at = root.size() + 1; at < dir.size(); at += component.size() + 1) {
    mkdir(component.c_str(), 0755);
    ASSERT_EQ(chdir(component.c_str()), 0);
  }
  mkdir(longest.c_str(), 0755); // joined, it passes PATH_MAX
  for (int i = 0; i < 3; i++)
    mkdir(("s" + std::to_string(i)).c_str(), 0755);
  ASSERT_EQ(fchdir(cwd), 0);
  close(cwd);

  dir += "/";
  const char *names[] = {longest.c_str(), "s0", "s1", "s2"};
  bool answers[4];
  platform::find_directories(dir.c_str(), names, 4, answers);
  for (int i = 0; i < 4; i++) {
    std::string path = dir + names[i];
    EXPECT_EQ(answers[i], dir_p(path.data()) != 0) << path.size();
  }
  EXPECT_FALSE(answers[0]); // past PATH_MAX
  EXPECT_TRUE(answers[1]);
}

// The report for TREE as the straightforward check makes it: one concat and
// one dir_p per entry, then the patterns.  Runs Kpathsea in a child.
std::string straightforward_report(const texmf_tree &tree, std::vector<const char *> includes)
{
  std::string out_path = make_temp_dir() + "/report";
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    static std::vector<char *> kept;
    static std::vector<const char *> patterns;
    patterns = includes;
    setenv("TEXMFCNF", tree.cnf.c_str(), 1);
    setenv("TEXMFDBS", tree.root.c_str(), 1);
    set_up_path_search(LSRCHECK_BINARY);
    hash_shared_iter(hash_shared_exists_p(DB_LOAD), [](const char *name, const char *dir, void *) {
      char *path = concat(dir, name);
      bool keep = !dir_p(path);
      for (const char *pattern : patterns)
        keep = keep && platform::match_pattern(pattern, path) != platform::pattern_no_match;
      if (keep)
        kept.push_back(path);
      else
        free(path);
    }, nullptr);
    FILE *out = fopen(out_path.c_str(), "w");
    report_groups(kept.data(), static_cast<int>(kept.size()), out);
    fclose(out);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return read_file(out_path);
}

TEST(DiskTest, ReportIsByteIdenticalToThePerEntryCheck)
{
  texmf_tree tree = make_tree("");
  std::string listing = make_awkward_tree(tree.root);
  // Many names in one directory, some listed twice, a few subdirectories.
  make_dirs(tree.root + "/big/d1");
  make_dirs(tree.root + "/big/d2");
  listing += "./big:\nd1\nd2\nd3\n";
  for (int i = 0; i < 500; i++) {
    std::string name = "n" + std::to_string(i) + (i % 2 ? ".STY" : ".sty");
    if (i % 7 != 0)
      write_file(tree.root + "/big/" + name, "");
    listing += name + "\n" + (i % 50 == 0 ? name + "\n" : "");
  }
  write_file(tree.root + "/ls-R",
             lsr_header + listing);

  for (std::vector<const char *> includes :
       {std::vector<const char *>{}, std::vector<const char *>{"*.sty"},
        std::vector<const char *>{"*/big/*", "*[0-9].sty"}}) {
    std::vector<std::string> args = {"-multiple-occurences"};
    for (const char *pattern : includes)
      args.push_back(std::string("-include=") + pattern);
    run_result r = run_on_tree(tree, args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, straightforward_report(tree, includes)) << args.size();
  }
  unlock(tree.root);
}

} // namespace

namespace {

// The report of group_collected for ENTRIES of directory DIR, with THREADS
// threads and the include patterns INCLUDES.
std::string grouped_report(const std::vector<std::pair<std::string, std::string>> &entries,
                           unsigned threads, std::vector<const char *> includes)
{
  collected_entries collected;
  for (const auto &[dir, name] : entries)
    collect_entry(name.c_str(), dir.c_str(), &collected);
  check_filter filter;
  filter.include = includes;
  char *text = nullptr;
  size_t size = 0;
  FILE *out = open_memstream(&text, &size);
  print_duplicates(group_collected(collected, filter, {}, threads), out);
  fclose(out);
  std::string report(text, size);
  free(text);
  return report;
}

TEST(DiskTest, ReportIsTheSameForAnyNumberOfThreads)
{
  // Many small directories, so that every thread gets some, with names
  // shared across them in mixed case, subdirectories and missing files.
  std::string root = make_temp_dir();
  std::vector<std::pair<std::string, std::string>> entries;
  std::vector<std::string> paths;
  for (int d = 0; d < 300; d++) {
    std::string dir = root + "/d" + std::to_string(d) + "/";
    make_dirs(dir + "sub");
    for (int f = 0; f < d % 9; f++) {
      std::string name = "n" + std::to_string((d * 7 + f) % 50) + (f % 2 ? ".STY" : ".sty");
      if (f % 4 != 3)
        write_file(dir + name, "");
      entries.emplace_back(dir, name);
      paths.push_back(dir + name);
    }
    entries.emplace_back(dir, "sub");
  }
  std::string reference = reference_report(paths);
  for (unsigned threads : {1u, 2u, 3u, 8u, 64u}) {
    EXPECT_EQ(grouped_report(entries, threads, {}), reference) << threads;
    // Patterns are tried in the threads too.
    EXPECT_EQ(grouped_report(entries, threads, {"*/d1*"}), grouped_report(entries, 1, {"*/d1*"}))
        << threads;
  }
}

} // namespace
