#include "shared/output.h"

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace {

// Return true if byte C is a control character a terminal would act on.
bool control_p(unsigned char c)
{
  return c < 0x20 || c == 0x7f;
}

// Return true if S is valid UTF-8: no stray, overlong or surrogate forms.
bool utf8_p(const std::string &s)
{
  for (size_t i = 0; i < s.size();) {
    unsigned char c = s[i];
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size())
      return false;
    for (size_t k = 1; k < n; k++)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2)
        return false;
    unsigned char d = n > 1 ? s[i + 1] : 0;
    if ((n == 2 && c < 0xc2) || (n == 3 && ((c == 0xe0 && d < 0xa0) || (c == 0xed && d >= 0xa0))) ||
        (n == 4 && (c > 0xf4 || (c == 0xf0 && d < 0x90) || (c == 0xf4 && d >= 0x90))))
      return false;
    i += n;
  }
  return true;
}

} // namespace

std::string escaped(const std::string &text)
{
  static const char letters[] = "abtnvfr";
  const std::string s = display_path(text);
  std::string out;
  for (unsigned char c : s) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c >= '\a' && c <= '\r') {
      out += '\\';
      out += letters[c - '\a'];
    } else if (control_p(c)) {
      char octal[8];
      snprintf(octal, sizeof octal, "\\%03o", c);
      out += octal;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string shell_quoted(const std::string &s)
{
  bool safe = !s.empty(), control = false;
  for (unsigned char c : s) {
    safe = safe && (isalnum(c) || std::string("/._-+,:@%=").find(c) != std::string::npos);
    control = control || control_p(c);
  }
  if (safe)
    return s;
  if (!control) {
    std::string out = "'";
    for (char c : s)
      out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  }
  std::string out = "$'";
  for (unsigned char c : s)
    out += c == '\'' ? std::string("\\'") : escaped(std::string(1, static_cast<char>(c)));
  return out + "'";
}

void put_bytes(nlohmann::ordered_json &j, const std::string &key, const std::string &text)
{
  const std::string s = display_path(text);
  j[key] = s;
  if (utf8_p(s))
    return;
  static const char hex[] = "0123456789abcdef";
  std::string bytes;
  for (unsigned char c : s) {
    bytes += hex[c >> 4];
    bytes += hex[c & 15];
  }
  j[key + "_bytes"] = bytes;
}

std::string json_text(const nlohmann::ordered_json &j)
{
  return j.dump(1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
