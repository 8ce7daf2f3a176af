// Print the date and version the tool reads from the \Provides...
// declaration of each file named on standard input, one per line:
// PATH, DATE and VERSION separated by tabs.

#include <cstdio>
#include <iostream>
#include <string>

#include "explain/explain.h"
#include "shared/files.h"

int main()
{
  std::string path, text;
  while (std::getline(std::cin, path)) {
    if (!read_whole_file(path, text))
      continue;
    auto [date, version] =
        provides_declaration(text.substr(0, 256 * 1024), path.substr(0, path.rfind('/')));
    printf("%s\t%s\t%s\n", path.c_str(), date.c_str(), version.c_str());
  }
  return 0;
}
