// -installations: a second installation laid out as TeX Live's installer
// lays one out, before and after the system's directories on PATH, each
// program's installation checked against readlink -f and dpkg -S.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "helpers.h"

namespace {

using json = nlohmann::json;

// The directory of the program under test, last on every PATH here: it
// holds no TeX program.
const std::string tool_dir = ":" + std::filesystem::path(LSRCHECK_BINARY).parent_path().string();

// Return the kind of installation PROGRAM belongs to by readlink -f and
// dpkg -S: "texlive" below ROOT, "debian" where dpkg knows it, else "".
std::string oracle_kind(const std::string &program, const std::string &root)
{
  static std::map<std::string, std::string> known; // dpkg -S is slow
  auto at = known.find(program + "\n" + root);
  if (at != known.end())
    return at->second;
  std::string &kind = known[program + "\n" + root];
  std::vector<std::string> real = command_output("readlink -f '" + program + "'");
  if (!real.empty() && real[0].compare(0, root.size() + 1, root + "/") == 0)
    return kind = "texlive";
  if (!command_output("dpkg -S '" + program + "' 2>/dev/null || dpkg -S '" + real[0] +
                      "' 2>/dev/null").empty())
    return kind = "debian";
  return kind = "";
}

TEST(Installations, EachProgramsInstallationAndTheMixesAsPathOrdersThem)
{
  if (command_output("command -v latex").empty() || command_output("command -v dpkg").empty())
    GTEST_SKIP() << "no latex or no dpkg";
  texlive_tree tl = make_texlive_tree();
  std::string bin = tl.root + "/bin/x86_64-linux";
  write_file(tl.root + "/release-texlive.txt", "TeX Live (https://tug.org/texlive) version 2025\n");
  // The engine is the system's own, copied; the scripts lead into texmf-dist.
  command_output("cp \"$(readlink -f \"$(command -v latex)\")\" '" + bin + "/latex'");
  write_file(tl.root + "/texmf-dist/scripts/texlive/mktexlsr", "#!/bin/sh\n");
  chmod((tl.root + "/texmf-dist/scripts/texlive/mktexlsr").c_str(), 0755);
  EXPECT_EQ(symlink("../../texmf-dist/scripts/texlive/mktexlsr", (bin + "/mktexlsr").c_str()), 0);
  struct { const char *name, *path; bool mix; } cases[] = {
    {"system alone", "/usr/bin:/bin", false},
    {"installer's first", "BIN:/usr/bin:/bin", true},
    {"installer's after", "/usr/bin:/bin:BIN", false},
  };
  for (const auto &c : cases) {
    std::string path = c.path;
    if (path.find("BIN") != std::string::npos)
      path.replace(path.find("BIN"), 3, bin);
    run_options opts;
    opts.env = {{"PATH", path + tool_dir}};
    run_result r = run_lsrcheck({"-installations", "-json"}, opts);
    ASSERT_EQ(r.status, c.mix ? 4 : 0) << c.name << "\n" << r.out << r.err;
    json report = json::parse(r.out);
    for (const json &p : report["taken"]) {
      std::string kind = report["installations"][p["installation"].get<int>()]["kind"];
      std::string expected = oracle_kind(p["path"], tl.root);
      EXPECT_EQ(kind, expected.empty() ? "lone" : expected) << c.name << " " << p["path"];
      // PATH's first program of the name is the one taken.
      std::vector<std::string> first =
          command_output("PATH='" + path + "' command -v " + p["name"].get<std::string>());
      ASSERT_FALSE(first.empty());
      EXPECT_EQ(p["path"], first[0]) << c.name;
    }
    if (c.mix) {
      std::set<std::string> mixed;
      for (const json &m : report["mixes"])
        mixed.insert(m["program"].get<std::string>());
      // latex is the installer's; kpsewhich and mktexlsr come along, the
      // rest is the system's.
      EXPECT_EQ(mixed.count("kpsewhich") + mixed.count("mktexlsr") + mixed.count("latex"), 0u);
      EXPECT_EQ(mixed.count("pdflatex") + mixed.count("fmtutil"), 2u) << r.out;
      EXPECT_EQ(report["installations"][0]["year"], "2025");
      // The other reports say it in one line on standard error.
      r = run_lsrcheck({"-databases"}, opts);
      EXPECT_NE(r.err.find("note: PATH mixes TeX installations: latex is taken from TeX Live "
                           "2025"),
                std::string::npos)
          << r.err;
    } else {
      EXPECT_EQ(report["mixes"].size(), 0u) << c.name;
      EXPECT_EQ(run_lsrcheck({"-databases"}, opts).err.find("PATH mixes"), std::string::npos);
    }
  }
}

TEST(Installations, AMaintenanceProgramOfAnotherInstallationIsAMixWithItsMend)
{
  if (command_output("command -v latex").empty() || command_output("command -v dpkg").empty())
    GTEST_SKIP() << "no latex or no dpkg";
  // kpsewhich alone from an installation ahead of the system's.
  texlive_tree tl = make_texlive_tree();
  std::string bin = tl.root + "/bin/x86_64-linux";
  run_options opts;
  opts.env = {{"PATH", bin + ":/usr/bin:/bin" + tool_dir}};
  run_result r = run_lsrcheck({"-installations"}, opts);
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.out.find("  kpsewhich from TeX Live (" + tl.root + ") (" + bin +
                       "), latex from Debian's packages (/usr/bin): they act on another "
                       "installation than the one latex runs in\n    mend: export PATH=/usr/bin:\"$PATH\"\n"),
            std::string::npos)
      << r.out;
  // After the mend, kpsewhich is the system's.
  opts.env = {{"PATH", "/usr/bin:" + bin + ":/usr/bin:/bin" + tool_dir}};
  EXPECT_EQ(run_lsrcheck({"-installations"}, opts).status, 0);
}

} // namespace
