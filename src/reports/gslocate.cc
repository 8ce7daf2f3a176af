#include "reports/gslocate.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "kpathsea/binding.h"
#include "shared/installation.h"
#include "platform/platform.h"

extern "C" {
#include <ghostscript/iapi.h>
}

const char *gs_revision = "";
const char *gs_dll = "";
const char *gs_lib = "";

namespace {

std::string revision_text, dll_text, lib_text;

// Return the revision number of the Ghostscript in LIBRARY, or -1 if it is
// not Ghostscript or the call fails, with the reason in *WHY.
long library_revision(void *library, std::string *why)
{
  auto revision = reinterpret_cast<PFN_gsapi_revision>(
      platform::library_symbol(library, "gsapi_revision"));
  gsapi_revision_t r{};
  if (revision == nullptr) {
    *why = "not Ghostscript (it has no gsapi_revision)";
    return -1;
  }
  if (revision(&r, sizeof r) != 0) {
    *why = "its gsapi_revision failed";
    return -1;
  }
  return r.revision;
}

// Return the Ghostscript libraries to try when GS_DLL names none: the
// system's, then the one TeX Live for Windows carries for its own tools.
std::vector<platform::library_candidate> candidate_libraries()
{
  std::vector<platform::library_candidate> found = platform::ghostscript_libraries();
  std::string program, why;
  if (default_installation("", &program, &why)) {
    std::string root = texlive_root_of(program);
    if (!root.empty())
      for (const char *dll : {"gsdll64.dll", "gsdll32.dll"})
        if (platform::regular_file_p(root + "/tlpkg/tlgs/bin/" + dll))
          found.push_back({root + "/tlpkg/tlgs/bin/" + dll,
                           root + "/tlpkg/tlgs/lib;" + root + "/tlpkg/tlgs/fonts",
                           "TeX Live's own Ghostscript"});
  }
  return found;
}

// Return how CANDIDATE is named in a refusal: GS_DLL=PATH when GS_DLL
// named it, else the library with where it was learnt.
std::string candidate_text(const platform::library_candidate &candidate, bool named)
{
  if (named)
    return "GS_DLL=" + candidate.dll;
  if (candidate.origin.empty())
    return candidate.dll;
  return candidate.dll + " (" + candidate.origin + ")";
}

// Ghostscript output callback: append LEN bytes of TEXT to the string
// behind HANDLE.
int collect_output(void *handle, const char *text, int len)
{
  static_cast<std::string *>(handle)->append(text, len);
  return len;
}

// Ghostscript output callback that drops its text.
int drop_output(void *, const char *, int len)
{
  return len;
}

// Return the help text ("gs -h") of the Ghostscript in LIBRARY, run with
// GS_LIB unset so that only its built-in search path shows; "" if it
// cannot be had.
std::string library_help(void *library)
{
  auto new_instance = reinterpret_cast<PFN_gsapi_new_instance>(
      platform::library_symbol(library, "gsapi_new_instance"));
  auto set_stdio = reinterpret_cast<PFN_gsapi_set_stdio>(
      platform::library_symbol(library, "gsapi_set_stdio"));
  auto init_with_args = reinterpret_cast<PFN_gsapi_init_with_args>(
      platform::library_symbol(library, "gsapi_init_with_args"));
  auto exit_instance = reinterpret_cast<PFN_gsapi_exit>(
      platform::library_symbol(library, "gsapi_exit"));
  auto delete_instance = reinterpret_cast<PFN_gsapi_delete_instance>(
      platform::library_symbol(library, "gsapi_delete_instance"));
  if (!new_instance || !set_stdio || !init_with_args || !exit_instance ||
      !delete_instance)
    return "";

  std::string help;
  void *instance = nullptr;
  if (new_instance(&instance, &help) < 0 || instance == nullptr)
    return "";
  set_stdio(instance, nullptr, collect_output, drop_output);

  std::string gs_lib_value;
  bool saved = platform::environment_value("GS_LIB", &gs_lib_value);
  if (saved)
    platform::set_environment("GS_LIB", nullptr);
  char arg0[] = "gs", arg1[] = "-h";
  char *argv[] = {arg0, arg1, nullptr};
  init_with_args(instance, 2, argv);
  if (saved)
    platform::set_environment("GS_LIB", gs_lib_value.c_str());

  exit_instance(instance);
  delete_instance(instance);
  return help;
}

} // namespace

std::string gs_version_text(long revision)
{
  char text[64];
  snprintf(text, sizeof text, "%ld.%02ld.%ld", revision / 1000,
           revision / 10 % 100, revision % 10);
  return text;
}

std::string gs_search_path(const std::string &help)
{
  const std::string heading = "Search path:";
  size_t start = help.find(heading);
  if (start == std::string::npos)
    return "";
  // The entries follow the heading on indented lines, separated by " : ".
  std::istringstream in(help.substr(start + heading.size()));
  std::string line, entries;
  std::getline(in, entries);
  while (std::getline(in, line) && !line.empty() && isspace(static_cast<unsigned char>(line[0])))
    entries += " " + line + " ";

  std::string path;
  for (size_t from = 0; from < entries.size();) {
    size_t sep = entries.find(" : ", from);
    if (sep == std::string::npos)
      sep = entries.size();
    size_t first = entries.find_first_not_of(" \t", from);
    if (first < sep) {
      size_t last = entries.find_last_not_of(" \t", sep - 1);
      path += (path.empty() ? "" : ENV_SEP_STRING) + entries.substr(first, last - first + 1);
    }
    from = sep + 3;
  }
  return path;
}

int gs_locate(std::vector<std::string> *refused)
{
  std::string named_dll;
  bool named = platform::environment_value("GS_DLL", &named_dll);
  std::vector<platform::library_candidate> candidates;
  if (named)
    candidates.push_back({named_dll, "", ""});
  else
    candidates = candidate_libraries();
  void *library = nullptr;
  long revision = -1;
  std::string recorded_lib;
  for (const platform::library_candidate &c : candidates) {
    std::string why;
    library = platform::load_library(c.dll.c_str(), &why);
    if (library == nullptr)
      why = "cannot be loaded: " + why;
    else if ((revision = library_revision(library, &why)) >= 0) {
      recorded_lib = c.lib;
      break;
    } else {
      platform::close_library(library);
      library = nullptr;
    }
    if (refused != nullptr)
      refused->push_back(candidate_text(c, named) + ": " + why);
    if (named)
      break;
  }
  if (library == nullptr)
    return 0;

  revision_text = gs_version_text(revision);
  dll_text = platform::library_path(library);
  std::string env_lib;
  bool env_set = platform::environment_value("GS_LIB", &env_lib);
  std::string built_in = gs_search_path(library_help(library));
  lib_text = env_set ? env_lib : recorded_lib;
  if (!built_in.empty())
    lib_text += (lib_text.empty() ? "" : ENV_SEP_STRING) + built_in;

  gs_revision = revision_text.c_str();
  gs_dll = dll_text.c_str();
  gs_lib = lib_text.c_str();
  return 1;
}
