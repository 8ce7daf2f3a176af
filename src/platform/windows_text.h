// Names between Windows (UTF-16) and the tool (UTF-8): a name Windows
// allows but UTF-16 does not (a lone surrogate) keeps its three-byte form
// (WTF-8) and comes back whole.
#ifndef LSRCHECK_WINDOWS_TEXT_H
#define LSRCHECK_WINDOWS_TEXT_H

#include <string>

// Return the UTF-16 form of TEXT (UTF-8, or WTF-8 as narrow makes it); a
// byte that starts no sequence stands for itself.
std::wstring wide(const std::string &text);

// Return the UTF-8 form of the UTF-16 TEXT, a lone surrogate in WTF-8.
std::string narrow(const std::wstring &text);

#endif
