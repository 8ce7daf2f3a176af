// Wildcard matching where the C library has no fnmatch (Windows): what
// glibc's fnmatch does with the single flag FNM_CASEFOLD, in the C locale.
#ifndef LSRCHECK_WILDCARD_H
#define LSRCHECK_WILDCARD_H

// Return true if PATTERN matches the whole of TEXT, ignoring the case of
// A..Z: '*' any run of bytes, '/' included; '?' any byte; [...] a set of
// bytes, with ranges, classes ([:alpha:]) and '!' or '^' to negate; '\\'
// quotes the byte after it.  A '[' without its ']' stands for itself.
bool wildcard_match_p(const char *pattern, const char *text);

#endif
