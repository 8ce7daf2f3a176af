// The database health check.
//
// Each tree on TEXMFDBS is walked as mktexlsr lists it (links followed,
// dangling links and hidden names listed), by a thread per core taking
// directories from a shared stack, while this thread reads the ls-R files
// as Kpathsea reads them.  The two are then compared both ways: files the
// ls-R lacks, and entries whose files are gone.  Nothing is ever written.

#include "databases/databases.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#include "pathsearch/files.h"
#include "pathsearch/installation.h"
#include "pathsearch/lookup.h"
#include "pathsearch/pathsearch.h"

namespace {

// What mktexlsr's sed looks for: from a line holding one of these, it
// deletes everything up to the next blank line.
const char *const vcs_names[] = {".git", ".hg", ".svn", ".bzr"};

// Return true if LINE holds a name mktexlsr's version-control rule matches.
bool vcs_line_p(std::string_view line)
{
  for (size_t dot = line.find('.'); dot != std::string_view::npos; dot = line.find('.', dot + 1))
    for (const char *name : vcs_names)
      if (line.compare(dot, strlen(name), name) == 0)
        return true;
  return false;
}

// A directory to list: the tree it belongs to, its path below the tree,
// and the directories above it (device, inode), to stop at a link loop.
struct walk_item {
  size_t tree;
  std::string rel;
  std::vector<std::pair<dev_t, ino_t>> above;
};

// Paths packed one after another, each ended by a NUL: a hundred thousand
// paths allocated one by one would cost as much as the walk itself.
struct path_store {
  std::string bytes;

  // Store PATH and return where it starts.
  uint32_t add(std::string_view path)
  {
    uint32_t at = static_cast<uint32_t>(bytes.size());
    bytes.append(path);
    bytes.push_back('\0');
    return at;
  }
  // Return the path stored at AT, LENGTH bytes long.
  std::string_view view(uint32_t at, uint32_t length) const
  {
    return std::string_view(bytes.data() + at, length);
  }
  const char *c_str(uint32_t at) const { return bytes.data() + at; }
};

// A file the walk found: its whole path, '/' runs collapsed, in the
// thread's store.
struct walked_file {
  uint32_t at, length;
  uint32_t tree;
  uint32_t rel;          // where the part below the tree starts in the path
  bool dropped;          // mktexlsr's version-control rule leaves it out
  bool dangling;
};

// What one thread of the walk found.
struct walk_result {
  path_store store;
  std::vector<walked_file> files;
  std::vector<std::pair<uint32_t, uint32_t>> dirs; // whole paths, collapsed
  std::vector<std::pair<size_t, std::string>> unlistable;
};

// The walk's shared stack of directories still to list.
struct walk_state {
  const std::vector<tree_health> *trees;
  std::mutex lock;
  std::condition_variable changed;
  std::vector<walk_item> stack;
  size_t busy = 0;
};

// List the directory ITEM: record its files and unlisted directories in
// OUT, and return its subdirectories to list.
std::vector<walk_item> list_directory(const walk_state &state, const walk_item &item,
                                      walk_result &out)
{
  std::vector<walk_item> children;
  const std::string &top = (*state.trees)[item.tree].dir;
  std::string dir = item.rel.empty() ? top : top + "/" + item.rel;
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    out.unlistable.emplace_back(item.tree, dir);
    return children;
  }
  std::vector<std::pair<std::string, unsigned char>> names;
  alignas(struct dirent64) char buffer[32768];
  ssize_t size;
  while ((size = getdents64(fd, buffer, sizeof buffer)) > 0)
    for (ssize_t at = 0; at < size;) {
      const struct dirent64 *e = reinterpret_cast<const struct dirent64 *>(buffer + at);
      at += e->d_reclen;
      if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
        names.emplace_back(e->d_name, e->d_type);
    }
  if (size < 0)
    out.unlistable.emplace_back(item.tree, dir);
  // mktexlsr's listing: "./REL:" (".:" at the top), then the names in
  // order; the order matters only where a name trips its rule.
  bool dropping = vcs_line_p(item.rel.empty() ? ".:" : "./" + item.rel + ":");
  if (!dropping && std::any_of(names.begin(), names.end(),
                               [](const auto &n) { return vcs_line_p(n.first); }))
    std::sort(names.begin(), names.end());
  std::string prefix = collapsed_path(dir + "/");
  for (const auto &[name, type] : names) {
    dropping = dropping || vcs_line_p(name);
    struct stat st;
    bool is_dir = type == DT_DIR, dangling = false;
    if (type == DT_LNK || type == DT_UNKNOWN || type == DT_DIR) {
      if (fstatat(fd, name.c_str(), &st, 0) == 0)
        is_dir = S_ISDIR(st.st_mode);
      else
        dangling = type == DT_LNK || (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                                      S_ISLNK(st.st_mode));
    }
    size_t prefix_length = prefix.size();
    prefix += name;
    uint32_t at = out.store.add(prefix);
    uint32_t length = static_cast<uint32_t>(prefix.size());
    prefix.resize(prefix_length);
    if (!is_dir) {
      out.files.push_back({at, length, static_cast<uint32_t>(item.tree),
                           static_cast<uint32_t>(prefix_length - item.rel.size() -
                                                 !item.rel.empty()),
                           dropping, dangling});
      continue;
    }
    std::string rel = item.rel.empty() ? name : item.rel + "/" + name;
    out.dirs.emplace_back(at, length);
    // Kpathsea skips a directory whose name starts with a dot, with all
    // below it; a link back to a directory above ends the descent.
    if (name[0] == '.')
      continue;
    std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
    if (std::find(item.above.begin(), item.above.end(), id) != item.above.end())
      continue;
    walk_item child{item.tree, rel, item.above};
    child.above.push_back(id);
    children.push_back(std::move(child));
  }
  close(fd);
  return children;
}

