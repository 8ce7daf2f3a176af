// The \Provides... declaration of a TeX source, read as LaTeX would carry
// it out: a reader of TeX's tokens, the macros a file defines before its
// declaration, and the files it inputs.

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

#include "shared/files.h"

namespace {

// A reading of TeX source: control sequences, characters, and comments
// skipped as TeX skips them (to the end of the line, and the next line's
// leading blanks).
struct tex_reader {
  std::string_view text;
  size_t at = 0;
  bool percent_ignored = false; // \catcode`\%=9: '%' is no comment

  // Return true if C may stand in a control sequence's name (letters, and
  // '@', '_', ':' as packages and expl3 code use them).
  static bool letter_p(char c)
  {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '@' || c == '_' || c == ':';
  }

  // Skip blanks, line ends and comments.
  void skip_blanks()
  {
    while (at < text.size()) {
      char c = text[at];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || (c == '%' && percent_ignored)) {
        at++;
      } else if (c == '%') {
        size_t nl = text.find('\n', at);
        at = nl == std::string_view::npos ? text.size() : nl + 1;
      } else {
        break;
      }
    }
  }

  // Return the next token: "\name" for a control sequence, else the
  // character; "" at the end.
  std::string_view next()
  {
    skip_blanks();
    if (at >= text.size())
      return {};
    size_t from = at++;
    if (text[from] == '\\' && at < text.size()) {
      if (letter_p(text[at]))
        while (at < text.size() && letter_p(text[at]))
          at++;
      else
        at++;
    }
    return text.substr(from, at - from);
  }

  // Read a group delimited by OPEN and CLOSE at brace depth 0, starting
  // after blanks; return its text with comments removed and line ends made
  // blanks, and false in *FOUND if there is none here.
  std::string group(char open, char close, bool *found)
  {
    size_t saved = at;
    skip_blanks();
    *found = at < text.size() && text[at] == open;
    if (!*found) {
      at = saved;
      return "";
    }
    std::string out;
    int depth = 0;
    for (at++; at < text.size(); at++) {
      char c = text[at];
      if (c == '\\' && at + 1 < text.size()) {
        out += c;
        out += text[++at];
      } else if (c == '%' && percent_ignored) {
      } else if (c == '%') {
        size_t nl = text.find('\n', at);
        at = nl == std::string_view::npos ? text.size() : nl;
        while (at + 1 < text.size() && (text[at + 1] == ' ' || text[at + 1] == '\t'))
          at++;
      } else if (c == '{') {
        depth++;
        out += c;
      } else if (c == '}' && depth > 0) {
        depth--;
        out += c;
      } else if (c == close && depth == 0) {
        at++;
        return out;
      } else {
        out += c == '\n' || c == '\r' || c == '\t' ? ' ' : c;
      }
    }
    *found = false;
    at = saved;
    return "";
  }

  // Read what follows \input: a name in braces, or a word.
  std::string file_name()
  {
    bool found;
    std::string name = group('{', '}', &found);
    if (found)
      return name;
    skip_blanks();
    size_t from = at;
    while (at < text.size() && !strchr(" \t\r\n\\{}%", text[at]))
      at++;
    return std::string(text.substr(from, at - from));
  }

  // After \catcode: note a change of '%' between comment and ignored.
  void catcode()
  {
    skip_blanks();
    if (text.substr(at, 3) != "`\\%")
      return;
    size_t equals = text.find_first_not_of(' ', at + 3);
    if (equals == std::string_view::npos || text[equals] != '=')
      return;
    size_t digits = text.find_first_not_of(' ', equals + 1);
    if (digits == std::string_view::npos)
      return;
    if (text.substr(digits, 1) == "9")
      percent_ignored = true;
    else if (text.substr(digits, 2) == "14")
      percent_ignored = false;
  }
};

// The macros a file defines with \def before its declaration: their
// parameter text and body.  The declaration's argument may use the
// parameterless ones (\filedate, \fileversion); the others may build them
// when the file invokes them.
struct macro {
  std::string parameters, body;
  bool conditional;       // defined inside a conditional
  bool ambiguous = false; // defined again otherwise, one of them conditionally
};
typedef std::map<std::string, macro, std::less<>> macro_table;

