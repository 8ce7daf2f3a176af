// The database health check on made trees, against mktexlsr and an
// independent walk (find -L).

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <functional>
#include <utility>
#include <vector>

#include "databases/databases.h"
#include "databases/lsr.h"
#include "helpers.h"
#include "kpathsea/binding.h"

namespace {

using nlohmann::json;

// A fixture whose TEXMF is TEXMF and whose TEXMFDBS is DBS ('@' for its
// directory).
texmf_fixture make_db_fixture(const std::string &texmf, const std::string &dbs)
{
  return make_fixture("TEXMF = " + texmf + "\nTEXMFDBS = " + dbs + "\n");
}

// Run -databases (-json unless TEXT) on T's configuration.
run_result check(const texmf_fixture &t, std::vector<std::string> args = {"-json"})
{
  args.insert(args.begin(), "-databases");
  return run_fixture(t, args);
}

// Return the paths of list KEY of tree I of the JSON report R.
std::vector<std::string> list_of(const json &r, size_t i, const char *key)
{
  std::vector<std::string> paths;
  for (const json &item : r["trees"][i][key])
    paths.push_back(item["path"].get<std::string>());
  return paths;
}

// Return S in single quotes for the shell.
std::string shell_quote_for_test(const std::string &s)
{
  std::string out = "'";
  for (char c : s)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}


TEST(Databases, EachKindOfStaleMissingAndLeftOutFile)
{
  texmf_fixture t = make_db_fixture("{!!@a,@b}", "{!!@a,@b}");
  const std::string a = t.base + "/a", b = t.base + "/b";
  for (const std::string &tree : {a, b}) {
    write_file(tree + "/tex/latex/p/kept.sty", "");
    write_file(tree + "/tex/latex/p/gone.sty", "");
    write_file(tree + "/tex/latex/.git/HEAD", "");      // hidden: never reported
    write_file(tree + "/tex/latex/v/a.sty", "");
    write_file(tree + "/tex/latex/v/b.gitignore", "");  // mktexlsr drops it and c.sty
    write_file(tree + "/tex/latex/v/c.sty", "");
    write_file(tree + "/real/r.sty", "");
    symlink("../real", (tree + "/tex/linked").c_str());  // followed
    symlink("nowhere", (tree + "/tex/latex/p/dangling.sty").c_str());
    mktexlsr(tree);
    unlink((tree + "/tex/latex/p/gone.sty").c_str());
    write_file(tree + "/tex/latex/p/new.sty", "");
    write_file(tree + "/tex/linked/new-behind-link.sty", "");
  }
  symlink((a + "/ls-R").c_str(), (t.base + "/lsr-link").c_str());
  rename((b + "/ls-R").c_str(), (t.base + "/b-ls-R").c_str());
  symlink((t.base + "/b-ls-R").c_str(), (b + "/ls-R").c_str());

  run_result r = check(t);
  EXPECT_EQ(r.status, 4) << r.err;
  json report = json::parse(r.out);
  for (size_t i : {0u, 1u}) {
    const std::string &tree = i == 0 ? a : b;
    EXPECT_EQ(list_of(report, i, "missing"),
              (std::vector<std::string>{tree + "/real/new-behind-link.sty",
                                        tree + "/tex/latex/p/new.sty",
                                        tree + "/tex/linked/new-behind-link.sty"}));
    EXPECT_EQ(list_of(report, i, "gone"),
              std::vector<std::string>{tree + "/tex/latex/p/gone.sty"});
    EXPECT_EQ(list_of(report, i, "dangling"),
              std::vector<std::string>{tree + "/tex/latex/p/dangling.sty"});
    EXPECT_EQ(report["trees"][i]["dangling"][0]["target"], "nowhere");
    EXPECT_EQ(list_of(report, i, "left_out"),
              (std::vector<std::string>{tree + "/tex/latex/v/b.gitignore",
                                        tree + "/tex/latex/v/c.sty"}));
    EXPECT_EQ(report["trees"][i]["header"], true);
  }
  EXPECT_EQ(report["trees"][0]["ls_r_target"], nullptr);
  EXPECT_EQ(report["trees"][1]["ls_r_target"], t.base + "/b-ls-R");

  // The text says what TeX does about the missing files in each tree.
  run_result text = check(t, {});
  EXPECT_NE(text.out.find("3 files missing from ls-R: never found, the tree is marked !!"),
            std::string::npos) << text.out;
  EXPECT_NE(text.out.find("3 files missing from ls-R: found only by lookups that must "
                          "succeed (\\input)"),
            std::string::npos);
  EXPECT_NE(text.out.find("  mend: mv " + a + "/tex/latex/v/b.gitignore " + a +
                          "/tex/latex/v/b-gitignore && mktexlsr " + a + "\n"),
            std::string::npos)
      << text.out;

  // mktexlsr alone mends all but what it leaves out itself and the
  // dangling link: the name that trips its rule is to be renamed.
  mktexlsr(a);
  report = json::parse(check(t).out);
  EXPECT_TRUE(list_of(report, 0, "missing").empty());
  EXPECT_TRUE(list_of(report, 0, "gone").empty());
  EXPECT_EQ(list_of(report, 0, "left_out").size(), 2u);
  EXPECT_EQ(list_of(report, 0, "trips"), std::vector<std::string>{a + "/tex/latex/v/b.gitignore"});
}

TEST(Databases, BrokenOrMissingLsRAndEachConfigurationRule)
{
  // plain: on TEXMFDBS without !!; nolsr: !! on both, no ls-R; notondbs:
  // !! in TEXMF only; extra: holds an ls-R, in TEXMF, not on TEXMFDBS;
  // headerless: !! on TEXMFDBS only, so searched on disk as TEXMF says;
  // empty: the same, but its ls-R is not loaded at all.
  texmf_fixture t = make_db_fixture("{@plain,!!@nolsr,!!@notondbs,@extra,@headerless,@empty}",
                                    "{@plain,!!@nolsr,!!@headerless,!!@empty}");
  write_file(t.base + "/plain/ls-R", lsr_header + "./:\nx\n");
  write_file(t.base + "/plain/x", "");
  write_file(t.base + "/nolsr/f.sty", "");
  write_file(t.base + "/notondbs/ls-R", lsr_header);
  write_file(t.base + "/extra/ls-R", lsr_header + "./:\nx\n");
  write_file(t.base + "/extra/x", "");
  write_file(t.base + "/extra/tex/unlisted.sty", ""); // its ls-R lacks it
  write_file(t.base + "/headerless/ls-R", "./:\nf.sty\nls-R\n");
  write_file(t.base + "/headerless/f.sty", "");
  write_file(t.base + "/empty/ls-R", "");

  run_result r = check(t);
  EXPECT_EQ(r.status, 4);
  json report = json::parse(r.out);
  EXPECT_EQ(report["schema_version"], 6);
  std::set<std::string> rules;
  for (const json &p : report["configuration"])
    rules.insert(p["rule"].get<std::string>() + " " +
                 p["dir"].get<std::string>().substr(t.base.size() + 1));
  EXPECT_EQ(rules, (std::set<std::string>{
                       "not-database-only plain",
                       "not-database-only headerless",
                       "not-on-TEXMFDBS notondbs",
                       "database-only-without-ls-R nolsr"}));
  // A tree whose ls-R Kpathsea does not load is searched on disk: what the
  // ls-R lacks is found all the same (kpsewhich says so), and the tree is
  // a note, no problem.
  ASSERT_EQ(report["notes"].size(), 1u);
  EXPECT_EQ(report["notes"][0]["rule"], "ls-R-not-loaded");
  EXPECT_EQ(report["notes"][0]["dir"], t.base + "/extra");
  EXPECT_EQ(command_output("env -u TEXMFDBS -u TEXMF TEXMFCNF='" + t.cnf +
                           "' TEXINPUTS='$TEXMF//' kpsewhich unlisted.sty"),
            std::vector<std::string>{t.base + "/extra/tex/unlisted.sty"});
  // The explained report says the same of it.
  run_options opts;
  opts.env = {{"TEXMFCNF", t.cnf}};
  opts.unset = {"TEXMFDBS", "TEXMF"};
  EXPECT_NE(run_lsrcheck({"-explain"}, opts).out.find(
                "Searched on disk (its ls-R is not used): " + t.base + "/extra\n"),
            std::string::npos);
  EXPECT_EQ(report["trees"][2]["header"], false);
  EXPECT_EQ(report["trees"][2]["entries"], 2);
  EXPECT_EQ(report["trees"][3]["entries"], 0);

  run_result text = check(t, {});
  EXPECT_NE(text.out.find("!!" + t.base + "/empty: ls-R has no usable entries"),
            std::string::npos) << text.out;
  EXPECT_NE(text.out.find("mktexlsr refuses to update it"), std::string::npos);
  EXPECT_NE(text.out.find("mend: rm " + t.base + "/headerless/ls-R && mktexlsr " + t.base +
                          "/headerless\n"),
            std::string::npos);
  EXPECT_NE(text.out.find("Problems found.\n"), std::string::npos);
}

TEST(Databases, TheSearchPathsMarkDecidesWhetherAFileTheLsRLacksIsFound)
{
  // TEXMFDBS says which ls-R Kpathsea loads; TEXMF's '!!' whether it also
  // searches the tree on disk.  kpsewhich -must-exist is the oracle.
  const struct {
    const char *texmf, *dbs;
  } cases[] = {{"{!!@t}", "{@t}"}, {"{@t}", "{!!@t}"}, {"{!!@t}", "{!!@t}"}, {"{@t}", "{@t}"}};
  for (const auto &c : cases) {
    texmf_fixture t = make_db_fixture(c.texmf, c.dbs);
    write_file(t.base + "/t/ls-R", lsr_header + "./tex:\nlisted.sty\n");
    write_file(t.base + "/t/tex/listed.sty", "");
    write_file(t.base + "/t/tex/unlisted.sty", "");
    symlink("nowhere.sty", (t.base + "/t/tex/dangling.sty").c_str());
    std::string kpsewhich = "env -u TEXMFDBS -u TEXMF TEXMFCNF='" + t.cnf +
                            "' TEXINPUTS='$TEXMF//' kpsewhich -must-exist ";
    std::vector<std::string> found = command_output(kpsewhich + "unlisted.sty");
    std::string text = check(t, {}).out;
    // A dangling link is found by no lookup, and said to be so.
    EXPECT_EQ(command_output(kpsewhich + "dangling.sty"), std::vector<std::string>());
    EXPECT_NE(text.find("1 dangling symbolic link missing from ls-R: it leads nowhere"),
              std::string::npos)
        << text;
    bool never = text.find("1 file missing from ls-R: never found") != std::string::npos;
    bool must = text.find("1 file missing from ls-R: found only by lookups that must succeed") !=
                std::string::npos;
    EXPECT_EQ(never, found.empty()) << c.texmf << " " << c.dbs << "\n" << text;
    EXPECT_EQ(must, !found.empty()) << c.texmf << " " << c.dbs << "\n" << text;
    // The configuration warns of the same, and only then.
    bool warned = text.find("(not-database-only)") != std::string::npos;
    EXPECT_EQ(warned, !found.empty()) << c.texmf << " " << c.dbs << "\n" << text;
  }
}

TEST(Databases, HealthyTreesAndNothingWritten)
{
  texmf_fixture t = make_db_fixture("{!!@a}", "{!!@a}");
  write_file(t.base + "/a/tex/x.sty", "x");
  mktexlsr(t.base + "/a");
  std::string before = read_file(t.base + "/a/ls-R");
  struct stat st;
  stat((t.base + "/a").c_str(), &st);
  run_result r = check(t, {});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "!!" + t.base + "/a: ls-R up to date, 4 entries\nAll databases are healthy.\n");
  struct stat after;
  stat((t.base + "/a").c_str(), &after);
  EXPECT_EQ(read_file(t.base + "/a/ls-R"), before);
  EXPECT_EQ(after.st_mtime, st.st_mtime);
}

