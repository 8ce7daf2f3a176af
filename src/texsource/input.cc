#include "texsource/input.h"

#include <string>

#include "shared/files.h"

input_finder input_beside(const std::string &dir)
{
  return [dir](const std::string &name, std::string *text) {
    std::string path = name[0] == '/' ? name : dir + "/" + name;
    return read_whole_file(path, *text) || read_whole_file(path + ".tex", *text);
  };
}
