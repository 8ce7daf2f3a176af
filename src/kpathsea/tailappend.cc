#include "kpathsea/tailappend.h"

#include <cstdlib>
#include <dlfcn.h>
#include <vector>

namespace {

typedef void (*insert_fn)(hash_table_type *, const_string, const_string);

hash_table_type *target;               // the table being loaded, or null
std::vector<hash_element_type *> tails; // last element of each chain
bool formula_checked, formula_agrees, last_fast;

// Every entry appended to the table being loaded, and whether that is all
// of its entries.
const hash_table_type *logged_table;
std::vector<logged_entry> entry_log;
bool log_complete;

// Return Kpathsea's own definition of the function NAME, the one this file
// stands in for, or null if the library has none.
void *library_function(const char *name)
{
  return dlsym(RTLD_NEXT, name);
}

// Return Kpathsea's own insertion into a table.
insert_fn library_insert()
{
  static insert_fn insert =
      reinterpret_cast<insert_fn>(library_function("hash_insert_normalized"));
  return insert;
}

// Return Kpathsea's own public insertion into a table (same signature).
insert_fn library_public_insert()
{
  static insert_fn insert = reinterpret_cast<insert_fn>(library_function("hash_insert"));
  return insert;
}

// Return Kpathsea's own removal from a table (same signature).
insert_fn library_remove()
{
  static insert_fn remove =
      reinterpret_cast<insert_fn>(library_function("hash_remove"));
  return remove;
}

// Return the bucket of KEY in a table of SIZE buckets: twice the running
// value plus each byte, taken as a signed char, modulo SIZE at every step.
unsigned bucket_of(unsigned size, const char *key)
{
  unsigned n = 0;
  for (; *key != '\0'; key++)
    n = (n + n + static_cast<unsigned>(static_cast<int>(
                     static_cast<signed char>(*key)))) % size;
  return n;
}

// Return a new element holding KEY and VALUE, allocated as Kpathsea does.
hash_element_type *new_element(const_string key, const_string value)
{
  hash_element_type *e = XTALLOC1(hash_element_type);
  e->key = key;
  e->value = value;
  e->next = nullptr;
  return e;
}

// Return true if the constant-time path may serve TABLE now, setting up
// the chain ends the first time.
bool fast_path_p(const hash_table_type *table)
{
  if (table != target || table->buckets == nullptr || table->size == 0)
    return false;
  if (!formula_checked) {
    formula_checked = true;
    formula_agrees = bucket_formula_agrees_p(table->size);
  }
  if (!formula_agrees)
    return false;
  if (tails.size() != table->size)
    tails.assign(table->size, nullptr);
  return true;
}

} // namespace

bool bucket_formula_agrees_p(unsigned size)
{
  static const char *const samples[] = {
      "a", "ls-R", "cmr10.tfm", "Array.STY", "\xc3\xa9t\xc3\xa9.tex",
      "\xff\xfe\x80\x81",
      ("texmf-dist/fonts/type1/public/amsfonts/cm/"
       "cmbx10.pfb-with-a-name-long-enough-to-wrap-the-value-many-times")};
  insert_fn insert = library_insert();
  if (insert == nullptr || size == 0)
    return false;
  hash_table_type scratch = hash_create(size);
  bool agrees = true;
  for (const char *key : samples) {
    insert(&scratch, key, "");
    hash_element_type **slot = &scratch.buckets[bucket_of(size, key)];
    if (*slot == nullptr) {
      agrees = false;
      for (unsigned b = 0; b < size && *slot == nullptr; b++)
        if (scratch.buckets[b] != nullptr)
          slot = &scratch.buckets[b];
    }
    free(*slot);
    *slot = nullptr;
  }
  free(scratch.buckets);
  return agrees;
}

void begin_tail_appends(hash_table_type *table)
{
  target = table;
  formula_checked = false;
  tails.clear();
  logged_table = table;
  entry_log.clear();
  log_complete = table->buckets == nullptr;
}

const std::vector<logged_entry> *load_log(const hash_table_type *table)
{
  return table == logged_table && log_complete ? &entry_log : nullptr;
}

void end_tail_appends()
{
  target = nullptr;
  std::vector<hash_element_type *>().swap(tails);
}

bool last_append_fast_p()
{
  return last_fast;
}

// Kpathsea's loader calls this for every ls-R entry.  For the table being
// loaded, append KEY and VALUE after the remembered end of the chain;
// anything else goes to the library.
extern "C" void hash_insert_normalized(hash_table_type *table,
                                       const_string key, const_string value)
{
  if (table == logged_table && table != nullptr)
    entry_log.push_back({key, value});
  last_fast = fast_path_p(table);
  if (!last_fast) {
    library_insert()(table, key, value);
    return;
  }
  unsigned n = bucket_of(table->size, key);
  hash_element_type *&tail = tails[n];
  if (tail == nullptr)
    tail = table->buckets[n];
  // The library's own hash_insert may have appended since; catch up.  The
  // log then misses that entry.
  while (tail != nullptr && tail->next != nullptr) {
    tail = tail->next;
    log_complete = false;
  }
  hash_element_type *e = new_element(key, value);
  if (tail == nullptr)
    table->buckets[n] = e;
  else
    tail->next = e;
  tail = e;
}

// A removal may free a remembered chain end: forget them all, then let the
// library remove.
extern "C" void hash_remove(hash_table_type *table, const_string key,
                            const_string value)
{
  if (table == target)
    tails.assign(tails.size(), nullptr);
  if (table == logged_table)
    log_complete = false;
  library_remove()(table, key, value);
}

// An insertion that does not pass through hash_insert_normalized above
// leaves the log short of an entry.
extern "C" void hash_insert(hash_table_type *table, const_string key, const_string value)
{
  if (table == logged_table)
    log_complete = false;
  library_public_insert()(table, key, value);
}
