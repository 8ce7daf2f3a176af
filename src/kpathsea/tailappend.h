// Constant-time appends for Kpathsea's ls-R table while it is loaded.
//
// Kpathsea stores the ls-R entries in a hash table of a fixed number of
// buckets (64,007) and appends every entry at the end of its bucket's
// chain, walking the chain to find that end.  With a million entries the
// chains hold about 16 entries each and loading grows with the square of
// the database.  While a load is under way, this layer takes over the
// library's insertion for that one table and keeps the last element of
// each chain, so that an append costs the same at any size.  The table it
// builds is the very one Kpathsea would have built: the same buckets, the
// same elements, in the same order.
//
// The layer replaces Kpathsea's internal `hash_insert_normalized` and
// `hash_remove` by symbol interposition; every other table, and every call
// outside a load, goes to the library's own functions.  If the library's
// bucket formula turns out to differ from the one used here (checked on
// sample keys before the first append), the layer stands aside.
//
// tailappend.cc defines it where Kpathsea is a shared library (Linux);
// where it is a static one (Windows), load_static.cc defines the same calls
// as Kpathsea's own appends.
#ifndef LSRCHECK_TAILAPPEND_H
#define LSRCHECK_TAILAPPEND_H

#include <vector>

extern "C" {
#include <kpathsea/kpathsea.h>
}

// Append to TABLE in constant time until end_tail_appends.  TABLE may still
// be empty (no buckets yet): Kpathsea creates it during the load.
void begin_tail_appends(hash_table_type *table);

// Stop appending to the table given to begin_tail_appends, and free what
// the layer kept for it.
void end_tail_appends();

// Return true if the bucket formula of this layer agrees with Kpathsea's
// own on a table of SIZE buckets, for a set of sample keys (plain, long,
// and with bytes above 127).
bool bucket_formula_agrees_p(unsigned size);

// Return true if the last append went through the constant-time path.
bool last_append_fast_p();

// One entry of the table, as the layer saw it appended.
struct logged_entry {
  const_string key;
  const_string value;
};

// Return the entries appended to TABLE during its load, in the order
// Kpathsea loaded them, or null if the layer cannot vouch that they are all
// of TABLE's entries (it was not the table loaded, an entry was removed, or
// an insertion went past the layer).  A walk of the log reads memory in
// the order it was written; a walk of the buckets jumps all over it.
const std::vector<logged_entry> *load_log(const hash_table_type *table);

#endif