// Take directories from STATE's stack and list them until none is left
// and no other thread may add more.
void walk_worker(walk_state &state, walk_result &out)
{
  std::unique_lock<std::mutex> guard(state.lock);
  for (;;) {
    state.changed.wait(guard, [&]() { return !state.stack.empty() || state.busy == 0; });
    if (state.stack.empty())
      return;
    walk_item item = std::move(state.stack.back());
    state.stack.pop_back();
    state.busy++;
    guard.unlock();
    std::vector<walk_item> children = list_directory(state, item, out);
    guard.lock();
    for (walk_item &child : children)
      state.stack.push_back(std::move(child));
    state.busy--;
    state.changed.notify_all();
  }
}

// An entry of an ls-R: its whole path, collapsed, and whether it is the
// ".:" that mktexlsr's listing puts at the top (ls's header of the top
// directory, which Kpathsea takes for a file name).
struct db_entry {
  uint32_t at, length; // in the entries' path store
  bool top_header;
  uint32_t tree;
};

// Read the ls-R TEXT found in directory TOP as Kpathsea reads it, adding
// its entries to ENTRIES.  Return the number of usable entries.
size_t read_database(const std::string &text, const std::string &top,
                     std::vector<db_entry> &entries, path_store &store)
{
  size_t count = 0;
  std::string dir, path;
  bool in_dir = false, top_dir = false;
  std::string_view all = text;
  for (size_t from = 0; from < all.size();) {
    size_t nl = all.find('\n', from);
    if (nl == std::string_view::npos)
      nl = all.size();
    std::string_view line = all.substr(from, nl - from);
    from = nl + 1;
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    if (line.empty() || line == "." || line == "..")
      continue;
    bool dir_line = line.back() == ':' &&
                    (line[0] == '/' || line.substr(0, 2) == "./" || line.substr(0, 3) == "../");
    if (dir_line) {
      std::string d = std::string(line.substr(0, line.size() - 1)) + "/";
      // A directory with a component starting with a dot is skipped.
      bool hidden = false;
      for (size_t at = d.find("/.", 1); at != std::string::npos && !hidden;
           at = d.find("/.", at + 1))
        hidden = at + 2 < d.size() && d[at + 2] != '/';
      in_dir = !hidden;
      top_dir = line == "./:";
      dir = collapsed_path(d[0] == '/' ? d : top + "/" + (d.compare(0, 2, "./") == 0 ? d.substr(2) : d));
      continue;
    }
    if (!in_dir)
      continue;
    path = dir;
    path += line;
    if (line.find('/') != std::string_view::npos)
      path = collapsed_path(path);
    entries.push_back({store.add(path), static_cast<uint32_t>(path.size()),
                       top_dir && line == ".:", 0});
    count++;
  }
  return count;
}