// Return the argument of TEXT at *AT for a parameter delimited by
// DELIMITER ("": undelimited), and move *AT behind it; false in *OK if it
// does not match.
std::string macro_argument(std::string_view text, size_t *at, const std::string &delimiter,
                           bool *ok)
{
  size_t from = *at;
  if (delimiter.empty()) {
    while (from < text.size() && strchr(" \t\r\n", text[from]) != nullptr)
      from++;
    if (from >= text.size()) {
      *ok = false;
      return "";
    }
    tex_reader one{text, from};
    if (text[from] == '{') {
      std::string arg = one.group('{', '}', ok);
      *at = one.at;
      return arg;
    }
    *at = from + 1;
    if (text[from] == '\\') {
      while (*at < text.size() && tex_reader::letter_p(text[*at]))
        (*at)++;
      if (*at == from + 1 && *at < text.size())
        (*at)++;
    }
    return std::string(text.substr(from, *at - from));
  }
  int depth = 0;
  for (size_t i = from; i < text.size(); i++) {
    if (text[i] == '{')
      depth++;
    else if (text[i] == '}' && --depth < 0)
      break;
    else if (depth == 0 && text.compare(i, delimiter.size(), delimiter) == 0) {
      std::string arg(text.substr(from, i - from));
      if (arg.size() >= 2 && arg.front() == '{' && arg.back() == '}')
        arg = arg.substr(1, arg.size() - 2);
      *at = i + delimiter.size();
      return arg;
    }
  }
  *ok = false;
  return "";
}

// Return the expansion of macro M invoked at *AT of TEXT, moving *AT
// behind its arguments; false in *OK where they do not match.
std::string invoke_macro(const macro &m, std::string_view text, size_t *at, bool *ok)
{
  *ok = true;
  const std::string &p = m.parameters;
  size_t first = p.find('#');
  std::string prefix = p.substr(0, first);
  size_t pos = *at;
  if (text.compare(pos, prefix.size(), prefix) != 0) {
    *ok = false;
    return "";
  }
  pos += prefix.size();
  std::vector<std::string> args;
  for (size_t hash = first; hash != std::string::npos && hash + 1 < p.size() && *ok;) {
    size_t next = p.find('#', hash + 2);
    std::string delimiter = p.substr(hash + 2, next == std::string::npos ? std::string::npos
                                                                          : next - hash - 2);
    args.push_back(macro_argument(text, &pos, delimiter, ok));
    hash = next;
  }
  std::string out;
  for (size_t i = 0; *ok && i < m.body.size(); i++) {
    char c = m.body[i];
    if (c == '#' && i + 1 < m.body.size() && m.body[i + 1] >= '1' && m.body[i + 1] <= '9') {
      size_t n = m.body[++i] - '1';
      out += n < args.size() ? args[n] : "";
    } else {
      out += c == '#' && i + 1 < m.body.size() && m.body[i + 1] == '#' ? m.body[i++] : c;
    }
  }
  *at = pos;
  return out;
}

std::string expand_macros(const std::string &text, const macro_table &macros, int depth = 0)
{
  std::string out;
  for (size_t at = 0; at < text.size();) {
    if (text[at] != '\\') {
      out += text[at++];
      continue;
    }
    size_t end = at + 1;
    while (end < text.size() && tex_reader::letter_p(text[end]))
      end++;
    std::string name = text.substr(at, end - at);
    // A control word eats the blanks after it.
    size_t next = end;
    while (next < text.size() && text[next] == ' ')
      next++;
    auto it = macros.find(name);
    if (name == "\\space") {
      out += ' ';
      at = next;
    } else if (it != macros.end() && it->second.parameters.empty() && !it->second.ambiguous &&
               depth < 8) {
      out += expand_macros(it->second.body, macros, depth + 1);
      at = next;
    } else {
      out += name;
      at = end;
    }
  }
  return out;
}

// Return the date at the start of INFO (YYYY/MM/DD or YYYY-MM-DD), or "".
std::string date_at(const std::string &info)
{
  size_t p = info.find_first_not_of(' ');
  if (p == std::string::npos || p + 10 > info.size())
    return "";
  for (size_t i = 0; i < 10; i++) {
    char c = info[p + i];
    bool digit = c >= '0' && c <= '9';
    if ((i == 4 || i == 7) ? (c != '/' && c != '-') : !digit)
      return "";
  }
  return info.substr(p, 10);
}

