// Work spread over threads: as many as asked for, fewer where the system
// cannot start one.
#ifndef LSRCHECK_WORKERS_H
#define LSRCHECK_WORKERS_H

#include <functional>

// Run WORK(i) for workers i = 0 .. COUNT-1: worker 0 on this thread, each
// other on a thread of its own as long as threads can be started (those
// that cannot be are left out: the started ones share the work); return
// once every worker has returned.
void run_workers(unsigned count, const std::function<void(unsigned)> &work);

#endif
