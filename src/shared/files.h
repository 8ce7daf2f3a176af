// Small routines the modes share: reading a file, the number of workers.
#ifndef LSRCHECK_FILES_H
#define LSRCHECK_FILES_H

#include <ctime>
#include <string>

#include "platform/platform.h"


// Read the whole regular file PATH into TEXT; return false if it cannot
// be read, with *WHY ("it is a directory, not a file", an error's text)
// where WHY is given.
bool read_whole_file(const std::string &path, std::string &text, std::string *why = nullptr);

// Return the modification time of the regular file PATH (after links), or
// 0 where there is none or it cannot be looked at.
time_t modified_time(const std::string &path);

// Return WANTED, or one thread per core where WANTED is 0.
unsigned thread_count(unsigned wanted);

#endif
