// Small file and path routines the modes share: path keys, reading a
// file, the walk of a tree, the number of workers.
#ifndef LSRCHECK_FILES_H
#define LSRCHECK_FILES_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

// Return PATH with every run of '/' made one.
std::string collapsed_path(const std::string &path);

// Return PATH as paths compare on this system: '/' runs made one, and on
// a system whose names ignore case, A..Z folded onto a..z.
std::string path_key(const std::string &path);


// Read the whole regular file PATH into TEXT; return false if it cannot
// be read.
bool read_whole_file(const std::string &path, std::string &text);

// Call FN with the path and the listing's entry of each file below the
// directory DIR, as files_below finds them, until FN returns false.
void walk_files(const std::string &dir,
                const std::function<bool(const std::string &, const listed_entry &)> &fn);

// Return the files below directory DIR (whole paths), found as `find -L`
// finds them and as Kpathsea searches a tree on disk: links followed,
// directories whose name starts with a dot left out, a link back to a
// directory above not followed, /proc and /sys never entered.
std::vector<std::string> files_below(const std::string &dir);

// Return WANTED, or one thread per core where WANTED is 0.
unsigned thread_count(unsigned wanted);

#endif
