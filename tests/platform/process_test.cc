// Programs started ahead of their input (the LaTeX a report will likely
// ask): the input reaches them whole, one that has ended takes none
// without ending the tool by SIGPIPE, the time limit runs from the moment
// the input is given, and one never asked is ended and reaped.

#include <gtest/gtest.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace {

TEST(ProgramsStartedAhead, TakeTheirInputLateOrAreEnded)
{
  struct {
    const char *what;
    std::vector<std::string> args;
    bool ended_first;     // wait until it has ended before giving it input
    bool never_asked;     // ended unasked
    int delay_ms;         // how long it waits for its input
    unsigned seconds;
    bool given, ran;
    const char *output, *why;
  } cases[] = {
    {"waits, then takes its input whole", {"/bin/cat"}, false, false, 0, 10, true, true,
     "question\n", ""},
    {"ended before its input", {"/bin/true"}, true, false, 0, 10, false, true, "", ""},
    {"the limit runs from the input", {"/bin/cat"}, false, false, 1500, 1, true, true,
     "question\n", ""},
    {"ended at the limit", {"/bin/sh", "-c", "read x; sleep 30"}, false, false, 0, 1, true,
     false, "", "did not end within 1 seconds"},
    {"never asked", {"/bin/sleep", "30"}, false, true, 0, 0, false, false, "", ""},
  };
  // SIGPIPE as most parents leave it: it would end this process.
  auto before = signal(SIGPIPE, SIG_DFL);
  for (const auto &c : cases) {
    platform::running_program run;
    std::string why;
    ASSERT_TRUE(platform::start_program(c.args[0], c.args, {}, "", 1 << 20, true, &run, &why))
        << c.what << why;
    long id = run.id;
    auto begun = std::chrono::steady_clock::now();
    if (c.never_asked) {
      platform::end_program(run);
      // Reaped: no child of that number is left.
      EXPECT_EQ(waitpid(static_cast<pid_t>(id), nullptr, WNOHANG), -1) << c.what;
      EXPECT_EQ(errno, ECHILD) << c.what;
      EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(5)) << c.what;
      continue;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(c.delay_ms));
    for (int i = 0; c.ended_first && platform::running_p(run) && i < 500; i++)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(platform::running_p(run), !c.ended_first) << c.what;
    EXPECT_EQ(platform::give_input(run, "question\n"), c.given) << c.what;
    std::string output;
    why.clear();
    EXPECT_EQ(platform::finish_program(run, c.seconds, 1 << 20, &output, &why), c.ran) << c.what;
    EXPECT_EQ(output, c.output) << c.what;
    EXPECT_EQ(why, c.why) << c.what;
  }
  signal(SIGPIPE, before);
}

} // namespace
