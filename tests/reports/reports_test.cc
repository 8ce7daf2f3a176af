// The installation reports: the shared-memory object and Ghostscript.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <sstream>

#include "helpers.h"
#include "reports/gslocate.h"

namespace {

const char not_set_up[] = "No kpathsea file mapping set up.\n";
const char set_up[] = "Kpathsea file mapping is set up.\n";

// Every run that touches the object is in this one test, so that runs in
// parallel never see it appear.
TEST(SharedMemory, AnswersForTheObjectAndTakesPrecedence)
{
  shm_unlink("/rv52_hash_mapping");
  run_result absent = run_lsrcheck({"-shared-memory"});
  EXPECT_EQ(absent.out, not_set_up);
  EXPECT_EQ(absent.err, "");
  EXPECT_EQ(absent.status, 0);

  int fd = shm_open("/rv52_hash_mapping", O_CREAT | O_EXCL | O_RDWR, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  run_result present = run_lsrcheck({"-s"});
  // Precedence does not depend on the order of the options.
  run_result first = run_lsrcheck({"-multiple-occurences", "-ghostscript", "--shared"});
  // One leftover word goes unmentioned, two give the warning.
  run_result one_word = run_lsrcheck({"-shared-memory", "a"});
  run_result two_words = run_lsrcheck({"-shared-memory", "a", "b"});
  shm_unlink("/rv52_hash_mapping");

  EXPECT_EQ(present.out, set_up);
  EXPECT_EQ(present.status, 0);
  EXPECT_EQ(first.out, set_up);
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(one_word.out, set_up);
  EXPECT_EQ(one_word.err, "");
  EXPECT_EQ(two_words.out, set_up);
  EXPECT_EQ(two_words.err, "lsrcheck: warning, extra arguments.\n");
  EXPECT_EQ(two_words.status, 0);
}

const char not_found[] = "lsrcheck: no version of Ghostscript has been found.\n";

// Run the Ghostscript report with GS_DLL set to DLL.
run_result run_with_dll(const std::string &dll, const std::string &option = "-ghostscript")
{
  run_options opts;
  opts.env.emplace_back("GS_DLL", dll);
  return run_lsrcheck({option}, opts);
}

TEST(Ghostscript, NotFoundUnlessTheLibraryIsGhostscriptAndSaysWhatWasTried)
{
  const std::string tried = "lsrcheck: note: tried GS_DLL=";
  const struct {
    std::string dll, why;
  } cases[] = {
    {"/nonexistent/libgs.so.10",
     "cannot be loaded: /nonexistent/libgs.so.10: cannot open shared object file"},
    {FAKE_NOT_GS, "not Ghostscript (it has no gsapi_revision)\n"},
    {FAKE_GS_FAILING, "its gsapi_revision failed\n"},
    {"/etc/passwd", "cannot be loaded: /etc/passwd: "},
    {"/tmp", "cannot be loaded: /tmp: "},
  };
  for (const auto &c : cases) {
    run_result r = run_with_dll(c.dll);
    EXPECT_EQ(r.out, not_found) << c.dll;
    EXPECT_EQ(r.err.rfind(tried + c.dll + ": " + c.why, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.status, 0) << c.dll;
  }
}

TEST(Ghostscript, ReportsTheLibraryNamedByGsDll)
{
  char *real = realpath(FAKE_GS_9561, nullptr);
  ASSERT_NE(real, nullptr);
  std::string path = real;
  free(real);
  for (const char *option : {"-g", "-ghost", "--ghostscript"}) {
    run_result r = run_with_dll(FAKE_GS_9561, option);
    // Without a help text of its own the library adds nothing to GS_LIB.
    EXPECT_EQ(r.out, "lsrcheck: Ghostscript version 9.56.1 has been found:\n"
                     "dll     : " + path + "\n"
                     "libpath : \n")
        << option;
    EXPECT_EQ(r.status, 0);
  }
}

// Return what COMMAND prints, or "" if it cannot be run.
std::string command_output(const char *command)
{
  std::string text;
  std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command, "r"), pclose);
  char buffer[256];
  while (pipe && fgets(buffer, sizeof buffer, pipe.get()))
    text += buffer;
  return text;
}

TEST(Ghostscript, ReportsTheInstalledGhostscriptLikeGsItself)
{
  std::string version = command_output("gs --version 2>/dev/null");
  if (version.empty())
    GTEST_SKIP() << "Ghostscript is not installed (Debian package ghostscript)";
  run_options opts;
  opts.unset.push_back("GS_DLL");
  opts.env.emplace_back("GS_LIB", "/first/dir:/second/dir");
  run_result r = run_lsrcheck({"-ghostscript"}, opts);
  EXPECT_EQ(r.status, 0);
  std::istringstream lines(r.out);
  std::string heading, dll, lib, extra;
  std::getline(lines, heading);
  std::getline(lines, dll);
  std::getline(lines, lib);
  EXPECT_FALSE(std::getline(lines, extra));
  EXPECT_EQ(heading, "lsrcheck: Ghostscript version " + version.substr(0, version.find('\n')) +
                         " has been found:");
  EXPECT_EQ(dll.find("dll     : /"), 0u) << dll;
  EXPECT_NE(dll.find("libgs.so"), std::string::npos) << dll;
  EXPECT_EQ(lib.find("libpath : /first/dir:/second/dir:/"), 0u) << lib;
  EXPECT_NE(lib.find("/Resource/Init"), std::string::npos) << lib;
  EXPECT_EQ(dll.find(':'), lib.find(':'));
}

TEST(GsLocate, VersionTextAndSearchPathParsing)
{
  EXPECT_EQ(gs_version_text(10000), "10.00.0");
  EXPECT_EQ(gs_version_text(9561), "9.56.1");
  EXPECT_EQ(gs_version_text(10051), "10.05.1");

  EXPECT_EQ(gs_search_path("Usage: gs\nSearch path:\n"
                           "   /a/Init :\n   /b lib : /c :\n   /d\n"
                           "Ghostscript is also using fontconfig\n  /not/this\n"),
            "/a/Init:/b lib:/c:/d");
  EXPECT_EQ(gs_search_path("no such section\n"), "");
  EXPECT_EQ(gs_search_path("Search path:\n"), "");
}

} // namespace