// Return the version in INFO: the word after the date, or the first word
// where there is no date, if it starts with 'v' or a digit.
std::string version_in(const std::string &info, bool dated)
{
  size_t p = info.find_first_not_of(' ');
  if (p != std::string::npos && dated)
    p = info.find_first_not_of(' ', p + 10);
  if (p == std::string::npos)
    return "";
  // A word ends at any blank: a line end after a backslash (a control
  // space) is one.
  std::string word = info.substr(p, info.find_first_of(" \t\r\n", p) - p);
  return !word.empty() && (word[0] == 'v' || (word[0] >= '0' && word[0] <= '9')) ? word : "";
}

} // namespace

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
  // Conditionals are not evaluated: a macro defined inside one may never
  // exist (\ifx\ProvidesPackage\undefined \def\next...), so it is not
  // expanded.
  int conditionals = 0;
  // A definition inside braces may be an argument that is never carried
  // out (\IfFileExists{...}{\def...}{\def...}): it counts as conditional.
  int braces = 0;
  std::vector<std::string> owners; // the command before each open brace
  std::vector<bool> erring;        // ... and whether the group reports an error
  std::string last_command;
  for (std::string_view token; !(token = in.next()).empty();) {
    if (token.size() > 1 && token[0] == '\\')
      last_command = token;
    std::string built;
    if (token == "\\csname" && !(built = csname_token(in)).empty())
      token = built;
    if (token == "\\catcode") {
      in.catcode();
    } else if (token == "\\newif") {
      in.next();
    } else if (token == "\\iffalse") {
      skip_false_branch(in);
    } else if (token.substr(0, 3) == "\\if") {
      conditionals++;
    } else if (token == "\\fi") {
      conditionals -= conditionals > 0;
    } else if (token == "\\endinput" && conditionals == 0 && braces == 0) {
      // TeX reads the rest of the line, then leaves the file.
      size_t line_end = in.text.find('\n', in.at);
      std::string rest(in.text.substr(in.at, line_end == std::string_view::npos
                                                 ? std::string_view::npos
                                                 : line_end - in.at));
      return declaration_in(rest, find, macros, name, depth, conditional, r, unfollowed);
    } else if (token == "\\endinput" && braces > 0) {
      // In an argument: "already loaded" (\@ifundefined{...}{}{\endinput})
      // and "too old" (an error, then \endinput) do not end a first load
      // on a working installation; anything else may.
      r->may_end = r->may_end || owners.empty() ||
                   (owners.back() != "\\@ifundefined" && !erring.back());
    } else if (token == "{" || token == "}") {
      braces += token == "{" ? 1 : -(braces > 0);
      if (token == "{") {
        owners.push_back(last_command);
        erring.push_back(false);
      } else if (!owners.empty()) {
        owners.pop_back();
        erring.pop_back();
      }
    } else if ((token == "\\PackageError" || token == "\\ClassError") && !erring.empty()) {
      erring.back() = true;
    } else if (package_load_p(token)) {
      // The package may define the macros a declaration uses afterwards.
      macros.clear();
    } else if (defines_declaration_p(in, token)) {
      // What a declaration of the file's own records is not LaTeX's (one
      // defined under a conditional is plain TeX's stand-in).
      r->unknowable = r->unknowable || (!conditional && conditionals == 0 && braces == 0);
    } else if (read_definition(in, token, macros, conditionals > 0 || braces > 0)) {
    } else if (auto called = macros.find(token);
               called != macros.end() && !called->second.conditional && expansions < 256 &&
               (!called->second.parameters.empty() ||
                called->second.body.find("\\Provides") != std::string::npos)) {
      // A macro with parameters may build the declaration; one without is
      // followed where its body makes one.
      if (expand_call(in, called->second, buffer))
        expansions++;
    } else if (token == "\\input" && depth < 4) {
      if (!read_input(in, find, macros, name, depth + 1,
                      conditional || conditionals > 0 || braces > 0, r, unfollowed))
        return false;
    } else if (declaration_p(token)) {
      // LaTeX records each declaration over the one before: the last
      // stands, unless it may never be carried out (a conditional's
      // branch for plain TeX): then the first stands.
      // One inside braces is an argument: LaTeX may carry it out later
      // (\AtEndOfPackage) or never.
      bool carried_out;
      auto found = declared(in, token, macros, name, &carried_out);
      // (In \@ifundefined{ProvidesPackage}{...}{\ProvidesPackage...}, the
      // guard of files written for plain TeX too, LaTeX carries it out.)
      bool argument = braces > 0 && owners.back() != "\\@ifundefined";
      if (carried_out && !argument && !r->declared && r->may_end) {
        r->unknowable = true; // LaTeX may never come here
      } else if (carried_out && !argument &&
                 (!r->declared || (!conditional && conditionals == 0 && braces == 0))) {
        r->declaration = found;
        r->declared = true;
      }
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
