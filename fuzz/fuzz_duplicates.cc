// Fuzz target: the duplicate check in-process, on entries and patterns
// decoded from the input, checked against invariants of the report.
//
// Input: lines.  "d<dir>" starts a directory (below a small tree made at
// start-up, with files, subdirectories and links); "x<pattern>" and
// "i<pattern>" add exclude and include patterns; any other line is a file
// name in the current directory.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "duplicates/duplicates.h"
#include "lsrcheck.h"
#include "kpathsea/binding.h"
#include "platform/platform.h"

namespace {

std::string root;

// Stop the fuzzer with MESSAGE: an invariant does not hold.
[[noreturn]] void violated(const char *message, const std::string &detail)
{
  fprintf(stderr, "invariant violated: %s: %s\n", message, detail.c_str());
  abort();
}

// Return the file name of PATH as the report compares it, or "" if none.
std::string name_of(const std::string &path)
{
  const char *name = xbasename(path.c_str());
  return name != nullptr ? name : "";
}

// Return the lines of TEXT.
std::vector<std::string> lines_of(const std::string &text)
{
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t nl; (nl = text.find('\n', from)) != std::string::npos; from = nl + 1)
    lines.push_back(text.substr(from, nl - from));
  if (from != text.size())
    violated("report does not end with a newline", text.substr(from));
  return lines;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  char dir[] = "/tmp/lsrcheck-fuzz-XXXXXX";
  root = mkdtemp(dir);
  system(("mkdir -p " + root + "/a/d " + root + "/b && touch " + root + "/a/x " + root +
          "/a/X " + root + "/b/x && ln -s ../a " + root + "/b/up && ln -s nowhere " + root +
          "/b/dangling && ln -s d " + root + "/a/dl").c_str());
  options.program_name = "lsrcheck";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  std::string input(reinterpret_cast<const char *>(data), size);
  std::deque<std::string> strings; // outlive the check, as Kpathsea's do
  options = option_state{};
  options.program_name = "lsrcheck";
  const std::string *dir = nullptr;
  std::vector<std::pair<const std::string *, const std::string *>> entries;
  size_t from = 0;
  while (from <= input.size()) {
    size_t nl = input.find('\n', from);
    std::string line = input.substr(from, nl == std::string::npos ? std::string::npos : nl - from);
    from = nl == std::string::npos ? input.size() + 1 : nl + 1;
    line = line.substr(0, strlen(line.c_str())); // C strings end at a NUL
    if (line.empty())
      continue;
    if (line[0] == 'd') {
      std::string d = root + "/" + line.substr(1);
      if (d.back() != '/')
        d += '/';
      dir = &strings.emplace_back(d);
    } else if (line[0] == 'x' || line[0] == 'i') {
      const std::string &pattern = strings.emplace_back(line.substr(1));
      (line[0] == 'x' ? options.exclude_patterns : options.include_patterns)
          .push_back(pattern.c_str());
    } else if (dir != nullptr && line != "." && line != "..") {
      entries.emplace_back(&strings.emplace_back(line), dir);
    }
  }

  // What the straightforward check keeps: one dir_p per entry.
  std::map<std::string, int> kept;
  std::map<std::string, int> per_name;
  int kept_count = 0;
  collected_entries collected;
  for (const auto &[name, d] : entries) {
    std::string path = *d + *name;
    bool keep = !dir_p(path.data());
    for (const char *pattern : options.exclude_patterns)
      keep = keep && platform::match_pattern(pattern, path.c_str()) != 0;
    for (const char *pattern : options.include_patterns)
      keep = keep &&
             platform::match_pattern(pattern, path.c_str()) != platform::pattern_no_match;
    if (keep) {
      kept[path]++;
      kept_count++;
      std::string folded = name_of(path);
      for (char &c : folded)
        if (c >= 'A' && c <= 'Z')
          c += 'a' - 'A';
      if (!folded.empty())
        per_name[folded]++;
    }
    collect_entry(name->c_str(), d->c_str(), &collected);
  }
  int grouped_expected = 0;
  for (const auto &[name, count] : per_name)
    if (count > 1)
      grouped_expected += count;

  char *text = nullptr;
  size_t text_size = 0;
  FILE *out = open_memstream(&text, &text_size);
  check_filter filter;
  filter.exclude = options.exclude_patterns;
  filter.include = options.include_patterns;
  print_duplicates(group_collected(collected, filter, {}, 1 + size % 3), out);
  fclose(out);
  std::vector<std::string> lines = lines_of(std::string(text, text_size));
  free(text);

  if (lines.size() < 6 || lines[0] != std::to_string(kept_count) + " files in your databases." ||
      lines[1] != "Sorting ..." || lines[2] != "Multiple occurences :" || !lines[3].empty())
    violated("report head", lines.empty() ? "" : lines[0]);
  if (lines[lines.size() - 2] != "End of list." || !lines.back().empty())
    violated("report tail", lines[lines.size() - 2]);

  int grouped = 0;
  std::string previous_name;
  for (size_t i = 4; i < lines.size() - 2;) {
    size_t end = i;
    while (end < lines.size() - 2 && !lines[end].empty())
      end++;
    if (end >= lines.size() - 2)
      violated("group without its empty line", lines[i]);
    if (end - i < 2)
      violated("group of fewer than two", lines[i]);
    std::string name = name_of(lines[i]);
    if (name.empty())
      violated("group of paths without a file name", lines[i]);
    if (!previous_name.empty() && stricmp(previous_name.c_str(), name.c_str()) >= 0)
      violated("groups out of order or split", previous_name + " / " + name);
    for (size_t j = i; j < end; j++) {
      if (stricmp(name_of(lines[j]).c_str(), name.c_str()) != 0)
        violated("group mixes names", lines[j]);
      if (j > i && lines[j - 1] > lines[j])
        violated("group out of byte order", lines[j]);
      if (kept[lines[j]]-- <= 0)
        violated("path printed more often than kept", lines[j]);
      grouped++;
    }
    previous_name = name;
    i = end + 1;
  }
  if (grouped != grouped_expected)
    violated("paths sharing a name left out of the groups", std::to_string(grouped));
  return 0;
}
