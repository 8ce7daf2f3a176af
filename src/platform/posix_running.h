// What posix.cc and posix_process.cc share inside the platform layer: the
// programs running now, so that a signal that ends the run ends them too
// before the lookups' directory is removed.
#ifndef LSRCHECK_PLATFORM_POSIX_RUNNING_H
#define LSRCHECK_PLATFORM_POSIX_RUNNING_H

#include <sys/types.h>

namespace platform {

// Note that the program PID (the leader of a process group of its own)
// runs, or with RUNNING false that it has ended.
void note_running(pid_t pid, bool running);

// End every program noted as running, with its group, and wait until
// each has ended.  A signal handler may call it.
void end_running_programs();

} // namespace platform

#endif
