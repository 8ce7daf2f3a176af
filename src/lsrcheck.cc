// lsrcheck: check how Kpathsea's ls-R databases are set up.
//
// Entry, options, usage and dispatch: exactly one mode runs per call.

#include "lsrcheck.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <unistd.h>
#include <utility>

#include "databases/databases.h"
#include "document/document.h"
#include "formats/formats.h"
#include "installations/installations.h"
#include "duplicates/duplicates.h"
#include "explain/explain.h"
#include "explain/kinds.h"
#include "shared/output.h"
#include "shared/paths.h"
#include "shared/installation.h"
#include "kpathsea/load.h"
#include "kpathsea/variables.h"
#include "kpathsea/binding.h"
#include "platform/platform.h"
#include "reports/reports.h"

option_state options;

namespace {

// The error of the first failed write to standard output that a mode saw,
// kept before later calls overwrite errno.
int output_error;

// Codes of the long options that have no letter.
enum {
  opt_texmfroot = 256, opt_explain, opt_progname, opt_json, opt_fail_on, opt_databases,
  opt_verbose, opt_accept, opt_document, opt_formats, opt_installations
};

const char short_options[] = "d:mx:i:f:shv";
const struct option option_table[] = {
  {"debug",                required_argument, nullptr, 'd'},
  {"exclude",              required_argument, nullptr, 'x'},
  {"include",              required_argument, nullptr, 'i'},
  {"file",                 required_argument, nullptr, 'f'},
  {"multiple-occurences",  no_argument,       nullptr, 'm'},
  {"multiple-occurrences", no_argument,       nullptr, 'm'},
  {"shared-memory",        no_argument,       nullptr, 's'},
  {"ghostscript",          no_argument,       nullptr, 'g'},
  {"help",                 no_argument,       nullptr, 'h'},
  {"version",              no_argument,       nullptr, 'v'},
  {"texmfroot",            required_argument, nullptr, opt_texmfroot},
  {"explain",              no_argument,       nullptr, opt_explain},
  {"progname",             required_argument, nullptr, opt_progname},
  {"json",                 no_argument,       nullptr, opt_json},
  {"fail-on",              required_argument, nullptr, opt_fail_on},
  {"databases",            no_argument,       nullptr, opt_databases},
  {"verbose",              no_argument,       nullptr, opt_verbose},
  {"accept",               required_argument, nullptr, opt_accept},
  {"document",             required_argument, nullptr, opt_document},
  {"formats",              no_argument,       nullptr, opt_formats},
  {"installations",        no_argument,       nullptr, opt_installations},
  // Abbreviations that named an option before a newer one shared their
  // prefix (-explain, -verbose) still do.
  {"e",                    required_argument, nullptr, 'x'},
  {"ex",                   required_argument, nullptr, 'x'},
  {"i",                    required_argument, nullptr, 'i'},
  {"in",                   required_argument, nullptr, 'i'},
  {"ve",                   no_argument,       nullptr, 'v'},
  {"ver",                  no_argument,       nullptr, 'v'},
};

// Return the long options: the table, then, for two spellings of one
// option, a row for each prefix they share.  getopt_long_only calls a
// prefix of two rows ambiguous even when both rows mean the same; an exact
// row wins over both.
std::vector<struct option> long_options()
{
  std::vector<struct option> rows(std::begin(option_table), std::end(option_table));
  static std::vector<std::string> shared;
  if (shared.empty()) {
    const std::string a = "multiple-occurences", b = "multiple-occurrences";
    size_t common = 0;
    while (a[common] == b[common])
      common++;
    for (size_t n = 2; n <= common; n++)
      shared.push_back(a.substr(0, n));
  }
  for (const std::string &prefix : shared)
    rows.push_back({prefix.c_str(), no_argument, nullptr, 'm'});
  rows.push_back({nullptr, 0, nullptr, 0});
  return rows;
}

const char help_block[] =
  "  Kpathsea checking about ls-R files.\n"
  "\n"
  "-debug=NUM             set debugging flags.\n"
  "\n"
  "-multiple-occurences   check for multiple occurences of the same file.\n"
  "-exclude=<pattern>     exclude any filename that matches the argument.\n"
  "-include=<pattern>     include only filenames that match the argument.\n"
  "-file=<pattern>        look for multiple occurences of the pattern.\n"
  "\n"
  "-shared-memory         report about shared memory usage.\n"
  "\n"
  "-ghostscript           report about the gs version installed.\n"
  "\n"
  "-help                  print this message and exit.\n"
  "-version               print version number and exit.\n"
  "\n"
  "-texmfroot=DIR         check the TeX Live installation rooted at DIR.\n"
  "-explain               explain each group: which copy each program loads,\n"
  "                       whether the copies differ, what each one is.\n"
  "-progname=NAME         with -explain, look up as program NAME (repeatable;\n"
  "                       default latex, pdflatex, lualatex, xelatex).\n"
  "-json                  print the explained, the document's, the formats', the\n"
  "                       installations' or the health report as JSON.\n"
  "-fail-on=KIND[,KIND]   with -explain, exit with status 3 when a group shows\n"
  "                       a finding of KIND: differ, older, stale, any (of those\n"
  "                       three), unreachable, distribution; with -document,\n"
  "                       when a file shows one: differ, older, rerun, foreign,\n"
  "                       any (of those four), kept, outside.\n"
  "-accept=FILE           with -explain or -document, accept the findings that\n"
  "                       the report FILE (of the same mode, -json) holds for\n"
  "                       the same contents.\n"
  "-databases             check every ls-R against its tree and the configuration;\n"
  "                       exit with status 4 when a problem is found.\n"
  "-formats               check the formats each engine loads: per-user, stale,\n"
  "                       missing or failing; exit with status 4 on a problem.\n"
  "-installations         report the TeX installations on PATH and which one each\n"
  "                       program comes from; exit with status 4 on a mix.\n"
  "-document=FILE         check what one run of TeX read, and from where: FILE is\n"
  "                       the run's .fls (of -recorder), or its .tex or .log.\n"
  "-verbose               with -databases, list every entry of long lists;\n"
  "                       with -explain, list every group in full;\n"
  "                       with -document, list every file; with -formats,\n"
  "                       every format.\n"
  "                       Modes: -shared-memory, then -ghostscript, then\n"
  "                       -databases, then -formats, then -installations, then\n"
  "                       -document, then -explain, then -multiple-occurences.\n"
  "-multiple-occurrences  the same as -multiple-occurences.\n"
  "Short forms: -d NUM, -m, -x PATTERN, -i PATTERN, -f PATTERN, -s, -g, -h, -v.\n";

const char notice[] =
  "lsrcheck " LSRCHECK_VERSION
  ", Copyright (C) 2026 the lsrcheck authors; GNU GPL version 2 or later.\n"
  "This is free software: you are free to change and redistribute it.\n"
  "There is NO WARRANTY, to the extent permitted by law.\n";

// Write the version text to standard output.
void version()
{
  printf("%s\n", path_search_version());
  fputs(notice, stdout);
}

// At exit: make sure everything written to standard output reached it.  A
// run whose output was lost must not end in status 0.
void check_stdout()
{
  bool failed = ferror(stdout) != 0;
  errno = 0;
  if (fclose(stdout) != 0)
    failed = true;
  if (!failed)
    return;
  int error = errno != 0 ? errno : output_error != 0 ? output_error : EIO;
  // A reader that went away (| head) ends the run quietly.
  if (error != EPIPE)
    fprintf(stderr, "%s: write error: %s\n", options.program_name, strerror(error));
  _exit(EXIT_FAILURE);
}

// Set up Kpathsea for the installation to check: the TeX Live installation
// whose program is TEXLIVE_PROGRAM (-texmfroot), else the one this
// platform checks by default.  Without -texmfroot, say once on standard
// error when the TeX on PATH is another and, where NOTE_MIX, when PATH
// mixes installations.  Return false, with a complaint, if there is no
// installation to check.
bool set_up(const std::string &texlive_program, bool note_mix = true)
{
  if (!texlive_program.empty()) {
    set_up_path_search(options.program_name, texlive_program.c_str());
    return true;
  }
  std::string program, why;
  if (!default_installation(options.program_name, &program, &why)) {
    fprintf(stderr, "%s: %s\n", options.program_name, why.c_str());
    return false;
  }
  set_up_path_search(options.program_name, program.empty() ? nullptr : program.c_str());
  // Kpathsea's root is asked only where a TeX is on PATH: asking expands
  // variables, which loads the databases.
  std::string on_path = path_texlive_root();
  std::string checked = on_path.empty() ? "" : texmf_root();
  if (!on_path.empty() && platform::real_path(on_path) != checked)
    fprintf(stderr, "%s: note: the TeX on your PATH is %s; this report is for %s; "
                    "use -texmfroot=%s\n", options.program_name, on_path.c_str(), checked.c_str(),
            on_path.c_str());
  std::string mix = note_mix ? path_mix_note() : "";
  if (!mix.empty())
    fprintf(stderr, "%s: note: %s\n", options.program_name, mix.c_str());
  return true;
}

// Return the patterns of the command line that the duplicate check keeps
// files by.
check_filter filter_of_options()
{
  check_filter filter;
  filter.exclude = options.exclude_patterns;
  filter.include = options.include_patterns;
  filter.names = options.file_patterns;
  return filter;
}

// Return the directory of the programs of the installation checked: that of
// TEXLIVE (see set_up), of the installation this program sits in, or, for
// the system's TeX, of the kpsewhich on PATH.
std::string installation_bin(const std::string &texlive)
{
  std::string program = texlive, why;
  if (program.empty() && default_installation(options.program_name, &program, &why) &&
      program.empty())
    program = path_kpsewhich();
  return std::string(directory_of(program));
}

// Return what -explain is asked: the programs of -progname, or the four
// LaTeX engines; every group in full with -verbose or -file; the LaTeX
// programs of the installation of TEXLIVE (see set_up) for the dates.
explain_request explain_request_of_options(const std::string &texlive)
{
  explain_request request;
  request.bin = installation_bin(texlive);
  request.programs.assign(options.programs.begin(), options.programs.end());
  if (request.programs.empty())
    request.programs = {"latex", "pdflatex", "lualatex", "xelatex"};
  request.json = options.json;
  request.list_all = options.verbose || !options.file_patterns.empty();
  request.fail_on = options.fail_on;
  request.accepted = options.accept != nullptr ? options.accept : "";
  return request;
}

// Return what -formats is asked: every format with -verbose, JSON with
// -json, of the installation of TEXLIVE (see set_up).
formats_request formats_request_of_options(const std::string &texlive)
{
  formats_request request;
  request.bin = installation_bin(texlive);
  request.json = options.json;
  request.list_all = options.verbose;
  return request;
}

// Return what -document is asked: the record of -document, read for the
// installation of TEXLIVE (see set_up).
document_request document_request_of_options(const std::string &texlive)
{
  document_request request;
  request.file = options.document;
  request.bin = installation_bin(texlive);
  request.json = options.json;
  request.list_all = options.verbose;
  request.fail_on = options.fail_on;
  request.accepted = options.accept != nullptr ? options.accept : "";
  return request;
}

// Run MODE on the installation of TEXLIVE (see set_up); return the exit
// status.
int run_mode_of(run_mode mode, const std::string &texlive)
{
  switch (mode) {
  case mode_shared_memory: return run_shared_memory();
  case mode_ghostscript: return run_ghostscript(options.program_name);
  case mode_databases:
    return set_up(texlive) ? run_databases(options.json, options.verbose, options.program_name,
                                           installation_bin(texlive))
                          : EXIT_FAILURE;
  case mode_installations:
    return set_up(texlive, false) ? run_installations(options.json, options.program_name)
                                  : EXIT_FAILURE;
  case mode_formats:
    if (!set_up(texlive))
      return EXIT_FAILURE;
    return run_formats(formats_request_of_options(texlive));
  case mode_document:
    if (!set_up(texlive))
      return EXIT_FAILURE;
    return run_document(document_request_of_options(texlive), options.program_name);
  case mode_explain:
    // The report starts LaTeX, where a local copy may need it, while the
    // databases load.
    defer_database_load();
    if (!set_up(texlive))
      return EXIT_FAILURE;
    return run_explain(filter_of_options(), explain_request_of_options(texlive),
                       options.program_name);
  case mode_multiple_occurences:
    if (!set_up(texlive))
      return EXIT_FAILURE;
    return run_multiple_occurences(filter_of_options(), options.program_name);
  case mode_usage: usage(); break;
  }
  return EXIT_SUCCESS;
}

} // namespace

