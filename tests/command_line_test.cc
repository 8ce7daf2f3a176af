// The command line: texts, statuses, abbreviations and leftover words.

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "helpers.h"
#include "lsrcheck.h"
#include "kpathsea/binding.h"

namespace {

const char usage_text[] =
  "Usage: lsrcheck [OPTION]... [FILENAME]...\n"
  "  Kpathsea checking about ls-R files.\n"
  "\n"
  "-debug=NUM             set debugging flags.\n"
  "\n"
  "-multiple-occurences   check for multiple occurences of the same file.\n"
  "-exclude=<pattern>     exclude any filename that matches the argument.\n"
  "-include=<pattern>     include only filenames that match the argument.\n"
  "-file=<pattern>        look for multiple occurences of the pattern.\n"
  "\n"
  "-shared-memory         report about shared memory usage.\n"
  "\n"
  "-ghostscript           report about the gs version installed.\n"
  "\n"
  "-help                  print this message and exit.\n"
  "-version               print version number and exit.\n"
  "\n"
  "-texmfroot=DIR         check the TeX Live installation rooted at DIR.\n"
  "-explain               explain each group: which copy each program loads,\n"
  "                       whether the copies differ, what each one is.\n"
  "-progname=NAME         with -explain, look up as program NAME (repeatable;\n"
  "                       default latex, pdflatex, lualatex, xelatex).\n"
  "-json                  print the explained, the document's, the formats', the\n"
  "                       installations' or the health report as JSON.\n"
  "-fail-on=KIND[,KIND]   with -explain, exit with status 3 when a group shows\n"
  "                       a finding of KIND: differ, older, stale, any (of those\n"
  "                       three), unreachable, distribution; with -document,\n"
  "                       when a file shows one: differ, older, rerun, foreign,\n"
  "                       any (of those four), kept, outside.\n"
  "-accept=FILE           with -explain or -document, accept the findings that\n"
  "                       the report FILE (of the same mode, -json) holds for\n"
  "                       the same contents.\n"
  "-databases             check every ls-R against its tree and the configuration;\n"
  "                       exit with status 4 when a problem is found.\n"
  "-formats               check the formats each engine loads: per-user, stale,\n"
  "                       missing or failing; exit with status 4 on a problem.\n"
  "-installations         report the TeX installations on PATH and which one each\n"
  "                       program comes from; exit with status 4 on a mix.\n"
  "-document=FILE         check what one run of TeX read, and from where: FILE is\n"
  "                       the run's .fls (of -recorder), or its .tex or .log.\n"
  "-verbose               with -databases, list every entry of long lists;\n"
  "                       with -explain, list every group in full;\n"
  "                       with -document, list every file; with -formats,\n"
  "                       every format.\n"
  "                       Modes: -shared-memory, then -ghostscript, then\n"
  "                       -databases, then -formats, then -installations, then\n"
  "                       -document, then -explain, then -multiple-occurences.\n"
  "-multiple-occurrences  the same as -multiple-occurences.\n"
  "Short forms: -d NUM, -m, -x PATTERN, -i PATTERN, -f PATTERN, -s, -g, -h, -v.\n"
  "\n"
  "Email bug reports to tex-k@tug.org.\n";

const char warning_text[] = "lsrcheck: warning, extra arguments.\n";

// Parse ARGS in this process, from a fresh option state.  The option state
// borrows its strings, so the arguments live until the next parse.
void parse(const std::vector<std::string> &words)
{
  static std::vector<std::string> args;
  args = words;
  options = option_state{};
  options.program_name = "lsrcheck";
  args.insert(args.begin(), "lsrcheck");
  std::vector<char *> argv;
  for (std::string &arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  parse_options(static_cast<int>(args.size()), argv.data());
}

TEST(Usage, NoArgumentsAndHelpGiveTheUsageText)
{
  for (const auto &args : std::vector<std::vector<std::string>>{
           {}, {"-help"}, {"--help"}, {"-h"}, {"-he"}, {"-help", "-bogus"}}) {
    run_result r = run_lsrcheck(args);
    EXPECT_EQ(r.out, usage_text) << args.size();
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
}

TEST(Usage, BadOptionsEndWithStatusOneAndOnlyTheParsersComplaint)
{
  for (const auto &args : std::vector<std::vector<std::string>>{
           {"-bogus", "-help"},
           {"-exclude"},              // missing argument
           {"--help=yes"},            // argument to an option without one
           {"-multiple-occurences", "-q"}}) {
    run_result r = run_lsrcheck(args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_EQ(r.out, "") << args[0];
    EXPECT_NE(r.err.find("lsrcheck: "), std::string::npos) << r.err;
  }
}

TEST(Usage, VersionGivesKpathseaVersionThenOurNotice)
{
  for (const char *option : {"-version", "--version", "-v", "-vers"}) {
    run_result r = run_lsrcheck({option, "-bogus"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string first = std::string(path_search_version()) + "\n";
    ASSERT_EQ(r.out.compare(0, first.size(), first), 0) << r.out;
    EXPECT_EQ(r.out.compare(first.size(), 9, "lsrcheck "), 0) << r.out;
    EXPECT_NE(r.out.find("Copyright (C) 2026 the lsrcheck authors"), std::string::npos);
  }
}

TEST(LeftoverWords, WarningNeedsTwoWordsOutsideTheDuplicateCheck)
{
  run_result one = run_lsrcheck({"word"});
  EXPECT_EQ(one.err, "");
  EXPECT_EQ(one.out, usage_text);

  run_result three = run_lsrcheck({"a", "b", "c"});
  EXPECT_EQ(three.err, warning_text);
  EXPECT_EQ(three.out, usage_text);
  EXPECT_EQ(three.status, 0);

  // With -multiple-occurences the words are patterns, whichever mode runs.
  run_result shm = run_lsrcheck({"-shared-memory", "-multiple-occurences", "a", "b"});
  EXPECT_EQ(shm.err, "");
  EXPECT_EQ(shm.status, 0);
}

TEST(LeftoverWords, BecomeIncludePatternsAfterTheIncludeOptions)
{
  parse({"-multiple-occurences", "a", "-include=c", "b"});
  ASSERT_EQ(options.include_patterns.size(), 3u);
  EXPECT_STREQ(options.include_patterns[0], "c");
  EXPECT_STREQ(options.include_patterns[1], "a");
  EXPECT_STREQ(options.include_patterns[2], "b");
  EXPECT_TRUE(options.exclude_patterns.empty());
}

TEST(Parsing, AbbreviationsDashesAndArgumentForms)
{
  parse({"-x", "p1", "-exclude=p2", "--excl", "p3", "-xp4", "-x=p5", "-i=q", "-d3",
         "-f", "f1", "-file=f2", "-mult", "-s", "-ghost"});
  // "x" is no prefix of "exclude", so -x=p5 is the letter with "=p5".
  std::vector<std::string> excludes(options.exclude_patterns.begin(),
                                    options.exclude_patterns.end());
  EXPECT_EQ(excludes, (std::vector<std::string>{"p1", "p2", "p3", "p4", "=p5"}));
  ASSERT_EQ(options.include_patterns.size(), 1u);
  EXPECT_STREQ(options.include_patterns[0], "q");
  EXPECT_STREQ(options.file_pattern, "f2");
  EXPECT_TRUE(options.multiple_occurences);
  EXPECT_TRUE(options.shared_memory);
  EXPECT_TRUE(options.ghostscript);

  for (const char *form : {"-g", "--ghostscript", "-gh"}) {
    parse({form});
    EXPECT_TRUE(options.ghostscript) << form;
    EXPECT_FALSE(options.shared_memory) << form;
  }
}

TEST(Parsing, AbbreviationsOfOldOptionsOutliveNewOptions)
{
  // -explain and -verbose came later; what abbreviated -exclude and
  // -version before still does.
  for (const std::vector<std::string> &words :
       {std::vector<std::string>{"-e", "p"}, {"-ex", "p"}, {"--ex=p"}, {"-exc=p"}}) {
    parse(words);
    ASSERT_EQ(options.exclude_patterns.size(), 1u) << words[0];
    EXPECT_STREQ(options.exclude_patterns[0], "p");
    EXPECT_FALSE(options.explain);
  }
  parse({"-exp"});
  EXPECT_TRUE(options.explain);
  for (const char *form : {"-ve", "-ver", "--vers"}) {
    run_result r = run_lsrcheck({form});
    EXPECT_EQ(r.out.compare(0, 8, "kpathsea"), 0) << form << r.out;
  }
}

TEST(Parsing, DebugValuesAddUpInKpathseasMask)
{
  unsigned saved = kpathsea_debug;
  kpathsea_debug = 0;
  parse({"-debug=3", "-debug", "4", "-debug=junk"});
  EXPECT_EQ(kpathsea_debug, 7u);
  kpathsea_debug = saved;
}

TEST(Parsing, PatternListsHaveNoFixedLimit)
{
  std::vector<std::string> args;
  for (int i = 0; i < 3000; i++)
    args.push_back("-exclude=p" + std::to_string(i));
  parse(args);
  ASSERT_EQ(options.exclude_patterns.size(), 3000u);
  EXPECT_STREQ(options.exclude_patterns[2999], "p2999");
}

TEST(Parsing, BothSpellingsOfTheDuplicateCheckAndTheirAbbreviations)
{
  for (const char *form : {"-m", "-mu", "-multiple-occur", "-multiple-occurences",
                           "-multiple-occurrences", "--multiple-occurr", "-multiple-occure"}) {
    parse({form});
    EXPECT_TRUE(options.multiple_occurences) << form;
  }
}

TEST(Parsing, OptionsThatImplyAModeAndWarningsForOptionsNoModeReads)
{
  const std::string w = "lsrcheck: warning, ";
  struct {
    std::vector<std::string> args;
    run_mode mode;
    std::string warnings;
  } cases[] = {
    {{"-fail-on=older", "-x", "*/doc/*"}, mode_explain, ""},
    {{"-progname=tex"}, mode_explain, ""},
    {{"-file=a.sty"}, mode_multiple_occurences, ""},
    {{"-m", "-fail-on=older"}, mode_explain, ""},
    {{"-s", "-databases"}, mode_shared_memory,
     w + "-databases is not run: -shared-memory comes first.\n"},
    {{"-g", "-explain", "-m"}, mode_ghostscript,
     w + "-explain is not run: -ghostscript comes first.\n"},
    {{"-databases", "-explain", "-fail-on=older", "-x", "p"}, mode_databases,
     w + "-explain is not run: -databases comes first.\n" +
     w + "-fail-on has no effect with -databases.\n" +
     w + "-exclude has no effect with -databases.\n"},
    {{"-verbose", "-m"}, mode_multiple_occurences,
     w + "-verbose has no effect with -multiple-occurences.\n"},
    {{"-verbose"}, mode_usage, w + "-verbose has no effect without a mode.\n"},
    // The order of the older modes stays silent.
    {{"-s", "-g", "-m", "-x", "p"}, mode_shared_memory, ""},
  };
  for (const auto &c : cases) {
    parse(c.args);
    EXPECT_EQ(mode_of_options(), c.mode) << c.args[0];
    testing::internal::CaptureStderr();
    warn_about_unused_options(mode_of_options());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.warnings) << c.args[0];
  }
}

TEST(Output, WriteErrorIsReportedWithStatusOne)
{
  run_options full;
  full.stdout_path = "/dev/full";
  run_result r = run_lsrcheck({}, full);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "lsrcheck: write error: No space left on device\n");
}

TEST(Parsing, PatternsThatCanMatchNoPathAreNotedWithTheFormsThatMatchANameOnly)
{
  texmf_tree tree = make_tree("./a:\nx.sty\n./b:\nx.sty\n");
  write_file(tree.root + "/a/x.sty", "");
  write_file(tree.root + "/b/x.sty", "");
  auto include_note_for = [](const std::string &p) {
    return "lsrcheck: note: the pattern " + p + " is matched against whole paths and matches "
           "none; '*/" + p + "' or -file=" + p + " match the file name.\n";
  };
  const std::string include_note = include_note_for("x.sty");
  // Each pattern run beside one that has a '/', so matches as much of a
  // file name (nothing), for the standard output it must not change.
  const struct {
    std::vector<std::string> args, same_out_as;
    std::string err;
  } cases[] = {
    {{"-m", "x.sty"}, {"-m", "/x.sty"}, include_note},
    {{"-m", "-include=x.sty"}, {"-m", "-include=/x.sty"}, include_note},
    {{"-m", "-x", "x.sty"}, {"-m", "-x", "x.sty"}, ""}, // excludes leave the report whole
    {{"-m", "-include="}, {"-m", "-include="}, ""},      // the empty pattern asks for nothing
    {{"-m", "a", "b", "c", "d.sty", "e"}, {"-m", "/"},
     include_note_for("a") + include_note_for("b") + include_note_for("c") +
         "lsrcheck: note: 2 more patterns like these match no path.\n"},
    {{"-m", "*/x.sty"}, {"-m", "*/x.sty"}, ""},
    {{"-m", "x.st?"}, {"-m", "x.st?"}, ""},
    {{"-m", "-file=x.sty"}, {"-m", "-file=x.sty"}, ""},
    {{"-explain", "-json", "x.sty"}, {"-explain", "-json", "/x.sty"}, include_note},
    {{"-shared-memory", "-m", "x.sty"}, {"-shared-memory"}, ""}, // patterns unused
  };
  for (const auto &c : cases) {
    run_result r = run_on_tree(tree, c.args);
    EXPECT_EQ(r.err, c.err) << c.args.back();
    EXPECT_EQ(r.out, run_on_tree(tree, c.same_out_as).out) << c.args.back();
    EXPECT_EQ(r.status, 0);
  }
}

} // namespace
