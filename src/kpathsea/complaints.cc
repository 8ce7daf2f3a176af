#include "kpathsea/complaints.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// Kpathsea's complaints this run: those written, and whether they are held
// (with those held).  Kept here because they come through perror, which
// takes no context; only Kpathsea's one thread calls it.
std::set<std::string> complaints_written;
bool complaints_held;
std::vector<std::string> complaints_kept;

} // namespace

void write_kpathsea_complaint(const std::string &message)
{
  if (!complaints_written.insert(message).second)
    return;
  if (complaints_held)
    complaints_kept.push_back(message);
  else
    fprintf(stderr, "%s\n", message.c_str());
}

void kpathsea_complaint(const char *s, int error)
{
  std::string message = s != nullptr && *s != '\0' ? std::string(s) + ": " : std::string();
  write_kpathsea_complaint(message + strerror(error));
  errno = error;
}

void hold_kpathsea_complaints()
{
  complaints_held = true;
}

std::vector<std::string> held_kpathsea_complaints()
{
  return complaints_kept;
}
