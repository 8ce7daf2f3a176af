#include "shared/workers.h"

#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Return a thread running WORK, or an empty thread where the system
// cannot start one.
std::thread try_to_start(const std::function<void()> &work)
{
  try {
    return std::thread(work);
  } catch (const std::system_error &) {
    return std::thread();
  }
}

} // namespace

void run_workers(unsigned count, const std::function<void(unsigned)> &work)
{
  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < count; i++) {
    std::thread helper = try_to_start([&work, i]() { work(i); });
    if (!helper.joinable())
      break; // fewer threads, down to this one
    helpers.push_back(std::move(helper));
  }
  work(0);
  for (std::thread &helper : helpers)
    helper.join();
}

std::thread start_or_run(const std::function<void()> &work)
{
  std::thread thread = try_to_start(work);
  if (!thread.joinable())
    work();
  return thread;
}
