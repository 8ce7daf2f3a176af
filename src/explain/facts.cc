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

} // namespace

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
