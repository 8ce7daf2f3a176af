// Kpathsea's own lookups for several programs.  Kpathsea serves one
// thread only, so a second process takes every other program where the
// system can start one (not Windows); its hits, and Kpathsea's complaints,
// come back through a pipe.

#include "lookups/lookups.h"

#include <string>
#include <utility>
#include <vector>

#include "lookups/readers.h"
#include "shared/files.h"
#include "kpathsea/complaints.h"
#include "kpathsea/lookup.h"
#include "platform/platform.h"

namespace {

// The engines of the usual formats, where fmtutil.cnf does not say.
const std::pair<const char *, const char *> usual_engines[] = {
  {"latex", "pdftex"},       {"pdflatex", "pdftex"},      {"lualatex", "luahbtex"},
  {"xelatex", "xetex"},      {"latex-dev", "pdftex"},     {"pdflatex-dev", "pdftex"},
  {"lualatex-dev", "luahbtex"}, {"xelatex-dev", "xetex"}, {"etex", "pdftex"},
  {"pdftex", "pdftex"},      {"tex", "tex"},              {"luatex", "luatex"},
  {"xetex", "xetex"},        {"pdfetex", "pdftex"},       {"amstex", "pdftex"},
  {"optex", "luatex"},       {"context", "luametatex"}};

// Return the engine that runs PROGRAM: from PAIRS (fmtutil.cnf), else the
// usual one, else the program itself.
std::string engine_of(const std::string &program,
                      const std::vector<std::pair<std::string, std::string>> &pairs)
{
  for (const auto &[format, engine] : pairs)
    if (format == program)
      return engine;
  for (const auto &[format, engine] : usual_engines)
    if (program == format)
      return engine;
  return program;
}

} // namespace

std::vector<lookup_program> lookup_programs(const std::vector<std::string> &programs)
{
  auto engines = format_engines();
  std::vector<lookup_program> out;
  for (const std::string &program : programs)
    out.push_back({program, engine_of(program, engines)});
  return out;
}

name_lookup name_lookup_of(const std::string &name, const std::vector<lookup_program> &programs,
                           int *format)
{
  name_lookup n{name, {}, {}};
  int own = lookup_format(name.c_str());
  for (const lookup_program &p : programs) {
    int format = program_format(p.name, p.engine, name, own), input = input_format(p.name, p.engine);
    n.formats.push_back(format);
    // A TeX engine inputs a file of any name (a package's \input{x.map}),
    // MetaPost too: where the format it reads the kind in finds nothing.
    n.fallbacks.push_back(format >= 0 && input >= 0 && input != format ? input : -1);
  }
  if (format != nullptr)
    *format = own;
  return n;
}

namespace {

// Return the hits of NAMES for program P of PROGRAMS; none where its
// format is -1 (it reads no such file).
program_hits hits_for(const std::vector<lookup_program> &programs, size_t p,
                      const std::vector<name_lookup> &names)
{
  lookup_as_program(programs[p].name.c_str(), programs[p].engine.c_str());
  program_hits hits;
  for (const name_lookup &n : names) {
    name_hits &found = hits.emplace_back();
    found.format = n.formats[p];
    if (found.format >= 0)
      found.paths = lookup_all(n.name.c_str(), found.format);
    if (found.paths.empty() && n.fallbacks[p] >= 0) {
      found.format = n.fallbacks[p];
      found.paths = lookup_all(n.name.c_str(), found.format);
      // Not found either way: the program's own format stands.
      if (found.paths.empty())
        found.format = n.formats[p];
    }
  }
  return hits;
}

} // namespace

std::vector<program_hits> look_up_names(const std::vector<lookup_program> &programs,
                                        const std::vector<name_lookup> &names,
                                        const std::function<void()> &meanwhile)
{
  size_t count = programs.size();
  std::vector<program_hits> hits(count);
  std::vector<bool> done(count, false);

  // A second process, where the system has one to spare, looks up every
  // other program.
  long child = -1;
  if (count > 1)
    child = platform::start_child([&]() {
      // Kpathsea's complaints come back with the hits, so that the parent
      // writes each once for both processes.
      hold_kpathsea_complaints();
      std::vector<program_hits> share;
      for (size_t p = 1; p < count; p += 2)
        share.push_back(hits_for(programs, p, names));
      std::vector<program_hits> complaints{program_hits{name_hits{-1, held_kpathsea_complaints()}}};
      return encoded_hits(complaints) + encoded_hits(share);
    });
  if (meanwhile)
    meanwhile();
  for (size_t p = 0; p < count; p += child >= 0 ? 2 : 1) {
    hits[p] = hits_for(programs, p, names);
    done[p] = true;
  }
  std::string text;
  std::vector<program_hits> complaints, share;
  size_t at = 0;
  if (child >= 0 && platform::finish_child(child, &text) &&
      decode_hits(text, at, 1, 1, complaints) &&
      decode_hits(text, at, count / 2, names.size(), share) && at == text.size()) {
    for (const std::string &complaint : complaints[0][0].paths)
      write_kpathsea_complaint(complaint);
    for (size_t p = 1, i = 0; p < count; p += 2, i++) {
      hits[p] = std::move(share[i]);
      done[p] = true;
    }
  }
  // Whatever the child could not deliver is looked up here.
  for (size_t p = 0; p < count; p++)
    if (!done[p])
      hits[p] = hits_for(programs, p, names);
  return hits;
}

std::vector<std::string> search_path_of(const lookup_program &program, int format)
{
  lookup_as_program(program.name.c_str(), program.engine.c_str());
  return platform::split_text(search_path(format), platform::path_list_separator);
}

input_finder input_through_kpathsea(const lookup_program &program)
{
  lookup_as_program(program.name.c_str(), program.engine.c_str());
  return [](const std::string &name, std::string *text) {
    std::string path = lookup_first(name.c_str(), lookup_format(name.c_str()));
    return !path.empty() && read_whole_file(path, *text);
  };
}
