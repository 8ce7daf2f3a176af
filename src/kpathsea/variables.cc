#include "kpathsea/variables.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <kpathsea/kpathsea.h>
}

#include "platform/platform.h"

std::string taken_string(char *s)
{
  std::string answer = s != nullptr ? s : "";
  free(s);
  return answer;
}

std::string variable_value(const char *name)
{
  std::string value = taken_string(kpse_var_expand((std::string("$") + name).c_str()));
  return value == std::string("$") + name ? "" : value;
}

std::string texmf_root()
{
  std::string root = variable_value("TEXMFROOT");
  return platform::real_path(root.empty() ? variable_value("SELFAUTOPARENT") : root);
}

std::vector<path_element> path_elements(const char *name)
{
  std::vector<path_element> elements;
  std::string value = variable_value(name);
  if (value.empty())
    return elements;
  std::string expanded = taken_string(kpse_brace_expand(value.c_str()));
  for (std::string dir : platform::split_text(expanded, ENV_SEP)) {
    bool database_only = dir.compare(0, 2, "!!") == 0;
    if (database_only)
      dir.erase(0, 2);
    while (dir.size() > 1 && dir.back() == '/')
      dir.pop_back();
    if (!dir.empty())
      elements.push_back({dir, database_only});
  }
  return elements;
}

std::vector<std::pair<std::string, std::string>> tree_roots(
    const std::vector<const char *> &variables)
{
  std::vector<std::pair<std::string, std::string>> roots;
  for (const char *variable : variables)
    for (const path_element &e : path_elements(variable))
      roots.emplace_back(variable, platform::real_path(e.dir));
  return roots;
}

std::string configuration_file()
{
  // Kpathsea reads texmf.cnf before any ls-R: it is looked for on disk, as
  // then, not only in a database that may lack it.
  return taken_string(kpse_find_file("texmf.cnf", kpse_cnf_format, true));
}

std::string configuration_path()
{
  const char *path = kpse_init_format(kpse_cnf_format);
  return path != nullptr ? path : "";
}

std::vector<std::string> database_files(const std::string &dir)
{
  std::vector<std::string> found;
  for (const char *name : database_names) {
    std::string path = dir + "/" + name;
    if (platform::present_p(path) && (found.empty() || !platform::same_file_p(found[0], path)))
      found.push_back(path);
  }
  return found;
}

std::vector<std::string> disk_searched_trees()
{
  std::vector<std::string> loaded;
  for (const path_element &e : path_elements("TEXMFDBS"))
    for (const std::string &db : database_files(e.dir))
      if (platform::regular_file_p(db)) // a dangling link loads nothing
        loaded.push_back(e.dir);
  std::vector<std::string> trees;
  for (const path_element &e : path_elements("TEXMF")) {
    if (e.database_only)
      continue;
    bool covered = false;
    for (const std::string &db : loaded)
      covered = covered || e.dir == db || platform::below_p(e.dir, db);
    if (!covered && std::find(trees.begin(), trees.end(), e.dir) == trees.end())
      trees.push_back(e.dir);
  }
  return trees;
}
