// Reading TeX source as TeX reads it, far enough to find a file's
// declaration: its tokens, the macros it defines with \def, and the date
// and version in a declaration's argument.
#ifndef LSRCHECK_TEXSOURCE_READING_H
#define LSRCHECK_TEXSOURCE_READING_H

#include <cstddef>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "texsource/input.h"

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
                           bool *ok);

// Return the expansion of macro M invoked at *AT of TEXT, moving *AT
// behind its arguments; false in *OK where they do not match.
std::string invoke_macro(const macro &m, std::string_view text, size_t *at, bool *ok);

// Return TEXT with the parameterless macros of MACROS that hold one
// meaning expanded (and \space), DEPTH expansions deep.
std::string expand_macros(const std::string &text, const macro_table &macros, int depth = 0);

// Return the date at the start of INFO (YYYY/MM/DD or YYYY-MM-DD), or "".
std::string date_at(const std::string &info);

// Return the version in INFO: the word after the date, or the first word
// where there is no date, if it starts with 'v' or a digit.
std::string version_in(const std::string &info, bool dated);

// Return true if TOKEN is one of LaTeX's declarations.
bool declaration_p(std::string_view token);

// Return true if TOKEN loads a package or class.
bool package_load_p(std::string_view token);

// What became of the macros a loaded package may redefine.
enum forgetting { forgotten, not_found, untold };

// Remove from MACROS each macro that the files the loading command TOKEN
// at IN reads (through FIND, and the files those load in turn) may define:
// one whose name they hold anywhere.  Return not_found where one cannot be
// read, untold where the files cannot be told or are too many: then any
// macro may have changed.
forgetting forget_redefined(const tex_reader &in, std::string_view token,
                            const input_finder &find, macro_table &macros);

// Read the definition that TOKEN (\def, \newcommand, \let, expl3's
// \tl_const:Nn, ...) starts at IN into MACROS, CONDITIONAL if it stands
// inside a conditional; return false if TOKEN starts none.
bool read_definition(tex_reader &in, std::string_view token, macro_table &macros,
                     bool conditional);

#endif
