// The entry on Windows: the command line comes as UTF-16 and is handed on
// as UTF-8, the encoding of every name inside the tool.
#include <string>
#include <vector>

#include "lsrcheck.h"
#include "pathsearch/windows_text.h"

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
  return lsrcheck_main(argc, pointers.data());
}
