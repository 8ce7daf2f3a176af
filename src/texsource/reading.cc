#include "texsource/reading.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

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

std::string expand_macros(const std::string &text, const macro_table &macros, int depth)
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
  size_t end = info.find_first_of(" \t\r\n", p);
  std::string word = info.substr(p, end - p);
  // expl3's declarations record a version given as " 1.0 " as "v 1.0".
  size_t next = end == std::string::npos ? end : info.find_first_not_of(" \t\r\n", end);
  if (word == "v" && next != std::string::npos && info[next] >= '0' && info[next] <= '9')
    word += info.substr(next, info.find_first_of(" \t\r\n", next) - next);
  return !word.empty() && (word[0] == 'v' || (word[0] >= '0' && word[0] <= '9')) ? word : "";
}

// Return true if TOKEN is one of LaTeX's declarations.
bool declaration_p(std::string_view token)
{
  for (const char *name : {"\\ProvidesPackage", "\\ProvidesClass", "\\ProvidesFile",
                           "\\ProvidesExplPackage", "\\ProvidesExplClass", "\\ProvidesExplFile",
                           "\\ProvidesLanguage"})
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

namespace {

// Return the files that the loading command LOAD (\input, \RequirePackage,
// ...) at IN names, with a package's or class's suffix; false in *OK where
// a name is built by a macro.  IN stays where it is.
std::vector<std::string> loaded_names(tex_reader in, std::string_view load, bool *ok)
{
  *ok = true;
  if (load == "\\input") {
    std::string name = in.file_name();
    // A macro right behind the word goes on with the name (\input
    // pgfmodule\pgf@temp.code.tex).
    bool continued = in.at < in.text.size() && in.text[in.at] == '\\';
    *ok = !name.empty() && !continued && name.find_first_of("\\#") == std::string::npos;
    return {name};
  }
  bool found;
  in.group('[', ']', &found);
  std::string list = in.group('{', '}', &found);
  *ok = found && list.find_first_of("\\#") == std::string::npos;
  const char *suffix = load.find("Class") != std::string_view::npos ||
                               load == "\\documentclass" ? ".cls" : ".sty";
  std::vector<std::string> names;
  for (std::string name : platform::split_text(list, ',')) {
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    if (!name.empty())
      names.push_back(name + suffix);
  }
  return names;
}

// Return true if the line of TEXT before AT holds a comment's '%'.
bool in_comment_p(std::string_view text, size_t at)
{
  size_t line = text.rfind('\n', at);
  for (size_t i = line == std::string_view::npos ? 0 : line + 1; i < at; i++)
    if (text[i] == '%' && (i == 0 || text[i - 1] != '\\'))
      return true;
  return false;
}

// Return each command in TEXT that loads a file (\input, \RequirePackage,
// ...) outside a comment, with a reader just behind it; found by search,
// not token by token, since a loaded package may be large (expl3's code
// is over a megabyte).
std::vector<std::pair<std::string_view, tex_reader>> loads_in(std::string_view text)
{
  std::vector<std::pair<std::string_view, tex_reader>> loads;
  for (const char *command : {"\\input", "\\RequirePackage", "\\usepackage", "\\LoadClass",
                              "\\documentclass"}) {
    size_t length = strlen(command);
    for (size_t at = text.find(command); at != std::string_view::npos;
         at = text.find(command, at + length)) {
      size_t end = at + length;
      while (end < text.size() && tex_reader::letter_p(text[end]))
        end++;
      std::string_view token = text.substr(at, end - at);
      if ((token == "\\input" || package_load_p(token)) && !in_comment_p(text, at)) {
        tex_reader r{text};
        r.at = end;
        loads.emplace_back(token, r);
      }
    }
  }
  return loads;
}

} // namespace

// Remove from MACROS each macro that the files the loading command TOKEN
// at IN reads (through FIND, and the files those load in turn) may define:
// one whose name they hold anywhere.  Return not_found where one cannot be
// read, untold where the files cannot be told or are too many: then any
// macro may have changed.  A load inside those files whose name a macro
// builds is not followed: it stands in a definition (expl3's
// \__kernel_primitive:NN \input ...), or names a file the document picks.
forgetting forget_redefined(const tex_reader &in, std::string_view token,
                            const input_finder &find, macro_table &macros)
{
  bool ok;
  std::vector<std::string> pending = loaded_names(in, token, &ok), read;
  size_t budget = 8 << 20; // bytes: expl3 is a little over one
  std::string text;
  while (ok && !pending.empty() && !macros.empty()) {
    std::string name = pending.back();
    pending.pop_back();
    if (std::find(read.begin(), read.end(), name) != read.end())
      continue;
    if (!find || !find(name, &text))
      return not_found;
    if (read.size() == 256 || text.size() > budget) // pgf reads some 200 files
      return untold;
    read.push_back(name);
    budget -= text.size();
    for (auto m = macros.begin(); m != macros.end();)
      m = text.find(std::string_view(m->first).substr(1)) == std::string::npos
              ? std::next(m)
              : macros.erase(m);
    for (const auto &[command, after] : loads_in(text)) {
      bool told;
      std::vector<std::string> more = loaded_names(after, command, &told);
      if (told)
        pending.insert(pending.end(), more.begin(), more.end());
    }
  }
  return ok ? forgotten : untold;
}

namespace {

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

// Read expl3's \GetIdInfo$Id: NAME.EXT REVISION DATE TIME ...${DESCRIPTION}
// at IN into MACROS as expl3 defines them: \ExplFileName, \ExplFileExtension,
// \ExplFileVersion, \ExplFileDate (YYYY/MM/DD) and \ExplFileDescription.
void read_id_info(tex_reader &in, macro_table &macros, bool conditional)
{
  in.skip_blanks();
  size_t open = in.at, close = in.text.find('$', open + 1);
  if (open >= in.text.size() || in.text[open] != '$' || close == std::string_view::npos)
    return;
  std::string id(in.text.substr(open + 1, close - open - 1));
  in.at = close + 1;
  bool found;
  std::string description = in.group('{', '}', &found);
  std::vector<std::string> words;
  for (const std::string &word : platform::split_text(id, ' '))
    if (!word.empty())
      words.push_back(word);
  std::string name, extension, version = "-1", date = "0000/00/00";
  if (id != "Id" && words.size() >= 2) {
    size_t dot = words[1].find('.');
    name = words[1].substr(0, dot);
    extension = dot == std::string::npos ? "" : words[1].substr(dot + 1);
    version = words.size() > 2 ? words[2] : "";
    if (version != "-1" && words.size() > 3) {
      std::vector<std::string> parts = platform::split_text(words[3] + "-0-0", '-');
      date = parts[0] + "/" + parts[1] + "/" + parts[2];
    }
  }
  for (const auto &[macro_name, value] :
       {std::pair<const char *, std::string>{"\\ExplFileName", name},
        {"\\ExplFileExtension", extension}, {"\\ExplFileVersion", version},
        {"\\ExplFileDate", date}, {"\\ExplFileDescription", description}})
    define(macros, macro_name, {"", value, conditional});
}

// Return true if TOKEN sets one of expl3's token lists, which hold a date
// or a version as a macro would: \tl_const:Nn \c_pkg_date_tl {2022/01/23}.
bool token_list_setting_p(std::string_view token)
{
  bool setting = token.substr(0, 9) == "\\tl_const" || token.substr(0, 7) == "\\tl_set" ||
                 token.substr(0, 8) == "\\tl_gset";
  return setting && (token.substr(token.size() - 3) == ":Nn" ||
                     token.substr(token.size() - 3) == ":Nx" ||
                     token.substr(token.size() - 3) == ":Ne");
}

// Read \let\name=\value at IN (CONDITIONAL if it stands inside a
// conditional): neither is a call; the macro's meaning, if it was known, is
// not any more, unless it is a conditional's.
void read_let(tex_reader &in, macro_table &macros, bool conditional)
{
  size_t before = in.at;
  std::string_view name = in.next();
  if (name.size() < 2 || name[0] != '\\') {
    in.at = before;
    return;
  }
  macros.erase(std::string(name));
  std::string_view target = in.next();
  if (target == "=")
    target = in.next();
  // A command \let to a conditional is that conditional where it is used.
  if (target.substr(0, 3) == "\\if")
    define(macros, name, macro{"", std::string(target), conditional});
}

// Read at IN the body of \newcommand\name[N]{body} (COMMAND) or of an
// expl3 token list, and define NAME by it in MACROS; the form whose first
// argument is optional defines nothing.
void read_command_body(tex_reader &in, std::string_view name, bool command,
                       macro_table &macros, bool conditional)
{
  size_t after = in.at;
  bool found, counted = false, optional = false;
  std::string parameters;
  if (command) {
    std::string count = in.group('[', ']', &counted);
    bool has_default = false;
    if (counted)
      in.group('[', ']', &has_default);
    bool digit = count.size() == 1 && count[0] >= '0' && count[0] <= '9';
    optional = has_default || (counted && !digit);
    for (char n = '1'; digit && n <= count[0]; n++)
      parameters += std::string("#") + n;
  }
  std::string body = in.group('{', '}', &found);
  found = found && !optional;
  if (!command) {
    // In expl3's syntax, blanks are ignored and ~ is a space.
    body.erase(std::remove_if(body.begin(), body.end(),
                              [](char c) { return c == ' ' || c == '\t' || c == '\n'; }),
               body.end());
    std::replace(body.begin(), body.end(), '~', ' ');
  }
  if (found && !declaration_p(name) && (!command || macros.count(name) == 0))
    define(macros, name, {parameters, body, conditional});
  else if (!found && !optional)
    in.at = after;
}

// Read at IN the parameter text and body of \def\name (or \edef, ...),
// and define NAME by them in MACROS.
void read_def_body(tex_reader &in, std::string_view name, macro_table &macros,
                   bool conditional)
{
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
  if (found && !declaration_p(name))
    define(macros, name, {parameters, body, conditional});
  else
    in.at = after;
}

} // namespace

// Read the definition that TOKEN (\def, \newcommand, ...) starts at IN
// into MACROS, CONDITIONAL if it stands inside a conditional; return false
// if TOKEN starts none.
bool read_definition(tex_reader &in, std::string_view token, macro_table &macros,
                     bool conditional)
{
  if (token == "\\GetIdInfo") {
    read_id_info(in, macros, conditional);
    return true;
  }
  if (token == "\\let") {
    read_let(in, macros, conditional);
    return true;
  }
  bool token_list = token_list_setting_p(token);
  bool command = token == "\\providecommand" || token == "\\newcommand";
  if (!command && !token_list && token != "\\def" && token != "\\edef" && token != "\\gdef" &&
      token != "\\xdef")
    return false;
  // A definition names a control sequence: anything else (\newcommand{\x}
  // aside) is left to be read as it stands.
  size_t before = in.at;
  std::string_view name = in.next();
  if (command && name == "*")
    name = in.next(); // \newcommand*: the body holds no \par
  if (command && name == "{") {
    name = in.next(); // \newcommand{\name}
    if (in.next() != "}")
      name = {};
  }
  if (name.size() < 2 || name[0] != '\\')
    in.at = before;
  else if (command || token_list)
    read_command_body(in, name, command, macros, conditional);
  else
    read_def_body(in, name, macros, conditional);
  return true;
}
