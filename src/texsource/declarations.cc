// The \Provides... declaration of a TeX source, read as LaTeX would carry
// it out: the macros a file defines before its declaration, its
// conditionals, and the files it inputs.

#include "texsource/declarations.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "texsource/conditionals.h"
#include "texsource/reading.h"
#include "platform/platform.h"

namespace {

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

// Return the delimited argument ARGUMENT as TeX hands it over: where it is
// one group in braces, without them.
std::string braces_stripped(std::string argument)
{
  argument.erase(0, argument.find_first_not_of(' '));
  argument.erase(argument.find_last_not_of(' ') + 1);
  if (argument.size() < 2 || argument.front() != '{' || argument.back() != '}')
    return argument;
  int depth = 0;
  for (size_t i = 0; i + 1 < argument.size(); i++) {
    depth += argument[i] == '{' ? 1 : argument[i] == '}' ? -1 : 0;
    if (depth == 0)
      return argument; // the first group closes before the end
  }
  return argument.substr(1, argument.size() - 2);
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

// Return true if LaTeX records the declaration TOKEN of DECLARED under
// NAME, the name of the file read ("": any): a package's or class's under
// the name it was loaded by (a file \input by a package declares for that
// package), a file's under the name it gives (a path that ends in the
// file's name declares for it: \ProvidesFile{fithesis/locale/x.def}), a
// babel language's under the name it gives with ".ldf".
bool recorded_for_p(std::string_view token, std::string declared, const std::string &name)
{
  if (name.empty())
    return true;
  bool language = token == "\\ProvidesLanguage";
  if (language || token.find("File") != std::string_view::npos) {
    declared.erase(0, declared.find_first_not_of(' '));
    declared.erase(declared.find_last_not_of(' ') + 1);
    if (language)
      declared += ".ldf";
    return names_file_p(declared, name);
  }
  std::string folded = platform::ascii_folded(name);
  return platform::ends_with_p(folded, ".sty") || platform::ends_with_p(folded, ".cls");
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
    date = trim(expand_macros(date, macros));
    version = trim(expand_macros(version, macros));
    // A macro left unexpanded is one this reading does not know.
    if (version.find('\\') != std::string::npos)
      version.clear();
    // LaTeX records "DATE vVERSION ...", and reads it back as any other.
    std::string info = date + (version.empty() ? "" : " v" + version) + " ";
    std::string dated = date_at(info);
    return {dated, version_in(info, !dated.empty())};
  }
  // A blank line is a \par, which LaTeX does not skip looking for the
  // optional argument: the declaration has none.
  if (blank_line_p(in.text, in.at))
    return {};
  std::string info = expand_macros(braces_stripped(in.group('[', ']', &found)), macros);
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
  bool uncertain = false; // a declaration under a conditional not known
                          // here may replace the one that stands
  // A declaration LaTeX carries out at the end of the package, with the
  // macros as they are then: its text from the declaration on.
  std::string at_end;
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
  // An \endinput that may end the file read ends only that file.
  bool may_end = r->may_end;
  bool read = declaration_in(included.substr(0, declaration_window), find, macros, name, depth,
                             conditional, r, unfollowed);
  r->may_end = may_end;
  return read;
}

// A group the reading stands in: the command it is an argument of (the
// last before it), which of its arguments it is, where it opens, and
// whether it reports an error.
struct argument {
  std::string command;
  int index = 1;
  std::string_view text; // where it opens: a macro's expansion may replace it
  size_t open = 0;
  bool erring = false;
  std::string first; // the command's first argument, once read
};

// Where the reading of one file stands: the conditionals and groups it is
// inside.
struct nesting {
  // The conditionals it is inside: 'u' where which branch TeX takes is
  // not known here (a macro defined inside one may never exist, so it is
  // not expanded), 't' in a true branch (its \else branch is skipped), 'e'
  // in the \else branch of a false one.
  std::string ifs;
  int conditionals = 0;      // of them, those not known
  // A definition inside braces may be an argument that is never carried
  // out (\IfFileExists{...}{\def...}{\def...}): it counts as conditional.
  int braces = 0;
  std::vector<argument> groups;
  std::string last_command;
  argument closed;           // the group closed last
  bool after_close = false;  // ... by the token before
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
  } else if (conditional_p(token)) {
    condition c = evaluate(in, token);
    if (c == condition_false) {
      if (skip_branch(in, true))
        n.ifs += 'e';
    } else {
      n.ifs += c == condition_true ? 't' : 'u';
      n.conditionals += c == condition_unknown;
    }
  } else if (token == "\\else" || token == "\\fi") {
    // One not seen opening (a brace in a character code, a conditional of
    // a macro's): nothing to close.
    if (n.ifs.empty())
      return true;
    char kind = n.ifs.back();
    if (token == "\\else" && kind == 't')
      skip_branch(in, false);
    else if (token == "\\else")
      return true;
    n.ifs.pop_back();
    n.conditionals -= kind == 'u';
  } else if (token == "{") {
    n.braces++;
    // A group right after another is the same command's next argument.
    argument g;
    if (n.after_close) {
      g.command = n.closed.command;
      g.index = n.closed.index + 1;
      g.first = n.closed.first;
    } else {
      g.command = n.last_command;
    }
    g.text = in.text;
    g.open = in.at;
    n.groups.push_back(g);
  } else if (token == "}") {
    n.braces -= n.braces > 0;
    if (!n.groups.empty()) {
      n.closed = std::move(n.groups.back());
      n.groups.pop_back();
      // Only \@ifundefined's first argument is ever asked for.
      if (n.closed.index == 1 && n.closed.command == "\\@ifundefined" &&
          n.closed.text.data() == in.text.data() && in.at > n.closed.open)
        n.closed.first = std::string(in.text.substr(n.closed.open, in.at - 1 - n.closed.open));
    }
  } else if ((token == "\\PackageError" || token == "\\ClassError") && !n.groups.empty()) {
    n.groups.back().erring = true;
  } else {
    return false;
  }
  return true;
}

