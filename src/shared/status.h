// The tool's exit statuses besides 0 and 1, which the modes return.
#ifndef LSRCHECK_STATUS_H
#define LSRCHECK_STATUS_H

enum {
  status_findings = 3, // -fail-on: a group of a named kind was found
  status_problems = 4  // -databases: a problem was found
};

#endif
