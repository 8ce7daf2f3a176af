// The entry on Windows: the command line comes as UTF-16 and is handed on
// as UTF-8, the encoding of every name inside the tool.
#include <string>
#include <vector>
#include <windows.h>

#include "lsrcheck.h"

int wmain(int argc, wchar_t **argv)
{
  // The strings live to the end of the run: the options borrow them.
  static std::vector<std::string> args;
  for (int i = 0; i < argc; i++) {
    int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(n > 0 ? n - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), n, nullptr, nullptr);
    args.push_back(arg);
  }
  static std::vector<char *> pointers;
  for (std::string &arg : args)
    pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  return lsrcheck_main(argc, pointers.data());
}
