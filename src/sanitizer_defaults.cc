// Sanitizer defaults, linked only into sanitizer builds.
//
// Kpathsea allocates its configuration, search paths and databases once per
// run and never frees them (and leaks what it builds them from when a
// format's paths are made again).  Each such allocation is made inside one
// of its kpathsea_* or kpse_* functions, so these are left out of leak
// reports; the tool's own allocations are not.  Full stacks are needed to
// see them.  Where the distribution's library has no symbols for its
// internal functions, the stack shows only the library: its allocations
// are left out by its name.

extern "C" const char *__asan_default_options()
{
  return "fast_unwind_on_malloc=0";
}

extern "C" const char *__lsan_default_suppressions()
{
  return "leak:kpathsea_\nleak:kpse_\nleak:libkpathsea.so\n";
}

extern "C" const char *__ubsan_default_options()
{
  return "print_stacktrace=1:halt_on_error=1";
}

extern "C" const char *__lsan_default_options()
{
  return "print_suppressions=0";
}