// Return the lines of the shell command COMMAND's output, as a set.
std::set<std::string> command_lines(const std::string &command)
{
  std::vector<std::string> lines = command_output(command);
  return std::set<std::string>(lines.begin(), lines.end());
}

TEST(Databases, MissingFilesAgreeWithFindOnAThousandsOfFilesTree)
{
  texmf_fixture t = make_db_fixture("{!!@big}", "{!!@big}");
  const std::string big = t.base + "/big";
  // Hidden directories, and what mktexlsr's version-control rule drops:
  // .svn in a name, a directory named _darcs or ending in it, a name
  // ending in _darcs.
  for (int d = 0; d < 60; d++) {
    std::string dir = big + "/tex/d" + std::to_string(d) +
                      (d % 7 == 0 ? "/.cache" : d % 11 == 0 ? "/_darcs" : d % 13 == 0 ? "/old_darcs" : "");
    for (int f = 0; f < 50; f++)
      write_file(dir + "/f" + std::to_string(f) +
                     (f == 20 && d % 5 == 0 ? ".svn-base" : f == 21 && d % 6 == 0 ? "_darcs" : ".tex"),
                 "");
  }
  symlink("d1", (big + "/tex/alias").c_str());
  symlink("../..", (big + "/tex/d3/up").c_str()); // a loop: listed once, not followed
  symlink("missing", (big + "/tex/d2/broken.tex").c_str());
  write_file(big + "/ls-R", lsr_header);

  // Every file find -L sees (dangling links too), hidden directories left
  // out, is missing or left out.
  std::set<std::string> expected =
      command_lines("find -L '" + big + "' \\( -type d -name '.?*' -prune \\) -o "
                    "\\( ! -type d -print \\) 2>/dev/null | grep -v '/ls-R$'");
  json report = json::parse(check(t).out);
  std::set<std::string> reported;
  for (const char *key : {"missing", "missing_dangling", "left_out", "vcs_own"})
    for (const std::string &path : list_of(report, 0, key))
      reported.insert(path);
  EXPECT_EQ(reported, expected);
  EXPECT_GT(expected.size(), 2000u);

  // After mktexlsr, what is left out is just what its ls-R lacks.
  mktexlsr(big);
  report = json::parse(check(t).out);
  EXPECT_TRUE(list_of(report, 0, "missing").empty());
  std::set<std::string> listed = command_lines(
      "awk '/^\\.\\/.*:$/ { d = substr($0, 3, length($0) - 3); next } "
      "$0 != \"\" { print \"" + big + "/\" (d == \"\" ? \"\" : d \"/\") $0 }' '" + big +
      "/ls-R'");
  std::set<std::string> lacking;
  for (const std::string &path : expected)
    if (!listed.count(path))
      lacking.insert(path);
  std::set<std::string> left_out;
  for (const char *key : {"left_out", "vcs_own"})
    for (const std::string &path : list_of(report, 0, key))
      left_out.insert(path);
  EXPECT_EQ(left_out, lacking);
  EXPECT_GT(lacking.size(), 10u);
}

