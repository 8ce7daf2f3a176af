#include "shared/output.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "platform/platform.h"

namespace {

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
  return platform::c_escaped(platform::display_path(text));
}

void put_bytes(nlohmann::ordered_json &j, const std::string &key, const std::string &text)
{
  const std::string s = platform::display_path(text);
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

std::string counted(size_t n, const std::string &one, const std::string &many)
{
  return std::to_string(n) + " " + (n == 1 ? one : many.empty() ? one + "s" : many);
}

std::string time_text(time_t t)
{
  char text[32];
  struct tm tm;
  if (localtime_r(&t, &tm) == nullptr || strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm) == 0)
    return "";
  return text;
}

const char *name_of_kind(const kind_name *kinds, size_t count, unsigned kind)
{
  for (size_t i = 0; i < count; i++)
    if (kinds[i].second == kind)
      return kinds[i].first;
  return "";
}

bool parse_kind_list(const std::string &list, const kind_name *kinds, size_t count,
                     unsigned *bits, std::string *bad)
{
  for (const std::string &word : platform::split_text(list, ',')) {
    unsigned found = 0;
    for (size_t i = 0; i < count; i++)
      if (word == kinds[i].first)
        found = kinds[i].second;
    if (found == 0) {
      *bad = word;
      return false;
    }
    *bits |= found;
  }
  return true;
}
