#include "platform/getopt.h"

#include <cstdio>
#include <cstring>

namespace {

// Move the non-options argv[D->first_nonopt .. D->last_nonopt) after the
// options argv[D->last_nonopt .. D->optind), keeping each block's order.
void exchange(char **argv, gnu_getopt_state *d)
{
  int bottom = d->first_nonopt, middle = d->last_nonopt, top = d->optind;
  // Rotate [bottom, top) so that [middle, top) comes first.
  int options = top - middle;
  for (int k = 0; k < options; k++) {
    char *moved = argv[middle + k];
    for (int i = middle + k; i > bottom + k; i--)
      argv[i] = argv[i - 1];
    argv[bottom + k] = moved;
  }
  d->first_nonopt += top - d->last_nonopt;
  d->last_nonopt = top;
}

// Return true if ARG is no option: a word, or "-" alone.
bool nonoption_p(const char *arg)
{
  return arg[0] != '-' || arg[1] == '\0';
}

// Match the long option at D->nextchar against LONGOPTS; PREFIX is how it
// was written ("-" or "--").  Return its code, '?' after a complaint, or
// -1 if it is no long option but may be taken as a short one.
int long_option(int argc, char **argv, const char *shortopts, const struct option *longopts,
                int *index, const char *prefix, gnu_getopt_state *d)
{
  char *name = d->nextchar;
  char *name_end = name;
  while (*name_end != '\0' && *name_end != '=')
    name_end++;
  size_t length = name_end - name;

  const struct option *found = nullptr;
  int found_index = -1, count = 0;
  for (const struct option *p = longopts; p->name != nullptr; p++, count++)
    if (strncmp(p->name, name, length) == 0 && strlen(p->name) == length) {
      found = p;
      found_index = count;
      break;
    }
  if (found == nullptr) {
    // Only one unambiguous abbreviation will do: as a long-only parser,
    // two rows sharing the prefix are ambiguous even when they mean the same.
    bool ambiguous = false;
    int i = 0;
    for (const struct option *p = longopts; p->name != nullptr; p++, i++)
      if (strncmp(p->name, name, length) == 0) {
        if (found == nullptr) {
          found = p;
          found_index = i;
        } else {
          ambiguous = true;
        }
      }
    if (ambiguous) {
      if (d->opterr) {
        fprintf(stderr, "%s: option '%s%s' is ambiguous; possibilities:", argv[0], prefix, name);
        i = 0;
        for (const struct option *p = longopts; p->name != nullptr; p++, i++)
          if (strncmp(p->name, name, length) == 0)
            fprintf(stderr, " '%s%s'", prefix, p->name);
        fputc('\n', stderr);
      }
      d->nextchar = nullptr;
      d->optind++;
      d->optopt = 0;
      return '?';
    }
  }
  if (found == nullptr) {
    if (argv[d->optind][1] == '-' || strchr(shortopts, *d->nextchar) == nullptr) {
      if (d->opterr)
        fprintf(stderr, "%s: unrecognized option '%s%s'\n", argv[0], prefix, name);
      d->nextchar = nullptr;
      d->optind++;
      d->optopt = 0;
      return '?';
    }
    return -1;
  }

  d->optind++;
  d->nextchar = nullptr;
  if (*name_end != '\0') {
    if (found->has_arg != no_argument) {
      d->optarg = name_end + 1;
    } else {
      if (d->opterr)
        fprintf(stderr, "%s: option '%s%s' doesn't allow an argument\n", argv[0], prefix,
                found->name);
      d->optopt = found->val;
      return '?';
    }
  } else if (found->has_arg == required_argument) {
    if (d->optind < argc) {
      d->optarg = argv[d->optind++];
    } else {
      if (d->opterr)
        fprintf(stderr, "%s: option '%s%s' requires an argument\n", argv[0], prefix,
                found->name);
      d->optopt = found->val;
      return shortopts[0] == ':' ? ':' : '?';
    }
  }
  if (index != nullptr)
    *index = found_index;
  if (found->flag != nullptr) {
    *found->flag = found->val;
    return 0;
  }
  return found->val;
}

} // namespace

int gnu_getopt_long_only(int argc, char **argv, const char *shortopts,
                         const struct option *longopts, int *index, gnu_getopt_state *d)
{
  if (argc < 1)
    return -1;
  d->optarg = nullptr;
  if (d->optind == 0 || !d->initialized) {
    if (d->optind == 0)
      d->optind = 1;
    d->first_nonopt = d->last_nonopt = d->optind;
    d->nextchar = nullptr;
    d->initialized = true;
  }

  if (d->nextchar == nullptr || *d->nextchar == '\0') {
    // Words are moved behind the options, so that all options are seen.
    if (d->last_nonopt > d->optind)
      d->last_nonopt = d->optind;
    if (d->first_nonopt > d->optind)
      d->first_nonopt = d->optind;
    if (d->first_nonopt != d->last_nonopt && d->last_nonopt != d->optind)
      exchange(argv, d);
    else if (d->last_nonopt != d->optind)
      d->first_nonopt = d->optind;
    while (d->optind < argc && nonoption_p(argv[d->optind]))
      d->optind++;
    d->last_nonopt = d->optind;

    if (d->optind != argc && strcmp(argv[d->optind], "--") == 0) {
      d->optind++;
      if (d->first_nonopt != d->last_nonopt && d->last_nonopt != d->optind)
        exchange(argv, d);
      else if (d->first_nonopt == d->last_nonopt)
        d->first_nonopt = d->optind;
      d->last_nonopt = argc;
      d->optind = argc;
    }
    if (d->optind == argc) {
      if (d->first_nonopt != d->last_nonopt)
        d->optind = d->first_nonopt;
      return -1;
    }

    if (longopts != nullptr) {
      if (argv[d->optind][1] == '-') {
        d->nextchar = argv[d->optind] + 2;
        return long_option(argc, argv, shortopts, longopts, index, "--", d);
      }
      // A single letter that is a short option is one; anything else is
      // tried as a long option first.
      const char *arg = argv[d->optind];
      if (arg[2] != '\0' || strchr(shortopts, arg[1]) == nullptr) {
        d->nextchar = argv[d->optind] + 1;
        int code = long_option(argc, argv, shortopts, longopts, index, "-", d);
        if (code != -1)
          return code;
      }
    }
    d->nextchar = argv[d->optind] + 1;
  }

  char c = *d->nextchar++;
  const char *letter = strchr(shortopts, c);
  if (*d->nextchar == '\0')
    d->optind++;
  if (letter == nullptr || c == ':' || c == ';') {
    if (d->opterr)
      fprintf(stderr, "%s: invalid option -- '%c'\n", argv[0], c);
    d->optopt = c;
    return '?';
  }
  if (letter[1] == ':') {
    if (*d->nextchar != '\0') {
      d->optarg = d->nextchar;
      d->optind++;
    } else if (d->optind == argc) {
      if (d->opterr)
        fprintf(stderr, "%s: option requires an argument -- '%c'\n", argv[0], c);
      d->optopt = c;
      c = shortopts[0] == ':' ? ':' : '?';
    } else {
      d->optarg = argv[d->optind++];
    }
    d->nextchar = nullptr;
  }
  return c;
}
