// What differs between Linux and Windows: files and their names, the
// environment, loading a library at run time, the named shared-memory
// object, where an installation and its Ghostscript are found.
// posix.cc (with posix_libraries.cc, posix_lookups.cc and
// posix_process.cc) and windows.cc (with windows_libraries.cc and
// windows_process.cc) each define all of it that differs; common.cc what
// is the same on both.  Names are UTF-8 on both.
#ifndef LSRCHECK_PLATFORM_H
#define LSRCHECK_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <sys/stat.h>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Set *VALUE to environment variable NAME and return true, or return false
// if it is not set.
bool environment_value(const char *name, std::string *value);

// Set NAME in the environment to VALUE, or remove it where VALUE is null.
void set_environment(const char *name, const char *value);

// Return the directories programs are looked for in, in order: PATH's,
// empty ones as ".", and on Windows then those of the system's and the
// user's PATH in the registry that PATH lacks (a program started anew
// finds them).
std::vector<std::string> program_directories();

// The variable naming the user's home directory where HOME is not set
// (HOME here; USERPROFILE on Windows), as Kpathsea expands '~'.
extern const char home_variable[];

// Return true if PATH names a regular file (after links).  (This and the
// next three are the same on both systems, over look_at.)
bool regular_file_p(const std::string &path);

// Return true if PATH names a directory (after links).
bool directory_p(const std::string &path);

// Return true if anything is at PATH, a dangling link included.
bool present_p(const std::string &path);

// Return true if A and B both exist and are one file (after links).
bool same_file_p(const std::string &a, const std::string &b);

// Return true if PATH names a regular file (after links) that may be run.
bool executable_p(const std::string &path);

// Return the names in directory DIR that do not start with a dot, sorted;
// empty if it cannot be read.
std::vector<std::string> directory_names(const std::string &dir);

// Return PATH absolute, with symbolic links, '.' and '..' resolved, or PATH
// itself if it cannot be resolved.
std::string real_path(const std::string &path);

// Return the absolute path of the running program, from ARGV0 where the
// system cannot tell.
std::string own_program_path(const char *argv0);

// The file name of Kpathsea's own client in a TeX Live bin directory.
extern const char kpsewhich_name[];

// What ends the file name of a program ("" here; ".exe" on Windows).
extern const char program_suffix[];

// Return PATH as the reports write it: on Windows with its drive letter in
// upper case, whichever spelling Kpathsea or the environment gave.
std::string display_path(const std::string &path);

// Return PATH, as a program or a record outside the tool wrote it, with
// the tool's separator: on Windows '\\' made '/'; elsewhere as it is.
std::string tool_path(const std::string &path);

// Where a TeX Live installation keeps kpsewhich and texmf.cnf below its
// root, as a user of this system writes it (bin/ARCH/kpsewhich;
// bin\windows\kpsewhich.exe).
extern const char texlive_kpsewhich_text[];
extern const char texlive_cnf_text[];

// Return true if ARCH names a TeX Live bin directory for this machine
// (x86_64-linux, windows, ...).
bool native_arch_p(const std::string &arch);

// True where Kpathsea has a configuration of its own to fall back on (a
// texmf.cnf at a fixed place, as Debian's); false where an installation
// is only found from where its programs are (Windows).
extern const bool system_configuration_p;


// Return the handle of the shared library NAME (a path or a name the
// system searches for), or null if it cannot be loaded; then, with WHY,
// set *WHY to the system's reason.
void *load_library(const char *name, std::string *why = nullptr);

// Return the address of SYMBOL in LIBRARY, or null if it has none.
void *library_symbol(void *library, const char *symbol);

// Return the absolute path of the file LIBRARY was loaded from, or "".
std::string library_path(void *library);

// Unload LIBRARY.
void close_library(void *library);

// A Ghostscript library where the system keeps one: its file, the
// search path its installation records ("" where none is recorded), and
// where it was learnt ("" for a name the system's loader searches for).
struct library_candidate {
  std::string dll;
  std::string lib;
  std::string origin;
};

// Return the Ghostscript libraries this system records, most wanted
// first (Debian's libgs names; on Windows, the registry's installations).
std::vector<library_candidate> ghostscript_libraries();

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
// open_failed.  A lack of descriptors is waited out for a while.
open_result open_regular(const std::string &path, int *fd, struct stat *st, int *error);

// Return what the file type of MODE is, as "a FIFO", "a directory", ...
std::string file_type_text(mode_t mode);

// Return why PATH could not be read, from what open_regular found.
std::string open_failure_text(open_result result, const struct stat &st, int error);

