// Which of what the database health check found is a problem.

#include "databases/health.h"

bool distribution_links_p(const tree_health &t)
{
  for (const dangling_link &d : t.dangling)
    if (d.package.empty())
      return false;
  return true;
}

bool mended_by_mktexlsr_p(const tree_health &t)
{
  if (t.kind != tree_directory)
    return false;
  if (t.lsr.empty())
    return t.searched_database_only && t.holds_files;
  // A dangling ls-R: mktexlsr writes where it leads, or, once the link is
  // removed, the tree's own.
  if (!t.lsr_readable)
    return !t.lsr_regular || t.lsr_dangling; // else its permissions first: see the text
  return t.entries == 0 || !t.missing.empty() || !t.gone.empty() || !t.lsr_header ||
         !t.odd_blocks.empty() || !t.left_out.empty();
}

bool tree_problems_p(const tree_health &t)
{
  return t.kind == tree_not_directory || t.kind == tree_unknown || mended_by_mktexlsr_p(t) ||
         (!t.lsr.empty() && !t.lsr_readable) || !t.left_out.empty() ||
         !t.unlistable_names.empty() || !distribution_links_p(t) || !t.unlistable.empty() ||
         !t.missing_dangling.empty() ||
         !t.unchecked.empty() || !t.pseudo.empty();
}

bool problems_p(const database_health &health)
{
  if (!health.setup.empty() || !health.config.empty() || !health.misplaced.empty() ||
      !health.home.empty())
    return true;
  for (const tree_health &t : health.trees)
    if (tree_problems_p(t))
      return true;
  return false;
}

bool latex_only_p(const misplaced_file &f)
{
  return !f.readers.empty();
}
