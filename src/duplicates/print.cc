// The plain report's text.

#include <cstdio>
#include <string>
#include <vector>

#include "duplicates/duplicates.h"
#include "shared/output.h"

void print_duplicates(const duplicate_groups &groups, FILE *out)
{
  fprintf(out, "%zu files in your databases.\nSorting ...\n", groups.kept);
  fputs("Multiple occurences :\n\n", out);
  for (const std::vector<std::string> &group : groups.groups) {
    for (const std::string &path : group)
      fprintf(out, "%s\n", path.c_str());
    putc('\n', out);
  }
  fputs("End of list.\n\n", out);
}

void print_unlisted_trees(const std::vector<unlisted_tree> &trees, const char *program_name,
                          FILE *err)
{
  for (const unlisted_tree &tree : trees)
    fprintf(err, "%s: note: %s is searched on disk and not in this report (%zu %s); "
                 "-explain includes it\n",
            program_name, escaped(tree.root).c_str(), tree.files,
            tree.files == 1 ? "file" : "files");
}
