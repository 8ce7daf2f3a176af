#include "explain/facts.h"

#include "packages.h"
#include "pathsearch/files.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <string_view>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <xxhash.h>

namespace {

// How much of a TeX source the declaration is looked for in.
const size_t declaration_window = 16384;

// Suffixes of the TeX sources whose \Provides... declaration is read.
const char *const tex_source_suffixes[] = {
  ".sty", ".cls", ".def", ".fd", ".cfg", ".clo", ".ldf", ".tex", ".ltx", ".dtx",
  ".bbx", ".cbx", ".lbx", ".dbx", ".code.tex", nullptr};

// Return true if NAME ends in SUFFIX.
bool ends_with_p(const std::string &name, const char *suffix)
{
  size_t n = strlen(suffix);
  return name.size() > n && name.compare(name.size() - n, n, suffix) == 0;
}

// Return true if PATH names a TeX source whose declaration is worth reading.
bool tex_source_p(const std::string &path)
{
  for (const char *const *s = tex_source_suffixes; *s != nullptr; s++)
    if (ends_with_p(path, *s))
      return true;
  return false;
}

// Set M's state, size and time from the disk; return true if M is a
// regular file that can be opened, leaving it open as *FD.
bool open_member(member_info &m, int *fd)
{
  struct stat st;
  if (lstat(m.path.c_str(), &st) != 0) {
    m.state = file_missing;
    return false;
  }
  if (S_ISLNK(st.st_mode) && stat(m.path.c_str(), &st) != 0) {
    m.state = file_dangling;
    return false;
  }
  m.size = st.st_size;
  m.mtime = st.st_mtime;
  if (!S_ISREG(st.st_mode)) {
    m.state = file_not_regular;
    return false;
  }
  *fd = open(m.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (*fd < 0) {
    m.state = file_unreadable;
    return false;
  }
  return true;
}

// Return the date in DECLARATION's text at P (YYYY/MM/DD or YYYY-MM-DD),
// or "".
std::string date_at(const std::string &text, size_t p)
{
  if (p + 10 > text.size())
    return "";
  for (size_t i = 0; i < 10; i++) {
    char c = text[p + i];
    bool digit = c >= '0' && c <= '9';
    if ((i == 4 || i == 7) ? (c != '/' && c != '-') : !digit)
      return "";
  }
  return text.substr(p, 10);
}

// Return the brace group of TEXT that starts at P ('{'), without braces,
// and set *END behind it; "" and *END = P if there is none.
std::string group_at(const std::string &text, size_t p, size_t *end)
{
  *end = p;
  size_t q = text.find_first_not_of(" \t\r\n", p);
  if (q == std::string::npos || (text[q] != '{' && text[q] != '['))
    return "";
  char close = text[q] == '{' ? '}' : ']';
  size_t r = text.find(close, q + 1);
  if (r == std::string::npos)
    return "";
  *end = r + 1;
  return text.substr(q + 1, r - q - 1);
}

} // namespace

std::pair<std::string, std::string> provides_declaration(const std::string &text)
{
  static const char *const commands[] = {
    "\\ProvidesExplPackage", "\\ProvidesExplClass", "\\ProvidesExplFile",
    "\\ProvidesPackage", "\\ProvidesClass", "\\ProvidesFile", nullptr};
  // The first declaration outside a comment line.
  size_t best = std::string::npos;
  const char *found = nullptr;
  for (const char *const *c = commands; *c != nullptr; c++)
    for (size_t at = text.find(*c); at != std::string::npos; at = text.find(*c, at + 1)) {
      size_t line = text.rfind('\n', at);
      size_t first = text.find_first_not_of(" \t", line == std::string::npos ? 0 : line + 1);
      char next = text[at + strlen(*c)];
      if (text[first] == '%' || (next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z'))
        continue;
      if (at < best) {
        best = at;
        found = *c;
      }
      break;
    }
  if (found == nullptr)
    return {};
  size_t p = best + strlen(found), end;
  group_at(text, p, &end); // the name
  if (strncmp(found, "\\ProvidesExpl", 13) == 0) {
    // \ProvidesExplPackage{name}{date}{version}{description}
    std::string date = group_at(text, end, &end);
    std::string version = group_at(text, end, &end);
    return {date_at(date, 0), version};
  }
  // \ProvidesPackage{name}[date version description]
  std::string info = group_at(text, end, &end);
  size_t at = info.find_first_not_of(" \t\r\n");
  std::string date = at == std::string::npos ? "" : date_at(info, at);
  std::string version;
  size_t v = date.empty() ? at : info.find_first_not_of(" \t\r\n", at + 10);
  if (v != std::string::npos && v < info.size()) {
    size_t w = info.find_first_of(" \t\r\n", v);
    std::string word = info.substr(v, w == std::string::npos ? std::string::npos : w - v);
    if (!word.empty() && (word[0] == 'v' || (word[0] >= '0' && word[0] <= '9')))
      version = word;
  }
  return {date, version};
}

void learn_file_facts(group_info &group)
{
  std::vector<member_info> &members = group.members;
  std::vector<int> fds(members.size(), -1);
  std::map<long long, int> sizes;
  for (size_t i = 0; i < members.size(); i++)
    if (open_member(members[i], &fds[i]))
      sizes[members[i].size]++;

  // Members of a size no other member has differ from all of them without
  // a read; the others are read whole and hashed.
  std::vector<XXH128_hash_t> hashes(members.size());
  std::vector<bool> hashed(members.size(), false);
  std::string text;
  for (size_t i = 0; i < members.size(); i++) {
    if (fds[i] < 0)
      continue;
    member_info &m = members[i];
    bool whole = sizes[m.size] > 1;
    bool source = tex_source_p(m.path);
    if (whole || source) {
      if (!read_up_to(fds[i], whole ? SIZE_MAX : declaration_window, text)) {
        m.state = file_unreadable;
      } else {
        if (whole) {
          hashes[i] = XXH3_128bits(text.data(), text.size());
          hashed[i] = true;
        }
        if (source) {
          auto [date, version] = provides_declaration(text.substr(0, declaration_window));
          m.date = date;
          m.version = version;
        }
      }
    }
    close(fds[i]);
  }

  // Marks: members with the same size and the same bytes share one.
  int marks = 0;
  for (size_t i = 0; i < members.size(); i++) {
    if (members[i].state != file_ok)
      continue;
    for (size_t j = 0; j < i && members[i].mark < 0; j++)
      if (members[j].state == file_ok && members[j].size == members[i].size && hashed[i] &&
          hashed[j] && XXH128_isEqual(hashes[i], hashes[j]))
        members[i].mark = members[j].mark;
    if (members[i].mark < 0)
      members[i].mark = marks++;
  }
}

void learn_packages(std::vector<group_info> &groups, const std::string &dpkg_info,
                    const std::string &tlpdb, const std::string &root)
{
  // Every member, by its path as listed and by its path with links resolved.
  std::unordered_set<std::string> wanted;
  std::vector<std::pair<member_info *, std::string>> real_paths;
  for (group_info &g : groups)
    for (member_info &m : g.members) {
      wanted.insert(m.path);
      char *real = realpath(m.path.c_str(), nullptr);
      if (real != nullptr && m.path != real) {
        wanted.insert(real);
        real_paths.emplace_back(&m, real);
      }
      free(real);
    }
  package_map debian = debian_owners(wanted, dpkg_info);
  package_map texlive = texlive_owners(wanted, tlpdb, root);
  auto pick = [](const package_map &owners, const std::string &path, std::string &package) {
    auto it = owners.find(path);
    if (package.empty() && it != owners.end())
      package = it->second;
  };
  for (group_info &g : groups)
    for (member_info &m : g.members) {
      pick(debian, m.path, m.package);
      pick(texlive, m.path, m.texlive_package);
    }
  for (auto &[m, real] : real_paths) {
    pick(debian, real, m->package);
    pick(texlive, real, m->texlive_package);
  }
}
