#include "databases/lsr.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kpathsea/variables.h"
#include "kpathsea/binding.h"
#include "platform/platform.h"
#include "shared/files.h"
#include "shared/paths.h"
#include "shared/packages.h"

namespace {

// Return true if Kpathsea takes LINE of an ls-R for a directory line:
// ending in ':' and absolute, or explicitly relative ("./", "../").
bool directory_line_p(std::string_view line)
{
  if (line.empty() || line.back() != ':')
    return false;
  // Kpathsea's own test: on Windows "c:..." is absolute too (and so is
  // mktexlsr's ".:", read there as the top directory's line).
  return kpse_absolute_p(std::string(line).c_str(), true);
}

// Return true if Kpathsea skips the directory line LINE: a component
// starting with a dot, other than the first character.
bool hidden_directory_p(std::string_view line)
{
  for (size_t dot = line.find('.', 1); dot != std::string_view::npos;
       dot = line.find('.', dot + 1))
    if (line[dot - 1] == '/' && dot + 1 < line.size() && line[dot + 1] != '/')
      return true;
  return false;
}

// Return the directory under which Kpathsea files the entries that follow
// the directory line LINE of an ls-R in TOP, spelled as Kpathsea spells it
// ("./x:" and "../x:" lose two characters after TOP), or "" where it skips
// the block.
std::string block_directory(std::string_view line, const std::string &top)
{
  if (hidden_directory_p(line))
    return "";
  std::string d(line);
  d.back() = '/';
  return line[0] == '.' ? top + d.substr(2) : d;
}

// Call FN with each line of TEXT as Kpathsea's read_line splits it: a line
// ends at LF, CR or CRLF, and NUL bytes are dropped.
template <typename Fn> void each_lsr_line(std::string_view text, Fn fn)
{
  std::string cleaned;
  for (size_t from = 0; from < text.size();) {
    size_t end = text.find_first_of("\r\n", from);
    if (end == std::string_view::npos)
      end = text.size();
    std::string_view line = text.substr(from, end - from);
    if (line.find('\0') != std::string_view::npos) {
      cleaned.clear();
      for (char c : line)
        if (c != '\0')
          cleaned += c;
      line = cleaned;
    }
    from = end + 1;
    if (end < text.size() && text[end] == '\r' && from < text.size() && text[from] == '\n')
      from++;
    fn(line);
  }
}

// Return the directory of ls-R DB_PATH, '/' kept, as Kpathsea takes it.
std::string database_top(const std::string &db_path)
{
  return std::string(directory_with_slash(db_path));
}

// Read the ls-R TEXT at DB_PATH, of tree TREE, into TABLE as Kpathsea
// reads it, and note in TREE the blocks mktexlsr never writes.  Return
// the number of entries.
size_t read_database(const std::string &text, const std::string &db_path, tree_health &tree,
                     uint32_t tree_index, db_table &table)
{
  std::string top = database_top(db_path), collapsed_top = collapsed_path(top);
  std::unordered_map<std::string, uint32_t> block_of;
  for (uint32_t d = 0; d < table.dirs.size(); d++)
    if (table.dir_tree[d] == tree_index)
      block_of.emplace(table.dirs[d], d);
  std::unordered_set<uint32_t> blocks_read;
  size_t count = 0;
  int64_t dir = -1;
  bool top_block = false;
  each_lsr_line(text, [&](std::string_view line) {
    if (directory_line_p(line)) {
      std::string d = collapsed_path(block_directory(line, top));
      if (d.empty()) {
        dir = -1;
        return;
      }
      if (line.substr(0, 3) == "../")
        tree.odd_blocks.push_back(std::string(line) + " is read as " + d +
                                  " (mktexlsr writes no ../ line)");
      else if (line[0] == '/' && d.compare(0, collapsed_top.size(), collapsed_top) != 0)
        tree.odd_blocks.push_back(std::string(line) + " lies outside the tree");
      auto [it, added] = block_of.emplace(d, static_cast<uint32_t>(table.dirs.size()));
      if (added) {
        table.dirs.push_back(d);
        table.dir_tree.push_back(tree_index);
      }
      // mktexlsr's ".:" after "./:" is a directory line where ':' may
      // end a drive name (Windows): the top block again, as mktexlsr wrote it.
      bool mktexlsr_top = top_block && line == ".:";
      if (!blocks_read.insert(it->second).second && !mktexlsr_top)
        tree.odd_blocks.push_back(std::string(line) + " is listed twice");
      dir = it->second;
      top_block = line == "./:" || mktexlsr_top;
      return;
    }
    if (line.empty() || dir < 0 || line == "." || line == "..")
      return;
    // A line without NUL bytes is a view into the kept text already.
    bool in_text = line.data() >= text.data() && line.data() < text.data() + text.size();
    table.entries.push_back({static_cast<uint32_t>(dir), in_text ? line : table.arena.add(line),
                             top_block && line == ".:"});
    count++;
  });
  return count;
}

// Return true if the user may rewrite TREE's ls-R (and make one if none).
bool writable_p(const tree_health &tree)
{
  if (!platform::may_write_p(tree.dir))
    return false;
  if (tree.lsr.empty())
    return true;
  // A dangling link: mktexlsr writes into the directory it leads to.
  if (tree.lsr_dangling)
    return !tree.lsr_target_dir ||
           platform::may_write_p(std::string(directory_of(tree.lsr_target)));
  std::string target = platform::real_path(tree.lsr);
  std::string parent(directory_with_slash(target));
  return platform::may_write_p(target) && platform::may_write_p(parent);
}

} // namespace

