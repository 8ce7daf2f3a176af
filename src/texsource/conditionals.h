// The conditionals of a TeX source as every LaTeX decides them.
#ifndef LSRCHECK_TEXSOURCE_CONDITIONALS_H
#define LSRCHECK_TEXSOURCE_CONDITIONALS_H

#include <string>
#include <string_view>

#include "texsource/reading.h"

// What a conditional comes to as every LaTeX reads it, or unknown (it
// depends on the engine, on a macro, on what was loaded before).
enum condition { condition_true, condition_false, condition_unknown };

// Return the name that \csname ... \endcsname at IN builds, as a token
// ("\ProvidesPackage"), moving IN behind it; "" where it holds more than
// letters.
std::string csname_token(tex_reader &in);

// Return true if TOKEN starts a conditional (\unless one).
bool conditional_p(std::string_view token);

// Skip IN past the branch of a conditional TeX does not take: up to its
// \else (with ELSE_TOO, and then return true) or its \fi, nested
// conditionals included.
bool skip_branch(tex_reader &in, bool else_too);

// Return what the conditional TOKEN, just read, at IN comes to, moving IN
// past what it tests where it is known.
condition evaluate(tex_reader &in, std::string_view token);

#endif
