// The formats of the installation: what fmtutil.cnf enables, the copies
// each engine's search finds, the log fmtutil keeps beside each, and a run
// of each format on a minimal document.

#include "formats/formats.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "kpathsea/lookup.h"
#include "kpathsea/variables.h"
#include "latex/latex.h"
#include "platform/platform.h"
#include "shared/files.h"
#include "shared/paths.h"
#include "shared/status.h"
#include "texsource/log.h"

namespace {

typedef std::vector<std::pair<std::string, std::string>> tree_list;

// Return true if ENGINE is Metafont's, whose dumps are .base files in
// web2c/metafont.
bool metafont_p(const std::string &engine)
{
  return engine == "mf" || engine == "mf-nowin" || engine == "mfw";
}

// Return the first line of what the program at PATH, invoked as NAME,
// says of its version; "" where it says nothing.
std::string version_line(const std::string &path, const std::string &name)
{
  std::string output, why;
  if (!platform::run_program(path, {name, "--version"}, {}, ".", 10, 1 << 20, &output, &why))
    return "";
  return output.substr(0, output.find('\n'));
}

// Make F's entry from its line: the engine's directory, the file, the
// program, whether it is LaTeX's.
format_entry entry_of(const format_line &line, const std::string &bin)
{
  format_entry f;
  f.line = line;
  f.engine_dir = metafont_p(line.engine) ? "metafont" : line.engine;
  f.file = line.name + (metafont_p(line.engine) ? ".base" : ".fmt");
  f.engine_path = latex_program(bin, line.engine);
  f.latex = latex_program_p(line.name);
  return f;
}

// Find the copies of F's file as its engine's search finds them, with
// their trees (of ROOTS) and times, from the current directory.
void find_copies(format_entry &f, const tree_list &roots)
{
  f.copies = copies_found(f.line.name, f.engine_dir, f.file, roots);
}

// Judge whether the copy F loads is older than a file its log says it was
// built from, or has lost its log, or was built by another version of the
// engine than VERSION_OF gives.
void judge_log(format_entry &f, const std::function<std::string(const std::string &)> &version_of)
{
  const format_copy &loaded = f.copies[0];
  std::string log = loaded.path.substr(0, loaded.path.size() - f.file.size()) + f.line.name +
                    ".log", text;
  if (!read_whole_file(log, text)) {
    f.findings |= format_stale;
    return;
  }
  f.log = log;
  std::string max_line = variable_value("max_print_line");
  size_t width = max_line.empty() ? 79 : std::strtoul(max_line.c_str(), nullptr, 10);
  std::string dir(directory_of(log));
  for (const std::string &name : log_files(text, dir, width, platform::regular_file_p)) {
    std::string path = absolute_path_p(name) ? name : joined_path(dir, name);
    time_t when = modified_time(path);
    if (when > loaded.mtime && when > f.newer_mtime) {
      f.newer = path;
      f.newer_mtime = when;
    }
  }
  if (!f.newer.empty())
    f.findings |= format_stale;
  f.built_by = banner_version(text.substr(0, text.find('\n')));
  std::string installed = version_of(f.engine_path);
  if (!f.built_by.empty() && !installed.empty() &&
      installed.find(f.built_by.substr(0, f.built_by.find(' '))) == std::string::npos) {
    f.installed = installed;
    f.findings |= format_engine;
  }
}

// Return the first error of a TeX run's terminal OUTPUT, as the engine
// wrote it (LaTeX's lines that go on with it joined to it), or "".  The
// runs here have no shell escape at all, where a user's have the
// restricted one: LaTeX's complaint about that is ours, not the format's.
std::string first_error(const std::string &output)
{
  std::vector<std::string> lines = text_lines(output);
  for (size_t i = 0; i < lines.size(); i++) {
    const std::string &line = lines[i];
    if ((line.compare(0, 2, "! ") != 0 && line.find("Fatal format file error") == std::string::npos &&
         line.find("I can't find the format file") == std::string::npos &&
         line.compare(0, 4, "---!") != 0) ||
        line.find("Cannot run piped system commands") != std::string::npos)
      continue;
    std::string error = line;
    for (size_t j = i + 1; j < lines.size() && lines[j].compare(0, 7, "(LaTeX)") == 0; j++) {
      size_t text = lines[j].find_first_not_of(' ', 7);
      if (text != std::string::npos)
        error += " " + lines[j].substr(text);
    }
    return error;
  }
  return "";
}

// Run F's format on a minimal document in the empty directory DIR: LaTeX's
// loads expl3 and an article, the others just end.
void ask_format(format_entry &f, const std::string &dir)
{
  std::vector<std::string> args = {f.line.engine, "-fmt=" + f.line.name,
                                   "-progname=" + f.line.name, "-interaction=nonstopmode",
                                   "-jobname=probe"};
  // LuaTeX's Lua could write anywhere or run programs: a user's format is
  // run here that the user did not ask to run.
  if (f.line.engine.find("lua") != std::string::npos)
    args.push_back("--safer");
  if (metafont_p(f.line.engine)) {
    // Metafont takes a first word without a backslash for a file name.
    args[1] = "-base=" + f.line.name;
    args.push_back("\\end");
  } else {
    args.push_back(f.latex ? "\\RequirePackage{expl3}\\documentclass{article}"
                             "\\begin{document}\\end{document}"
                           : "\\end");
  }
  std::string output, why;
  if (!run_tex(f.engine_path, args, dir, &output, &why)) {
    // An engine that cannot be started says nothing of the format.
    if (why.compare(0, 20, "could not be started") == 0) {
      f.not_asked = "its engine " + why;
      return;
    }
    f.asked = true;
    f.error = why;
  } else {
    f.asked = true;
    f.error = first_error(output);
    // No error, and no end: a run that stopped at a question (the format
    // was found, but something ended it early) still counts.
    if (f.error.empty() && output.find("No pages of output") == std::string::npos &&
        output.find("Output written") == std::string::npos && !metafont_p(f.line.engine) &&
        output.find("Transcript written") == std::string::npos)
      f.error = "the run did not end as a run of the format ends";
  }
  if (!f.error.empty())
    f.findings |= format_fails;
}

// Run every format of R that has a copy and an engine, side by side.
void ask_formats(formats_report &r)
{
  std::vector<format_entry *> asks;
  for (format_entry &f : r.formats)
    if (!f.copies.empty() && f.copies[0].there)
      asks.push_back(&f);
  std::string why;
  bool entered = platform::in_empty_directory([&]() {
    run_side_by_side(asks.size(), [&](size_t i, const std::string &dir) {
      if (dir.empty())
        asks[i]->not_asked = "no directory to run it in";
      else
        ask_format(*asks[i], dir);
    });
  }, &why);
  if (!entered)
    for (format_entry *f : asks)
      f->not_asked = "no empty directory to run it in (" + why + ")";
}

} // namespace