void add_exclude_pattern(const char *pattern)
{
  options.exclude_patterns.push_back(pattern);
}

void add_include_pattern(const char *pattern)
{
  options.include_patterns.push_back(pattern);
}

void usage()
{
  printf("Usage: %s [OPTION]... [FILENAME]...\n", options.program_name);
  fputs(help_block, stdout);
  putchar('\n');
  fputs(path_search_bug_address(), stdout);
}

void parse_options(int argc, char **argv)
{
  optind = 0; // full re-initialisation, so that a second parse starts afresh
  int code, index;
  // Made once: a parse that ends the run (a bad option) leaves nothing behind.
  static const std::vector<struct option> rows = long_options();
  while ((code = getopt_long_only(argc, argv, short_options, rows.data(), &index)) != -1) {
    switch (code) {
    case 'd': add_debug_flags(static_cast<unsigned>(atoi(optarg))); break;
    case 'x': add_exclude_pattern(optarg); break;
    case 'i': add_include_pattern(optarg); break;
    case 'f':
      options.file_pattern = optarg;
      options.file_patterns.push_back(optarg);
      break;
    case 'm': options.multiple_occurences = true; break;
    case 's': options.shared_memory = true; break;
    case 'g': options.ghostscript = true; break;
    case 'h': usage(); exit(EXIT_SUCCESS);
    case 'v': version(); exit(EXIT_SUCCESS);
    case opt_texmfroot: options.texmfroot = optarg; break;
    case opt_explain: options.explain = true; break;
    case opt_progname: options.programs.push_back(optarg); break;
    case opt_json: options.json = true; break;
    case opt_databases: options.databases = true; break;
    case opt_verbose: options.verbose = true; break;
    case opt_accept: options.accept = optarg; break;
    case opt_fail_on: options.fail_on_lists.push_back(optarg); break;
    case opt_document: options.document = optarg; break;
    case opt_formats: options.formats = true; break;
    case opt_installations: options.installations = true; break;
    default: exit(EXIT_FAILURE); // getopt has already complained
    }
  }
  // Options that only the explained report reads ask for it, unless another
  // mode was named; -file asks for the duplicate check.
  bool other_mode =
      options.databases || options.shared_memory || options.ghostscript || options.document ||
      options.formats || options.installations;
  if ((options.json || !options.fail_on_lists.empty() || !options.programs.empty() ||
       options.accept != nullptr) &&
      !other_mode)
    options.explain = true;
  if (!options.file_patterns.empty())
    options.multiple_occurences = true;
  if (options.multiple_occurences || options.explain) {
    for (int i = optind; i < argc; i++)
      add_include_pattern(argv[i]);
  } else if (optind < argc - 1) {
    fprintf(stderr, "%s: warning, extra arguments.\n", options.program_name);
  }
}

