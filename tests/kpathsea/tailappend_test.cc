// The constant-time appends must build exactly the table Kpathsea builds.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "kpathsea/tailappend.h"

extern "C" void hash_insert_normalized(hash_table_type *table,
                                       const_string key, const_string value);

namespace {

// Keys as ls-R files hold them, with repeats, mixed case, bytes above 127
// and long names; enough of them to make long chains in small tables.
std::vector<std::string> sample_keys()
{
  std::vector<std::string> keys;
  for (int i = 0; i < 3000; i++) {
    keys.push_back("cmr" + std::to_string(i % 700) + ".tfm");
    keys.push_back(i % 3 ? "Array.STY" : "array.sty");
    keys.push_back("\xc3\xa9t\xc3\xa9-" + std::to_string(i) + ".tex");
    keys.push_back(std::string(200 + i % 50, 'a' + i % 26) + "\xff");
  }
  return keys;
}

// Expect A and B to hold the same elements in the same chains and order.
void expect_same_table(const hash_table_type &a, const hash_table_type &b)
{
  ASSERT_EQ(a.size, b.size);
  for (unsigned n = 0; n < a.size; n++) {
    const hash_element_type *x = a.buckets[n], *y = b.buckets[n];
    for (; x != nullptr && y != nullptr; x = x->next, y = y->next) {
      ASSERT_EQ(x->key, y->key) << "bucket " << n;
      ASSERT_EQ(x->value, y->value) << "bucket " << n;
    }
    ASSERT_TRUE(x == nullptr && y == nullptr) << "bucket " << n;
  }
}

// Free TABLE's elements and buckets (keys and values are not owned).
void free_table(hash_table_type &table)
{
  for (unsigned n = 0; n < table.size; n++)
    for (hash_element_type *e = table.buckets[n], *next; e; e = next) {
      next = e->next;
      free(e);
    }
  free(table.buckets);
}

// Build, for a table of SIZE buckets, one table through the appends and one
// through Kpathsea's own hash_insert, with the same keys, values, removals
// and interleaved library appends; expect them equal.
void check_size(unsigned size)
{
  std::vector<std::string> keys = sample_keys();
  const char *dirs[] = {"/texmf-dist/tex/", "/texmf-local/tex/"};
  hash_table_type fast = hash_create(size), plain = hash_create(size);

  begin_tail_appends(&fast);
  for (size_t i = 0; i < keys.size(); i++) {
    const char *key = keys[i].c_str(), *dir = dirs[i % 2];
    if (i % 97 == 0) {
      // The library may append on its own between two of ours.
      hash_insert(&fast, key, dir);
    } else {
      hash_insert_normalized(&fast, key, dir);
      ASSERT_TRUE(last_append_fast_p());
    }
    hash_insert(&plain, key, dir);
    if (i % 1009 == 500) {
      // Removing may free a remembered chain end.
      hash_remove(&fast, keys[i - 4].c_str(), dirs[(i - 4) % 2]);
      hash_remove(&plain, keys[i - 4].c_str(), dirs[(i - 4) % 2]);
    }
  }
  end_tail_appends();

  // After the load, the library serves every append again.
  hash_insert_normalized(&fast, "late.tex", dirs[0]);
  EXPECT_FALSE(last_append_fast_p());
  hash_insert(&plain, "late.tex", dirs[0]);

  expect_same_table(fast, plain);
  free_table(fast);
  free_table(plain);
}

TEST(TailAppends, BuildTheTableKpathseaBuilds)
{
  for (unsigned size : {1u, 7u, 64007u})
    check_size(size);
}

TEST(TailAppends, BucketFormulaAgreesWithKpathsea)
{
  for (unsigned size : {1u, 2u, 7u, 64007u, 1000003u})
    EXPECT_TRUE(bucket_formula_agrees_p(size)) << size;
}

TEST(TailAppends, OtherTablesGoToTheLibrary)
{
  hash_table_type loading = hash_create(7), other = hash_create(7);
  begin_tail_appends(&loading);
  hash_insert_normalized(&other, "a.tex", "/d/");
  EXPECT_FALSE(last_append_fast_p());
  end_tail_appends();
  const_string *found = hash_lookup(other, "a.tex");
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(found[0], "/d/");
  EXPECT_EQ(found[1], nullptr);
  free(found);
  free_table(loading);
  free_table(other);
}

} // namespace
