#include "latex/latex.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "texsource/declarations.h"
#include "platform/platform.h"

namespace {

// The kinds of file LaTeX reads and records a declaration of.
const char *const latex_suffixes[] = {".sty", ".cls", ".def", ".cfg", ".fd", ".clo", ".ldf"};

// Return true if TeX reads every byte of TEXT as itself in a file name.
bool tex_safe_p(const std::string &text)
{
  for (unsigned char c : text)
    if (c <= ' ' || c >= 127 || std::string("\\{}%#~$&^_").find(static_cast<char>(c)) !=
                                    std::string::npos)
      return false;
  return true;
}

// Where each answer stands in LaTeX's output: each declaration recorded
// under the file's name, and the end of the file.
const std::string declared_mark = "LSRCHECK-DECLARED:", none_mark = "LSRCHECK-NONE";

} // namespace

std::string latex_probe(const std::string &path, const std::string &name)
{
  if (!tex_safe_p(path) || !tex_safe_p(name))
    return "";
  // Kpathsea finds what the file inputs; the file itself is named by its
  // path, a class and a package without their suffixes, as LaTeX adds them.
  std::string load;
  if (platform::ends_with_p(path, ".cls"))
    load = "\\documentclass{" + path.substr(0, path.size() - 4) + "}";
  else if (platform::ends_with_p(path, ".sty"))
    load = "\\RequirePackage{" + path.substr(0, path.size() - 4) + "}";
  else
    load = "\\input{" + path + "}";
  // After each declaration made under NAME (not one of a package the file
  // loads first, which declares for itself), what LaTeX recorded for NAME
  // is written out; the last one written stands, as in LaTeX, also where
  // the run stops early.
  return "\\makeatletter"
         "\\edef\\lsr@name{\\detokenize{" + name + "}}"
         "\\def\\lsr@check#1{\\edef\\lsr@this{#1}\\edef\\lsr@this{\\detokenize\\expandafter{"
         "\\lsr@this}}\\ifx\\lsr@this\\lsr@name\\expandafter\\lsr@report\\fi}"
         "\\def\\lsr@report{\\immediate\\write17{" + declared_mark +
         "\\expandafter\\expandafter\\expandafter\\detokenize"
         "\\expandafter\\expandafter\\expandafter{\\csname ver@\\lsr@name\\endcsname}}}"
         "\\let\\lsr@provided\\@pr@videpackage"
         "\\def\\@pr@videpackage[#1]{\\lsr@provided[#1]\\lsr@check{\\@currname.\\@currext}}"
         "\\let\\lsr@providedfile\\@providesfile"
         "\\def\\@providesfile#1[#2]{\\lsr@providedfile{#1}[#2]\\lsr@check{#1}}" +
         load + "\\immediate\\write17{" + none_mark + "}\\csname @@end\\endcsname";
}

std::string latex_program(const std::string &bin)
{
  for (const char *name : {"latex", "latex.exe"}) {
    std::string path = bin + "/" + name;
    if (!bin.empty() && platform::executable_p(path))
      return path;
  }
  return "";
}

bool latex_file_p(const std::string &name)
{
  for (const char *suffix : latex_suffixes)
    if (platform::ends_with_p(name, suffix))
      return true;
  return false;
}

bool run_tex(const std::string &program, const std::vector<std::string> &args,
             std::string *output, std::string *why)
{
  // No shell escape, no file written outside this directory, and lines
  // long enough for any declaration.  Kpathsea's mktex scripts stay off:
  // they would build a missing format or font into the user's or the
  // system's trees, where it then shadows the installation's own.
  return platform::run_program(
      program, args,
      {{"openout_any", "p"}, {"shell_escape", "f"}, {"max_print_line", "100000"},
       {"MKTEXFMT", "0"}, {"MKTEXTFM", "0"}, {"MKTEXPK", "0"}, {"MKTEXMF", "0"},
       {"MKTEXTEX", "0"}, {"MKOCP", "0"}, {"MKOFM", "0"}},
      latex_seconds, latex_output_limit, output, why);
}

latex_declaration ask_latex_declaration(const std::string &latex, const std::string &path,
                                        const std::string &name, const std::string &job)
{
  latex_declaration answer;
  std::string probe = latex_probe(path, name);
  if (probe.empty()) {
    answer.why = "its path holds characters TeX reads as commands";
    return answer;
  }
  std::string output, why;
  bool ran = run_tex(latex,
                     {"latex", "-jobname=" + job, "-interaction=nonstopmode",
                      "-no-shell-escape", probe},
                     &output, &why);
  size_t at = output.rfind("\n" + declared_mark);
  if (at != std::string::npos) {
    at += 1 + declared_mark.size();
    std::tie(answer.date, answer.version) =
        recorded_declaration(output.substr(at, output.find('\n', at) - at));
    answer.answered = true;
  } else if (ran && output.find("\n" + none_mark) != std::string::npos) {
    answer.answered = true;
  } else {
    answer.why = ran ? "LaTeX stopped before it finished the file" : "LaTeX " + why;
    // The first complaint says why: no format, a file it cannot find.
    for (const char *complaint : {"\nI can't find the format file", "\n! "}) {
      size_t at = output.find(complaint);
      if (ran && at != std::string::npos) {
        at++;
        answer.why +=
            " (" + output.substr(at, std::min<size_t>(output.find('\n', at) - at, 200)) + ")";
        break;
      }
    }
  }
  return answer;
}
