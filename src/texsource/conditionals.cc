// The conditionals of a TeX source as every LaTeX decides them, and the
// names \csname builds.

#include "texsource/conditionals.h"

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "texsource/reading.h"

// Return the name that \csname ... \endcsname at IN builds, as a token
// ("\ProvidesPackage"), moving IN behind it; "" where it holds more than
// letters.
std::string csname_token(tex_reader &in)
{
  size_t end = in.text.find("\\endcsname", in.at);
  if (end == std::string_view::npos)
    return "";
  std::string name(in.text.substr(in.at, end - in.at));
  name.erase(0, name.find_first_not_of(" \t\r\n"));
  name.erase(name.find_last_not_of(" \t\r\n") + 1);
  for (char c : name)
    if (!tex_reader::letter_p(c))
      return "";
  in.at = end + 10;
  return "\\" + name;
}

// Return true if TOKEN starts a conditional (\unless one).
bool conditional_p(std::string_view token)
{
  return token.substr(0, 3) == "\\if" || token == "\\unless";
}

// Skip IN past the branch of a conditional TeX does not take: up to its
// \else (with ELSE_TOO, and then return true) or its \fi, nested
// conditionals included.
bool skip_branch(tex_reader &in, bool else_too)
{
  int depth = 1;
  for (std::string_view token; !(token = in.next()).empty();)
    if (conditional_p(token) && token != "\\unless")
      depth++;
    else if (token == "\\fi" && --depth == 0)
      return false;
    else if (else_too && depth == 1 && token == "\\else")
      return true;
  return false;
}

namespace {

// Return true if every LaTeX defines the command TOKEN: \ifdefined finds
// it, and \ifx finds it other than \undefined and \relax.
bool latex_command_p(std::string_view token)
{
  for (const char *name : {"\\ProvidesPackage", "\\ProvidesClass", "\\ProvidesFile",
                           "\\NeedsTeXFormat", "\\documentclass", "\\RequirePackage",
                           "\\DeclareOption", "\\ProcessOptions", "\\usepackage",
                           "\\newcommand", "\\@ifundefined", "\\@ifpackageloaded", "\\LoadClass"})
    if (token == name)
      return true;
  return false;
}

// Return the next operand of \ifx at IN: a token, or the name \csname
// builds.
std::string ifx_operand(tex_reader &in)
{
  std::string token(in.next());
  if (token == "\\csname") {
    std::string built = csname_token(in);
    return built.empty() ? token : built;
  }
  return token;
}

// Return the integer written at IN's place (blanks before it skipped),
// moving IN behind it; false in *OK where there is none.
long literal_number(tex_reader &in, bool *ok)
{
  while (in.at < in.text.size() && (in.text[in.at] == ' ' || in.text[in.at] == '\t'))
    in.at++;
  size_t from = in.at;
  while (in.at < in.text.size() && isdigit(static_cast<unsigned char>(in.text[in.at])) &&
         in.at - from < 9)
    in.at++;
  *ok = in.at > from;
  return *ok ? std::stol(std::string(in.text.substr(from, in.at - from))) : 0;
}

}  // namespace

// Return what the conditional TOKEN, just read, at IN comes to, moving IN
// past what it tests where it is known.
condition evaluate(tex_reader &in, std::string_view token)
{
  if (token == "\\iftrue" || token == "\\iffalse")
    return token == "\\iftrue" ? condition_true : condition_false;
  if (token == "\\unless") {
    std::string_view next = in.next();
    condition c = conditional_p(next) ? evaluate(in, next) : condition_unknown;
    return c == condition_unknown ? c : c == condition_true ? condition_false : condition_true;
  }
  if (token == "\\ifdefined") {
    std::string operand = ifx_operand(in);
    return latex_command_p(operand) ? condition_true : condition_unknown;
  }
  if (token == "\\ifx") {
    std::string a = ifx_operand(in), b = ifx_operand(in);
    auto character_p = [](const std::string &t) {
      return t.size() == 1 && !strchr("{}\\", t[0]);
    };
    auto missing_p = [](const std::string &t) {
      return t == "\\undefined" || t == "\\@undefined" || t == "\\relax";
    };
    if (a == b && (character_p(a) || a.size() > 1))
      return condition_true;
    if (character_p(a) && character_p(b))
      return condition_false;
    if ((latex_command_p(a) && missing_p(b)) || (latex_command_p(b) && missing_p(a)))
      return condition_false;
    return condition_unknown;
  }
  if (token == "\\ifnum") {
    size_t saved = in.at;
    bool ok_a, ok_b;
    long a = literal_number(in, &ok_a);
    while (in.at < in.text.size() && in.text[in.at] == ' ')
      in.at++;
    char op = in.at < in.text.size() ? in.text[in.at++] : '\0';
    long b = literal_number(in, &ok_b);
    if (ok_a && ok_b && (op == '<' || op == '=' || op == '>'))
      return (op == '<' ? a < b : op == '=' ? a == b : a > b) ? condition_true : condition_false;
    in.at = saved;
  }
  return condition_unknown;
}
