// Small file and path routines the modes share.
#ifndef LSRCHECK_FILES_H
#define LSRCHECK_FILES_H

#include <cstddef>
#include <string>
#include <vector>
#include <sys/stat.h>

// Return PATH with every run of '/' made one.
std::string collapsed_path(const std::string &path);

// Return PATH as paths compare on this system: '/' runs made one, and on
// a system whose names ignore case, A..Z folded onto a..z.
std::string path_key(const std::string &path);

// What opening a file that ought to be a regular file found.
enum open_result {
  open_ok,          // a regular file, now open
  open_missing,     // nothing there
  open_dangling,    // a symbolic link that leads nowhere
  open_not_regular, // a directory, FIFO, device or socket: never read
  open_pseudo,      // a file of /proc or /sys: never read as a TeX file
  open_failed       // could not look (permission, descriptors, name length)
};

// Open PATH for reading without ever blocking (a FIFO or device is seen
// for what it is before anything is read); on open_ok *FD is open.  *ST
// gets the file's status where it could be had, *ERROR the errno of
// open_failed.
open_result open_regular(const std::string &path, int *fd, struct stat *st, int *error);

// Return what the file type of MODE is, as "a FIFO", "a directory", ...
std::string file_type_text(mode_t mode);

// Return why PATH could not be read, from what open_regular found.
std::string open_failure_text(open_result result, const struct stat &st, int error);

// Read at most LIMIT bytes of the file open as FD into TEXT; return false
// on a read error.
bool read_up_to(int fd, size_t limit, std::string &text);

// Read the whole regular file PATH into TEXT; return false if it cannot
// be read.
bool read_whole_file(const std::string &path, std::string &text);

// Return the files below directory DIR (whole paths), found as `find -L`
// finds them and as Kpathsea searches a tree on disk: links followed,
// directories whose name starts with a dot left out, a link back to a
// directory above not followed, /proc and /sys never entered.
std::vector<std::string> files_below(const std::string &dir);

// Return WANTED, or one thread per core where WANTED is 0.
unsigned thread_count(unsigned wanted);

#endif
