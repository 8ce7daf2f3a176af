// Runs of the installation's own LaTeX, made safe for a report: no shell
// escape, no file written outside the current directory, none of
// Kpathsea's mktex scripts (which would build a missing format or font into
// the user's or the system's trees), a time limit and a limit on what it
// writes.  And the question most runs ask: the declaration LaTeX records
// for a file, input by its path.
#ifndef LSRCHECK_LATEX_LATEX_H
#define LSRCHECK_LATEX_LATEX_H

#include <cstddef>
#include <string>
#include <vector>

// How long one run may keep LaTeX busy, and how much it may make LaTeX
// write (a declaration's run writes a few KiB).
const unsigned latex_seconds = 20;
const size_t latex_output_limit = size_t(16) << 20;

// Return the LaTeX program of the installation whose programs are in BIN,
// or "" where it has none.
std::string latex_program(const std::string &bin);

// Return true if NAME is a kind of file LaTeX records a declaration of
// (.sty, .cls, .def, .cfg, .fd, .clo, .ldf).
bool latex_file_p(const std::string &name);

// Run the TeX program at PROGRAM, invoked as ARGS (its name first), in the
// current directory, within the limits above and without shell escape,
// writes outside the current directory or mktex scripts; collect what it
// writes on its terminal in *OUTPUT.  Return false, with *WHY ("did not end
// within 20 seconds", "wrote more than 16 MiB", "could not be started"),
// where it could not run to its end; its exit status is not judged.
bool run_tex(const std::string &program, const std::vector<std::string> &args,
             std::string *output, std::string *why);

// Return the TeX input that makes LaTeX input the file at PATH, named NAME,
// report the declaration it records under NAME and stop; "" where PATH or
// NAME hold characters TeX would read as commands.
std::string latex_probe(const std::string &path, const std::string &name);

// What LaTeX said of a file's declaration.
struct latex_declaration {
  bool answered = false;     // LaTeX read the file to its end, or recorded a declaration
  std::string date, version; // what it recorded under the file's name ("" for none)
  std::string why;           // where it did not answer: why
};

// Ask LATEX, in the current directory with the job name JOB, for the
// declaration it records for the file at PATH under its name NAME.
latex_declaration ask_latex_declaration(const std::string &latex, const std::string &path,
                                        const std::string &name, const std::string &job);

#endif
