#include "explain/facts.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unordered_set>
#include <utility>
#include <xxhash.h>

#include "texsource/declarations.h"
#include "shared/packages.h"
#include "shared/files.h"
#include "shared/paths.h"
#include "platform/platform.h"

namespace {

// How much of a file is in memory at once while its content is hashed.
const size_t block_size = 4 * 1024 * 1024;

// Suffixes of the TeX sources whose \Provides... declaration is read.
const char *const tex_source_suffixes[] = {
  ".sty", ".cls", ".def", ".fd", ".cfg", ".clo", ".ldf", ".tex", ".ltx", ".dtx",
  ".bbx", ".cbx", ".lbx", ".dbx", ".code.tex", nullptr};

// Return true if PATH names a TeX source whose declaration is worth reading.
bool tex_source_p(const std::string &path)
{
  for (const char *const *s = tex_source_suffixes; *s != nullptr; s++)
    if (platform::ends_with_p(path, *s))
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
  platform::open_result result;
  for (int tries = 0;; tries++) {
    result = platform::open_regular(m.path, fd, &st, &error);
    if (result != platform::open_failed || (error != EMFILE && error != ENFILE) || tries == 1000)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (result == platform::open_ok || result == platform::open_not_regular ||
      result == platform::open_pseudo) {
    m.size = st.st_size;
    m.mtime = st.st_mtime;
  }
  switch (result) {
  case platform::open_ok: return true;
  case platform::open_missing: m.state = file_missing; break;
  case platform::open_dangling: m.state = file_dangling; break;
  case platform::open_not_regular:
  case platform::open_pseudo:
    m.state = file_not_regular;
    m.why = platform::open_failure_text(result, st, error);
    break;
  case platform::open_failed:
    m.state = file_unchecked;
    m.why = strerror(error);
    break;
  }
  return false;
}

} // namespace

namespace {

// What the reading of a group's members found, member by member.
struct member_reads {
  std::vector<bool> regular;         // a regular file when first looked at
  std::map<long long, int> sizes;    // how many regular members have each size
  std::vector<XXH128_hash_t> hashes; // the content's hash, where hashed
  std::vector<bool> hashed, done;    // hashed; compared with its one namesake
  std::vector<int> same_as;          // the earlier member of the same bytes, or -1
};

// Set M's date and version from the head TEXT of its file, where M is a
// TeX source.
void declare(member_info &m, const std::string &text)
{
  if (!tex_source_p(m.path))
    return;
  auto [date, version] =
      provides_declaration(text, input_beside(std::string(directory_of(m.path))), &m.unfollowed,
                           std::string(base_name(m.path)));
  m.date = date;
  m.version = version;
}

// Look at every member of MEMBERS: its state, size and time, and whether
// it is a regular file; return the reads begun.
member_reads look_at_members(std::vector<member_info> &members)
{
  member_reads r;
  r.regular.assign(members.size(), false);
  r.hashes.resize(members.size());
  r.hashed.assign(members.size(), false);
  r.done.assign(members.size(), false);
  r.same_as.assign(members.size(), -1);
  for (size_t i = 0; i < members.size(); i++) {
    int fd;
    if (open_member(members[i], &fd)) {
      platform::close_file(fd);
      r.regular[i] = true;
      r.sizes[members[i].size]++;
    }
  }
  return r;
}

// Compare the members that share their size with exactly one other, read
// side by side until they differ; a TeX source's head gives its
// declaration.  BLOCK and OTHER_BLOCK are buffers.
void compare_pairs(std::vector<member_info> &members, member_reads &r, std::string &block,
                   std::string &other_block)
{
  for (size_t i = 0; i < members.size(); i++) {
    if (!r.regular[i] || r.sizes[members[i].size] != 2)
      continue;
    size_t j = i + 1;
    while (j < members.size() && !(r.regular[j] && members[j].size == members[i].size))
      j++;
    if (j == members.size() || r.done[i])
      continue;
    r.done[i] = r.done[j] = true;
    int a, b;
    if (!open_member(members[i], &a))
      continue;
    platform::owned_file first_file(a);
    if (!open_member(members[j], &b))
      continue;
    platform::owned_file second_file(b);
    bool equal = true, ok = true, first = true;
    while (ok && equal) {
      ok = platform::read_up_to(a, block_size, block) &&
           platform::read_up_to(b, block_size, other_block);
      if (ok && first) {
        declare(members[i], block.substr(0, declaration_window));
        declare(members[j], other_block.substr(0, declaration_window));
        first = false;
      }
      equal = ok && block == other_block;
      if (block.size() < block_size)
        break;
    }
    if (!ok) {
      members[i].state = members[j].state = file_unreadable;
      members[i].why = members[j].why = strerror(errno);
    } else if (equal) {
      r.same_as[j] = static_cast<int>(i);
    }
  }
}

// Read the file of member I of MEMBERS once: hashed whole where more than
// two members share its size, its head kept where it is a TeX source.
// BLOCK and HEAD are buffers.
void read_member(std::vector<member_info> &members, size_t i, member_reads &r, std::string &block,
                 std::string &head)
{
  member_info &m = members[i];
  bool whole = r.regular[i] && r.sizes[m.size] > 2, source = r.regular[i] && tex_source_p(m.path);
  if (r.done[i] || (!whole && !source))
    return;
  int fd;
  if (!open_member(m, &fd))
    return;
  platform::owned_file file(fd);
  std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t *)> state(
      whole ? XXH3_createState() : nullptr, XXH3_freeState);
  if (state != nullptr)
    XXH3_128bits_reset(state.get());
  head.clear();
  for (;;) {
    if (!platform::read_up_to(fd, block_size, block)) {
      m.state = file_unreadable;
      m.why = strerror(errno);
      return;
    }
    if (source && head.size() < declaration_window)
      head.append(block, 0, std::min(block.size(), declaration_window - head.size()));
    if (state != nullptr)
      XXH3_128bits_update(state.get(), block.data(), block.size());
    if (block.size() < block_size || (state == nullptr && head.size() >= declaration_window))
      break;
  }
  if (state != nullptr) {
    r.hashes[i] = XXH3_128bits_digest(state.get());
    r.hashed[i] = true;
  }
  declare(m, head);
}

// Give the members of MEMBERS their content marks: members with the same
// size and the same bytes share one.
void mark_contents(std::vector<member_info> &members, const member_reads &r)
{
  int marks = 0;
  for (size_t i = 0; i < members.size(); i++) {
    if (members[i].state != file_ok)
      continue;
    if (r.same_as[i] >= 0 && members[r.same_as[i]].state == file_ok)
      members[i].mark = members[r.same_as[i]].mark;
    for (size_t j = 0; j < i && members[i].mark < 0; j++)
      if (members[j].state == file_ok && members[j].size == members[i].size && r.hashed[i] &&
          r.hashed[j] && XXH128_isEqual(r.hashes[i], r.hashes[j]))
        members[i].mark = members[j].mark;
    if (members[i].mark < 0)
      members[i].mark = marks++;
  }
}

} // namespace

