// The two installation reports: Kpathsea's shared-memory object and the
// installed Ghostscript.
#ifndef LSRCHECK_REPORTS_H
#define LSRCHECK_REPORTS_H

// Run the shared-memory report; return the exit status, 0.
int run_shared_memory();

// Run the Ghostscript report, its lines starting with PROGRAM_NAME; return
// the exit status, 0.
int run_ghostscript(const char *program_name);

// The texts (print.cc).  Say on standard output whether Kpathsea's
// shared-memory object exists.
void report_shared_memory();

// Say on standard output which Ghostscript installation is known, if any,
// in lines that start with PROGRAM_NAME; when none is, say on standard
// error what was tried.
void report_ghostscript(const char *program_name);

#endif
