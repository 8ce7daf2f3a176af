// Print the date and version the tool reads from the \Provides...
// declaration of each file named on standard input, one per line:
// PATH, DATE and VERSION separated by tabs.

#include <cstdio>
#include <iostream>
#include <string>
#include <tuple>

#include "texsource/declarations.h"
#include "kpathsea/binding.h"
#include "kpathsea/lookup.h"
#include "shared/files.h"
#include "shared/paths.h"

int main(int, char **argv)
{
  // The files a source inputs are found as the explained report finds
  // them: as Kpathsea finds them for latex.
  set_up_path_search(argv[0], nullptr);
  lookup_as_program("latex", "pdftex");
  std::string path, text;
  while (std::getline(std::cin, path)) {
    if (!read_whole_file(path, text))
      continue;
    std::string name(base_name(path));
    auto [date, version] = provides_declaration(
        text.substr(0, declaration_window),
        [](const std::string &name, std::string *included) {
          std::string found = lookup_first(name.c_str(), lookup_format(name.c_str()));
          return !found.empty() && read_whole_file(found, *included);
        },
        nullptr, name);
    printf("%s\t%s\t%s\n", path.c_str(), date.c_str(), version.c_str());
  }
  return 0;
}
