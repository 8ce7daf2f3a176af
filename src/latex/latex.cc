#include "latex/latex.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "texsource/declarations.h"
#include "shared/files.h"
#include "platform/platform.h"
#include "shared/workers.h"

namespace {

// The kinds of file LaTeX reads and records a declaration of.
const char *const latex_suffixes[] = {".sty", ".cls", ".def", ".cfg", ".fd", ".clo", ".ldf"};

// Return true if TeX reads every byte of NAME as itself in a file name.
bool probe_safe_p(const std::string &name)
{
  if (name.empty() || name[0] == '.')
    return false;
  for (unsigned char c : name)
    if (!isalnum(c) && c != '-' && c != '_' && c != '.' && c != '+')
      return false;
  return true;
}

// Return a mark no file can predict, for the lines that carry the answer.
std::string fresh_mark()
{
  static std::mutex lock;
  static std::random_device device;
  std::lock_guard<std::mutex> hold(lock);
  std::string mark = "LSR";
  for (int i = 0; i < 4; i++) {
    char hex[9];
    snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(device()));
    mark += hex;
  }
  return mark;
}

// Return the TeX input that makes LaTeX load the file LINK (its name, found
// in the current directory first), write MARK "N:" and "V:" lines with
// each declaration it records and under which name, then MARK "END".
std::string probe_source(const std::string &link, const std::string &mark)
{
  std::string stem = link.substr(0, link.rfind('.'));
  std::string load;
  if (platform::ends_with_p(link, ".cls") || platform::ends_with_p(link, ".sty")) {
    // One the format holds already is loaded all the same.
    std::string ext = link.substr(link.size() - 3);
    load = "\\expandafter\\let\\csname ver@" + link + "\\endcsname\\relax" +
           (ext == "cls" ? "\\documentclass{" : "\\RequirePackage{") + stem + "}";
  } else if (platform::ends_with_p(link, ".ldf")) {
    // babel's declaration of a language, as babel makes it under LaTeX.
    load = "\\def\\ProvidesLanguage#1{\\begingroup\\catcode`\\ 10 \\@makeother\\/"
           "\\@ifnextchar[{\\@provideslanguage{#1}}{\\@provideslanguage{#1}[]}}"
           "\\def\\@provideslanguage#1[#2]{\\wlog{Language: #1 #2}"
           "\\expandafter\\xdef\\csname ver@#1.ldf\\endcsname{#2}\\endgroup"
           "\\lsr@record{#1.ldf}}\\input{" + link + "}";
  } else {
    load = "\\input{" + link + "}";
  }
  // After each declaration, what LaTeX recorded and under which name; the
  // last one written for the file's name stands, as in LaTeX, also where
  // the run stops early.
  return "\\immediate\\write17{" + mark + "BEGIN}\\makeatletter"
         "\\def\\lsr@record#1{\\edef\\lsr@n{#1}"
         "\\immediate\\write17{" + mark + "N:\\detokenize\\expandafter{\\lsr@n}}"
         "\\immediate\\write17{" + mark + "V:\\expandafter\\expandafter\\expandafter"
         "\\detokenize\\expandafter\\expandafter\\expandafter{\\csname ver@\\lsr@n"
         "\\endcsname}}}"
         "\\let\\lsr@provided\\@pr@videpackage"
         "\\def\\@pr@videpackage[#1]{\\lsr@provided[#1]\\lsr@record{\\@currname.\\@currext}}"
         "\\let\\lsr@providedfile\\@providesfile"
         "\\def\\@providesfile#1[#2]{\\lsr@providedfile{#1}[#2]\\lsr@record{#1}}" +
         load + "\\immediate\\write17{" + mark + "END}\\csname @@end\\endcsname";
}

