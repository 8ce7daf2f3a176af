// A TeX Live installation made by its own installer: -texmfroot, and the
// note when the TeX on PATH is another installation than the one checked.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "helpers.h"

namespace {

// Settings that leave Kpathsea to find its configuration by itself.
run_options plain_environment()
{
  run_options opts;
  opts.unset = {"TEXMFCNF", "TEXMFDBS", "TEXMF"};
  return opts;
}

TEST(TexliveRoot, EveryModeChecksTheInstallationAtTheRoot)
{
  texlive_tree tl = make_texlive_tree();
  const std::string root = "-texmfroot=" + tl.root;
  run_result r = run_lsrcheck({"-multiple-occurences", root}, plain_environment());
  EXPECT_EQ(r.out, expected_report(3, {{tl.root + "/texmf-dist/tex/latex/x.sty",
                                        tl.root + "/texmf-var/tex/latex/x.sty",
                                        tl.local + "/tex/latex/x.sty"}}));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 0);

  // The explained report names the installation's trees and its TeX Live
  // packages.
  write_file(tl.root + "/tlpkg/texlive.tlpdb",
             "name other\nrunfiles size=1\n texmf-dist/tex/latex/y.sty\n\n"
             "name xpkg\nrunfiles size=1\n texmf-dist/tex/latex/x.sty details=\"x\"\n");
  r = run_lsrcheck({"-explain", "-json", root}, plain_environment());
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char *expected :
       {"\"tree\": \"TEXMFDIST\"", "\"tree\": \"TEXMFSYSVAR\"", "\"tree\": \"TEXMFLOCAL\"",
        "\"texlive_package\": \"xpkg\""})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;

  // The health check walks the installation's own trees: texmf-dist's
  // ls-R, made by hand here, lacks web2c/texmf.cnf.
  r = run_lsrcheck({"-databases", root}, plain_environment());
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.out.substr(0, r.out.find("Configuration") == std::string::npos
                                ? r.out.find("Problems")
                                : r.out.find("Configuration")),
            "!!" + tl.local + ": ls-R up to date, 1 entry\n"
            "!!" + tl.root + "/texmf-var: ls-R up to date, 1 entry\n"
            "!!" + tl.root + "/texmf-dist: ls-R, 1 entry\n"
            "  1 file missing from ls-R: never found, the tree is marked !!\n"
            "    " + tl.root + "/texmf-dist/web2c/texmf.cnf\n"
            "  mend: mktexlsr " + tl.root + "/texmf-dist\n");

  // The reports that do not read the databases run as they always do.
  for (const char *mode : {"-shared-memory", "-ghostscript"}) {
    run_result other = run_lsrcheck({mode, root}, plain_environment());
    run_result without = run_lsrcheck({mode}, plain_environment());
    EXPECT_EQ(other.out, without.out) << mode;
    EXPECT_EQ(other.status, 0) << mode;
  }

  // A TEXMFCNF of the user's own still decides where texmf.cnf is read.
  texmf_tree own = make_tree("./a:\nx.sty\n./b:\nx.sty\n");
  run_options opts = plain_environment();
  opts.unset = {"TEXMFDBS"};
  opts.env = {{"TEXMFCNF", own.cnf}};
  r = run_lsrcheck({"-m", root}, opts);
  EXPECT_EQ(r.out, expected_report(2, {{own.root + "/a/x.sty", own.root + "/b/x.sty"}}));
}

TEST(TexliveRoot, ADirectoryWithoutAnInstallationIsRefusedBeforeAnyReport)
{
  texlive_tree tl = make_texlive_tree();
  std::string no_cnf = make_temp_dir();
  make_dirs(no_cnf + "/bin/x86_64-linux");
  std::filesystem::copy(tl.root + "/bin/x86_64-linux/kpsewhich", no_cnf + "/bin/x86_64-linux/");
  struct {
    std::string dir, why;
  } cases[] = {
    {tl.root + "/nowhere", "no such directory"},
    {tl.root + "/bin/x86_64-linux/kpsewhich", "not a directory (it is a file)"},
    {"/dev/null", "not a directory (it is a device)"},
    {tl.local, "no TeX Live installation (no bin/ARCH/kpsewhich)"},
    {no_cnf, "no TeX Live installation (no texmf-dist/web2c/texmf.cnf)"},
  };
  for (const auto &c : cases)
    for (const char *mode : {"-multiple-occurences", "-shared-memory", "-ghostscript"}) {
      run_result r = run_lsrcheck({mode, "-texmfroot", c.dir});
      EXPECT_EQ(r.status, 1) << c.dir;
      EXPECT_EQ(r.out, "") << c.dir;
      EXPECT_EQ(r.err, "lsrcheck: -texmfroot=" + c.dir + ": " + c.why + "\n");
    }
}

TEST(TexliveRoot, NoteWhenTheTexOnPathIsAnotherInstallation)
{
  texlive_tree tl = make_texlive_tree();
  run_options opts = plain_environment();
  std::string bin_dir = std::filesystem::path(LSRCHECK_BINARY).parent_path().string();
  opts.env = {{"PATH", tl.root + "/bin/x86_64-linux:" + bin_dir + ":/usr/bin:/bin"}};
  run_result with_note = run_lsrcheck({"-m", "-x", "*"}, opts);
  run_result plain = run_lsrcheck({"-m", "-x", "*"}, plain_environment());
  EXPECT_EQ(with_note.out, plain.out);
  EXPECT_EQ(with_note.status, 0);
  const std::string start = "lsrcheck: note: the TeX on your PATH is " + tl.root +
                            "; this report is for ";
  EXPECT_EQ(with_note.err.compare(0, start.size(), start), 0) << with_note.err;
  EXPECT_NE(with_note.err.find("; use -texmfroot=" + tl.root + "\n"), std::string::npos);
  EXPECT_EQ(plain.err, "");

  // Checking that very installation needs no note.
  run_result same = run_lsrcheck({"-m", "-x", "*", "-texmfroot=" + tl.root}, opts);
  EXPECT_EQ(same.err, "");
}

} // namespace
