// The parts of the platform layer that are the same on every system:
// the file-kind predicates over look_at, why a file could not be opened,
// reading and closing an open file, and text for terminals and POSIX
// shells.

#include "platform/platform.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

namespace platform {

namespace {

// Return true if byte C is a control character a terminal would act on.
bool control_p(unsigned char c)
{
  return c < 0x20 || c == 0x7f;
}

} // namespace

bool regular_file_p(const std::string &path)
{
  file_status st;
  return look_at(path, true, &st) && st.regular;
}

bool directory_p(const std::string &path)
{
  file_status st;
  return look_at(path, true, &st) && st.directory;
}

bool present_p(const std::string &path)
{
  file_status st;
  return look_at(path, false, &st);
}

bool same_file_p(const std::string &a, const std::string &b)
{
  file_status x, y;
  return look_at(a, true, &x) && look_at(b, true, &y) && x.id == y.id;
}

std::string open_failure_text(open_result result, const struct stat &st, int error)
{
  switch (result) {
  case open_ok: return "";
  case open_missing: return "it does not exist";
  case open_dangling: return "a dangling symbolic link";
  case open_not_regular: return "it is " + file_type_text(st.st_mode) + ", not a file";
  case open_pseudo: return "it lies in /proc or /sys";
  case open_failed: return strerror(error);
  }
  return "";
}

std::string c_escaped(const std::string &s)
{
  static const char letters[] = "abtnvfr";
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
    out += c == '\'' ? std::string("\\'") : c_escaped(std::string(1, static_cast<char>(c)));
  return out + "'";
}

bool read_up_to(int fd, size_t limit, std::string &text)
{
  text.clear();
  char buffer[65536];
  while (text.size() < limit) {
    auto n = read(fd, buffer, static_cast<unsigned>(std::min(sizeof buffer, limit - text.size())));
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return false;
    if (n == 0)
      break;
    text.append(buffer, n);
  }
  return true;
}

void close_file(int fd)
{
  if (fd >= 0)
    close(fd);
}

std::string ascii_folded(std::string s)
{
  for (char &c : s)
    c = static_cast<char>(ascii_folded(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> split_text(const std::string &text, char separator)
{
  std::vector<std::string> pieces;
  for (size_t from = 0;;) {
    size_t end = text.find(separator, from);
    if (end == std::string::npos) {
      pieces.push_back(text.substr(from));
      return pieces;
    }
    pieces.push_back(text.substr(from, end - from));
    from = end + 1;
  }
}

bool ends_with_p(const std::string &name, const std::string &suffix)
{
  return name.size() > suffix.size() &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool below_p(const std::string &path, const std::string &dir)
{
  if (path.size() <= dir.size() || path.compare(0, dir.size(), dir) != 0)
    return false;
  return (!dir.empty() && dir.back() == '/') || path[dir.size()] == '/';
}

void remove_tree(const std::string &dir)
{
  std::vector<listed_entry> entries;
  int error;
  read_directory(dir, entries, &error);
  for (const listed_entry &e : entries) {
    std::string path = dir + "/" + e.name;
    // A link is removed, never what it leads to.
    file_status st;
    if (e.directory && look_at(path, false, &st) && st.directory && !st.link)
      remove_tree(path);
    else
      remove_file(path);
  }
  if (dir != ".")
    remove_directory(dir);
}

} // namespace platform