// Return the answer in LaTeX's OUTPUT, its lines marked MARK, for the
// declarations recorded under NAME (or a path ending in it, as a file may
// name itself): the last one; none where the file was
// read to its end without one and without an error; RAN and WHY as
// run_tex gave them.
latex_declaration answer_in(const std::string &output, const std::string &mark,
                            const std::string &name, bool ran, const std::string &why)
{
  latex_declaration answer;
  std::string recorded;
  bool ended = false;
  size_t at = 0;
  while (at < output.size()) {
    size_t end = output.find('\n', at);
    if (end == std::string::npos)
      end = output.size();
    std::string line = output.substr(at, end - at);
    at = end + 1;
    if (line.compare(0, mark.size(), mark) != 0)
      continue;
    std::string rest = line.substr(mark.size());
    if (rest == "END")
      ended = true;
    else if (rest.compare(0, 2, "N:") == 0)
      recorded = rest.substr(2);
    else if (rest.compare(0, 2, "V:") == 0 &&
             names_file_p(recorded, name)) {
      std::tie(answer.date, answer.version) = recorded_declaration(rest.substr(2));
      answer.answered = true;
    }
  }
  // Read to its end without an error, a file that declared nothing has
  // no date; after an error LaTeX may have skipped its declaration.
  bool error = output.find("\n! ") != std::string::npos;
  if (answer.answered || (ran && ended && !error)) {
    answer.answered = true;
    return answer;
  }
  answer.why = !ran    ? "LaTeX " + why
               : ended ? "LaTeX met an error before any declaration"
                       : "LaTeX stopped before it finished the file";
  // The first complaint says why: no format, a file it cannot find.
  for (const char *complaint : {"\nI can't find the format file", "\n! "}) {
    size_t found = output.find(complaint);
    if (ran && found != std::string::npos) {
      found++;
      answer.why += " (" +
                    output.substr(found, std::min<size_t>(output.find('\n', found) - found, 200)) +
                    ")";
      break;
    }
  }
  return answer;
}

} // namespace

std::string latex_program(const std::string &bin, const std::string &name)
{
  for (const std::string &file : {name, name + ".exe"}) {
    std::string path = bin + "/" + file;
    if (!bin.empty() && platform::executable_p(path))
      return path;
  }
  return "";
}

bool latex_program_p(const std::string &program)
{
  for (const char *name : {"latex", "pdflatex", "lualatex", "xelatex", "dvilualatex",
                           "latex-dev", "pdflatex-dev", "lualatex-dev", "xelatex-dev",
                           "dvilualatex-dev"})
    if (program == name)
      return true;
  return false;
}

bool latex_file_p(const std::string &name)
{
  // Kpathsea finds a name in another case (FOO.STY for foo.sty).
  std::string folded = platform::ascii_folded(name);
  for (const char *suffix : latex_suffixes)
    if (platform::ends_with_p(folded, suffix))
      return true;
  return false;
}


namespace {

// Make in DIR the copy of the file at PATH that a run loads by NAME: by a
// name TeX reads as itself (its path is never TeX input).  Return that
// name, or "" with *WHY where the copy could not be made.
std::string copy_for_latex(const std::string &path, const std::string &name,
                           const std::string &dir, std::string *why)
{
  size_t dot = name.rfind('.');
  // The suffix as LaTeX adds it: a copy saved as FOO.STY is what a run
  // loads for foo.sty.
  std::string link = (probe_safe_p(name) ? name.substr(0, dot) : "lsrcheckprobe") +
                     platform::ascii_folded(name.substr(dot));
  std::string text, failed;
  if (!read_whole_file(path, text, &failed) || !platform::write_new_file(dir + "/" + link, text)) {
    *why = "its copy for LaTeX could not be made" + (failed.empty() ? "" : " (" + failed + ")");
    return "";
  }
  return link;
}

// Return the arguments that run the LaTeX PROGRAM on its first line FIRST.
std::vector<std::string> latex_arguments(const std::string &program, const std::string &first)
{
  std::vector<std::string> args = {program, "-jobname=probe", "-interaction=nonstopmode",
                                   "-no-shell-escape"};
  // LuaTeX's Lua may write anywhere: --safer keeps it from writing files
  // and from running programs (a copy no run of the user's would load is
  // run here).
  if (program.find("lua") != std::string::npos)
    args.push_back("--safer");
  args.push_back(first);
  return args;
}

// The variables every run is given, as run_tex describes them.
const std::vector<std::pair<std::string, std::string>> safe_variables = {
    {"openout_any", "p"}, {"shell_escape", "f"}, {"max_print_line", "100000"},
    {"MKTEXFMT", "0"},    {"MKTEXTFM", "0"},     {"MKTEXPK", "0"},
    {"MKTEXMF", "0"},     {"MKTEXTEX", "0"},     {"MKOCP", "0"},
    {"MKOFM", "0"}};

} // namespace

