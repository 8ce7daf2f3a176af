// Runs of the installation's own LaTeX, made safe for a report: no shell
// escape, no file written outside the directory it runs in, none of
// Kpathsea's mktex scripts (which would build a missing format or font into
// the user's or the system's trees), a time limit and a limit on what it
// writes.  And the question most runs ask: the declaration LaTeX records
// for a file, loaded as a real run loads it.
#ifndef LSRCHECK_LATEX_LATEX_H
#define LSRCHECK_LATEX_LATEX_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

// How long one run may keep LaTeX busy, and how much it may make LaTeX
// write (a declaration's run writes a few KiB).
const unsigned latex_seconds = 20;
const size_t latex_output_limit = size_t(16) << 20;

// Return the LaTeX program NAME (latex, pdflatex, lualatex, xelatex) of the
// installation whose programs are in BIN, or "" where it has none.
std::string latex_program(const std::string &bin, const std::string &name = "latex");

// Return true if PROGRAM is a LaTeX program: the name of a LaTeX format
// run by its engine (latex, pdflatex, lualatex, xelatex, their -dev ones).
bool latex_program_p(const std::string &program);

// Return true if NAME is a kind of file LaTeX records a declaration of
// (.sty, .cls, .def, .cfg, .fd, .clo, .ldf).
bool latex_file_p(const std::string &name);

// Run the TeX program at PROGRAM, invoked as ARGS (its name first, which
// picks its format), in the directory DIR, within the limits above and
// without shell escape, writes outside DIR or mktex scripts; collect what
// it writes on its terminal in *OUTPUT.  Return false, with *WHY ("did not
// end within 20 seconds", "wrote more than 16 MiB", "could not be
// started"), where it could not run to its end; its exit status is not
// judged.
bool run_tex(const std::string &program, const std::vector<std::string> &args,
             const std::string &dir, std::string *output, std::string *why);

// Run JOB for each of COUNT runs, one a core, each in a directory of its
// own made for it in the current directory (given as DIR, "" where it
// could not be made) and removed with what the run wrote.
void run_side_by_side(size_t count, const std::function<void(size_t i, const std::string &dir)> &job);

// What LaTeX said of a file's declaration.
struct latex_declaration {
  bool answered = false;     // LaTeX read the file to its end, or recorded a declaration
  std::string date, version; // what it recorded under the file's name ("" for none)
  std::string why;           // where it did not answer: why
};

// Ask the LaTeX program at LATEX, invoked as PROGRAM, for the declaration
// it records for the file at PATH when a run loads it by its name NAME: a
// copy named NAME (or a stand-in, where TeX would read NAME as commands),
// made in DIR, an empty directory of the caller's, is the file LaTeX
// finds; what the file inputs Kpathsea finds as in a real run.  A
// package's or class's declaration counts where LaTeX records it under the
// name it was loaded by, a file's or a babel language's under NAME.  The
// answer comes through a channel the file cannot predict.
latex_declaration ask_latex_declaration(const std::string &latex, const std::string &program,
                                        const std::string &path, const std::string &name,
                                        const std::string &dir);

// A LaTeX program started ahead of its question, its format loaded
// meanwhile, waiting for the question on its standard input, in a
// directory of its own.
struct waiting_latex {
  std::string latex, program, dir;
  platform::running_program run;
};

// Start the LaTeX program at LATEX, invoked as PROGRAM, in the directory
// DIR, made for it, to wait for a question; return false where it cannot
// be (the question is then asked by a run of its own).
bool start_waiting_latex(const std::string &latex, const std::string &program,
                         const std::string &dir, waiting_latex *w);

// Ask W what ask_latex_declaration asks, as it asks it; where W ended
// before it read the question, a run of its own answers.  W is finished
// and its directory removed.
latex_declaration ask_waiting_latex(waiting_latex &w, const std::string &path,
                                    const std::string &name);

// End W unasked and remove its directory.
void end_waiting_latex(waiting_latex &w);

#endif
