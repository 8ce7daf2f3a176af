// The configuration files fmtutil and updmap read: the formats and the
// map files they enable, the first file that names one deciding it, and
// what a map updmap made holds.

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "platform/platform.h"
#include "texsource/log.h"

namespace {

// The words of a line that names something, and whether "#!" disables it.
typedef std::function<void(bool disabled, const std::vector<std::string> &words)> line_fn;

// Call FN with each line of TEXT that is no comment: whether "#!" disables
// it, and its words.
void each_line(const std::string &text, const line_fn &fn)
{
  for (const std::string &line : text_lines(text)) {
    bool disabled = line.compare(0, 2, "#!") == 0;
    if (!disabled && line.compare(0, 1, "#") == 0)
      continue;
    std::vector<std::string> words;
    std::string rest = line.substr(disabled ? 2 : 0);
    for (size_t at = rest.find_first_not_of(" \t"); at != std::string::npos;
         at = rest.find_first_not_of(" \t", at)) {
      size_t end = rest.find_first_of(" \t", at);
      words.push_back(rest.substr(at, end == std::string::npos ? end : end - at));
      at = end;
    }
    if (!words.empty())
      fn(disabled, words);
  }
}

// Call ENABLED with the words of each line of FILES (read with READ) that
// enables what it names, and its file: the first file that names a thing
// (NAME_OF gives it, "" for a line that names none) decides it, a "#!"
// line disabling it.
void each_enabled(const std::vector<std::string> &files,
                  const std::function<bool(const std::string &, std::string *)> &read,
                  const std::function<std::string(const std::vector<std::string> &)> &name_of,
                  const std::function<void(const std::vector<std::string> &,
                                           const std::string &)> &enabled)
{
  std::set<std::string> decided;
  for (const std::string &file : files) {
    std::string text;
    if (!read(file, &text))
      continue;
    each_line(text, [&](bool disabled, const std::vector<std::string> &words) {
      std::string name = name_of(words);
      if (!name.empty() && decided.insert(name).second && !disabled)
        enabled(words, file);
    });
  }
}

} // namespace

std::vector<format_line> enabled_formats(
    const std::vector<std::string> &cnfs,
    const std::function<bool(const std::string &, std::string *)> &read)
{
  std::vector<format_line> lines;
  each_enabled(
      cnfs, read,
      [](const std::vector<std::string> &words) { return words.size() >= 2 ? words[0] : ""; },
      [&](const std::vector<std::string> &words, const std::string &cnf) {
        lines.push_back({words[0], words[1], cnf});
      });
  return lines;
}

std::vector<enabled_map> enabled_maps(
    const std::vector<std::string> &cfgs,
    const std::function<bool(const std::string &, std::string *)> &read)
{
  std::vector<enabled_map> maps;
  each_enabled(
      cfgs, read,
      [](const std::vector<std::string> &words) {
        const std::string &kind = words[0];
        bool map = kind == "Map" || kind == "MixedMap" || kind == "KanjiMap";
        return map && words.size() >= 2 ? words[1] : "";
      },
      [&](const std::vector<std::string> &words, const std::string &cfg) {
        maps.push_back({words[0], words[1], cfg, false});
      });
  return maps;
}

std::vector<std::string> maps_held(const std::string &text)
{
  std::vector<std::string> held;
  for (const std::string &line : text_lines(text))
    if (line.compare(0, 2, "% ") == 0 && line.find(' ', 2) == std::string::npos &&
        platform::ends_with_p(line, ".map"))
      held.push_back(line.substr(2));
  return held;
}
