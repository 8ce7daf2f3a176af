// The duplicate check end to end, on small texmf trees made for each test.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "helpers.h"

namespace {

TEST(Duplicates, EmptyOrMissingDatabaseGivesTheBareReport)
{
  const std::string bare = "0 files in your databases.\nSorting ...\nMultiple occurences :\n\n"
                           "End of list.\n\n";
  texmf_tree tree = make_tree("");
  run_result r = run_on_tree(tree, {"-multiple-occurences"});
  EXPECT_EQ(r.out, bare);
  // Kpathsea itself warns about an ls-R without entries.
  EXPECT_NE(r.err.find("No usable entries in ls-R"), std::string::npos) << r.err;
  EXPECT_EQ(r.status, 0);

  std::remove((tree.root + "/ls-R").c_str());
  r = run_on_tree(tree, {"-multiple-occurences"});
  EXPECT_EQ(r.out, bare);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);
}

TEST(Duplicates, GroupsIgnoreCaseAscendByNameAndListPathsInByteOrder)
{
  texmf_tree tree = make_tree(
      "./b:\nfoo.STY\nbar.tex\nBaz.cls\nsingle.sty\n"
      "./a:\nFoo.sty\nBAR.tex\nbaz.cls\n"
      "./c:\nfoo.sty\n");
  const std::string t = tree.root + "/";
  run_result r = run_on_tree(tree, {"-m"});
  EXPECT_EQ(r.out, expected_report(8, {{t + "a/BAR.tex", t + "b/bar.tex"},
                                       {t + "a/baz.cls", t + "b/Baz.cls"},
                                       {t + "a/Foo.sty", t + "b/foo.STY", t + "c/foo.sty"}}));
  EXPECT_EQ(r.status, 0);

  // -file keeps the files of matching names; the count counts them.
  EXPECT_EQ(run_on_tree(tree, {"-file=FOO.sty", "-m"}).out,
            expected_report(3, {{t + "a/Foo.sty", t + "b/foo.STY", t + "c/foo.sty"}}));
}

TEST(Duplicates, DirectoriesOnDiskAreDroppedAndMissingFilesKept)
{
  texmf_tree tree = make_tree("./a:\nsub\ngone.sty\n./b:\nsub\ngone.sty\n");
  make_dirs(tree.root + "/a/sub");
  make_dirs(tree.root + "/b/sub");
  const std::string t = tree.root + "/";
  run_result r = run_on_tree(tree, {"-multiple-occurences"});
  EXPECT_EQ(r.out, expected_report(2, {{t + "a/gone.sty", t + "b/gone.sty"}}));

  // The disk test comes before the patterns.
  r = run_on_tree(tree, {"-multiple-occurences", "*sub"});
  EXPECT_EQ(r.out, expected_report(0, {}));
}

TEST(Duplicates, PatternsMatchTheWholePathIgnoringCase)
{
  texmf_tree tree = make_tree(
      "./tex/a:\nfoo.sty\nmyfoo.sty\nx.cls\n"
      "./tex/b:\nFOO.STY\nx.cls\n"
      "./doc:\nfoo.sty\n");
  const std::string t = tree.root + "/";
  struct {
    std::vector<std::string> args;
    std::string expected;
    std::string err = "";
  } cases[] = {
    // A bare name never matches: the directory stands in front of it, as
    // a note on standard error says.
    {{"-include=foo.sty"}, expected_report(0, {}),
     "lsrcheck: note: the pattern foo.sty is matched against whole paths and matches none; "
     "'*/foo.sty' or -file=foo.sty match the file name.\n"},
    {{"-include=*foo.sty"},
     expected_report(4, {{t + "doc/foo.sty", t + "tex/a/foo.sty", t + "tex/b/FOO.STY"}})},
    // Every include pattern must match.
    {{"-i=*.sty", "-i=*.cls"}, expected_report(0, {})},
    {{"-i=*.sty", "-i=*/tex/*"},
     expected_report(3, {{t + "tex/a/foo.sty", t + "tex/b/FOO.STY"}})},
    // Leftover words are include patterns too.
    {{"*/TEX/*", "*.CLS"}, expected_report(2, {{t + "tex/a/x.cls", t + "tex/b/x.cls"}})},
    // Exclude wins over include; the first matching exclude settles it.
    {{"-x", "*/doc/*", "-exclude", "*/b/*", "*.sty"}, expected_report(2, {})},
    // A backslash quotes the next character.
    {{"-exclude=*\\/doc\\/*"}, expected_report(5, {{t + "tex/a/foo.sty", t + "tex/b/FOO.STY"},
                                             {t + "tex/a/x.cls", t + "tex/b/x.cls"}})},
    {{"-exclude=*\\\\doc\\\\*"},
     expected_report(6, {{t + "doc/foo.sty", t + "tex/a/foo.sty", t + "tex/b/FOO.STY"},
                         {t + "tex/a/x.cls", t + "tex/b/x.cls"}})},
  };
  for (auto &c : cases) {
    c.args.insert(c.args.begin(), "-multiple-occurences");
    run_result r = run_on_tree(tree, c.args);
    EXPECT_EQ(r.out, c.expected) << c.args[1];
    EXPECT_EQ(r.err, c.err) << c.args[1];
  }
}

