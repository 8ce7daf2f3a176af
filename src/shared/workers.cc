#include "shared/workers.h"

#include <system_error>
#include <thread>
#include <vector>

void run_workers(unsigned count, const std::function<void(unsigned)> &work)
{
  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < count; i++) {
    try {
      helpers.emplace_back(work, i);
    } catch (const std::system_error &) {
      break; // fewer threads, down to this one
    }
  }
  work(0);
  for (std::thread &helper : helpers)
    helper.join();
}
