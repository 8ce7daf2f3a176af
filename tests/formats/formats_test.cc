// -formats: fmtutil.cnf read as fmtutil reads it, and the verdicts on the
// machine's own formats with traps planted in a private HOME, each checked
// against kpsewhich -engine=E -all and a run of the engine itself.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "helpers.h"

namespace {

using json = nlohmann::json;

TEST(FormatsCnf, EnabledFormatsAndMapsAsFmtutilAndUpdmapReadThem)
{
  std::map<std::string, std::string> files = {
    {"/user/fmtutil.cnf", "# mine\nmine pdftex - mine.ini\n#! latex pdftex language.dat *latex.ini\n"},
    {"/sys/fmtutil.cnf", "latex\tpdftex  language.dat -translate-file=cp227.tcx *latex.ini\n"
                         "\n# a comment\nmine luatex - other.ini\nmf mf-nowin - -translate-file=cp227.tcx mf.ini\n"
                         "#!xelatex xetex language.dat -etex xelatex.ini\nbroken\n"},
  };
  auto read = [&](const std::string &path, std::string *text) {
    auto at = files.find(path);
    if (at == files.end())
      return false;
    *text = at->second;
    return true;
  };
  std::vector<std::string> got;
  for (const format_line &l : enabled_formats({"/user/fmtutil.cnf", "/gone", "/sys/fmtutil.cnf"}, read))
    got.push_back(l.name + " " + l.engine + " " + l.cnf);
  // The first file that names a format decides it, "#!" disabling it.
  EXPECT_EQ(got, (std::vector<std::string>{"mine pdftex /user/fmtutil.cnf",
                                           "mf mf-nowin /sys/fmtutil.cnf"}));

  files["/user/updmap.cfg"] = "#! Map lm.map\nMixedMap mine.map\n";
  files["/sys/updmap.cfg"] = "Map lm.map\nKanjiMap  ptex.map\nMap mine.map\n# Map old.map\nLW35 URWkb\n";
  std::vector<std::string> maps;
  for (const enabled_map &m : enabled_maps({"/user/updmap.cfg", "/sys/updmap.cfg"}, read))
    maps.push_back(m.kind + " " + m.file + " " + m.cfg);
  EXPECT_EQ(maps, (std::vector<std::string>{"MixedMap mine.map /user/updmap.cfg",
                                            "KanjiMap ptex.map /sys/updmap.cfg"}));
  EXPECT_EQ(maps_held("% pdftex.map:\n% maintained by updmap\n% lm.map\nrm-lmr10 LMRoman10\n% ptex.map\n"),
            (std::vector<std::string>{"lm.map", "ptex.map"}));

  struct { std::string banner, version; } banners[] = {
    {"This is pdfTeX, Version 3.141592653-2.6-1.40.24 (TeX Live 2022/Debian) (INITEX)  10 DEC 2026 04:50",
     "3.141592653-2.6-1.40.24 (TeX Live 2022/Debian)"},
    {"This is LuaHBTeX, Version 1.15.0 (TeX Live 2022/Debian)  (INITEX)  10 DEC 2026 04:49",
     "1.15.0 (TeX Live 2022/Debian) "},
    {"This is METAFONT, Version 2.71828182 (TeX Live 2022/Debian) (INIMF)  10 DEC 2026 04:50",
     "2.71828182 (TeX Live 2022/Debian)"},
    {"entering extended mode", ""},
  };
  for (const auto &b : banners)
    EXPECT_EQ(banner_version(b.banner), b.version) << b.banner;
}

// The shell's words that set HOME to HOME and keep fonts and formats from
// being built.
std::string user_env(const std::string &home)
{
  return "HOME='" + home + "' MKTEXFMT=0 MKTEXTFM=0 MKTEXPK=0 MKTEXMF=0 ";
}

// Return the findings of report R by format or map name.
std::map<std::string, std::set<std::string>> findings_of(const json &r)
{
  std::map<std::string, std::set<std::string>> found;
  for (const char *list : {"formats", "maps"})
    for (const json &f : r[list])
      for (const json &k : f["findings"])
        found[f["name"]].insert(k["kind"].get<std::string>());
  for (const json &u : r["unfound_maps"])
    found[u["file"]].insert("unfound");
  return found;
}

TEST(FormatsRuns, VerdictsAgreeWithKpsewhichAndTheEngine)
{
  if (command_output("command -v pdftex").empty() || command_output("kpsewhich -engine=pdftex pdflatex.fmt").empty())
    GTEST_SKIP() << "no pdftex with a pdflatex format";
  // Where the user's per-user formats go, and a per-user pdflatex built
  // there by the engine, from an ini file of the user's.
  const std::string var = "d=\"$(kpsewhich -var-value TEXMFVAR)/web2c/pdftex\" && mkdir -p \"$d\"";
  const std::string build = var + " && mkdir -p \"$HOME/texmf/tex/latex\" && "
      "echo '\\input pdflatex.ini' >\"$HOME/texmf/tex/latex/mine.ini\" && (cd \"$d\" && "
      "pdftex -ini -jobname=pdflatex -progname=pdflatex -etex mine.ini >/dev/null 2>&1)";
  const std::string l3 = "mkdir -p \"$HOME/texmf/tex/latex/l3backend\" && sed "
      "'s/version_check:nn {[0-9-]*}/version_check:nn {2099-01-01}/' "
      "\"$(kpsewhich l3backend-pdftex.def)\" >\"$HOME/texmf/tex/latex/l3backend/l3backend-pdftex.def\"";
  struct {
    const char *what;
    std::string plant;
    std::map<std::string, std::set<std::string>> findings;
    int status;
  } cases[] = {
    {"the machine's own formats: nothing to say", "", {}, 0},
    {"a per-user pdflatex", build, {{"pdflatex", {"per-user"}}}, 4},
    {"a per-user pdflatex older than its ini file", build + " && touch -d '+1 hour' \"$HOME/texmf/tex/latex/mine.ini\"",
     {{"pdflatex", {"per-user", "stale"}}}, 4},
    {"a per-user pdflatex whose log is gone", build + " && rm \"$d/pdflatex.log\"",
     {{"pdflatex", {"per-user", "stale"}}}, 4},
    {"a per-user pdflatex written by another engine", var + " && cp \"$(kpsewhich -engine=luatex luatex.fmt)\" \"$d/pdflatex.fmt\" && "
     "cp \"$(dirname \"$(kpsewhich -engine=luatex luatex.fmt)\")/luatex.log\" \"$d/pdflatex.log\"",
     {{"pdflatex", {"per-user", "engine", "fails"}}}, 4},
    {"a user's l3backend newer than the formats", l3,
     {{"pdflatex", {"fails"}}, {"pdflatex-dev", {"fails"}}}, 4},
    // The updmap.cfg first: per-user maps made after it are not older than
    // it, whatever the clock ticks between (kanjix.map is then only
    // per-user).
    {"a user's updmap.cfg enabling a font map, then per-user maps that lack it",
     "v=$(kpsewhich -var-value TEXMFVAR) && c=$(kpsewhich -var-value TEXMFCONFIG) && "
     "mkdir -p $c/web2c $HOME/texmf/fonts/map/dvips/mine && echo '% mine' >$HOME/texmf/fonts/map/dvips/mine/mine.map && "
     "printf 'Map mine.map\\nMap nosuch.map\\n' >$c/web2c/updmap.cfg && "
     "for p in pdftex dvips dvipdfmx; do mkdir -p $v/fonts/map/$p && "
     "cp -r \"$(dirname \"$(kpsewhich -progname=$p $([ $p = dvips ] && echo psfonts || "
     "([ $p = pdftex ] && echo pdftex || echo kanjix)).map)\")\" $v/fonts/map/$p/updmap; done",
     {{"pdftex.map", {"per-user", "stale"}}, {"psfonts.map", {"per-user", "stale"}},
      {"kanjix.map", {"per-user"}}, {"nosuch.map", {"unfound"}}}, 4},
    {"a format a user's fmtutil.cnf enables, never built",
     "mkdir -p \"$HOME/texmf/web2c\" && echo 'mine pdftex - mine.ini' >\"$HOME/texmf/web2c/fmtutil.cnf\"",
     {{"mine", {"missing"}}}, 4},
  };
  for (const auto &c : cases) {
    std::string home = make_temp_dir();
    if (!c.plant.empty())
      command_output("cd '" + home + "' && " + user_env(home) + "sh -c '" + [&] {
        std::string quoted;
        for (char ch : c.plant)
          quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
        return quoted;
      }() + "'");
    run_options opts;
    opts.env = {{"HOME", home}, {"MKTEXFMT", "0"}, {"MKTEXTFM", "0"}, {"MKTEXPK", "0"}};
    opts.timeout = 120;
    run_result r = run_lsrcheck({"-formats", "-json"}, opts);
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.err;
    json report = json::parse(r.out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << c.what << r.out;
    std::map<std::string, std::set<std::string>> found = findings_of(report);
    // Formats not installed everywhere (a -dev one) may lack a finding
    // the row names; every finding given must be named.
    for (const auto &[name, kinds] : found)
      EXPECT_EQ(kinds, c.findings.count(name) ? c.findings.at(name) : std::set<std::string>())
          << c.what << ": " << name << "\n" << run_lsrcheck({"-formats"}, opts).out;
    for (const auto &[name, kinds] : c.findings) {
      if (name.compare(0, 8, "pdflatex") != 0 || name == "pdflatex") {
        EXPECT_EQ(found[name], kinds) << c.what << ": " << name;
      }
    }
    for (const json &f : report["formats"]) {
      // Every copy, in the order the engine's own search finds them.
      std::string name = f["name"], engine = f["engine"];
      std::string theirs, ours;
      std::string dir = engine.compare(0, 2, "mf") == 0 ? "metafont" : engine;
      for (const std::string &line :
           command_output("cd '" + make_temp_dir() + "' && " + user_env(home) + "kpsewhich -engine=" +
                          dir + " -progname=" + name + " -all " + f["file"].get<std::string>()))
        theirs += line + "\n";
      for (const json &copy : f["copies"])
        ours += copy["path"].get<std::string>() + "\n";
      EXPECT_EQ(ours, theirs) << c.what << ": " << name;
      // A run that fails: the engine's own first error, from the same run
      // a user makes.
      if (f["error"] != "" && engine == "pdftex" && f["latex"] == true) {
        std::vector<std::string> own = command_output(
            "cd '" + make_temp_dir() + "' && " + user_env(home) + "shell_escape=p pdftex -fmt=" + name +
            " -progname=" + name + " -interaction=nonstopmode '\\RequirePackage{expl3}"
            "\\documentclass{article}\\begin{document}\\end{document}' 2>&1 | grep -m1 -e '^! ' -e '^---!' -e 'Fatal format file error'");
        ASSERT_FALSE(own.empty()) << c.what << ": " << name;
        EXPECT_EQ(f["error"].get<std::string>().substr(0, own[0].size()), own[0]) << c.what;
      }
    }
    // -explain names the per-user format in its group.
    if (c.findings.count("pdflatex") && c.findings.at("pdflatex").count("per-user")) {
      json explained = json::parse(
          run_lsrcheck({"-explain", "-json", "-file=pdflatex.fmt", "-progname=pdflatex"}, opts).out,
          nullptr, false);
      ASSERT_FALSE(explained.is_discarded()) << c.what;
      const json &g = explained["groups"].at(0);
      ASSERT_TRUE(g["per_user"].is_number()) << c.what << g.dump();
      for (const json &f : report["formats"])
        if (f["name"] == "pdflatex") {
          EXPECT_EQ(g["members"].at(g["per_user"].get<size_t>() - 1)["path"], f["copies"][0]["path"])
              << c.what;
        }
    }
    for (const json &m : report["maps"]) {
      // The map each program reads, as its own search finds it.
      std::string theirs, ours;
      for (const std::string &line :
           command_output("cd '" + make_temp_dir() + "' && " + user_env(home) + "kpsewhich -progname=" +
                          m["program"].get<std::string>() + " -all " + m["name"].get<std::string>()))
        theirs += line + "\n";
      for (const json &copy : m["copies"])
        ours += copy["path"].get<std::string>() + "\n";
      EXPECT_EQ(ours, theirs) << c.what << ": " << m["name"];
    }
  }
}

} // namespace
