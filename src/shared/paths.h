// Paths as the tool splits and compares them: the file name, the directory
// it lies in, and the key by which two spellings of one path compare.
// Every split of a path goes through here.
#ifndef LSRCHECK_PATHS_H
#define LSRCHECK_PATHS_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Return the file name of PATH: what follows its last separator ('/', and
// '\' where the system takes it for one), or PATH whole where it has none.
// The view points into PATH.
std::string_view base_name(std::string_view path);

// Return the directory PATH lies in: what precedes its last separator, or
// "" where it has none.  The view points into PATH.
std::string_view directory_of(std::string_view path);

// Return the directory PATH lies in with its last separator kept ("dir/"),
// as a database spells the directory of an entry; "" where it has none.
std::string_view directory_with_slash(std::string_view path);

// Return true if PATH is absolute: it starts with a separator, or (on
// Windows) with a drive.
bool absolute_path_p(std::string_view path);

// Return PATH with the links of the directory it lies in resolved, its
// file name as it stands (a link stays the link it is).
std::string resolved_directory_path(const std::string &path);

// Return PATH with every run of '/' made one.
std::string collapsed_path(const std::string &path);

// Return PATH as paths compare on this system: '/' runs made one, and on
// a system whose names ignore case, A..Z folded onto a..z.  Two spellings
// of one path have one key.
std::string path_key(const std::string &path);

// Return NAME as seen from the directory DIR: NAME where it is absolute,
// else DIR/NAME; separators made '/', "." components dropped, and a
// component followed by ".." dropped with it.
std::string joined_path(const std::string &dir, const std::string &name);

// Return the part of PATH below the directory DIR ("sub/file.tex"), as
// paths compare, or "" where DIR does not hold PATH.
std::string path_below(const std::string &path, const std::string &dir);

// Return the texmf.cnf variable of the tree PATH lies in, by the longest
// root of ROOTS ((variable, root) pairs, links resolved) that holds it, or
// "".  PATH counts as listed and with its directory's links resolved: a
// file that is itself a link belongs to the tree it is listed in.
std::string tree_of(const std::string &path,
                    const std::vector<std::pair<std::string, std::string>> &roots);

// Return true if TREE, the texmf.cnf variable of a tree, names one of the
// user's own: TEXMFHOME, TEXMFCONFIG, TEXMFVAR.
bool user_tree_p(const std::string &tree);

#endif