run_mode mode_of_options()
{
  if (options.shared_memory)
    return mode_shared_memory;
  if (options.ghostscript)
    return mode_ghostscript;
  if (options.databases)
    return mode_databases;
  if (options.formats)
    return mode_formats;
  if (options.installations)
    return mode_installations;
  if (options.document != nullptr)
    return mode_document;
  if (options.explain)
    return mode_explain;
  if (options.multiple_occurences)
    return mode_multiple_occurences;
  return mode_usage;
}

void warn_about_unused_options(run_mode mode)
{
  static const char *const mode_names[] = {"-shared-memory", "-ghostscript", "-databases",
                                           "-formats", "-installations", "-document", "-explain",
                                           "-multiple-occurences", ""};
  const char *running = mode_names[mode];
  // Newer modes that the order of modes leaves out.
  for (auto [given, dropped] : {std::pair<bool, run_mode>{options.databases, mode_databases},
                                {options.formats, mode_formats},
                                {options.installations, mode_installations},
                                {options.document != nullptr, mode_document},
                                {options.explain, mode_explain}})
    if (given && mode < dropped)
      fprintf(stderr, "%s: warning, %s is not run: %s comes first.\n", options.program_name,
              mode_names[dropped], running);
  // Newer options that the mode that runs does not read.  The older ones
  // (-exclude, -include, -file) stay silent beside the older modes.
  const unsigned databases = 1u << mode_databases, explain = 1u << mode_explain,
                 document = 1u << mode_document, formats = 1u << mode_formats,
                 installations = 1u << mode_installations;
  // The older options are silent beside the older modes, not the newer.
  const bool newer = mode == mode_databases || mode == mode_document || mode == mode_formats ||
                     mode == mode_installations;
  struct { const char *name; bool given; unsigned modes; } rows[] = {
    {"-verbose",  options.verbose,                  databases | explain | document | formats},
    {"-json",     options.json,                     databases | explain | document | formats | installations},
    {"-fail-on",  !options.fail_on_lists.empty(),   explain | document},
    {"-progname", !options.programs.empty(),        explain},
    {"-accept",   options.accept != nullptr,        explain | document},
    {"-exclude",  !options.exclude_patterns.empty() && newer,  0},
    {"-include",  !options.include_patterns.empty() && newer,  0},
    {"-file",     !options.file_patterns.empty() && newer,     0},
  };
  for (const auto &row : rows)
    if (row.given && (row.modes & (1u << mode)) == 0)
      fprintf(stderr, "%s: warning, %s has no effect %s%s.\n", options.program_name, row.name,
              mode == mode_usage ? "without a mode" : "with ", running);
}

