#include "platform/windows_text.h"

// Return the UTF-16 form of TEXT, UTF-8 or the WTF-8 that narrow makes of
// a name with a lone surrogate (a name Windows allows but UTF-16 does not);
// a byte that starts no sequence stands for itself (Latin-1).
std::wstring wide(const std::string &text)
{
  std::wstring out;
  out.reserve(text.size());
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text.data());
  const unsigned char *end = p + text.size();
  while (p < end) {
    unsigned c = *p;
    int more = c >= 0xf0 && c < 0xf5 ? 3 : c >= 0xe0 ? 2 : c >= 0xc2 && c < 0xe0 ? 1 : 0;
    if (c >= 0xf5)
      more = 0;
    bool ok = more > 0 && end - p > more;
    unsigned code = c & (0x3f >> more);
    for (int i = 1; ok && i <= more; i++) {
      ok = (p[i] & 0xc0) == 0x80;
      code = code << 6 | (p[i] & 0x3f);
    }
    if (!ok || (more == 2 && code < 0x800) || (more == 3 && (code < 0x10000 || code > 0x10ffff))) {
      out += static_cast<wchar_t>(c);
      p++;
      continue;
    }
    p += more + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<wchar_t>(0xd800 + (code >> 10));
      out += static_cast<wchar_t>(0xdc00 + (code & 0x3ff));
    } else {
      out += static_cast<wchar_t>(code);
    }
  }
  return out;
}

// Return the UTF-8 form of the UTF-16 TEXT; a lone surrogate is kept as
// its three-byte form (WTF-8), so that no name is lost.
std::string narrow(const std::wstring &text)
{
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    unsigned code = text[i];
    if (code >= 0xd800 && code < 0xdc00 && i + 1 < text.size() && text[i + 1] >= 0xdc00 &&
        text[i + 1] < 0xe000)
      code = 0x10000 + ((code - 0xd800) << 10) + (text[++i] - 0xdc00);
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xc0 | code >> 6);
      out += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xe0 | code >> 12);
      out += static_cast<char>(0x80 | (code >> 6 & 0x3f));
      out += static_cast<char>(0x80 | (code & 0x3f));
    } else {
      out += static_cast<char>(0xf0 | code >> 18);
      out += static_cast<char>(0x80 | (code >> 12 & 0x3f));
      out += static_cast<char>(0x80 | (code >> 6 & 0x3f));
      out += static_cast<char>(0x80 | (code & 0x3f));
    }
  }
  return out;
}
