// The entry on Windows: the command line comes as UTF-16 and is handed on
// as UTF-8, the encoding of every name inside the tool.
#include <cstdio>
#include <string>
#include <vector>
#include <windows.h>

#include "lsrcheck.h"
#include "platform/windows_text.h"

int wmain(int argc, wchar_t **argv)
{
  // The strings live to the end of the run: the options borrow them.
  static std::vector<std::string> args;
  for (int i = 0; i < argc; i++)
    args.push_back(narrow(argv[i]));
  static std::vector<char *> pointers;
  for (std::string &arg : args)
    pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  // The C runtime writes a character device (NUL) line by line, as it
  // would a console: anything that is no console gets a full buffer, as
  // on Linux.
  DWORD mode;
  if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
    setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  return lsrcheck_main(argc, pointers.data());
}
