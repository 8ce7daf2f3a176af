// Reading a TeX log: the "(PATH" groups of the files a run opened.

#include "texsource/log.h"

#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "shared/paths.h"

std::vector<std::string> text_lines(const std::string &text)
{
  std::vector<std::string> lines = platform::split_text(text, '\n');
  for (std::string &line : lines)
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
  if (!lines.empty() && lines.back().empty())
    lines.pop_back();
  return lines;
}

std::vector<std::string> log_files(const std::string &text, const std::string &dir,
                                   size_t max_print_line,
                                   const std::function<bool(const std::string &)> &file_p)
{
  // TeX breaks a line that reaches max_print_line characters: join them.
  std::string joined;
  for (const std::string &line : text_lines(text))
    joined += line + (line.size() == max_print_line ? "" : "\n");
  std::vector<std::string> files;
  std::set<std::string> seen;
  for (size_t at = joined.find('('); at != std::string::npos; at = joined.find('(', at + 1)) {
    size_t end = joined.find_first_of(" ()\n\t", at + 1);
    std::string name =
        platform::tool_path(joined.substr(at + 1, end == std::string::npos ? end : end - at - 1));
    if (name.empty() || name.find_first_of("./") == std::string::npos)
      continue;
    std::string path = absolute_path_p(name) ? name : dir + "/" + name;
    if (file_p(path) && seen.insert(name).second)
      files.push_back(name);
  }
  return files;
}
