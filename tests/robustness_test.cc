// Bad input and hostile surroundings: each case of docs/robustness.md, with
// the outcome it documents.

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <vector>

#include "helpers.h"

namespace {

const std::string bare_report =
    "0 files in your databases.\nSorting ...\nMultiple occurences :\n\nEnd of list.\n\n";

// Return the report for LISTING (written as the tree's ls-R, as it stands).
run_result check_listing(const std::string &listing, std::vector<std::string> args = {})
{
  texmf_tree tree = make_tree("");
  write_file(tree.root + "/ls-R", listing);
  args.insert(args.begin(), "-multiple-occurences");
  return run_on_tree(tree, args);
}

TEST(BadDatabases, MissingEmptyHeaderlessAndDamagedFiles)
{
  // No ls-R at all: nothing to report, nothing to complain about.
  texmf_tree tree = make_tree("");
  std::remove((tree.root + "/ls-R").c_str());
  run_result missing = run_on_tree(tree, {"-multiple-occurences"});
  EXPECT_EQ(missing.out, bare_report);
  EXPECT_EQ(missing.err, "");
  EXPECT_EQ(missing.status, 0);

  // An empty file: Kpathsea's warning, then the empty report.
  run_result empty = check_listing("");
  EXPECT_EQ(empty.out, bare_report);
  EXPECT_NE(empty.err.find("No usable entries in ls-R"), std::string::npos);
  EXPECT_EQ(empty.status, 0);

  // Without the header line, Kpathsea reads the file all the same.
  run_result headerless = check_listing("./a:\nx.sty\n./b:\nX.STY\n");
  EXPECT_EQ(headerless.out.substr(0, 26), "2 files in your databases.");
  EXPECT_NE(headerless.out.find("/b/X.STY\n\nEnd of list."), std::string::npos);

  // CRLF line ends read like LF ones; a directory line without entries
  // adds nothing.
  const std::string lf = lsr_header + "./a:\nx.sty\n./empty:\n./b:\nx.sty\n";
  std::string crlf;
  for (char c : lf)
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  run_result with_lf = check_listing(lf);
  EXPECT_EQ(with_lf.out.substr(0, 26), "2 files in your databases.");
  run_result with_crlf = check_listing(crlf);
  EXPECT_EQ(with_crlf.out.size(), with_lf.out.size());
  EXPECT_EQ(with_crlf.out.find('\r'), std::string::npos);
  EXPECT_EQ(with_crlf.status, 0);

  // Binary garbage after the header: a well-formed report, status 0.
  std::mt19937 random(7);
  std::string garbage = lsr_header;
  for (int i = 0; i < 200000; i++)
    garbage += static_cast<char>(random() % 256);
  run_result damaged = check_listing(garbage);
  EXPECT_EQ(damaged.status, 0);
  EXPECT_NE(damaged.out.find(" files in your databases.\nSorting ...\n"), std::string::npos);
  EXPECT_EQ(damaged.out.substr(damaged.out.size() - 14), "End of list.\n\n");
}

TEST(Unprivileged, UnreadableDatabaseIsKpathseasWarningAndAnEmptyReport)
{
  if (root_p())
    GTEST_SKIP() << "root reads every file; this case runs as nobody";
  texmf_tree tree = make_tree("./a:\nx.sty\n");
  chmod((tree.root + "/ls-R").c_str(), 0);
  run_result r = run_on_tree(tree, {"-multiple-occurences"});
  chmod((tree.root + "/ls-R").c_str(), 0644);
  EXPECT_EQ(r.out, bare_report);
  EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
  EXPECT_EQ(r.status, 0);
}

TEST(Unprivileged, KpathseasComplaintAboutOneFileIsWrittenOnce)
{
  if (root_p())
    GTEST_SKIP() << "root reads every file; this case runs as nobody";
  // Kpathsea complains on every search that meets a file it may not read;
  // -explain searches for four programs in two processes.
  const struct {
    std::string unreadable;
    std::vector<std::string> args;
  } cases[] = {
    {"ls-R", {"-multiple-occurences"}},
    {"ls-R", {"-explain"}},
    {"b/y.sty", {"-explain"}},
    {"b/y.sty", {"-explain", "-progname=latex", "-progname=tex", "-progname=etex"}},
  };
  for (const auto &c : cases) {
    texmf_tree tree = make_tree("./a:\ny.sty\n./b:\ny.sty\n");
    write_file(tree.root + "/a/y.sty", "a");
    write_file(tree.root + "/b/y.sty", "b");
    chmod((tree.root + "/" + c.unreadable).c_str(), 0);
    run_options opts;
    opts.env.emplace_back("TEXINPUTS", tree.root + "//");
    run_result r = run_on_tree(tree, c.args, opts);
    const std::string complaint = tree.root + "/" + c.unreadable + ": Permission denied\n";
    size_t first = r.err.find(complaint);
    EXPECT_NE(first, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(complaint, first + 1), std::string::npos) << r.err;
    // A copy that cannot be read is no copy "not on their paths".
    EXPECT_EQ(r.out.find("not on their paths"), std::string::npos) << r.out;
  }
}

TEST(BadNames, LongNamesHighBytesAndCaseOutsideAscii)
{
  // Names of 4,096 bytes and more: printed whole, grouped as any other.
  const std::string long_name(5000, 'n');
  run_result long_names = check_listing(lsr_header + "./a:\n" + long_name + "\n./b:\n" + long_name + "\n");
  EXPECT_EQ(long_names.status, 0);
  EXPECT_NE(long_names.out.find("/a/" + long_name + "\n"), std::string::npos);
  EXPECT_NE(long_names.out.find("/b/" + long_name + "\n\n"), std::string::npos);

  // Bytes above 127 and invalid UTF-8 are bytes: only ASCII letters fold,
  // so é and É stay apart while \xff\xfe.sty and \xff\xfe.STY group.
  const std::string listing = lsr_header + "./a:\n\xc3\xa9t\xe9.sty\n\xff\xfe.sty\n"
                              "./b:\n\xc3\x89T\xe9.sty\n\xc3\xa9t\xe9.sty\n\xff\xfe.STY\n";
  texmf_tree tree = make_tree("");
  write_file(tree.root + "/ls-R", listing);
  const std::string t = tree.root + "/";
  run_result bytes = run_on_tree(tree, {"-multiple-occurences"});
  EXPECT_EQ(bytes.out, expected_report(5, {{t + "a/\xc3\xa9t\xe9.sty", t + "b/\xc3\xa9t\xe9.sty"},
                                           {t + "a/\xff\xfe.sty", t + "b/\xff\xfe.STY"}}));
  // Patterns with such bytes match them byte for byte.
  EXPECT_EQ(run_on_tree(tree, {"-multiple-occurences", "-x", "*\xff*"}).out.substr(0, 26),
            "3 files in your databases.");
  EXPECT_EQ(run_on_tree(tree, {"-multiple-occurences", "*\xc3\xa9*"}).out.substr(0, 26),
            "2 files in your databases.");
}

TEST(BadNames, OneNameShared100000Times)
{
  std::string listing = lsr_header;
  for (int i = 0; i < 100000; i++)
    listing += "./d" + std::to_string(i) + ":\nsame.sty\n";
  texmf_tree tree = make_tree("");
  write_file(tree.root + "/ls-R", listing);
  run_result r = run_on_tree(tree, {"-multiple-occurences"});
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(r.out.substr(0, 31), "100000 files in your databases.");
  // One group of all of them, in byte order of the whole path.
  size_t first = r.out.find(tree.root + "/d0/same.sty\n" + tree.root + "/d1/same.sty\n" +
                            tree.root + "/d10/same.sty\n");
  EXPECT_NE(first, std::string::npos);
  EXPECT_NE(r.out.find(tree.root + "/d99999/same.sty\n\nEnd of list.\n\n"), std::string::npos);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 100000 + 7);
}

