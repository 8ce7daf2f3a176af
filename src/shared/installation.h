// Which TeX installation Kpathsea looks at: a TeX Live tree made by TeX
// Live's own installer (ROOT/bin/ARCH/ beside ROOT/texmf-dist/), or the one
// Kpathsea finds by itself (Debian's, under /usr/share/texlive).
#ifndef LSRCHECK_SHARED_INSTALLATION_H
#define LSRCHECK_SHARED_INSTALLATION_H

#include <string>

#include "platform/platform.h"

// Return the program inside the TeX Live installation rooted at ROOT whose
// location Kpathsea should take as its own (ROOT/bin/ARCH/kpsewhich, ARCH
// this machine's if there are several), or "" with WHY set to what is
// missing if ROOT holds no such installation.
std::string texlive_program(const std::string &root, std::string *why);

// Return the root of the TeX Live installation of the first kpsewhich on
// PATH, or "" if there is none or it is not laid out as TeX Live's
// installer lays one out.
std::string path_texlive_root();

// Return the first kpsewhich on PATH, links resolved, or "" if there is
// none.
std::string path_kpsewhich();

// Return the root of the TeX Live installation whose bin/ARCH directory
// holds PROGRAM, or "" if PROGRAM lies in none.
std::string texlive_root_of(const std::string &program);

// Return the root of the TeX Live installation that holds PATH once its
// links are resolved: in ROOT/bin/ARCH, or a script of ROOT/texmf-dist
// (tlmgr, mktexlsr); or "".
std::string texlive_root_holding(const std::string &path);

// Decide which installation to check when no -texmfroot names one: set
// *PROGRAM to "" where Kpathsea finds its own configuration (Linux), else
// to the program whose location Kpathsea should take (this program when it
// sits in a TeX Live bin directory, else the first kpsewhich on PATH).
// Return false, with *WHY, if there is no installation to check.  ARGV0 is
// this program's argv[0].
bool default_installation(const char *argv0, std::string *program, std::string *why);

#endif
