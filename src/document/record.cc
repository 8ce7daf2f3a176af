// Reading what a run recorded: the recorder's list, or the log's "(PATH"
// groups, with TeX's wrapping of long lines undone.

#include "document/record.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "shared/paths.h"
#include "texsource/log.h"
#include "platform/platform.h"

namespace {

// Read the regular file PATH, at most record_limit bytes, into *TEXT and
// its time into *WHEN; return false, with *WHY, where it cannot be.
bool read_record_file(const std::string &path, std::string *text, time_t *when,
                      std::string *why)
{
  int fd, error;
  struct stat st;
  platform::open_result opened = platform::open_regular(path, &fd, &st, &error);
  if (opened == platform::open_missing) {
    *why = platform::display_path(path) + ": no such file";
    return false;
  }
  if (opened != platform::open_ok) {
    *why = platform::display_path(path) + ": " + platform::open_failure_text(opened, st, error);
    return false;
  }
  platform::owned_file file(fd);
  if (static_cast<unsigned long long>(st.st_size) > record_limit) {
    *why = platform::display_path(path) + ": over 64 MiB, too large for the record of a run";
    return false;
  }
  if (!platform::read_up_to(fd, record_limit + 1, *text)) {
    *why = platform::display_path(path) + ": " + strerror(errno);
    return false;
  }
  if (text->size() > record_limit) {
    *why = platform::display_path(path) + ": over 64 MiB, too large for the record of a run";
    return false;
  }
  *when = st.st_mtime;
  return true;
}

// Return PATH with its suffix (".fls") replaced by SUFFIX.
std::string with_suffix(const std::string &path, const std::string &suffix)
{
  std::string_view name = base_name(path);
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? path + suffix
                                       : path.substr(0, path.size() - name.size() + dot) + suffix;
}

// Return true if PATH names a file that is there.
bool file_p(const std::string &path)
{
  return platform::regular_file_p(path);
}

} // namespace

bool read_fls(const std::string &text, run_record *record, std::string *why)
{
  bool pwd = false;
  std::set<std::string> seen;
  for (const std::string &line : text_lines(text)) {
    // A line a NUL cuts is no name of a file.
    if (line.find('\0') != std::string::npos)
      continue;
    if (line.compare(0, 4, "PWD ") == 0 && !pwd) {
      record->pwd = platform::tool_path(line.substr(4));
      pwd = true;
    } else if (line.compare(0, 6, "INPUT ") == 0 && line.size() > 6) {
      std::string input = platform::tool_path(line.substr(6));
      if (seen.insert(input).second)
        record->inputs.push_back(input);
    } else if (line.compare(0, 7, "OUTPUT ") == 0 && line.size() > 7) {
      record->outputs.insert(platform::tool_path(line.substr(7)));
    }
  }
  if (!pwd) {
    *why = "no PWD line: not a list of TeX's -recorder";
    return false;
  }
  return true;
}

bool read_log(const std::string &text, const std::string &dir, size_t max_print_line,
              run_record *record, std::string *why)
{
  std::vector<std::string> lines = text_lines(text);
  if (lines.empty() || lines[0].compare(0, 8, "This is ") != 0) {
    *why = "not the log of a TeX run";
    return false;
  }
  size_t format = lines[0].find("format=");
  if (format != std::string::npos) {
    format += 7;
    record->format_name = lines[0].substr(format, lines[0].find(' ', format) - format);
  }
  record->pwd = platform::tool_path(dir);
  record->inputs = log_files(text, record->pwd, max_print_line, file_p);
  record->from_log = true;
  return true;
}

std::string magic_program(const std::string &text)
{
  // The magic comments stand among the first lines.
  for (const std::string &line : text_lines(text.substr(0, 4096))) {
    std::string lower = platform::ascii_folded(line);
    size_t at = lower.find("!tex");
    size_t program = lower.find("program", at == std::string::npos ? 0 : at);
    if (lower.compare(0, 1, "%") != 0 || at == std::string::npos || program == std::string::npos)
      continue;
    size_t equals = lower.find('=', program);
    if (equals == std::string::npos)
      continue;
    std::string name;
    for (size_t i = equals + 1; i < lower.size(); i++)
      if (isalnum(static_cast<unsigned char>(lower[i])) || lower[i] == '-')
        name += lower[i];
      else if (!name.empty())
        break;
    if (!name.empty())
      return name;
  }
  return "pdflatex";
}

bool find_run_record(const std::string &file, run_record *record, std::string *why)
{
  platform::file_status st;
  if (platform::look_at(file, true, &st) && st.directory) {
    *why = platform::display_path(file) + ": a directory, not the record of a run";
    return false;
  }
  std::string fls = with_suffix(file, ".fls"), log = with_suffix(file, ".log"), text;
  bool tex = platform::ends_with_p(file, ".tex"), log_given = platform::ends_with_p(file, ".log");
  std::string path = (tex || log_given) && file_p(fls) ? fls : file;
  if (tex && !file_p(fls) && file_p(log))
    path = log;
  if (tex && path == file) {
    // Nothing recorded: say how to record a run.
    std::string source;
    time_t ignored;
    if (!read_record_file(file, &source, &ignored, why))
      return false;
    *why = platform::display_path(file) + ": no record of a run beside it; make one with  " +
           magic_program(source) + " -recorder " + platform::command_word(std::string(base_name(file)));
    return false;
  }
  record->source = platform::tool_path(path);
  if (!read_record_file(path, &text, &record->when, why))
    return false;
  bool is_log = platform::ends_with_p(path, ".log") ||
                (!platform::ends_with_p(path, ".fls") && text.compare(0, 8, "This is ") == 0);
  std::string dir(directory_of(path));
  std::string reason;
  bool read = is_log ? read_log(text, dir.empty() ? "." : dir, 79, record, &reason)
                     : read_fls(text, record, &reason);
  if (!read)
    *why = platform::display_path(path) + ": " + reason;
  return read;
}