TEST(BadPatterns, ManyOddAndEmptyPatterns)
{
  texmf_tree tree = make_tree("./a:\nx.sty\ny[.sty\n./b:\nx.sty\n");
  const std::string t = tree.root + "/";
  auto count_line = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "-multiple-occurences");
    run_result r = run_on_tree(tree, args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    return r.out.substr(0, r.out.find('\n'));
  };
  // An unbalanced '[' is an ordinary character.
  EXPECT_EQ(count_line({"-exclude=*["}), "3 files in your databases.");
  EXPECT_EQ(count_line({"-exclude=*[.sty"}), "2 files in your databases.");
  EXPECT_EQ(count_line({"-include=["}), "0 files in your databases.");
  // The empty pattern matches only the empty path, which never occurs.
  EXPECT_EQ(count_line({"-include="}), "0 files in your databases.");
  EXPECT_EQ(count_line({"-exclude="}), "3 files in your databases.");

  // 100,000 exclude patterns, and 100,000 leftover words as includes
  // (short, to stay within the system's limit on argument size).
  std::vector<std::string> excludes, words;
  for (int i = 0; i < 100000; i++) {
    excludes.push_back("-x" + std::to_string(i));
    words.push_back("*" + std::to_string(i) + "*");
  }
  excludes.push_back("-exclude=*/b/*");
  EXPECT_EQ(count_line(excludes), "2 files in your databases.");
  EXPECT_EQ(count_line(words), "0 files in your databases.");

  // Without -multiple-occurences, 100,000 words are one warning.
  run_result plain = run_lsrcheck(words);
  EXPECT_EQ(plain.err, "lsrcheck: warning, extra arguments.\n");
  EXPECT_EQ(plain.out.substr(0, 7), "Usage: ");
  EXPECT_EQ(plain.status, 0);
}

