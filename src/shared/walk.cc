#include "shared/walk.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <new>
#include <utility>

#include "shared/workers.h"

namespace {

// The walk's shared stack of directories still to list.
struct walk_state {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<walk_item> stack;
  size_t busy = 0;
  bool stopped = false;
  std::atomic<bool> out_of_memory{false};
};

// List the directory ITEM, show it to VISIT, and return its subdirectories
// to list; set *STOP where VISIT ends the walk.
std::vector<walk_item> list_and_visit(const walk_item &item, const walk_visitor &visit,
                                      unsigned worker, bool *stop)
{
  std::vector<platform::listed_entry> entries;
  int error = 0;
  if (platform::read_directory(item.dir, entries, &error))
    error = 0;
  else if (error == 0)
    error = EIO;
  std::vector<walk_item> children;
  if (!visit(item, entries, error, worker)) {
    *stop = true;
    return children;
  }
  for (const platform::listed_entry &e : entries) {
    if (descent_of(e, item.above) != descend)
      continue;
    walk_item child{item.tree, item.dir + "/" + e.name,
                    item.rel.empty() ? e.name : item.rel + "/" + e.name, item.above};
    child.above.push_back(e.id);
    children.push_back(std::move(child));
  }
  return children;
}

// Take directories from STATE's stack and list them until none is left
// and no other worker may add more, or the walk is stopped.
void walk_worker(walk_state &state, const walk_visitor &visit, unsigned worker)
{
  std::unique_lock<std::mutex> guard(state.lock);
  for (;;) {
    state.changed.wait(guard, [&]() {
      return state.stopped || !state.stack.empty() || state.busy == 0;
    });
    if (state.stopped || state.stack.empty())
      return;
    walk_item item = std::move(state.stack.back());
    state.stack.pop_back();
    state.busy++;
    guard.unlock();
    std::vector<walk_item> children;
    bool stop = false;
    try {
      children = list_and_visit(item, visit, worker, &stop);
    } catch (const std::bad_alloc &) {
      state.out_of_memory = true; // said once every worker has stopped
      stop = true;
    }
    guard.lock();
    state.stopped = state.stopped || stop;
    for (walk_item &child : children)
      state.stack.push_back(std::move(child));
    state.busy--;
    state.changed.notify_all();
  }
}

} // namespace

descent descent_of(const platform::listed_entry &e, const std::vector<platform::file_id> &above)
{
  if (!e.directory)
    return not_a_directory;
  // Kpathsea skips a directory whose name starts with a dot, with all
  // below it.
  if (e.name[0] == '.')
    return hidden;
  if (std::find(above.begin(), above.end(), e.id) != above.end())
    return link_loop;
  // /proc or /sys (a link into it) has no end.
  return e.pseudo ? pseudo_directory : descend;
}

bool walk_trees(const std::vector<std::string> &tops, unsigned workers,
                const walk_visitor &visit)
{
  walk_state state;
  for (size_t i = 0; i < tops.size(); i++) {
    platform::file_status top;
    if (platform::look_at(tops[i], true, &top) && top.directory)
      state.stack.push_back({i, tops[i], "", {top.id}});
  }
  run_workers(workers, [&](unsigned i) { walk_worker(state, visit, i); });
  return !state.out_of_memory;
}

void walk_files(const std::string &dir,
                const std::function<bool(const std::string &, const platform::listed_entry &)> &fn)
{
  walk_trees({dir}, 1, [&](const walk_item &item, std::vector<platform::listed_entry> &entries, int,
                           unsigned) {
    // A dangling link is listed, as find -L lists it.
    for (const platform::listed_entry &e : entries)
      if (!e.directory && !fn(item.dir + "/" + e.name, e))
        return false;
    return true;
  });
}

std::vector<std::string> files_below(const std::string &dir)
{
  std::vector<std::string> files;
  walk_files(dir, [&](const std::string &path, const platform::listed_entry &) {
    files.push_back(path);
    return true;
  });
  std::sort(files.begin(), files.end());
  return files;
}
