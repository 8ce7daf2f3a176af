#include "explain/facts.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <utility>
#include <xxhash.h>

#include "shared/packages.h"
#include "shared/files.h"
#include "platform/platform.h"

namespace {

// How much of a TeX source the declaration is looked for in: license
// headers and guards can be long.
const size_t declaration_window = 256 * 1024;

// How much of a file is in memory at once while its content is hashed.
const size_t block_size = 4 * 1024 * 1024;

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
// regular file now open as *FD.  A lack of descriptors is waited out a
// little: the lookups' child may hold some for a moment.
bool open_member(member_info &m, int *fd)
{
  struct stat st;
  int error = 0;
  open_result result;
  for (int tries = 0;; tries++) {
    result = open_regular(m.path, fd, &st, &error);
    if (result != open_failed || (error != EMFILE && error != ENFILE) || tries == 1000)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (result == open_ok || result == open_not_regular || result == open_pseudo) {
    m.size = st.st_size;
    m.mtime = st.st_mtime;
  }
  switch (result) {
  case open_ok: return true;
  case open_missing: m.state = file_missing; break;
  case open_dangling: m.state = file_dangling; break;
  case open_not_regular:
  case open_pseudo:
    m.state = file_not_regular;
    m.why = open_failure_text(result, st, error);
    break;
  case open_failed:
    m.state = file_unchecked;
    m.why = strerror(error);
    break;
  }
  return false;
}

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
  bool conditional; // defined inside a conditional
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
    } else if (it != macros.end() && it->second.parameters.empty() && depth < 8) {
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
  std::string word = info.substr(p, info.find(' ', p) - p);
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

// Return the declaration of TEXT as provides_declaration does, following
// \input into DIR up to DEPTH files deep.
std::pair<std::string, std::string> declaration_in(const std::string &text, const std::string &dir,
                                                   macro_table &macros, int depth)
{
  tex_reader in{text};
  std::string buffer; // the text once a macro's expansion replaced its call
  int expansions = 0;
  // Conditionals are not evaluated: a macro defined inside one may never
  // exist (\ifx\ProvidesPackage\undefined \def\next...), so it is not
  // expanded.
  int conditionals = 0;
  for (std::string_view token; !(token = in.next()).empty();) {
    if (token == "\\catcode") {
      in.catcode();
      continue;
    }
    if (token == "\\newif") {
      in.next();
      continue;
    }
    if (token.substr(0, 3) == "\\if") {
      conditionals++;
      continue;
    }
    if (token == "\\fi") {
      conditionals -= conditionals > 0;
      continue;
    }
    if (token == "\\providecommand" || token == "\\newcommand") {
      // Only the parameterless form: \newcommand\name{body}.
      std::string_view name = in.next();
      size_t after = in.at;
      bool found;
      std::string body = in.group('{', '}', &found);
      if (found && name.size() > 1 && name[0] == '\\' && !declaration_p(name) &&
          macros.count(name) == 0)
        macros[std::string(name)] = {"", body, conditionals > 0};
      else if (!found)
        in.at = after;
      continue;
    }
    if (token == "\\def" || token == "\\edef" || token == "\\gdef" || token == "\\xdef") {
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
        macros[std::string(name)] = {parameters, body, conditionals > 0};
      else
        in.at = after;
      continue;
    }
    auto called = macros.find(token);
    if (called != macros.end() && !called->second.parameters.empty() &&
        !called->second.conditional && expansions < 256) {
      size_t at = in.at;
      bool ok;
      std::string expansion = invoke_macro(called->second, in.text, &at, &ok);
      if (ok && expansion.size() + in.text.size() - at < (1u << 20)) {
        expansion += in.text.substr(at);
        buffer.swap(expansion);
        in.text = buffer;
        in.at = 0;
        expansions++;
      }
      continue;
    }
    if (token == "\\input" && !dir.empty() && depth < 4) {
      std::string name = in.file_name(), included;
      if (name.empty())
        continue;
      std::string path = name[0] == '/' ? name : dir + "/" + name;
      if (!read_whole_file(path, included) && !read_whole_file(path + ".tex", included))
        continue;
      auto found = declaration_in(included.substr(0, declaration_window), dir, macros, depth + 1);
      if (!found.first.empty() || !found.second.empty())
        return found;
      continue;
    }
    if (!declaration_p(token))
      continue;
    bool expl = token.substr(0, 13) == "\\ProvidesExpl";
    // A declaration is carried out with its name in braces; anywhere else
    // (\ifx\ProvidesPackage\undefined, \def\ProvidesFile#1) the command
    // is only tested or defined.
    bool found;
    size_t after = in.at;
    in.group('{', '}', &found);
    if (!found) {
      in.at = after;
      continue;
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
      return {date, version.empty() ? "" : "v" + version};
    }
    std::string info = expand_macros(in.group('[', ']', &found), macros);
    std::string date = date_at(info);
    return {date, version_in(info, !date.empty())};
  }
  return {};
}

} // namespace

std::pair<std::string, std::string> provides_declaration(const std::string &text,
                                                         const std::string &dir)
{
  macro_table macros;
  return declaration_in(text, dir, macros, 0);
}

void learn_file_facts(group_info &group)
{
  std::vector<member_info> &members = group.members;
  std::map<long long, int> sizes;
  std::vector<bool> regular(members.size(), false);
  for (size_t i = 0; i < members.size(); i++) {
    int fd;
    if (open_member(members[i], &fd)) {
      close(fd);
      regular[i] = true;
      sizes[members[i].size]++;
    }
  }

  // Members of a size no other member has differ from all of them without
  // a read.  Two of one size are read side by side until they differ;
  // more are hashed block by block, one file open at a time.  A TeX
  // source's head is kept for its declaration; no file is read twice.
  std::vector<XXH128_hash_t> hashes(members.size());
  std::vector<bool> hashed(members.size(), false), done(members.size(), false);
  std::vector<int> same_as(members.size(), -1);
  std::string block, head, other_block, other_head;
  auto declare = [](member_info &m, const std::string &text) {
    if (!tex_source_p(m.path))
      return;
    auto [date, version] = provides_declaration(text, m.path.substr(0, m.path.rfind('/')));
    m.date = date;
    m.version = version;
  };
  for (size_t i = 0; i < members.size(); i++) {
    if (!regular[i] || sizes[members[i].size] != 2)
      continue;
    size_t j = i + 1;
    while (j < members.size() && !(regular[j] && members[j].size == members[i].size))
      j++;
    if (j == members.size() || done[i])
      continue;
    done[i] = done[j] = true;
    int a, b;
    if (!open_member(members[i], &a))
      continue;
    if (!open_member(members[j], &b)) {
      close(a);
      continue;
    }
    bool equal = true, ok = true, first = true;
    while (ok && equal) {
      ok = read_up_to(a, block_size, block) && read_up_to(b, block_size, other_block);
      if (ok && first) {
        declare(members[i], block.substr(0, declaration_window));
        declare(members[j], other_block.substr(0, declaration_window));
        first = false;
      }
      equal = ok && block == other_block;
      if (block.size() < block_size)
        break;
    }
    close(a);
    close(b);
    if (!ok) {
      members[i].state = members[j].state = file_unreadable;
      members[i].why = members[j].why = strerror(errno);
    } else if (equal) {
      same_as[j] = static_cast<int>(i);
    }
  }
  for (size_t i = 0; i < members.size(); i++) {
    member_info &m = members[i];
    bool whole = regular[i] && sizes[m.size] > 2, source = regular[i] && tex_source_p(m.path);
    if (done[i] || (!whole && !source))
      continue;
    int fd;
    if (!open_member(m, &fd))
      continue;
    XXH3_state_t *state = whole ? XXH3_createState() : nullptr;
    if (state != nullptr)
      XXH3_128bits_reset(state);
    head.clear();
    bool ok = true;
    for (;;) {
      if (!read_up_to(fd, block_size, block)) {
        ok = false;
        break;
      }
      if (source && head.size() < declaration_window)
        head.append(block, 0, std::min(block.size(), declaration_window - head.size()));
      if (state != nullptr)
        XXH3_128bits_update(state, block.data(), block.size());
      if (block.size() < block_size || (state == nullptr && head.size() >= declaration_window))
        break;
    }
    close(fd);
    if (!ok) {
      m.state = file_unreadable;
      m.why = strerror(errno);
    } else {
      if (state != nullptr) {
        hashes[i] = XXH3_128bits_digest(state);
        hashed[i] = true;
      }
      declare(m, head);
    }
    if (state != nullptr)
      XXH3_freeState(state);
  }

  // Marks: members with the same size and the same bytes share one.
  int marks = 0;
  for (size_t i = 0; i < members.size(); i++) {
    if (members[i].state != file_ok)
      continue;
    if (same_as[i] >= 0 && members[same_as[i]].state == file_ok)
      members[i].mark = members[same_as[i]].mark;
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
  // Every member, by its path as listed and by its path with links
  // resolved, each as paths compare here (Windows Kpathsea lower-cases).
  std::unordered_set<std::string> wanted;
  std::vector<std::pair<member_info *, std::string>> real_paths;
  for (group_info &g : groups)
    for (member_info &m : g.members) {
      wanted.insert(path_key(m.path));
      std::string real = real_path(m.path);
      if (m.path != real) {
        wanted.insert(path_key(real));
        real_paths.emplace_back(&m, real);
      }
    }
  package_map debian = debian_owners(wanted, dpkg_info);
  package_map texlive = texlive_owners(wanted, tlpdb, root);
  auto pick = [](const package_map &owners, const std::string &path, std::string &package) {
    auto it = owners.find(path_key(path));
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