bool run_tex(const std::string &program, const std::vector<std::string> &args,
             const std::string &dir, std::string *output, std::string *why)
{
  return platform::run_program(program, args, safe_variables, dir, latex_seconds,
                               latex_output_limit, output, why);
}

latex_declaration ask_latex_declaration(const std::string &latex, const std::string &program,
                                        const std::string &path, const std::string &name,
                                        const std::string &dir)
{
  latex_declaration answer;
  std::string link = copy_for_latex(path, name, dir, &answer.why);
  if (link.empty())
    return answer;
  // A package or class is recorded under the name it is loaded by.
  bool loaded = platform::ends_with_p(link, ".sty") || platform::ends_with_p(link, ".cls");
  std::string mark = fresh_mark(), output, why;
  bool ran = run_tex(latex, latex_arguments(program, probe_source(link, mark)), dir, &output, &why);
  return answer_in(output, mark, loaded ? link : name, ran, why);
}

bool start_waiting_latex(const std::string &latex, const std::string &program,
                         const std::string &dir, waiting_latex *w)
{
  std::string why;
  if (!platform::make_directory(dir))
    return false;
  // The first line inputs the standard input, which the question fills:
  // read as a file is read, line by line, as a run's first line is.
  if (!platform::start_program(latex, latex_arguments(program, "\\input /dev/stdin"),
                               safe_variables, dir, latex_output_limit, true, &w->run, &why)) {
    platform::remove_tree(dir);
    return false;
  }
  w->latex = latex, w->program = program, w->dir = dir;
  return true;
}

latex_declaration ask_waiting_latex(waiting_latex &w, const std::string &path,
                                    const std::string &name)
{
  latex_declaration answer;
  std::string link = copy_for_latex(path, name, w.dir, &answer.why);
  if (link.empty()) {
    end_waiting_latex(w);
    return answer;
  }
  bool loaded = platform::ends_with_p(link, ".sty") || platform::ends_with_p(link, ".cls");
  std::string mark = fresh_mark(), output, why;
  bool given = platform::running_p(w.run) &&
               platform::give_input(w.run, probe_source(link, mark) + "\n");
  bool ran = platform::finish_program(w.run, latex_seconds, latex_output_limit, &output, &why);
  // One that ended by itself before it read the question (its first line
  // refused, say) gives way to a run of its own; one ended at a limit had
  // the question, though its buffered answer may be lost.
  if (!given || (ran && output.find(mark + "BEGIN") == std::string::npos)) {
    platform::remove_tree(w.dir);
    answer = platform::make_directory(w.dir)
                 ? ask_latex_declaration(w.latex, w.program, path, name, w.dir)
                 : latex_declaration{false, "", "", "no directory to run LaTeX in"};
  } else {
    answer = answer_in(output, mark, loaded ? link : name, ran, why);
  }
  platform::remove_tree(w.dir);
  return answer;
}

void end_waiting_latex(waiting_latex &w)
{
  platform::end_program(w.run);
  platform::remove_tree(w.dir);
}

void run_side_by_side(size_t count, const std::function<void(size_t i, const std::string &dir)> &job)
{
  std::atomic<size_t> next{0};
  run_workers(static_cast<unsigned>(std::min<size_t>(thread_count(0), count)), [&](unsigned) {
    for (size_t i; (i = next++) < count;) {
      std::string dir = "lsrcheck-" + std::to_string(i);
      if (!platform::make_directory(dir)) {
        job(i, "");
        continue;
      }
      job(i, dir);
      platform::remove_tree(dir);
    }
  });
}