// Return true if a load on its own never takes the argument G: the branch
// of \@ifpackageloaded (\@ifclassloaded) for a package already loaded.
bool branch_for_loaded_p(const argument &g)
{
  return (g.command == "\\@ifpackageloaded" || g.command == "\\@ifclassloaded") && g.index == 2;
}

// Note in R an \endinput inside an argument (N): "already loaded"
// (\@ifundefined{...}{}{\endinput}, \@ifpackageloaded{...}{\endinput}{})
// and "too old" (an error, then \endinput) do not end a first load on a
// working installation; anything else may.
void note_endinput_in_argument(const nesting &n, reading *r)
{
  r->may_end = r->may_end || n.groups.empty() ||
               (n.groups.back().command != "\\@ifundefined" &&
                !branch_for_loaded_p(n.groups.back()) && !n.groups.back().erring);
}

// Return true if LaTeX carries out what stands in the argument G when it
// loads the file: \@ifundefined's branch for a command LaTeX defines (the
// guard of files written for LaTeX 2.09 or plain TeX too).
bool carried_out_argument_p(const argument &g)
{
  if (g.command != "\\@ifundefined" || g.index != 3)
    return false;
  for (const char *name : {"NeedsTeXFormat", "ProvidesPackage", "ProvidesFile", "ProvidesClass",
                           "RequirePackage", "documentclass", "DeclareOption"})
    if (g.first == name)
      return true;
  return false;
}

// Record in R the declaration TOKEN at IN (N: where it stands, the whole
// file under a conditional if CONDITIONAL), as LaTeX records it under
// NAME: each over the one before, so the last stands.  One under a
// conditional not known here may be carried out or not: unless one outside
// comes after it, what stands cannot be told.  One inside braces is an
// argument: LaTeX may carry it out later (\AtEndOfPackage) or never.
void take_declaration(tex_reader &in, std::string_view token, const macro_table &macros,
                      const std::string &name, bool conditional, const nesting &n, reading *r)
{
  if (!n.groups.empty() && (n.groups.back().command == "\\AtEndOfPackage" ||
                            n.groups.back().command == "\\AtEndOfClass")) {
    if (!conditional && n.braces == 1 && n.conditionals == 0)
      r->at_end = std::string(token) + std::string(in.text.substr(in.at, 4096));
    return;
  }
  bool carried_out;
  auto found = declared(in, token, macros, name, &carried_out);
  bool argument = !n.groups.empty() && !carried_out_argument_p(n.groups.back());
  if (carried_out && !argument && !r->declared && r->may_end) {
    r->unknowable = true; // LaTeX may never come here
  } else if (carried_out && !argument) {
    // Sure where LaTeX carries it out: outside conditionals this reading
    // does not decide, and outside braces but those of an argument LaTeX
    // takes (\@ifundefined's for a command it defines).
    bool sure = !conditional && n.conditionals == 0 &&
                (n.braces == 0 || (n.braces == 1 && !argument && !n.groups.empty()));
    if (sure || !r->declared)
      r->declaration = found;
    r->declared = true;
    r->uncertain = !sure;
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
    // \csname fi\endcsname closes a conditional only in the branch TeX
    // takes: skipping the other, TeX does not build it (plain TeX's
    // \ifx\fmtname\plain\csname fi\endcsname ... \fi).
    if (token == "\\csname" && !(built = csname_token(in)).empty() && built != "\\fi" &&
        built != "\\else")
      token = built;
    // A command \let to a conditional is that conditional.
    if (auto let = macros.find(token); let != macros.end() && let->second.parameters.empty() &&
                                       conditional_p(let->second.body) && !let->second.ambiguous)
      token = let->second.body;
    if (token == "\\catcode") {
      in.catcode();
    } else if (track_nesting(n, in, token)) {
    } else if (token == "\\endinput" && !nested_p(n)) {
      return declaration_in(rest_of_line(in), find, macros, name, depth, conditional, r,
                            unfollowed);
    } else if (token == "\\endinput" && n.braces > 0) {
      note_endinput_in_argument(n, r);
    } else if (package_load_p(token)) {
      // The package may define the macros a declaration uses afterwards:
      // before the first, those it may define are forgotten; after it, all.
      forgetting f = macros.empty() || r->declared ? untold
                                                   : forget_redefined(in, token, find, macros);
      if (f != forgotten)
        macros.clear();
      if (f == not_found && unfollowed != nullptr)
        *unfollowed = true;
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
    n.after_close = token == "}";
  }
  return true;
}

} // namespace

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
  if (!declaration_in(lines, find, macros, name, 0, false, &r, unfollowed) || r.unknowable ||
      r.uncertain)
    return {};
  if (!r.at_end.empty()) {
    tex_reader in{r.at_end};
    std::string_view token = in.next();
    bool carried_out;
    auto found = declared(in, token, macros, name, &carried_out);
    if (carried_out)
      return found;
  }
  return r.declaration;
}

std::pair<std::string, std::string> recorded_declaration(const std::string &info)
{
  std::string date = date_at(info);
  return {date, version_in(info, !date.empty())};
}

bool names_file_p(const std::string &declared, const std::string &name)
{
  std::string d = platform::ascii_folded(declared), n = platform::ascii_folded(name);
  return d == n || platform::ends_with_p(d, "/" + n);
}