bool read_fail_on(run_mode mode)
{
  for (const char *list : options.fail_on_lists) {
    std::string bad;
    if (mode == mode_document ? parse_document_kinds(list, &options.fail_on, &bad)
                              : parse_finding_kinds(list, &options.fail_on, &bad))
      continue;
    fprintf(stderr, "%s: -fail-on: unknown kind '%s' (%s)\n", options.program_name, bad.c_str(),
            mode == mode_document ? "differ, older, rerun, foreign, any, kept, outside"
                                  : "differ, older, stale, any, unreachable, distribution");
    return false;
  }
  return true;
}

void note_whole_path_patterns(run_mode mode)
{
  if (mode != mode_multiple_occurences && mode != mode_explain)
    return;
  // Patterns see whole paths, which always hold a '/': a pattern with
  // neither a '/' nor a wildcard can match none of them.  ("" is the
  // empty pattern, which asks for nothing.)
  std::vector<const char *> literal;
  for (const char *pattern : options.include_patterns)
    if (*pattern != '\0' && strpbrk(pattern, "/*?[") == nullptr)
      literal.push_back(pattern);
  const size_t shown = 3;
  for (size_t i = 0; i < literal.size() && i < shown; i++)
    fprintf(stderr, "%s: note: the pattern %s is matched against whole paths and matches "
                    "none; %s or -file=%s match the file name.\n",
            options.program_name, platform::argument_word(literal[i]).c_str(),
            platform::argument_word(std::string("*/") + literal[i]).c_str(),
            platform::argument_word(literal[i]).c_str());
  if (literal.size() > shown)
    fprintf(stderr, "%s: note: %zu more patterns like these match no path.\n",
            options.program_name, literal.size() - shown);
}

int lsrcheck_main(int argc, char **argv)
{
  // An empty argument vector (execve with no argv[0]) still gets a name.
  options.program_name = argc > 0 && argv[0] ? argv[0] : "lsrcheck";
  atexit(check_stdout);
  parse_options(argc, argv);
  run_mode mode = mode_of_options();
  if (!read_fail_on(mode))
    return EXIT_FAILURE;
  warn_about_unused_options(mode);
  note_whole_path_patterns(mode);

  // A -texmfroot that names no installation is refused before any mode.
  std::string texlive;
  if (options.texmfroot != nullptr) {
    std::string why;
    texlive = texlive_program(options.texmfroot, &why);
    if (texlive.empty()) {
      fprintf(stderr, "%s: -texmfroot=%s: %s\n", options.program_name, options.texmfroot,
              why.c_str());
      return EXIT_FAILURE;
    }
  }

  int status = EXIT_FAILURE;
  try {
    status = run_mode_of(mode, texlive);
  } catch (const std::bad_alloc &) {
    fprintf(stderr, "%s: out of memory\n", options.program_name);
    return EXIT_FAILURE;
  }
  if (ferror(stdout))
    output_error = errno;
  return status;
}
