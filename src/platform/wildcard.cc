#include "platform/wildcard.h"
#include "platform/platform.h"

#include <cctype>
#include <cstring>

using platform::ascii_folded;

namespace {

// Return true if C belongs to the character class NAME ("alpha", ...).
bool in_class_p(const char *name, size_t length, unsigned char c)
{
  // Letters are tested as they are, not folded: [[:upper:]] never matches 'a'.
  struct { const char *name; int (*test)(int); } classes[] = {
    {"alnum", isalnum}, {"alpha", isalpha}, {"blank", isblank}, {"cntrl", iscntrl},
    {"digit", isdigit}, {"graph", isgraph}, {"lower", islower}, {"print", isprint},
    {"punct", ispunct}, {"space", isspace}, {"upper", isupper}, {"xdigit", isxdigit},
  };
  for (const auto &k : classes)
    if (strlen(k.name) == length && strncmp(k.name, name, length) == 0)
      return c < 128 && k.test(c) != 0;
  return false;
}

// Match the bracket expression starting at *P (just after '[') against C.
// Return 1 for a match, 0 for none, -1 if the expression is not closed (the
// '[' then stands for itself).  On 0 or 1, *P is moved past the ']'.
int bracket(const char **p, unsigned char c)
{
  const char *s = *p;
  bool negate = *s == '!' || *s == '^';
  if (negate)
    s++;
  bool matched = false;
  bool first = true;
  for (;;) {
    if (*s == '\0')
      return -1;
    if (*s == ']' && !first)
      break;
    first = false;
    unsigned char low;
    const char *end = s + 2;
    while (s[0] == '[' && s[1] == ':' && isalpha(static_cast<unsigned char>(*end)))
      end++;
    // "[:" followed by a name and ":]" is a class; otherwise '[' is itself.
    if (s[0] == '[' && s[1] == ':' && end[0] == ':' && end[1] == ']') {
      if (in_class_p(s + 2, end - (s + 2), c))
        matched = true;
      s = end + 2;
      continue;
    }
    if (*s == '\\' && s[1] != '\0')
      s++;
    low = static_cast<unsigned char>(*s++);
    unsigned char high = low;
    if (s[0] == '-' && s[1] != ']' && s[1] != '\0') {
      s++;
      if (*s == '\\' && s[1] != '\0')
        s++;
      high = static_cast<unsigned char>(*s++);
    }
    if (ascii_folded(c) >= ascii_folded(low) && ascii_folded(c) <= ascii_folded(high))
      matched = true;
  }
  *p = s + 1;
  return matched != negate;
}

} // namespace

bool wildcard_match_p(const char *pattern, const char *text)
{
  // The classic backtracking matcher: on a mismatch after a '*', let the
  // star take one more character and try again.
  const char *star = nullptr, *star_text = nullptr;
  const char *p = pattern, *t = text;
  while (*t != '\0') {
    unsigned char c = static_cast<unsigned char>(*t);
    if (*p == '*') {
      while (*p == '*')
        p++;
      star = p;
      star_text = t;
      continue;
    }
    if (*p == '?') {
      p++;
      t++;
      continue;
    }
    if (*p == '[') {
      const char *after = p + 1;
      int m = bracket(&after, c);
      if (m == 1) {
        p = after;
        t++;
        continue;
      }
      if (m == -1 && c == '[') {
        p++;
        t++;
        continue;
      }
    } else {
      const char *q = p;
      if (*q == '\\')
        q++; // a '\\' that ends the pattern quotes nothing and matches nothing
      if (*q != '\0' && ascii_folded(static_cast<unsigned char>(*q)) == ascii_folded(c)) {
        p = q + 1;
        t++;
        continue;
      }
    }
    if (star == nullptr)
      return false;
    p = star;
    t = ++star_text;
  }
  while (*p == '*')
    p++;
  return *p == '\0';
}
