// Small file and path routines the modes share: path keys, reading a
// file, the number of workers.
#ifndef LSRCHECK_FILES_H
#define LSRCHECK_FILES_H

#include <string>

#include "platform/platform.h"

// Return PATH with every run of '/' made one.
std::string collapsed_path(const std::string &path);

// Return PATH as paths compare on this system: '/' runs made one, and on
// a system whose names ignore case, A..Z folded onto a..z.
std::string path_key(const std::string &path);


// Read the whole regular file PATH into TEXT; return false if it cannot
// be read, with *WHY ("it is a directory, not a file", an error's text)
// where WHY is given.
bool read_whole_file(const std::string &path, std::string &text, std::string *why = nullptr);

// Return WANTED, or one thread per core where WANTED is 0.
unsigned thread_count(unsigned wanted);

#endif
