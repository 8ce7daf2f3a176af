// What the copies of a name are: each looked at, compared with the others
// block by block or by hash, its declaration read from its head, and the
// package lists read for their owners.

#include "copies/copies.h"

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
  // Kpathsea finds a name in another case (FOO.STY for foo.sty).
  std::string folded = platform::ascii_folded(path);
  for (const char *const *s = tex_source_suffixes; *s != nullptr; s++)
    if (platform::ends_with_p(folded, *s))
      return true;
  return false;
}

// Set C's state, size and time from the disk; return true if C is a
// regular file now open as *FD.  A lack of descriptors is waited out a
// little: the lookups' child may hold some for a moment.
bool open_copy(file_copy &c, int *fd)
{
  file_facts &f = c.file;
  struct stat st;
  int error = 0;
  platform::open_result result;
  for (int tries = 0;; tries++) {
    result = platform::open_regular(c.path, fd, &st, &error);
    if (result != platform::open_failed || (error != EMFILE && error != ENFILE) || tries == 1000)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (result == platform::open_ok || result == platform::open_not_regular ||
      result == platform::open_pseudo) {
    f.size = st.st_size;
    f.mtime = st.st_mtime;
  }
  switch (result) {
  case platform::open_ok: return true;
  case platform::open_missing: f.state = file_missing; break;
  case platform::open_dangling: f.state = file_dangling; break;
  case platform::open_not_regular:
  case platform::open_pseudo:
    f.state = file_not_regular;
    f.why = platform::open_failure_text(result, st, error);
    break;
  case platform::open_failed:
    f.state = file_unchecked;
    f.why = strerror(error);
    break;
  }
  return false;
}

// What the reading of the copies of a name found, copy by copy.
struct copy_reads {
  std::vector<bool> regular;         // a regular file when first looked at
  std::map<long long, int> sizes;    // how many regular copies have each size
  std::vector<XXH128_hash_t> hashes; // the content's hash, where hashed
  std::vector<bool> hashed, done;    // hashed; compared with its one namesake
  std::vector<int> same_as;          // the earlier copy of the same bytes, or -1
  bool declarations = true;          // read the declarations of TeX sources
};

// Set C's date and version from the head TEXT of its file, where C is a
// TeX source.  What it inputs is not read here: a run finds it through
// Kpathsea, not beside the file, and the caller reads it so
// (declaration.unfollowed).
void declare(file_copy &c, const std::string &text)
{
  if (!tex_source_p(c.path))
    return;
  auto [date, version] = provides_declaration(text, input_finder(), &c.declaration.unfollowed,
                                              std::string(base_name(c.path)));
  c.declaration.date = date;
  c.declaration.version = version;
}

// Look at each of COPIES: its state, size and time, and whether it is a
// regular file; return the reads begun.
copy_reads look_at_copies(const std::vector<file_copy *> &copies)
{
  copy_reads r;
  r.regular.assign(copies.size(), false);
  r.hashes.resize(copies.size());
  r.hashed.assign(copies.size(), false);
  r.done.assign(copies.size(), false);
  r.same_as.assign(copies.size(), -1);
  for (size_t i = 0; i < copies.size(); i++) {
    int fd;
    if (open_copy(*copies[i], &fd)) {
      platform::close_file(fd);
      r.regular[i] = true;
      r.sizes[copies[i]->file.size]++;
    }
  }
  return r;
}

// Compare the copies that share their size with exactly one other, read
// side by side until they differ; a TeX source's head gives its
// declaration.  BLOCK and OTHER_BLOCK are buffers.
void compare_pairs(const std::vector<file_copy *> &copies, copy_reads &r, std::string &block,
                   std::string &other_block)
{
  for (size_t i = 0; i < copies.size(); i++) {
    long long size = copies[i]->file.size;
    if (!r.regular[i] || r.sizes[size] != 2)
      continue;
    size_t j = i + 1;
    while (j < copies.size() && !(r.regular[j] && copies[j]->file.size == size))
      j++;
    if (j == copies.size() || r.done[i])
      continue;
    r.done[i] = r.done[j] = true;
    int a, b;
    if (!open_copy(*copies[i], &a))
      continue;
    platform::owned_file first_file(a);
    if (!open_copy(*copies[j], &b))
      continue;
    platform::owned_file second_file(b);
    bool equal = true, ok = true, first = true;
    while (ok && equal) {
      ok = platform::read_up_to(a, block_size, block) &&
           platform::read_up_to(b, block_size, other_block);
      if (ok && first && r.declarations) {
        declare(*copies[i], block.substr(0, declaration_window));
        declare(*copies[j], other_block.substr(0, declaration_window));
        first = false;
      }
      equal = ok && block == other_block;
      if (block.size() < block_size)
        break;
    }
    if (!ok) {
      copies[i]->file.state = copies[j]->file.state = file_unreadable;
      copies[i]->file.why = copies[j]->file.why = strerror(errno);
    } else if (equal) {
      r.same_as[j] = static_cast<int>(i);
    }
  }
}

// Read the file of copy I of COPIES once: hashed whole where more than
// two copies share its size, its head kept where it is a TeX source.
// BLOCK and HEAD are buffers.
void read_copy(const std::vector<file_copy *> &copies, size_t i, copy_reads &r,
               std::string &block, std::string &head)
{
  file_copy &c = *copies[i];
  bool whole = r.regular[i] && r.sizes[c.file.size] > 2,
       source = r.regular[i] && r.declarations && tex_source_p(c.path);
  if (r.done[i] || (!whole && !source))
    return;
  int fd;
  if (!open_copy(c, &fd))
    return;
  platform::owned_file file(fd);
  std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t *)> state(
      whole ? XXH3_createState() : nullptr, XXH3_freeState);
  if (state != nullptr)
    XXH3_128bits_reset(state.get());
  head.clear();
  for (;;) {
    if (!platform::read_up_to(fd, block_size, block)) {
      c.file.state = file_unreadable;
      c.file.why = strerror(errno);
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
  declare(c, head);
}

// Give COPIES their content marks: copies with the same size and the same
// bytes share one.
void mark_contents(const std::vector<file_copy *> &copies, const copy_reads &r)
{
  int marks = 0;
  for (size_t i = 0; i < copies.size(); i++) {
    file_facts &f = copies[i]->file;
    if (f.state != file_ok)
      continue;
    if (r.same_as[i] >= 0 && copies[r.same_as[i]]->file.state == file_ok)
      f.mark = copies[r.same_as[i]]->file.mark;
    for (size_t j = 0; j < i && f.mark < 0; j++) {
      const file_facts &other = copies[j]->file;
      if (other.state == file_ok && other.size == f.size && r.hashed[i] && r.hashed[j] &&
          XXH128_isEqual(r.hashes[i], r.hashes[j]))
        f.mark = other.mark;
    }
    if (f.mark < 0)
      f.mark = marks++;
  }
}

} // namespace

void learn_file_facts(const std::vector<file_copy *> &copies, bool declarations)
{
  // Copies of a size no other copy has differ from all of them without
  // a read.  Two of one size are read side by side until they differ;
  // more are hashed block by block, one file open at a time.  A TeX
  // source's head is kept for its declaration; no file is read twice.
  copy_reads reads = look_at_copies(copies);
  reads.declarations = declarations;
  std::string block, head;
  compare_pairs(copies, reads, block, head);
  for (size_t i = 0; i < copies.size(); i++)
    read_copy(copies, i, reads, block, head);
  mark_contents(copies, reads);
}

std::string content_hash(const std::string &path)
{
  file_copy c;
  c.path = path;
  int fd;
  if (!open_copy(c, &fd))
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

// Return the path of each of COPIES with links resolved.
std::vector<std::string> real_paths_of(const std::vector<file_copy *> &copies)
{
  std::vector<std::string> real;
  for (const file_copy *c : copies)
    real.push_back(platform::real_path(c->path));
  return real;
}

// Fill in the packages of COPIES, REAL their paths with links resolved,
// from OWNERS: by the path as listed first.
void pick_packages(const std::vector<file_copy *> &copies, const std::vector<std::string> &real,
                   const package_owners &owners)
{
  auto pick = [](const package_map &owners, const std::string &path, std::string &package) {
    auto it = owners.find(path_key(path));
    if (package.empty() && it != owners.end())
      package = it->second;
  };
  for (size_t i = 0; i < copies.size(); i++) {
    const std::string &listed = copies[i]->path;
    for (const std::string *path : {&listed, &real[i]}) {
      pick(owners.debian, *path, copies[i]->owner.package);
      pick(owners.texlive, *path, copies[i]->owner.texlive_package);
    }
  }
}

} // namespace

package_owners learn_packages(const std::vector<file_copy *> &copies, const std::string &dpkg_info,
                              const std::string &tlpdb, const std::string &root,
                              const name_set &names)
{
  // Every copy, by its path as listed and by its path with links
  // resolved, each as paths compare here (Windows Kpathsea lower-cases).
  std::vector<std::string> real = real_paths_of(copies);
  std::unordered_set<std::string> wanted;
  for (size_t i = 0; i < copies.size(); i++) {
    wanted.insert(path_key(copies[i]->path));
    wanted.insert(path_key(real[i]));
  }
  package_owners owners;
  owners.debian = debian_owners(wanted, dpkg_info, names, &owners.unread);
  owners.texlive = texlive_owners(wanted, tlpdb, root, names, &owners.unread);
  pick_packages(copies, real, owners);
  return owners;
}

bool learn_packages_from(const std::vector<file_copy *> &copies, const package_owners &owners,
                         const name_set &names)
{
  std::vector<std::string> real = real_paths_of(copies);
  for (size_t i = 0; i < copies.size(); i++)
    if (copies[i]->path != real[i] && !named_p(path_key(real[i]), names))
      return false;
  pick_packages(copies, real, owners);
  return true;
}

bool older_date_p(const std::string &mine, const std::string &behind)
{
  auto key = [](const std::string &date) {
    std::string digits;
    for (char c : date)
      if (c >= '0' && c <= '9')
        digits += c;
    return digits;
  };
  return !mine.empty() && !behind.empty() && key(mine) < key(behind);
}
