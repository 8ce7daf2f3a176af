// What a TeX log says: the files the run opened, as TeX shows each in a
// "(PATH" group, its lines wrapped at max_print_line characters.
#ifndef LSRCHECK_TEXSOURCE_LOG_H
#define LSRCHECK_TEXSOURCE_LOG_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Return the lines of TEXT, a carriage return before a line end dropped.
std::vector<std::string> text_lines(const std::string &text);

// Return the files TeX's log TEXT shows it opening, each once, in order,
// as the log names them ('\\' made the tool's separator): the "(NAME"
// groups, TeX's wrapping of lines at MAX_PRINT_LINE characters undone,
// whose NAME, taken from DIR where it is relative, is a file (FILE_P).
std::vector<std::string> log_files(const std::string &text, const std::string &dir,
                                   size_t max_print_line,
                                   const std::function<bool(const std::string &)> &file_p);

#endif
