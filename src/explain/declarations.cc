// The \Provides... declaration of a TeX source, read as LaTeX would carry
// it out: the macros a file defines before its declaration, its
// conditionals, and the files it inputs.

#include "explain/explain.h"
#include "explain/facts.h"

#include <cctype>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "explain/tex_reading.h"
#include "shared/files.h"

namespace {

// Return true if TOKEN is one of LaTeX's declarations.
bool declaration_p(std::string_view token)
{
  for (const char *name : {"\\ProvidesPackage", "\\ProvidesClass", "\\ProvidesFile",
                           "\\ProvidesExplPackage", "\\ProvidesExplClass", "\\ProvidesExplFile"})
    if (token == name)
      return true;
  return false;
}

// Return true if TOKEN loads a package or class.
bool package_load_p(std::string_view token)
{
  for (const char *name : {"\\RequirePackage", "\\usepackage", "\\LoadClass", "\\documentclass",
                           "\\RequirePackageWithOptions", "\\LoadClassWithOptions"})
    if (token == name)
      return true;
  return false;
}

// Define NAME as M in MACROS.  Where it was defined otherwise before and
// either definition is conditional, which one holds is not known.
void define(macro_table &macros, std::string_view name, macro m)
{
  auto old = macros.find(name);
  if (old != macros.end() && (old->second.conditional || m.conditional) &&
      (old->second.body != m.body || old->second.parameters != m.parameters))
    m.ambiguous = true;
  macros[std::string(name)] = m;
}

// Return true if TOKEN at IN defines one of LaTeX's declarations anew
// (\def\ProvidesClass...); IN stays where it is.
bool defines_declaration_p(tex_reader &in, std::string_view token)
{
  if (token != "\\def" && token != "\\let" && token != "\\renewcommand")
    return false;
  // expl3 defines its own on top of these: that is LaTeX's.
  size_t at = in.at;
  std::string_view defined = in.next();
  in.at = at;
  return declaration_p(defined) && defined.substr(0, 13) != "\\ProvidesExpl";
}

// Read the definition that TOKEN (\def, \newcommand, ...) starts at IN
// into MACROS, CONDITIONAL if it stands inside a conditional; return false
// if TOKEN starts none.
bool read_definition(tex_reader &in, std::string_view token, macro_table &macros,
                     bool conditional)
{
  if (token == "\\providecommand" || token == "\\newcommand") {
    // Only the parameterless form: \newcommand\name{body}.
    std::string_view name = in.next();
    size_t after = in.at;
    bool found;
    std::string body = in.group('{', '}', &found);
    if (found && name.size() > 1 && name[0] == '\\' && !declaration_p(name) &&
        macros.count(name) == 0)
      define(macros, name, {"", body, conditional});
    else if (!found)
      in.at = after;
    return true;
  }
  if (token != "\\def" && token != "\\edef" && token != "\\gdef" && token != "\\xdef")
    return false;
  std::string_view name = in.next();
  size_t after = in.at, brace = after;
  while (brace < in.text.size() && in.text[brace] != '{' && in.text[brace] != '\n')
    brace++;
  std::string parameters(in.text.substr(after, brace - after));
  parameters.erase(0, parameters.find_first_not_of(' '));
  in.at = brace;
  bool found;
  std::string body = in.group('{', '}', &found);
  // LaTeX always has its declarations: a file that defines one does so
  // for plain TeX, under a guard (\@ifundefined{ProvidesPackage}).
  if (found && name.size() > 1 && name[0] == '\\' && !declaration_p(name))
    define(macros, name, {parameters, body, conditional});
  else
    in.at = after;
  return true;
}

// Replace the call of macro M at IN by its expansion, the rest of the text
// behind it (kept in BUFFER); return false, leaving IN as it was, where
// its arguments do not match or the text would grow too large.
bool expand_call(tex_reader &in, const macro &m, std::string &buffer)
{
  size_t at = in.at;
  bool ok;
  std::string expansion = invoke_macro(m, in.text, &at, &ok);
  if (!ok || expansion.size() + in.text.size() - at >= (1u << 20))
    return false;
  expansion += in.text.substr(at);
  buffer.swap(expansion);
  in.text = buffer;
  in.at = 0;
  return true;
}

// Return true if a blank line (a \par) comes in TEXT at AT before anything
// but blanks.
bool blank_line_p(std::string_view text, size_t at)
{
  int line_ends = 0;
  for (; at < text.size(); at++) {
    char c = text[at];
    if (c == '\n')
      line_ends++;
    else if (c != ' ' && c != '\t' && c != '\r')
      break;
    if (line_ends == 2)
      return true;
  }
  return false;
}

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

// Skip IN past the \fi that ends the \iffalse just read, nested
// conditionals included.
void skip_false_branch(tex_reader &in)
{
  int depth = 1;
  for (std::string_view token; depth > 0 && !(token = in.next()).empty();)
    if (token.substr(0, 3) == "\\if")
      depth++;
    else if (token == "\\fi" || (depth == 1 && token == "\\else"))
      depth--;
}

// Return true if LaTeX records the declaration TOKEN of DECLARED under
// NAME, the name of the file read ("": any): a package's or class's under
// the name it was loaded by (a file \input by a package declares for that
// package), a file's under the name it gives.
bool recorded_for_p(std::string_view token, std::string declared, const std::string &name)
{
  if (name.empty())
    return true;
  if (token.find("File") != std::string_view::npos) {
    declared.erase(0, declared.find_first_not_of(' '));
    declared.erase(declared.find_last_not_of(' ') + 1);
    return declared == name;
  }
  return ends_with_p(name, ".sty") || ends_with_p(name, ".cls");
}

// Return the date and version of the declaration TOKEN at IN, which
// LaTeX carries out only with its name in braces; set *CARRIED_OUT to
// whether it is carried out there and recorded under NAME.
std::pair<std::string, std::string> declared(tex_reader &in, std::string_view token,
                                             const macro_table &macros, const std::string &name,
                                             bool *carried_out)
{
  bool expl = token.substr(0, 13) == "\\ProvidesExpl";
  // Anywhere else (\ifx\ProvidesPackage\undefined, \def\ProvidesFile#1)
  // the command is only tested or defined.
  bool found;
  size_t after = in.at;
  std::string declared_name = in.group('{', '}', &found);
  *carried_out = found && recorded_for_p(token, declared_name, name);
  if (!found) {
    in.at = after;
    return {};
  }
  if (expl) {
    std::string date = in.group('{', '}', &found);
    std::string version = found ? in.group('{', '}', &found) : "";
    auto trim = [](std::string s) {
      s.erase(0, s.find_first_not_of(' '));
      s.erase(s.find_last_not_of(' ') + 1);
      return s;
    };
    date = date_at(trim(expand_macros(date, macros)));
    version = trim(expand_macros(version, macros));
    // A macro left unexpanded is one this reading does not know.
    if (version.empty() || version.find('\\') != std::string::npos)
      return {date, ""};
    return {date, "v" + version};
  }
  // A blank line is a \par, which LaTeX does not skip looking for the
  // optional argument: the declaration has none.
  if (blank_line_p(in.text, in.at))
    return {};
  std::string info = expand_macros(in.group('[', ']', &found), macros);
  std::string date = date_at(info);
  std::string version = version_in(info, !date.empty());
  // A macro left unexpanded is one this reading does not know.
  if (version.find('\\') != std::string::npos)
    version.clear();
  return {date, version};
}

// The reading of one file: the declaration that stands when it ends.
struct reading {
  std::pair<std::string, std::string> declaration; // the last one carried out
  bool declared = false;                            // one was carried out
  bool unknowable = false; // the text cannot tell: the file defines its own
                          // declaration, or LaTeX may stop before one
  bool may_end = false;   // an \endinput LaTeX may carry out came first
};

bool declaration_in(const std::string &text, const input_finder &find, macro_table &macros,
                    const std::string &name, int depth, bool conditional, reading *r,
                    bool *unfollowed);

// Read the file that \input at IN names as declaration_in reads it, DEPTH
// files deep; return false where it cannot be followed and it matters.
bool read_input(tex_reader &in, const input_finder &find, macro_table &macros,
                const std::string &name, int depth, bool conditional, reading *r,
                bool *unfollowed)
{
  std::string input_name = in.file_name(), included;
  if (input_name.empty())
    return true;
  if (!find || !find(input_name, &included)) {
    // LaTeX reads a file here that this reading cannot see.  Before the
    // declaration, it may be the one that declares; after it, a file that
    // declares under its own name (a driver's, a class option's) is what
    // it is meant to be.
    if (r->declared)
      return true;
    if (unfollowed != nullptr)
      *unfollowed = true;
    return false;
  }
  return declaration_in(included.substr(0, declaration_window), find, macros, name, depth,
                        conditional, r, unfollowed);
}

// Where the reading of one file stands: the conditionals and braces it is
// inside, with the command before each open brace and whether the group
// reports an error.
struct nesting {
  // Conditionals are not evaluated: a macro defined inside one may never
  // exist (\ifx\ProvidesPackage\undefined \def\next...), so it is not
  // expanded.
  int conditionals = 0;
  // A definition inside braces may be an argument that is never carried
  // out (\IfFileExists{...}{\def...}{\def...}): it counts as conditional.
  int braces = 0;
  std::vector<std::string> owners;
  std::vector<bool> erring;
  std::string last_command;
};

// Return true if N stands inside a conditional or braces.
bool nested_p(const nesting &n)
{
  return n.conditionals > 0 || n.braces > 0;
}

// Follow TOKEN at IN into N where it opens or closes a conditional or a
// group, or reports an error; return false where it does none of these.
bool track_nesting(nesting &n, tex_reader &in, std::string_view token)
{
  if (token == "\\newif") {
    in.next();
  } else if (token == "\\iffalse") {
    skip_false_branch(in);
  } else if (token.substr(0, 3) == "\\if") {
    n.conditionals++;
  } else if (token == "\\fi") {
    n.conditionals -= n.conditionals > 0;
  } else if (token == "{") {
    n.braces++;
    n.owners.push_back(n.last_command);
    n.erring.push_back(false);
  } else if (token == "}") {
    n.braces -= n.braces > 0;
    if (!n.owners.empty()) {
      n.owners.pop_back();
      n.erring.pop_back();
    }
  } else if ((token == "\\PackageError" || token == "\\ClassError") && !n.erring.empty()) {
    n.erring.back() = true;
  } else {
    return false;
  }
  return true;
}

// Note in R an \endinput inside an argument (N): "already loaded"
// (\@ifundefined{...}{}{\endinput}) and "too old" (an error, then
// \endinput) do not end a first load on a working installation; anything
// else may.
void note_endinput_in_argument(const nesting &n, reading *r)
{
  r->may_end = r->may_end || n.owners.empty() ||
               (n.owners.back() != "\\@ifundefined" && !n.erring.back());
}

// Record in R the declaration TOKEN at IN (N: where it stands, the whole
// file under a conditional if CONDITIONAL), as LaTeX records it under
// NAME: each over the one before, so the last stands, unless it may never
// be carried out (a conditional's branch for plain TeX): then the first
// stands.  One inside braces is an argument: LaTeX may carry it out later
// (\AtEndOfPackage) or never.
void take_declaration(tex_reader &in, std::string_view token, const macro_table &macros,
                      const std::string &name, bool conditional, const nesting &n, reading *r)
{
  bool carried_out;
  auto found = declared(in, token, macros, name, &carried_out);
  // (In \@ifundefined{ProvidesPackage}{...}{\ProvidesPackage...}, the
  // guard of files written for plain TeX too, LaTeX carries it out.)
  bool argument = n.braces > 0 && n.owners.back() != "\\@ifundefined";
  if (carried_out && !argument && !r->declared && r->may_end) {
    r->unknowable = true; // LaTeX may never come here
  } else if (carried_out && !argument && (!r->declared || (!conditional && !nested_p(n)))) {
    r->declaration = found;
    r->declared = true;
  }
}

// Return the rest of the line at IN: what TeX still reads of a file after
// \endinput.
std::string rest_of_line(const tex_reader &in)
{
  size_t line_end = in.text.find('\n', in.at);
  return std::string(in.text.substr(
      in.at, line_end == std::string_view::npos ? std::string_view::npos : line_end - in.at));
}

// Read TEXT as provides_declaration does into *R, following \input
// through FIND up to DEPTH files deep, the whole file read under a
// conditional if CONDITIONAL; set *UNFOLLOWED, and return false, where an
// \input that FIND cannot follow comes before any declaration.
bool declaration_in(const std::string &text, const input_finder &find, macro_table &macros,
                    const std::string &name, int depth, bool conditional, reading *r,
                    bool *unfollowed)
{
  tex_reader in{text};
  std::string buffer; // the text once a macro's expansion replaced its call
  int expansions = 0;
  nesting n;
  for (std::string_view token; !(token = in.next()).empty();) {
    if (token.size() > 1 && token[0] == '\\')
      n.last_command = token;
    std::string built;
    if (token == "\\csname" && !(built = csname_token(in)).empty())
      token = built;
    if (token == "\\catcode") {
      in.catcode();
    } else if (track_nesting(n, in, token)) {
    } else if (token == "\\endinput" && !nested_p(n)) {
      return declaration_in(rest_of_line(in), find, macros, name, depth, conditional, r,
                            unfollowed);
    } else if (token == "\\endinput" && n.braces > 0) {
      note_endinput_in_argument(n, r);
    } else if (package_load_p(token)) {
      // The package may define the macros a declaration uses afterwards.
      macros.clear();
    } else if (defines_declaration_p(in, token)) {
      // What a declaration of the file's own records is not LaTeX's (one
      // defined under a conditional is plain TeX's stand-in).
      r->unknowable = r->unknowable || (!conditional && !nested_p(n));
    } else if (read_definition(in, token, macros, nested_p(n))) {
    } else if (auto called = macros.find(token);
               called != macros.end() && !called->second.conditional && expansions < 256 &&
               (!called->second.parameters.empty() ||
                called->second.body.find("\\Provides") != std::string::npos)) {
      // A macro with parameters may build the declaration; one without is
      // followed where its body makes one.
      if (expand_call(in, called->second, buffer))
        expansions++;
    } else if (token == "\\input" && depth < 4) {
      if (!read_input(in, find, macros, name, depth + 1, conditional || nested_p(n), r,
                      unfollowed))
        return false;
    } else if (declaration_p(token)) {
      take_declaration(in, token, macros, name, conditional, n, r);
    }
  }
  return true;
}

} // namespace

input_finder input_beside(const std::string &dir)
{
  return [dir](const std::string &name, std::string *text) {
    std::string path = name[0] == '/' ? name : dir + "/" + name;
    return read_whole_file(path, *text) || read_whole_file(path + ".tex", *text);
  };
}

std::pair<std::string, std::string> provides_declaration(const std::string &text,
                                                         const input_finder &find,
                                                         bool *unfollowed,
                                                         const std::string &name)
{
  if (unfollowed != nullptr)
    *unfollowed = false;
  // TeX ends a line at a carriage return too.
  std::string lines = text;
  for (size_t i = 0; i < lines.size(); i++)
    if (lines[i] == '\r' && (i + 1 == lines.size() || lines[i + 1] != '\n'))
      lines[i] = '\n';
  macro_table macros;
  reading r;
  if (!declaration_in(lines, find, macros, name, 0, false, &r, unfollowed) || r.unknowable)
    return {};
  return r.declaration;
}

std::pair<std::string, std::string> recorded_declaration(const std::string &info)
{
  std::string date = date_at(info);
  return {date, version_in(info, !date.empty())};
}
