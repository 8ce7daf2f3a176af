// Fuzz target: the command line, parsed in-process from argument vectors
// decoded from the input (words separated by NUL bytes).  Parsing may end
// the run; the fuzzer's build turns that exit into a return here.

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <getopt.h>
#include <string>
#include <vector>

#include "lsrcheck.h"

namespace {

jmp_buf parse_exit;
bool parsing;

} // namespace

extern "C" void __real_exit(int status);

// The tool's calls of exit, redirected by the linker (--wrap=exit).
extern "C" void __wrap_exit(int status)
{
  if (parsing)
    longjmp(parse_exit, 1);
  __real_exit(status);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  // The usage and version texts are not what is tested here.
  if (freopen("/dev/null", "w", stdout) == nullptr)
    return 1;
  opterr = 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static std::vector<std::string> words;
  words.assign(1, "lsrcheck");
  std::string input(reinterpret_cast<const char *>(data), size);
  for (size_t from = 0; from <= input.size();) {
    size_t nul = input.find('\0', from);
    if (nul == std::string::npos)
      nul = input.size();
    words.push_back(input.substr(from, nul - from));
    from = nul + 1;
  }
  std::vector<char *> argv;
  for (std::string &word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);

  options = option_state{};
  options.program_name = "lsrcheck";
  parsing = true;
  if (setjmp(parse_exit) == 0)
    parse_options(static_cast<int>(words.size()), argv.data());
  parsing = false;
  fflush(stdout);
  return 0;
}