// Return C with A..Z folded onto a..z; no other byte is folded (names
// compare so on both systems, whatever the locale).
inline unsigned char ascii_folded(unsigned char c)
{
  return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

// Return S with A..Z folded onto a..z.
std::string ascii_folded(std::string s);

// Return the pieces of TEXT between the SEPARATORs, empty ones included
// (one piece, "", for an empty TEXT).
std::vector<std::string> split_text(const std::string &text, char separator);

// Return true if PATH lies below the directory DIR: DIR, then a '/' (or
// DIR's own trailing '/'), then more.  Paths are compared as they are.
bool below_p(const std::string &path, const std::string &dir);

// Return true if NAME ends in SUFFIX and holds more than SUFFIX.
bool ends_with_p(const std::string &name, const std::string &suffix);

// Read at most LIMIT bytes of the file open as FD into TEXT; return false
// on a read error.
bool read_up_to(int fd, size_t limit, std::string &text);

// Close the file open as FD; nothing where FD is -1.
void close_file(int fd);

// A file open as FD, closed when its owner goes.
struct owned_file {
  int fd;
  explicit owned_file(int open_fd) : fd(open_fd) {}
  owned_file(const owned_file &) = delete;
  owned_file &operator=(const owned_file &) = delete;
  ~owned_file() { close_file(fd); }
};

// Return S with control characters and backslashes escaped as `ls -b`
// shows them and as a POSIX shell reads them inside $'...' (\n, \t, \033,
// \\), so that one name is one line.
std::string c_escaped(const std::string &s);

// Return S as one word for a POSIX shell: as it is where that is safe, in
// single quotes otherwise, and as $'...' where it holds control characters.
std::string shell_quoted(const std::string &s);

// For each of the COUNT NAMES, set IS_DIR[i] to whether DIR followed
// directly by NAMES[i] names a directory, exactly as Kpathsea's dir_p on the
// joined path would answer.  DIR is listed once, and only symbolic links, entries
// of unknown type and names the listing lacks cost a stat of their own;
// for one or two names, a stat each is cheaper than the listing.
void find_directories(const char *dir, const char *const *names, size_t count,
                      bool *is_dir);

// fnmatch's answer when a pattern does not match.
enum { pattern_no_match = 1 };

// Return 0 if PATTERN matches the whole of PATH, ignoring case, with the
// wildcards free to match '/'; pattern_no_match (FNM_NOMATCH) if not.
int match_pattern(const char *pattern, const char *path);

// Return true if the shared-memory object NAME exists and can be opened
// for reading and writing.  It is never created; it is closed at once.
bool file_mapping_exists_p(const char *name);

// A file's identity: device and inode (on Windows, volume and file index).
typedef std::pair<uint64_t, uint64_t> file_id;

// What a look at a path found.
struct file_status {
  int error = 0;          // errno of a look that failed, else 0
  bool link = false;      // a symbolic link or junction (looked at unfollowed)
  bool directory = false;
  bool regular = false;
  file_id id{};
  unsigned mode = 0;      // the type bits of st_mode, for file_type_text
};

// Look at PATH, links followed if FOLLOW; return false, with ST->error
// set, if nothing can be seen there.
bool look_at(const std::string &path, bool follow, file_status *st);

// Return true if PATH (after links) is the user's own: owned by the user
// the tool runs as (on Windows, where access lists decide: writable by it).
bool owned_p(const std::string &path);

// Return true if the user the tool runs as may write the file or
// directory PATH.
bool may_write_p(const std::string &path);

// Return where symbolic link PATH points, as it is written, or "".
std::string link_target(const std::string &path);

// One name listed in a directory, links followed.
struct listed_entry {
  std::string name;
  bool directory = false; // a directory, or a link to one
  bool dangling = false;  // a link that leads nowhere
  file_id id{};           // where a directory
  bool pseudo = false;    // a directory of /proc or /sys: never to be walked
};

// List directory DIR ("." and ".." left out) into ENTRIES; return false,
// with *ERROR (an errno) if it cannot be listed whole.  A lack of
// descriptors is waited out for a while.
bool read_directory(const std::string &dir, std::vector<listed_entry> &entries, int *error);

// Run FN with the current directory an empty directory of its own, made in
// the system's place for temporary files and removed afterwards, also when
// FN throws or the run is ended by a signal or a console event.  Return
// false, with *WHY, if no such directory could be made or entered (FN not
// run).
bool in_empty_directory(const std::function<void()> &fn, std::string *why);

// Run FN with the current directory DIR, and go back to the one before
// afterwards, also when FN throws.  Return false, with *WHY, if DIR cannot
// be entered (FN not run).
bool in_directory(const std::string &dir, const std::function<void()> &fn, std::string *why);

// Start FN in a second process, where the system can copy this one; the
// text it returns is collected by finish_child.  Return a handle, or -1
// if there is no second process (FN not run).
long start_child(const std::function<std::string()> &fn);

// Wait for the child CHILD and return true with its text in *TEXT, or
// false if it did not deliver it whole.
bool finish_child(long child, std::string *text);

// Run the program at PATH with ARGS (its name first) and the environment
// variables SET added, in the directory DIR ("" for the current one),
// standard input empty and
// standard error discarded; collect its standard output in *OUTPUT.  A run
// longer than SECONDS is ended, and so is one that writes more than LIMIT
// bytes to its standard output or (where the system can tell) to any one
// file.  Return false, with *WHY ("did not end within 20 seconds", "wrote
// more than 16 MiB", "could not be started", "was ended by ..."), where it
// could not be started, was ended for either or was ended by a signal; its
// exit status is not judged.
bool run_program(const std::string &path, const std::vector<std::string> &args,
                 const std::vector<std::pair<std::string, std::string>> &set,
                 const std::string &dir, unsigned seconds, size_t limit, std::string *output,
                 std::string *why);

// A program started by start_program and not yet finished: its process
// and our ends of the pipes to its standard input (-1: none) and output.
struct running_program {
  long id = -1;
  int input = -1, output = -1;
};

// Start the program at PATH as run_program runs it, but return at once;
// with WITH_INPUT its standard input is a pipe that give_input writes,
// else empty.  Return false, with *WHY, where it could not be started or
// the system cannot start one so (Windows).
bool start_program(const std::string &path, const std::vector<std::string> &args,
                   const std::vector<std::pair<std::string, std::string>> &set,
                   const std::string &dir, size_t limit, bool with_input, running_program *run,
                   std::string *why);

// Return how many files this process may hold open at once (on Windows,
// more than it will ever need).
unsigned long descriptor_limit();

// Write INPUT to the standard input of RUN and close it; return false if
// the program did not take it whole (it had ended).
bool give_input(running_program &run, const std::string &input);

// Collect what RUN writes until it ends, within SECONDS from now and LIMIT
// bytes, and return as run_program does.
bool finish_program(running_program &run, unsigned seconds, size_t limit, std::string *output,
                    std::string *why);

// Return true if RUN has not ended.
bool running_p(const running_program &run);

// End RUN, unfinished, with what it started.
void end_program(running_program &run);

// Remove the file PATH, if it can be.
void remove_file(const std::string &path);

// Make the directory PATH, for this user alone; return false if it cannot
// be made (or is there already).
bool make_directory(const std::string &path);

// Remove the empty directory PATH, if it can be.
void remove_directory(const std::string &path);

// Make the file PATH, which must not be there yet, holding TEXT; return
// false if it cannot be made or written whole.
bool write_new_file(const std::string &path, const std::string &text);

// Remove the directory DIR ("." for the current one, which stays) with
// whatever a program left in it.
void remove_tree(const std::string &dir);

// Return S as one word for this system's command shell.
std::string command_word(const std::string &s);

// Return S as one argument for this system's command shell, its '/' kept
// (a pattern, not a path).
std::string argument_word(const std::string &s);

// The commands the advice of the reports names, as a user of this system
// runs them, each argument quoted for its shell.
std::string remove_command(const std::string &file);         // rm FILE
std::string remove_tree_command(const std::string &dir);     // rm -r DIR
std::string make_readable_command(const std::string &file);  // chmod a+r FILE
std::string move_command(const std::string &from, const std::string &to); // mv FROM TO
std::string make_directory_command(const std::string &dir);   // mkdir -p DIR
std::string copy_tree_command(const std::string &from, const std::string &to); // cp -R FROM/. TO
std::string path_first_command(const std::string &dir);      // PATH=DIR:$PATH

// Return COMMANDS, one after the other while each succeeds, as the user
// runs them; where ALLOWED is false (the files are not theirs to change)
// each through sudo, or all from an administrator's prompt.
std::string privileged(const std::vector<std::string> &commands, bool allowed);

// Where dpkg lists the files of each Debian package ("" where there is no
// dpkg, as on Windows).
extern const char dpkg_info_dir[];

// The system's own mktexlsr, which the advice names by its plain name when
// it is there ("" where there is none, as on Windows).
extern const char system_mktexlsr[];

// Return the name of mktexlsr in a TeX Live bin directory.
extern const char mktexlsr_name[];

// True where names that differ only in case name different files (Linux);
// false where they compare without regard to case (Windows).
extern const bool case_sensitive_paths_p;

// The characters that separate the components of a path: '/', and on
// Windows '\' as well.
extern const char path_separators[];

// The character that separates the directories of PATH: ':', on Windows ';'.
extern const char path_list_separator;

} // namespace platform

#endif
