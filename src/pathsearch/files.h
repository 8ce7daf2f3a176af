// Small file and path routines the modes share.
#ifndef LSRCHECK_FILES_H
#define LSRCHECK_FILES_H

#include <cstddef>
#include <string>

// Return PATH with every run of '/' made one.
std::string collapsed_path(const std::string &path);

// Read at most LIMIT bytes of the file open as FD into TEXT; return false
// on a read error.
bool read_up_to(int fd, size_t limit, std::string &text);

// Read the whole file PATH into TEXT; return false if it cannot be read.
bool read_whole_file(const std::string &path, std::string &text);

// Return WANTED, or one thread per core where WANTED is 0.
unsigned thread_count(unsigned wanted);

#endif