TEST(HostileOutput, ClosedFullAndBrokenStandardStreams)
{
  texmf_tree tree = make_tree("./a:\nx.sty\n./b:\nx.sty\n");
  run_options closed;
  closed.close_stdout = true;
  run_result r = run_on_tree(tree, {"-multiple-occurences"}, closed);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "lsrcheck: write error: Bad file descriptor\n");
  r = run_lsrcheck({}, closed);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "lsrcheck: write error: Bad file descriptor\n");

  // A reader that went away: SIGPIPE ends the run as for other tools, or,
  // where it is ignored, status 1 without a word.
  std::string listing = lsr_header;
  for (int dir = 0; dir < 2; dir++) {
    listing += "./d" + std::to_string(dir) + ":\n";
    for (int i = 0; i < 20000; i++)
      listing += "f" + std::to_string(i) + ".sty\n";
  }
  write_file(tree.root + "/ls-R", listing);
  run_options pipe;
  pipe.broken_pipe = true;
  r = run_on_tree(tree, {"-multiple-occurences"}, pipe);
  EXPECT_EQ(r.status, 128 + SIGPIPE);
  EXPECT_EQ(r.err, "");
  pipe.ignore_sigpipe = true;
  r = run_on_tree(tree, {"-multiple-occurences"}, pipe);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");

  // Without standard error, statuses stay right.
  run_options no_stderr;
  no_stderr.close_stderr = true;
  EXPECT_EQ(run_lsrcheck({"-bogus"}, no_stderr).status, 1);
  r = run_lsrcheck({"a", "b"}, no_stderr);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 7), "Usage: ");
}

TEST(HostileSurroundings, GsDllNamingADirectoryOrANonLibrary)
{
  for (const char *dll : {"/tmp", "/etc/passwd", "", "/dev/null"}) {
    run_options opts;
    opts.env.emplace_back("GS_DLL", dll);
    run_result r = run_lsrcheck({"-ghostscript"}, opts);
    EXPECT_EQ(r.out, "lsrcheck: no version of Ghostscript has been found.\n") << dll;
    EXPECT_EQ(r.status, 0);
  }
}

TEST(Unprivileged, SharedMemoryObjectWithoutReadWriteAccess)
{
  if (root_p())
    GTEST_SKIP() << "root opens any object; this case runs as nobody";
  shm_unlink("/rv52_hash_mapping");
  int fd = shm_open("/rv52_hash_mapping", O_CREAT | O_EXCL | O_RDWR, 0444);
  ASSERT_GE(fd, 0);
  close(fd);
  run_result r = run_lsrcheck({"-shared-memory"});
  shm_unlink("/rv52_hash_mapping");
  EXPECT_EQ(r.out, "No kpathsea file mapping set up.\n");
  EXPECT_EQ(r.status, 0);
}

} // namespace
