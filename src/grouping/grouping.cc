// The grouping of names.
//
// Every entry of the ls-R databases is tested against the disk and the
// patterns; the files kept are counted by file name, folded as the report
// folds it (ASCII letters only).  Only the names shared by two or more kept
// files, about one file in a hundred on a real installation, are joined
// into paths, sorted and printed.
//
// The disk is asked one directory at a time (a listing answers for all its
// entries), the directories spread over a thread per core.  Every result
// lands in the slot of its entry, so the report does not depend on how the
// threads are scheduled.

#include "grouping/grouping.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <utility>

#include <unordered_set>

#include "shared/files.h"
#include "shared/paths.h"
#include "shared/workers.h"
#include "kpathsea/binding.h"
#include "platform/platform.h"

namespace {

// What the test of one entry found.
enum entry_state : uint8_t { dropped, kept_nameless, kept_named };

// Return the file name of NAME, an entry of a directory that ends in '/'
// (or of the empty directory): the part after NAME's last '/', as xbasename
// finds it in the joined path; null if that part is empty.  Set *HASH to a
// hash of it folded as stricmp folds it; one pass over NAME.
const char *hashed_file_name(const char *name, uint32_t *hash)
{
  const char *base = name;
  uint32_t h = 2166136261u;
  for (const char *p = name; *p != '\0'; p++) {
    if (*p == '/') {
      base = p + 1;
      h = 2166136261u;
      continue;
    }
    h = (h ^ platform::ascii_folded(static_cast<unsigned char>(*p))) * 16777619u;
  }
  *hash = h;
  return *base != '\0' ? base : nullptr;
}

// Return true if PATH matches one of the PATTERNS.
bool any_match_p(const std::vector<const char *> &patterns, const char *path)
{
  for (const char *pattern : patterns)
    if (platform::match_pattern(pattern, path) == 0)
      return true;
  return false;
}

// Return true if PATH is not rejected by any of the include PATTERNS.
bool included_p(const std::vector<const char *> &patterns, const char *path)
{
  for (const char *pattern : patterns)
    if (platform::match_pattern(pattern, path) == platform::pattern_no_match)
      return false;
  return true;
}

// The entries sorted by directory, with what their tests found.
struct test_table {
  std::vector<db_entry> &entries;
  std::vector<size_t> dir_starts; // first entry of each directory, then the end
  std::unique_ptr<bool[]> is_dir;
  std::unique_ptr<entry_state[]> state;
  std::unique_ptr<uint32_t[]> hash; // of the folded file name, where kept_named
};

// Return what FILTER keeps of the file E in directory DIR, setting HASH to
// its folded file name's hash.  PATH is the calling thread's buffer.
entry_state kept_state(const db_entry &e, const char *dir, const check_filter &filter,
                       uint32_t &hash, std::string &path)
{
  if (!filter.exclude.empty() || !filter.include.empty()) {
    // Patterns see the whole path; it is joined only for them.
    path.assign(dir).append(e.name);
    if (any_match_p(filter.exclude, path.c_str()) || !included_p(filter.include, path.c_str()))
      return dropped;
  }
  const char *file = hashed_file_name(e.name, &hash);
  if (!filter.names.empty() && (file == nullptr || !any_match_p(filter.names, file)))
    return dropped;
  return file != nullptr ? kept_named : kept_nameless;
}

// Test the entries of directory D of TABLE against the disk and FILTER.
// PATH and NAMES are the calling thread's buffers.
void test_directory(test_table &table, size_t d, const check_filter &filter,
                    std::string &path, std::vector<const char *> &names)
{
  size_t first = table.dir_starts[d], last = table.dir_starts[d + 1];
  const char *dir = table.entries[first].dir;
  names.clear();
  for (size_t i = first; i < last; i++)
    names.push_back(table.entries[i].name);
  platform::find_directories(dir, names.data(), names.size(), &table.is_dir[first]);

  for (size_t i = first; i < last; i++)
    table.state[i] = table.is_dir[i] ? dropped
                                     : kept_state(table.entries[i], dir, filter, table.hash[i], path);
}

// Test every directory of TABLE, spread over THREADS threads that take the
// next untested directory in turn.
void test_directories(test_table &table, const check_filter &filter, unsigned threads)
{
  size_t dirs = table.dir_starts.size() - 1;
  std::atomic<size_t> next{0};
  auto work = [&]() {
    std::string path;
    std::vector<const char *> names;
    for (size_t d; (d = next.fetch_add(1, std::memory_order_relaxed)) < dirs;)
      test_directory(table, d, filter, path, names);
  };
  size_t workers = std::min<size_t>(threads, std::max<size_t>(dirs, 1));
  run_workers(static_cast<unsigned>(workers), [&](unsigned) { work(); });
}

// Return the file name of the kept entry I of TABLE, found again: only
// where two names' hashes agree.
const char *file_of(const test_table &table, size_t i)
{
  uint32_t ignored;
  return hashed_file_name(table.entries[i].name, &ignored);
}

// Count the kept files of TABLE by folded file name and return the groups
// of the names that two or more share.
duplicate_groups group_names(test_table &table)
{
  duplicate_groups result;
  size_t n = table.entries.size(), named = 0;
  for (size_t i = 0; i < n; i++) {
    result.kept += table.state[i] != dropped;
    named += table.state[i] == kept_named;
  }
  // Open addressing: each slot holds 1 + the entry that first had the name;
  // COUNT[i] counts the files with entry i's name.
  size_t mask = 1;
  while (mask < named + named / 2 + 1)
    mask <<= 1;
  mask -= 1;
  std::vector<uint32_t> slots(mask + 1, 0);
  std::vector<uint32_t> first_of(n), count;
  count.assign(n, 0);
  for (size_t i = 0; i < n; i++) {
    if (table.state[i] != kept_named)
      continue;
    uint32_t h = table.hash[i];
    size_t slot = h & mask;
    for (;; slot = (slot + 1) & mask) {
      uint32_t e = slots[slot];
      if (e == 0) {
        slots[slot] = static_cast<uint32_t>(i + 1);
        first_of[i] = static_cast<uint32_t>(i);
        break;
      }
      if (table.hash[e - 1] == h && stricmp(file_of(table, e - 1), file_of(table, i)) == 0) {
        first_of[i] = e - 1;
        break;
      }
    }
    count[first_of[i]]++;
  }

  // The members of each shared name, joined into paths.  A name's count
  // becomes its group's number, marked by the top bit.
  const uint32_t group_mark = 0x80000000u;
  std::vector<size_t> firsts;
  for (size_t i = 0; i < n; i++)
    if (table.state[i] == kept_named && first_of[i] == i && count[i] >= 2) {
      count[i] = group_mark | static_cast<uint32_t>(firsts.size());
      firsts.push_back(i);
    }
  result.groups.resize(firsts.size());
  for (size_t i = 0; i < n; i++) {
    if (table.state[i] != kept_named || (count[first_of[i]] & group_mark) == 0)
      continue;
    const db_entry &e = table.entries[i];
    std::string &path = result.groups[count[first_of[i]] & ~group_mark].emplace_back(
        std::string(e.dir) + e.name);
    dostounix_filename(path.data());
  }
  // Groups in ascending order of their names, paths in byte order.
  std::vector<size_t> order(firsts.size());
  for (size_t g = 0; g < order.size(); g++)
    order[g] = g;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return stricmp(file_of(table, firsts[a]), file_of(table, firsts[b])) < 0;
  });
  std::vector<std::vector<std::string>> sorted;
  sorted.reserve(order.size());
  for (size_t g : order) {
    std::sort(result.groups[g].begin(), result.groups[g].end());
    sorted.push_back(std::move(result.groups[g]));
  }
  result.groups = std::move(sorted);
  return result;
}

} // namespace