std::string banner_version(const std::string &banner)
{
  size_t at = banner.find(", Version ");
  if (banner.compare(0, 8, "This is ") != 0 || at == std::string::npos)
    return "";
  std::string version = banner.substr(at + 10);
  // "... (TeX Live 2022/Debian) (INITEX)  10 DEC 2026 04:50": the version
  // and the distribution, not the run's mode and date.
  size_t mode = version.find(" (INI");
  if (mode != std::string::npos)
    version.erase(mode);
  return version;
}

void check_formats(const std::string &bin, formats_report *out)
{
  formats_report &r = *out;
  r.cnf_files = lookup_all("fmtutil.cnf", lookup_format("fmtutil.cnf"));
  tree_list roots = tree_roots(tree_variables);
  for (const format_line &line : enabled_formats(r.cnf_files, [](const std::string &path,
                                                                  std::string *text) {
         return read_whole_file(path, *text);
       })) {
    format_entry f = entry_of(line, bin);
    std::string tree = tree_of(line.cnf, roots);
    f.user_cnf = user_tree_p(tree);
    if (f.engine_path.empty())
      r.no_engine.push_back(line.name);
    else
      r.formats.push_back(f);
  }
  std::string why;
  // From an empty directory: a format in the current one comes first.
  platform::in_empty_directory([&]() {
    for (format_entry &f : r.formats)
      find_copies(f, roots);
  }, &why);
  std::map<std::string, std::string> versions;
  auto version_of = [&](const std::string &engine) {
    auto [at, added] = versions.emplace(engine, "");
    if (added)
      at->second = version_line(engine, std::string(base_name(engine)));
    return at->second;
  };
  for (format_entry &f : r.formats) {
    if (f.copies.empty() || !f.copies[0].there) {
      f.findings |= format_missing;
      continue;
    }
    if (f.copies[0].user)
      for (const format_copy &c : f.copies)
        if (!c.user && c.there)
          f.findings |= format_per_user;
    judge_log(f, version_of);
  }
  ask_formats(r);
  check_maps(roots, &r);
  // The installation's own tools, by their plain name where they are the
  // system's.
  for (auto [name, mend] : {std::pair<const char *, std::string *>{"fmtutil-sys", &r.mend_tool},
                            {"updmap-sys", &r.map_tool}}) {
    std::string tool = latex_program(bin, name);
    *mend = tool.empty() || directory_of(tool) == "/usr/bin" ? name : platform::command_word(tool);
  }
}

int run_formats(const formats_request &request)
{
  formats_report report;
  check_formats(request.bin, &report);
  if (request.json)
    print_formats_json(report, stdout);
  else
    print_formats(report, request.list_all, stdout);
  for (const format_entry &f : report.formats)
    if (f.findings != 0)
      return status_problems;
  for (const map_entry &m : report.maps)
    if (m.findings != 0)
      return status_problems;
  return report.unfound.empty() ? 0 : status_problems;
}
