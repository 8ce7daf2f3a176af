#include "explain/tex_reading.h"

#include <string>
#include <string_view>
#include <vector>

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
  std::string word = info.substr(p, info.find_first_of(" \t\r\n", p) - p);
  return !word.empty() && (word[0] == 'v' || (word[0] >= '0' && word[0] <= '9')) ? word : "";
}

