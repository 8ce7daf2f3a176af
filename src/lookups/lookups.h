// Which copy each program loads: Kpathsea's own lookups, made as the
// programs make them (each run by its engine, in the format it reads a
// name in), every hit in search order, on this process and a child.
#ifndef LSRCHECK_LOOKUPS_LOOKUPS_H
#define LSRCHECK_LOOKUPS_LOOKUPS_H

#include <functional>
#include <string>
#include <vector>

#include "lookups/hits.h"
#include "texsource/input.h"

// A program the lookups are made as, with the engine that runs it.
struct lookup_program {
  std::string name, engine;
};

// Return PROGRAMS, each with its engine: as the installation's fmtutil.cnf
// says, else the usual one, else the program itself.  Kpathsea must be set
// up.
std::vector<lookup_program> lookup_programs(const std::vector<std::string> &programs);

// A name to look up, and the format each program looks it up in (-1: the
// program reads no such file), and where that finds nothing the format its
// input reads any name in (-1: none).
struct name_lookup {
  std::string name;
  std::vector<int> formats;   // one per program
  std::vector<int> fallbacks; // one per program
};

// Return NAME with the format each of PROGRAMS reads it in, and its own
// format (as kpsewhich picks it) in *FORMAT where FORMAT is given.
name_lookup name_lookup_of(const std::string &name, const std::vector<lookup_program> &programs,
                           int *format = nullptr);

// Return every hit of each of NAMES for each of PROGRAMS, in search order
// (the first is the file the program loads), as [program][name], from the
// current directory.  Kpathsea serves one thread only: the lookups run on
// this thread and, where the system can start one, in a child process
// that takes every other program.  MEANWHILE, where given, runs in this
// process once the child is on its way.
std::vector<program_hits> look_up_names(const std::vector<lookup_program> &programs,
                                        const std::vector<name_lookup> &names,
                                        const std::function<void()> &meanwhile = {});

// Return the elements of the search path PROGRAM searches FORMAT along,
// in order, as Kpathsea expanded them ("//" and "!!" kept).
std::vector<std::string> search_path_of(const lookup_program &program, int format);

// Make the lookups that follow those of PROGRAM, and return a finder of
// the files its \input finds, as Kpathsea finds them for it.
input_finder input_through_kpathsea(const lookup_program &program);

#endif