void learn_file_facts(group_info &group)
{
  // Members of a size no other member has differ from all of them without
  // a read.  Two of one size are read side by side until they differ;
  // more are hashed block by block, one file open at a time.  A TeX
  // source's head is kept for its declaration; no file is read twice.
  std::vector<member_info> &members = group.members;
  member_reads reads = look_at_members(members);
  std::string block, head;
  compare_pairs(members, reads, block, head);
  for (size_t i = 0; i < members.size(); i++)
    read_member(members, i, reads, block, head);
  mark_contents(members, reads);
}

std::string content_hash(const std::string &path)
{
  member_info m;
  m.path = path;
  int fd;
  if (!open_member(m, &fd))
    return "";
  platform::owned_file file(fd);
  std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t *)> state(XXH3_createState(),
                                                                        XXH3_freeState);
  if (state == nullptr)
    return "";
  XXH3_128bits_reset(state.get());
  std::string block;
  do {
    if (!platform::read_up_to(fd, block_size, block))
      return "";
    XXH3_128bits_update(state.get(), block.data(), block.size());
  } while (block.size() == block_size);
  XXH128_hash_t hash = XXH3_128bits_digest(state.get());
  char text[33];
  snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
           static_cast<unsigned long long>(hash.low64));
  return text;
}

namespace {

// Return the members of GROUPS.
std::vector<member_info *> members_of(const std::vector<group_info *> &groups)
{
  std::vector<member_info *> members;
  for (group_info *g : groups)
    for (member_info &m : g->members)
      members.push_back(&m);
  return members;
}

// Return the path of each of MEMBERS with links resolved.
std::vector<std::string> real_paths_of(const std::vector<member_info *> &members)
{
  std::vector<std::string> real;
  for (const member_info *m : members)
    real.push_back(platform::real_path(m->path));
  return real;
}

// Fill in the packages of MEMBERS, REAL their paths with links resolved,
// from OWNERS: by the path as listed first.
void pick_packages(const std::vector<member_info *> &members, const std::vector<std::string> &real,
                   const package_owners &owners)
{
  auto pick = [](const package_map &owners, const std::string &path, std::string &package) {
    auto it = owners.find(path_key(path));
    if (package.empty() && it != owners.end())
      package = it->second;
  };
  for (size_t i = 0; i < members.size(); i++) {
    const std::string &listed = members[i]->path;
    for (const std::string *path : {&listed, &real[i]}) {
      pick(owners.debian, *path, members[i]->package);
      pick(owners.texlive, *path, members[i]->texlive_package);
    }
  }
}

} // namespace

package_owners learn_packages(const std::vector<group_info *> &groups, const std::string &dpkg_info,
                              const std::string &tlpdb, const std::string &root,
                              const name_set &names)
{
  // Every member, by its path as listed and by its path with links
  // resolved, each as paths compare here (Windows Kpathsea lower-cases).
  std::vector<member_info *> members = members_of(groups);
  std::vector<std::string> real = real_paths_of(members);
  std::unordered_set<std::string> wanted;
  for (size_t i = 0; i < members.size(); i++) {
    wanted.insert(path_key(members[i]->path));
    wanted.insert(path_key(real[i]));
  }
  package_owners owners;
  owners.debian = debian_owners(wanted, dpkg_info, names, &owners.unread);
  owners.texlive = texlive_owners(wanted, tlpdb, root, names, &owners.unread);
  pick_packages(members, real, owners);
  return owners;
}

bool learn_packages_from(const std::vector<group_info *> &groups, const package_owners &owners,
                         const name_set &names)
{
  std::vector<member_info *> members = members_of(groups);
  std::vector<std::string> real = real_paths_of(members);
  for (size_t i = 0; i < members.size(); i++)
    if (members[i]->path != real[i] && !named_p(path_key(real[i]), names))
      return false;
  pick_packages(members, real, owners);
  return true;
}
