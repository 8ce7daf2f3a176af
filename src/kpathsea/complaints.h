// Kpathsea's complaints about files it may not read: it makes one on every
// search that meets such a file, the tool writes each once, or holds them
// for the parent of a child process that makes lookups.
#ifndef LSRCHECK_KPATHSEA_COMPLAINTS_H
#define LSRCHECK_KPATHSEA_COMPLAINTS_H

#include <string>
#include <vector>

// Write Kpathsea's complaint about S (a file name, or null) and ERROR on
// standard error as perror would, unless the same complaint was written
// before in this run: Kpathsea complains about an unreadable file on every
// search that meets it.
void kpathsea_complaint(const char *s, int error);

// Write the complaint MESSAGE (a line without its line end) on standard
// error unless it was written before in this run.
void write_kpathsea_complaint(const std::string &message);

// From now on keep Kpathsea's complaints instead of writing them: for a
// child process that hands them to its parent.
void hold_kpathsea_complaints();

// Return the complaints kept since hold_kpathsea_complaints, each once.
std::vector<std::string> held_kpathsea_complaints();

#endif
