// Work spread over threads: as many as asked for, fewer where the system
// cannot start one.
#ifndef LSRCHECK_WORKERS_H
#define LSRCHECK_WORKERS_H

#include <functional>
#include <thread>

// Run WORK(i) for workers i = 0 .. COUNT-1: worker 0 on this thread, each
// other on a thread of its own as long as threads can be started (those
// that cannot be are left out: the started ones share the work); return
// once every worker has returned.
void run_workers(unsigned count, const std::function<void(unsigned)> &work);

// Start WORK on a thread of its own and return the thread; where no
// thread can be started, run WORK here and return an empty thread.
std::thread start_or_run(const std::function<void()> &work);

// A thread joined when it goes out of scope, on every way out.
struct joined_thread {
  std::thread thread;
  ~joined_thread()
  {
    if (thread.joinable())
      thread.join();
  }
};

#endif
