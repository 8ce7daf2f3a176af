// Where the reading of a TeX source finds the files it inputs: a function
// it is given, so that the reading itself needs no TeX installation.
#ifndef LSRCHECK_TEXSOURCE_INPUT_H
#define LSRCHECK_TEXSOURCE_INPUT_H

#include <functional>
#include <string>

// Where the reading of a TeX source finds a file it inputs: its text, or
// false.
typedef std::function<bool(const std::string &name, std::string *text)> input_finder;

#endif
