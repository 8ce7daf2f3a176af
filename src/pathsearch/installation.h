// Which TeX installation Kpathsea looks at: a TeX Live tree made by TeX
// Live's own installer (ROOT/bin/ARCH/ beside ROOT/texmf-dist/), or the one
// Kpathsea finds by itself (Debian's, under /usr/share/texlive).
#ifndef LSRCHECK_INSTALLATION_H
#define LSRCHECK_INSTALLATION_H

#include <string>

// Return the program inside the TeX Live installation rooted at ROOT whose
// location Kpathsea should take as its own (ROOT/bin/ARCH/kpsewhich, ARCH
// this machine's if there are several), or "" with WHY set to what is
// missing if ROOT holds no such installation.
std::string texlive_program(const std::string &root, std::string *why);

// Where Kpathsea looks for texmf.cnf in a TeX Live installation: relative
// to the program's own directory, as TeX Live's programs are built to look.
extern const char texlive_texmfcnf[];

// Return the root of the TeX Live installation of the first kpsewhich on
// PATH, or "" if there is none or it is not laid out as TeX Live's
// installer lays one out.
std::string path_texlive_root();

// Return PATH with symbolic links, '.' and '..' resolved, or PATH itself
// if it cannot be resolved.
std::string real_path(const std::string &path);

#endif