void collect_entry(const char *name, const char *dir, void *collected)
{
  collected_entries &c = *static_cast<collected_entries *>(collected);
  // Kpathsea hands the same directory string to each of its entries: look
  // at its end once.
  if (dir != c.last_dir) {
    size_t length = strlen(dir);
    c.last_dir = dir;
    c.last_ends_in_slash = length == 0 || dir[length - 1] == '/';
  }
  if (c.last_ends_in_slash) {
    c.entries.push_back({name, dir});
    return;
  }
  const std::string &path = c.joined.emplace_back(std::string(dir) + name);
  c.entries.push_back({path.c_str(), ""});
}

duplicate_groups group_collected(collected_entries &collected, const check_filter &filter,
                                 const std::vector<std::string> &extra_files, unsigned threads)
{
  std::vector<db_entry> &db_entries = collected.entries;
  // Kpathsea shares one directory string among all files of a directory;
  // in the order of loading, they already come together.
  auto by_dir = [](const db_entry &a, const db_entry &b) {
    return std::less<const char *>()(a.dir, b.dir);
  };
  if (!std::is_sorted(db_entries.begin(), db_entries.end(), by_dir))
    std::sort(db_entries.begin(), db_entries.end(), by_dir);
  size_t n = db_entries.size(), extras = extra_files.size();
  // Files found outside the databases come last, each a directory of its
  // own with the whole path as its name: known to be files, they are only
  // held to the patterns.
  for (const std::string &path : extra_files)
    db_entries.push_back({path.c_str(), ""});
  test_table table{db_entries, {}, std::unique_ptr<bool[]>(new bool[n + extras]),
                   std::unique_ptr<entry_state[]>(new entry_state[n + extras]),
                   std::unique_ptr<uint32_t[]>(new uint32_t[n + extras])};
  for (size_t i = 0; i < n; i++)
    if (i == 0 || db_entries[i].dir != db_entries[i - 1].dir)
      table.dir_starts.push_back(i);
  table.dir_starts.push_back(n);
  test_directories(table, filter, thread_count(threads));
  std::string path;
  size_t extras_kept = 0;
  for (size_t i = n; i < n + extras; i++) {
    table.is_dir[i] = false;
    table.state[i] = kept_state(db_entries[i], "", filter, table.hash[i], path);
    extras_kept += table.state[i] != dropped;
  }
  duplicate_groups result = group_names(table);
  result.kept -= extras_kept;
  return result;
}

duplicate_groups find_duplicates(const check_filter &filter,
                                 const std::vector<std::string> &extra_files)
{
  shared_db_handle db = load_databases();
  collected_entries collected;
  collected.entries.reserve(hash_shared_size_hint(db));
  hash_shared_iter(db, collect_entry, &collected);
  return group_collected(collected, filter, extra_files);
}

bool kept_path_p(const check_filter &filter, const std::string &path)
{
  if (any_match_p(filter.exclude, path.c_str()) || !included_p(filter.include, path.c_str()))
    return false;
  // The file name ends the path: the view's start is a C string.
  const char *file = path.c_str() + (path.size() - base_name(path).size());
  return *file != '\0' && (filter.names.empty() || any_match_p(filter.names, file));
}