// The (directory, name) pairs Kpathsea itself loads from the ls-R files of
// the tree on T's TEXMFDBS, read in a child process.
std::vector<lsr_entry> kpathsea_pairs(const texmf_fixture &t)
{
  int fds[2];
  if (pipe(fds) != 0)
    return {};
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    setenv("TEXMFCNF", t.cnf.c_str(), 1);
    set_up_path_search(LSRCHECK_BINARY);
    static FILE *out = fdopen(fds[1], "w");
    hash_shared_iter(hash_shared_exists_p(DB_LOAD), [](const char *name, const char *dir, void *) {
      fprintf(out, "%s%c%s%c", dir, 0, name, 0);
    }, nullptr);
    fclose(out);
    _exit(0);
  }
  close(fds[1]);
  std::string data;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
    data.append(buffer, n);
  close(fds[0]);
  waitpid(child, nullptr, 0);
  std::vector<lsr_entry> pairs;
  for (size_t at = 0; at < data.size();) {
    size_t a = data.find('\0', at), b = data.find('\0', a + 1);
    pairs.emplace_back(data.substr(at, a - at), data.substr(a + 1, b - a - 1));
    at = b + 1;
  }
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}

TEST(Databases, ReadsEachLsRAsKpathseaLoadsIt)
{
  // Each case: ls-R, then ls-r ("" for none).
  const std::vector<std::pair<std::string, std::string>> cases = {
    {lsr_header + "./:\n.:\nls-R\n\n./tex:\na.sty\n", ""},
    {lsr_header + "./a:\r\nx.sty\r\ny.sty\rz.sty\r\r\n./b:\nw.sty", ""},
    {lsr_header + "./a:\nnul" + std::string(1, '\0') + "cut.sty\nafter.sty\n", ""},
    {lsr_header + "./.hidden:\nh.sty\n./a/.git:\ng\n./a/.:\nd\n./a/..x/:\nq\n./ok/:\nk.sty\n", ""},
    {"before.sty\n./a:\n.\n..\nreal.sty\n../up:\nu.sty\n/abs/dir:\nv.sty\n", ""},
    {lsr_header + "./a:\nx.sty\n./a:\ny.sty\nnot-a-dir:\nsub/name.sty\n", ""},
    {lsr_header + "./a:\nx.sty\n", lsr_header + "./b:\ny.sty\n"},
  };
  for (const auto &[upper, lower] : cases) {
    texmf_fixture t = make_db_fixture("{!!@a}", "{!!@a}");
    const std::string tree = t.base + "/a";
    write_file(tree + "/ls-R", upper);
    std::vector<lsr_entry> ours = read_lsr(upper, tree + "/ls-R");
    if (!lower.empty()) {
      write_file(tree + "/ls-r", lower);
      std::vector<lsr_entry> more = read_lsr(lower, tree + "/ls-r");
      ours.insert(ours.end(), more.begin(), more.end());
    }
    std::sort(ours.begin(), ours.end());
    EXPECT_EQ(ours, kpathsea_pairs(t)) << upper;
    EXPECT_FALSE(ours.empty());
  }
}