// Return the ls-R of the tree DIR (ls-R, else ls-r), or "" if it has none.
std::string find_database(const std::string &dir)
{
  struct stat st;
  for (const char *name : {"/ls-R", "/ls-r"})
    if (lstat((dir + name).c_str(), &st) == 0)
      return dir + name;
  return "";
}

// Return true if the user may rewrite TREE's ls-R (and make one if none).
bool writable_p(const tree_health &tree)
{
  if (access(tree.dir.c_str(), W_OK) != 0)
    return false;
  if (tree.lsr.empty())
    return true;
  std::string target = real_path(tree.lsr);
  std::string parent = target.substr(0, target.rfind('/') + 1);
  return access(target.c_str(), W_OK) == 0 && access(parent.c_str(), W_OK) == 0;
}

// Find TREE's ls-R (ls-R, else ls-r) and read it into ENTRIES.
void read_tree_database(tree_health &tree, std::vector<db_entry> &entries, path_store &store)
{
  tree.lsr = find_database(tree.dir);
  if (!tree.lsr.empty()) {
    const std::string &path = tree.lsr;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
      tree.lsr_target = real_path(path);
    std::string text;
    tree.lsr_readable = read_whole_file(path, text);
    const char header[] = "% ls-R -- filename database for kpathsea; do not change this line.";
    tree.lsr_header = text.compare(0, sizeof header - 1, header) == 0 &&
                      (text.size() == sizeof header - 1 || text[sizeof header - 1] == '\n' ||
                       text[sizeof header - 1] == '\r');
    tree.entries = read_database(text, tree.dir, entries, store);
  }
  tree.writable = writable_p(tree);
}

// Add the configuration problems of the trees of TEXMFDBS and TEXMF.
void check_configuration(database_health &health, const std::vector<path_element> &texmf)
{
  std::unordered_set<std::string> on_dbs;
  for (const tree_health &t : health.trees)
    on_dbs.insert(real_path(t.dir));
  std::unordered_set<std::string> said;
  auto add = [&](const char *rule, const std::string &dir, const std::string &text) {
    if (said.insert(std::string(rule) + "\n" + dir).second)
      health.config.push_back({rule, dir, text});
  };
  for (const tree_health &t : health.trees) {
    if (!t.database_only)
      add("not-database-only", t.dir,
          "TEXMFDBS lists it without !!: for lookups that need not succeed, a file its "
          "ls-R lacks is never found, and lookups that must succeed search the disk");
    if (t.lsr.empty())
      add("no-ls-R", t.dir, "it is on TEXMFDBS but has no ls-R");
  }
  for (const path_element &e : texmf) {
    bool dbs = on_dbs.count(real_path(e.dir)) > 0, lsr = !find_database(e.dir).empty();
    if (e.database_only && !dbs)
      add("not-on-TEXMFDBS", e.dir,
          "TEXMF marks it !!, but TEXMFDBS does not list it: its ls-R is never read");
    if (lsr && !dbs && !e.database_only)
      add("ls-R-not-loaded", e.dir, "it holds an ls-R, but TEXMFDBS does not list it");
  }
  for (const path_element &e : texmf)
    if (e.database_only && !!find_database(e.dir).empty())
      add("database-only-without-ls-R", e.dir,
          "it is marked !! and has no ls-R: nothing in it is ever found");
  for (const tree_health &t : health.trees)
    if (t.database_only && t.lsr.empty())
      add("database-only-without-ls-R", t.dir,
          "it is marked !! and has no ls-R: nothing in it is ever found");
}

} // namespace