TEST(Duplicates, KeptPathsGrowPastEachStepOf4096)
{
  for (int n : {4095, 4096, 4097, 9000}) {
    std::string listing = "./a:\n";
    for (int i = 0; i < n; i++)
      listing += "f" + std::to_string(i) + ".tex\n";
    listing += "./b:\nf0.tex\nF" + std::to_string(n - 1) + ".TEX\n";
    texmf_tree tree = make_tree(listing);
    const std::string t = tree.root + "/";
    const std::string last = std::to_string(n - 1);
    run_result r = run_on_tree(tree, {"-multiple-occurences"});
    // Names sort by stricmp: "f0.tex" comes before any "f<digits>".
    EXPECT_EQ(r.out, expected_report(n + 2, {{t + "a/f0.tex", t + "b/f0.tex"},
                                             {t + "a/f" + last + ".tex",
                                              t + "b/F" + last + ".TEX"}}))
        << n;
  }
}

TEST(Duplicates, WriteErrorDuringTheReportIsNotSuccess)
{
  texmf_tree tree = make_tree("./a:\nx.tex\n./b:\nx.tex\n");
  run_options full;
  full.stdout_path = "/dev/full";
  run_result r = run_on_tree(tree, {"-multiple-occurences"}, full);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "lsrcheck: write error: No space left on device\n");
}

TEST(Duplicates, NotesTreesSearchedOnDiskWithFilesOfNoPackage)
{
  // The databases hold one file; a tree Kpathsea searches on disk is put
  // on TEXMF before it.  Standard output is the report without that tree,
  // and standard error names the tree only when a user's file is there.
  texmf_tree tree = make_tree("./a:\nx.sty\n");
  write_file(tree.root + "/a/x.sty", "");
  std::string home = make_temp_dir();
  write_file(home + "/tex/latex/old/x.sty", "");
  write_file(home + "/tex/latex/old/y.sty", "");
  const std::string base_latex = "/usr/share/texlive/texmf-dist/tex/latex/base";
  const std::string note = "lsrcheck: note: " + home + " is searched on disk and not in this "
                           "report (";
  const struct {
    std::string texmf;
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
    {"{" + home + "," + tree.root + "}", {"-m"}, note + "2 files); -explain includes it\n"},
    {"{" + home + "," + tree.root + "}", {"-m", "-x", "*/y.sty"},
     note + "1 file); -explain includes it\n"},
    {"{" + home + "," + tree.root + "}", {"-m", "-file=z.sty"}, ""},
    {"{!!" + home + "," + tree.root + "}", {"-m"}, ""},       // searched through ls-R only
    {"{" + tree.root + "}", {"-m"}, ""},                       // not searched at all
    {"{" + base_latex + "," + tree.root + "}", {"-m"}, ""},    // a Debian package's files
  };
  for (const auto &c : cases) {
    run_options opts;
    opts.env.emplace_back("TEXMF", c.texmf);
    run_result r = run_on_tree(tree, c.args, opts);
    std::vector<std::string> plain_args = c.args;
    run_result plain = run_on_tree(tree, plain_args);
    EXPECT_EQ(r.out, plain.out) << c.texmf;
    EXPECT_EQ(r.err, c.err) << c.texmf;
    EXPECT_EQ(r.status, 0);
  }
  // The distribution's own trees hold what its tools made: no note.
  run_options sysvar;
  sysvar.env = {{"TEXMF", "{" + home + "," + tree.root + "}"}, {"TEXMFSYSVAR", home}};
  EXPECT_EQ(run_on_tree(tree, {"-m"}, sysvar).err, "");
}

} // namespace