TEST(Databases, TreesWithoutFilesOrLsRAndOddBlocks)
{
  texmf_fixture t = make_db_fixture("{!!@empty,!!@absent,@plain,!!@file,!!@odd,!!@both}",
                                    "{!!@empty,!!@absent,@plain,!!@file,!!@odd,!!@both}");
  make_dirs(t.base + "/empty/tex");
  write_file(t.base + "/plain/tex/p.sty", "");
  write_file(t.base + "/file", "not a tree");
  write_file(t.base + "/odd/tex/a.sty", "");
  write_file(t.base + "/odd/ls-R", lsr_header + "./:\nls-R\ntex\n./tex:\na.sty\n./tex:\na.sty\n");
  write_file(t.base + "/both/x/upper.sty", "");
  write_file(t.base + "/both/x/lower.sty", "");
  write_file(t.base + "/both/ls-R", lsr_header + "./:\nls-R\nls-r\nx\n./x:\nupper.sty\n");
  write_file(t.base + "/both/ls-r", lsr_header + "./x:\nlower.sty\n");
  run_result r = check(t, {});
  const std::string b = t.base;
  for (const std::string &line :
       {"!!" + b + "/empty: no ls-R, and no files in it: nothing to find\n",
        "!!" + b + "/absent: it does not exist: nothing to find (create it, or remove it from "
                   "TEXMFDBS)\n",
        b + "/plain: no ls-R: Kpathsea searches it on disk\n",
        "!!" + b + "/file: it is a file, not a directory",
        std::string("  1 block mktexlsr never writes\n    ./tex: is listed twice\n"),
        "!!" + b + "/both: ls-R up to date, 5 entries\n  Kpathsea also reads " + b + "/both/ls-r\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  EXPECT_EQ(r.out.find("mend: mktexlsr " + b + "/file"), std::string::npos);
  EXPECT_EQ(r.out.find("mend: mktexlsr " + b + "/absent"), std::string::npos);
  EXPECT_EQ(r.status, 4); // the file and the odd blocks

  // Stock Debian: an empty or absent !! tree alone is healthy.
  texmf_fixture stock = make_db_fixture("{!!@empty,!!@absent,!!@a}", "{!!@empty,!!@absent,!!@a}");
  make_dirs(stock.base + "/empty");
  write_file(stock.base + "/a/x.sty", "");
  mktexlsr(stock.base + "/a");
  EXPECT_EQ(check(stock, {}).status, 0) << check(stock, {}).out;

  // No configuration at all, or no databases on it.
  run_options none;
  none.env = {{"TEXMFCNF", b + "/nowhere"}};
  run_result lost = run_lsrcheck({"-databases"}, none);
  EXPECT_EQ(lost.status, 4);
  EXPECT_EQ(lost.out.find("texmf.cnf not found in " + b + "/nowhere"), 0u) << lost.out;
  write_file(b + "/emptycnf/texmf.cnf", "");
  none.env = {{"TEXMFCNF", b + "/emptycnf"}};
  EXPECT_EQ(run_lsrcheck({"-databases"}, none).out.find("TEXMFDBS is empty"), 0u);
}

TEST(Databases, EveryMendCommandLeavesItsTreeHealthy)
{
  // Each case built in a tree whose name needs quoting; each printed mend
  // line is run by the shell as it stands, with the installed mktexlsr;
  // then the tree is healthy, and what mktexlsr listed is what TeX finds.
  struct {
    const char *what;
    std::function<void(const std::string &tree)> build;
    int status;              // before the mend: 4, or 0 where there is nothing to mend
    const char *then_found;  // a file kpsewhich must find once mended, or ""
  } cases[] = {
    {"a new file and a gone one", [](const std::string &tree) {
       write_file(tree + "/tex/old.sty", "");
       mktexlsr(tree);
       unlink((tree + "/tex/old.sty").c_str());
       write_file(tree + "/tex/new.sty", "");
     }, 4, "new.sty"},
    {"an ls-R without its header", [](const std::string &tree) {
       write_file(tree + "/tex/new.sty", "");
       write_file(tree + "/ls-R", "./tex:\nnew.sty\ngone.sty\n");
     }, 4, "new.sty"},
    {"an empty ls-R, which mktexlsr rewrites", [](const std::string &tree) {
       write_file(tree + "/tex/new.sty", "");
       write_file(tree + "/ls-R", "");
     }, 4, "new.sty"},
    {"a name holding .git drops the rest of its directory", [](const std::string &tree) {
       write_file(tree + "/tex/p/a.sty", "");
       write_file(tree + "/tex/p/notes.git.txt", "");
       write_file(tree + "/tex/p/zz.sty", "");
       mktexlsr(tree);
     }, 4, "zz.sty"},
    {"a directory whose name ends in _darcs", [](const std::string &tree) {
       write_file(tree + "/tex/old_darcs/in.sty", "");
       mktexlsr(tree);
     }, 4, "in.sty"},
    {"a darcs repository: its own files are no problem", [](const std::string &tree) {
       write_file(tree + "/tex/p/p.sty", "");
       write_file(tree + "/tex/p/_darcs/patches/one", "");
       mktexlsr(tree);
     }, 0, "p.sty"},
    {"a .gitignore beside a package", [](const std::string &tree) {
       write_file(tree + "/tex/p/.gitignore", "");
       write_file(tree + "/tex/p/zz.sty", "");
       write_file(tree + "/tex/p/.git/HEAD", "");
       mktexlsr(tree);
     }, 0, "zz.sty"},
    {"an ls-R that is a dangling link into a directory", [](const std::string &tree) {
       write_file(tree + "/tex/new.sty", "");
       make_dirs(tree + "/var");
       symlink("var/ls-R-real", (tree + "/ls-R").c_str());
     }, 4, "new.sty"},
    {"an ls-R that is a dangling link into no directory", [](const std::string &tree) {
       write_file(tree + "/tex/new.sty", "");
       symlink("nowhere/ls-R", (tree + "/ls-R").c_str());
     }, 4, "new.sty"},
  };
  for (const auto &c : cases) {
    const std::string name = "quote me's tree";
    texmf_fixture t = make_db_fixture("{!!@" + name + "}", "{!!@" + name + "}");
    const std::string tree = t.base + "/" + name;
    c.build(tree);
    run_result r = check(t, {});
    ASSERT_EQ(r.status, c.status) << c.what << "\n" << r.out;
    size_t at = r.out.find("  mend: ");
    if (c.status == 4) {
      ASSERT_NE(at, std::string::npos) << c.what << "\n" << r.out;
      std::string command = r.out.substr(at + 8, r.out.find('\n', at) - at - 8);
      EXPECT_EQ(system(("bash -c " + shell_quote_for_test(command) + " >/dev/null 2>&1").c_str()),
                0) << c.what << ": " << command;
      run_result after = check(t, {});
      EXPECT_EQ(after.status, 0) << c.what << ": " << command << "\n" << after.out;
    } else {
      EXPECT_EQ(at, std::string::npos) << c.what << "\n" << r.out;
    }
    std::vector<std::string> found = command_output(
        "env -u TEXMFDBS -u TEXMF TEXMFCNF='" + t.cnf + "' TEXINPUTS='$TEXMF//' kpsewhich " +
        c.then_found);
    EXPECT_EQ(found.size(), 1u) << c.what;
  }
}

TEST(Databases, NamesWithControlCharactersAreEscapedAndKeptWholeInJson)
{
  texmf_fixture t = make_db_fixture("{!!@a}", "{!!@a}");
  write_file(t.base + "/a/x.sty", "");
  mktexlsr(t.base + "/a");
  write_file(t.base + "/a/esc\033[31m.sty", "");
  write_file(t.base + "/a/line\nend.sty", "");
  write_file(t.base + "/a/\xff\xfe.sty", "");
  run_result r = check(t, {"-verbose"});
  EXPECT_NE(r.out.find("/a/esc\\033[31m.sty\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 file whose name mktexlsr cannot list (a line end in the name): rename it"), std::string::npos);
  EXPECT_NE(r.out.find("/a/line\\nend.sty\n"), std::string::npos);
  json report = json::parse(check(t).out);
  const json &missing = report["trees"][0]["missing"];
  bool whole = false;
  for (const json &m : missing)
    whole = whole || (m.contains("path_bytes") &&
                      m["path_bytes"].get<std::string>().find("fffe2e737479") != std::string::npos);
  EXPECT_TRUE(whole) << missing.dump();
}

TEST(Unprivileged, UnreadableDirectoryIsReportedAndTheRunGoesOn)
{
  if (root_p())
    GTEST_SKIP() << "root reads every directory; this case runs as nobody";
  texmf_fixture t = make_db_fixture("{!!@a}", "{!!@a}");
  write_file(t.base + "/a/locked/x.sty", "");
  write_file(t.base + "/a/open/y.sty", "");
  write_file(t.base + "/a/ls-R", lsr_header);
  chmod((t.base + "/a/locked").c_str(), 0);
  json report = json::parse(check(t).out);
  chmod((t.base + "/a/locked").c_str(), 0755);
  EXPECT_EQ(list_of(report, 0, "unlistable"),
            std::vector<std::string>{t.base + "/a/locked (Permission denied)"});
  EXPECT_EQ(list_of(report, 0, "missing"), std::vector<std::string>{t.base + "/a/open/y.sty"});

  // An ls-R the user cannot read: its permissions named, never rm.
  chmod((t.base + "/a/ls-R").c_str(), 0);
  run_result r = check(t, {});
  EXPECT_NE(r.out.find("ls-R cannot be read (Permission denied)"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(" rm "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("mend: chmod a+r " + t.base + "/a/ls-R\n"), std::string::npos) << r.out;
  // The command, run as printed, makes it readable again.
  EXPECT_EQ(system(("chmod a+r '" + t.base + "/a/ls-R'").c_str()), 0);
  EXPECT_EQ(check(t, {}).out.find("cannot be read"), std::string::npos);
}

} // namespace