// Find TREE's ls-R files and read them into TABLE.
void read_tree_database(tree_health &tree, uint32_t tree_index, db_table &table)
{
  std::vector<std::string> files = database_files(tree.dir);
  tree.lsr = files.empty() ? "" : files[0];
  tree.second_lsr = files.size() > 1 ? files[1] : "";
  for (size_t i = 0; i < files.size(); i++) {
    const std::string &path = files[i];
    struct stat st;
    std::string text;
    int fd, error;
    platform::open_result result = platform::open_regular(path, &fd, &st, &error);
    bool readable = result == platform::open_ok && platform::read_up_to(fd, SIZE_MAX, text);
    if (result == platform::open_ok && !readable)
      error = errno;
    platform::close_file(fd);
    if (i == 0) {
      tree.lsr_readable = readable;
      platform::open_result failure = result == platform::open_ok ? platform::open_failed : result;
      tree.lsr_why = readable ? "" : platform::open_failure_text(failure, st, error);
      tree.lsr_regular = result != platform::open_not_regular && result != platform::open_pseudo;
      platform::file_status look;
      if (platform::look_at(path, false, &look) && look.link)
        tree.lsr_target = platform::real_path(path);
      tree.lsr_dangling = result == platform::open_dangling;
      if (tree.lsr_dangling) {
        // mktexlsr writes where the link leads, where that directory is.
        tree.lsr_target = platform::link_target(path);
        if (!tree.lsr_target.empty() && !absolute_path_p(tree.lsr_target))
          tree.lsr_target = std::string(directory_with_slash(path)) + tree.lsr_target;
        std::string dir(directory_of(tree.lsr_target));
        tree.lsr_target_dir = platform::directory_p(dir.empty() ? "/" : dir);
      }
      tree.lsr_empty = readable && text.empty();
      tree.owner = platform::owned_p(path);
      const char header[] = "% ls-R -- filename database for kpathsea; do not change this line.";
      tree.lsr_header = text.compare(0, sizeof header - 1, header) == 0 &&
                        (text.size() == sizeof header - 1 || text[sizeof header - 1] == '\n' ||
                         text[sizeof header - 1] == '\r');
    }
    if (readable) {
      table.texts.push_back(std::move(text));
      tree.entries += read_database(table.texts.back(), path, tree, tree_index, table);
    }
  }
  tree.writable = writable_p(tree);
}


std::vector<lsr_entry> read_lsr(const std::string &text, const std::string &db_path)
{
  tree_health tree;
  db_table table;
  read_database(text, db_path, tree, 0, table);
  std::vector<lsr_entry> pairs;
  std::string top = database_top(db_path);
  // Kpathsea keeps a block's directory as the line gives it; the table
  // keeps it collapsed.  Rebuild Kpathsea's spelling for the comparison.
  std::string dir;
  int64_t current = -1;
  size_t e = 0;
  each_lsr_line(text, [&](std::string_view line) {
    if (directory_line_p(line)) {
      dir = block_directory(line, top);
      current = dir.empty() ? -1 : 0;
      return;
    }
    if (line.empty() || current < 0 || line == "." || line == "..")
      return;
    pairs.emplace_back(dir, std::string(table.entries[e++].name));
  });
  return pairs;
}

