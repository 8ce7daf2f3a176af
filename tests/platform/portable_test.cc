// What the Windows build uses in place of glibc (getopt_long_only and
// fnmatch), checked here against glibc itself.

#include <cstdio>
#include <cstring>
#include <fnmatch.h>
#include <getopt.h>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/getopt.h"
#include "shared/output.h"
#include "platform/wildcard.h"
#include "platform/windows_text.h"

namespace {

// Return what a whole parse of ARGS gives: each code with its argument and
// index, the complaints, and the argument vector and optind at the end.
// With OURS, the replacement parses, else glibc.
std::string parse_trace(const std::vector<std::string> &args, bool ours)
{
  static const char shortopts[] = "d:mx:i:f:shv";
  static const struct option longopts[] = {
    {"debug", required_argument, nullptr, 'd'},   {"exclude", required_argument, nullptr, 'x'},
    {"include", required_argument, nullptr, 'i'}, {"file", required_argument, nullptr, 'f'},
    {"multiple-occurences", no_argument, nullptr, 'm'},
    {"multiple-occurrences", no_argument, nullptr, 'm'},
    {"shared-memory", no_argument, nullptr, 's'}, {"help", no_argument, nullptr, 'h'},
    {"texmfroot", required_argument, nullptr, 256}, {"explain", no_argument, nullptr, 257},
    {"e", required_argument, nullptr, 'x'},       {"ve", no_argument, nullptr, 'v'},
    {"verbose", no_argument, nullptr, 258},       {"version", no_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0}};
  std::vector<std::string> copies = args;
  std::vector<char *> argv;
  for (std::string &a : copies)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  int argc = static_cast<int>(args.size());

  // The complaints go to standard error: catch them in a file.
  fflush(stderr);
  FILE *caught = tmpfile();
  int saved = dup(2);
  dup2(fileno(caught), 2);
  std::string trace;
  gnu_getopt_state state;
  state.optind = 0;
  optind = 0;
  for (;;) {
    int index = -1;
    int code = ours ? gnu_getopt_long_only(argc, argv.data(), shortopts, longopts, &index, &state)
                    : getopt_long_only(argc, argv.data(), shortopts, longopts, &index);
    if (code == -1)
      break;
    const char *arg = ours ? state.optarg : optarg;
    trace += std::to_string(code) + "[" + (arg ? arg : "-") + "]" + std::to_string(index) + " ";
  }
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  rewind(caught);
  char buffer[4096];
  size_t n = fread(buffer, 1, sizeof buffer, caught);
  fclose(caught);
  trace += "| " + std::string(buffer, n) + "| optind " +
           std::to_string(ours ? state.optind : optind) + ":";
  for (int i = 0; i < argc; i++)
    trace += std::string(" ") + argv[i];
  return trace;
}

TEST(PortableGetopt, ParsesAndComplainsAsGlibcDoes)
{
  const std::vector<std::vector<std::string>> lines = {
    {"lsrcheck"},
    {"lsrcheck", "-m", "a", "b"},
    {"lsrcheck", "word", "-x", "p", "other", "-i=q", "--", "-m"},
    {"lsrcheck", "-mult", "-exclude=*.log", "--include", "x", "last"},
    {"lsrcheck", "-e", "pat", "-ex", "pat", "-exc=pat"},
    {"lsrcheck", "-ver", "-ve", "-v"},
    {"lsrcheck", "-multiple", "-multiple-occur", "--m"},
    {"lsrcheck", "-foo", "--bar=1", "-q", "-mq", "-msh"},
    {"lsrcheck", "-exclude"},
    {"lsrcheck", "-x"},
    {"lsrcheck", "-xabc", "-d3", "-d", "7"},
    {"lsrcheck", "-help=yes", "--explain=1", "-expl"},
    {"lsrcheck", "-t", "-te=x", "-", "w1", "-", "--texmfroot"},
    {"lsrcheck", "a", "b", "-m", "c", "-s", "--", "d", "-h"},
  };
  for (const auto &line : lines) {
    std::string glibc = parse_trace(line, false), ours = parse_trace(line, true);
    EXPECT_EQ(ours, glibc) << "command line: " << ::testing::PrintToString(line);
  }
}

TEST(PortableWildcard, MatchesAsGlibcFnmatchWithCaseFolding)
{
  const char *const cases[][2] = {
    {"*.sty", "/a/b/Foo.STY"}, {"*/doc/*", "/x/doc/y"}, {"*/DOC/*", "/x/doc/y"},
    {"?", "ab"}, {"a?c", "aXc"}, {"[a-c]x", "Bx"}, {"[!a-c]x", "bx"}, {"[^a-c]x", "dx"},
    {"[]]", "]"}, {"[!]]", "a"}, {"[a-]", "-"}, {"[[:alpha:]]1", "Q1"},
    {"[[:upper:]]", "a"}, {"[[:lower:]]", "A"}, {"[[:digit:][:space:]]", " "},
    {"\\*", "*"}, {"\\*", "a"}, {"a\\", "a\\"}, {"[", "["}, {"[a", "[a"}, {"a[", "a["},
    {"*[", "x["}, {"[\\]]", "]"}, {"[a\\-z]", "-"}, {"*a*b*c", "xaybzc"}, {"**", ""},
    {"*", ""}, {"", ""}, {"", "a"}, {"\\", "\\"}, {"[[:bad:]]", "a"}, {"[Z-a]", "_"},
    {"[Z-a]", "z"}, {"\xc3\xa9", "\xc3\x89"}, {"[\xc3\xa9]?", "\xc3\xa9"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(wildcard_match_p(c[0], c[1]), fnmatch(c[0], c[1], FNM_CASEFOLD) == 0)
        << "pattern '" << c[0] << "' on '" << c[1] << "'";

  // And at random, over an alphabet rich in the special characters.
  std::mt19937 random(19);
  const char alphabet[] = "aAbB/-*?[]!^\\:.";
  auto word = [&](size_t max) {
    std::string w;
    for (size_t n = random() % (max + 1); n > 0; n--)
      w += alphabet[random() % (sizeof alphabet - 1)];
    return w;
  };
  int differ = 0;
  for (int i = 0; i < 200000; i++) {
    std::string pattern = word(7), text = word(6);
    bool glibc = fnmatch(pattern.c_str(), text.c_str(), FNM_CASEFOLD) == 0;
    if (wildcard_match_p(pattern.c_str(), text.c_str()) != glibc && differ++ < 10)
      ADD_FAILURE() << "pattern '" << pattern << "' on '" << text << "': glibc says " << glibc;
  }
}

} // namespace

namespace {

TEST(PortableNames, Utf16NamesBecomeUtf8AndLoneSurrogatesComeBackWhole)
{
  // UTF-16 code units, and the bytes Python's "surrogatepass" makes of them.
  const struct { std::wstring utf16; std::string utf8; } cases[] = {
    {L"plain.sty", "plain.sty"},
    {{L'\x00e9', L't', L'\x00e9'}, "\xc3\xa9t\xc3\xa9"},
    {{L'\x4e2d'}, "\xe4\xb8\xad"},
    {{wchar_t(0xd83d), wchar_t(0xde00)}, "\xf0\x9f\x98\x80"}, // a pair: one code point
    {{L'a', wchar_t(0xd800), L'.'}, "a\xed\xa0\x80."},        // a lone high surrogate
    {{wchar_t(0xdc00), wchar_t(0xd800)}, "\xed\xb0\x80\xed\xa0\x80"}, // reversed: two lone
    {{wchar_t(0xd800)}, "\xed\xa0\x80"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(narrow(c.utf16), c.utf8);
    EXPECT_EQ(wide(c.utf8), c.utf16) << c.utf8;
  }
  // A name with a lone surrogate keeps its bytes in JSON.
  nlohmann::ordered_json j;
  put_bytes(j, "path", narrow({L'a', wchar_t(0xd800)}));
  EXPECT_EQ(j["path_bytes"], "61eda080");
}

} // namespace