database_health check_databases(unsigned threads)
{
  // The ls-R files are read here, as Kpathsea reads them, and per tree;
  // Kpathsea need not load them too when it first reads a variable.
  skip_database_load();
  database_health health;
  for (const path_element &e : path_elements("TEXMFDBS")) {
    tree_health &t = health.trees.emplace_back();
    t.dir = e.dir;
    t.database_only = e.database_only;
  }

  // Walk the trees on other threads while this one reads the databases.
  threads = thread_count(threads);
  walk_state state;
  state.trees = &health.trees;
  for (size_t i = 0; i < health.trees.size(); i++) {
    struct stat st;
    if (stat(health.trees[i].dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      state.stack.push_back({i, "", {{st.st_dev, st.st_ino}}});
  }
  std::vector<walk_result> results(threads);
  std::vector<std::thread> walkers;
  for (unsigned t = 1; t < threads; t++)
    walkers.emplace_back(walk_worker, std::ref(state), std::ref(results[t]));
  std::vector<db_entry> entries;
  path_store store;
  for (size_t i = 0; i < health.trees.size(); i++) {
    size_t first = entries.size();
    read_tree_database(health.trees[i], entries, store);
    for (size_t e = first; e < entries.size(); e++)
      entries[e].tree = static_cast<uint32_t>(i);
  }
  std::unordered_map<std::string_view, uint32_t> listed(entries.size());
  for (size_t e = 0; e < entries.size(); e++)
    listed.emplace(store.view(entries[e].at, entries[e].length), static_cast<uint32_t>(e));
  // This thread walks too once the databases are read.
  walk_worker(state, results[0]);
  for (std::thread &w : walkers)
    w.join();

  // Each thread compares what it walked with the databases: files they
  // lack, and which entries are on disk.
  std::vector<char> seen(entries.size(), 0), dangling(entries.size(), 0);
  std::vector<std::vector<std::pair<uint32_t, std::string>>> missing(threads), left_out(threads);
  auto compare = [&](unsigned t) {
    const path_store &walked = results[t].store;
    for (const auto &[at, length] : results[t].dirs) {
      auto it = listed.find(walked.view(at, length));
      if (it != listed.end())
        seen[it->second] = 1;
    }
    for (const walked_file &f : results[t].files) {
      std::string_view path = walked.view(f.at, f.length);
      auto it = listed.find(path);
      if (it != listed.end()) {
        seen[it->second] = 1;
        dangling[it->second] = f.dangling;
        continue;
      }
      std::string rel(path.substr(f.rel));
      if (rel != "ls-R" && rel != "ls-r")
        (f.dropped ? left_out : missing)[t].emplace_back(f.tree, std::move(rel));
    }
  };
  walkers.clear();
  for (unsigned t = 1; t < threads; t++)
    walkers.emplace_back(compare, t);
  compare(0);
  for (std::thread &w : walkers)
    w.join();
  for (unsigned t = 0; t < threads; t++) {
    for (auto &[tree, rel] : missing[t])
      health.trees[tree].missing.push_back(std::move(rel));
    for (auto &[tree, rel] : left_out[t])
      health.trees[tree].left_out.push_back(std::move(rel));
    for (auto &[tree, dir] : results[t].unlistable)
      health.trees[tree].unlistable.push_back(dir);
  }

  // Entries the walk did not meet: gone, or outside the trees.
  for (size_t e = 0; e < entries.size(); e++) {
    tree_health &t = health.trees[entries[e].tree];
    struct stat st;
    if (entries[e].top_header)
      continue;
    if (!seen[e]) {
      if (lstat(store.c_str(entries[e].at), &st) != 0) {
        t.gone.push_back(store.c_str(entries[e].at));
        continue;
      }
      dangling[e] = S_ISLNK(st.st_mode) && stat(store.c_str(entries[e].at), &st) != 0;
    }
    if (dangling[e])
      t.dangling.push_back(store.c_str(entries[e].at));
  }
  for (tree_health &t : health.trees)
    for (std::vector<std::string> *list :
         {&t.missing, &t.left_out, &t.gone, &t.dangling, &t.unlistable}) {
      std::sort(list->begin(), list->end());
      list->erase(std::unique(list->begin(), list->end()), list->end());
    }
  check_configuration(health, path_elements("TEXMF"));
  return health;
}

bool mended_by_mktexlsr_p(const tree_health &t)
{
  return t.lsr.empty() || t.entries == 0 || !t.missing.empty() || !t.gone.empty() ||
         !t.lsr_header;
}

bool problems_p(const database_health &health)
{
  if (!health.config.empty())
    return true;
  for (const tree_health &t : health.trees)
    if (mended_by_mktexlsr_p(t) || !t.lsr_readable || !t.left_out.empty() ||
        !t.dangling.empty() || !t.unlistable.empty())
      return true;
  return false;
}
