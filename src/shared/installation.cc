#include "shared/installation.h"

#include "shared/paths.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Return true if a texmf.cnf lies where TeX Live's programs in ROOT/bin/ARCH
// look for one below ROOT.
bool texlive_cnf_p(const std::string &root)
{
  for (const char *tree : {"texmf-dist", "texmf", "texmf-local", "share/texmf-dist",
                           "share/texmf", "share/texmf-local"})
    if (platform::regular_file_p(root + "/" + tree + "/web2c/texmf.cnf"))
      return true;
  return false;
}

} // namespace

std::string texlive_program(const std::string &root, std::string *why)
{
  platform::file_status st;
  if (!platform::look_at(root, true, &st) || !st.directory) {
    // Only what is not there is "no such directory"; what could not be
    // looked at, or is something else, says so.
    if (st.error == 0)
      *why = "not a directory (it is " + platform::file_type_text(st.mode) + ")";
    else if (st.error == ENOENT || st.error == ENOTDIR)
      *why = "no such directory";
    else
      *why = std::string("cannot look at it (") + strerror(st.error) + ")";
    return "";
  }
  std::string found;
  for (const std::string &arch : platform::directory_names(root + "/bin")) {
    std::string program = root + "/bin/" + arch + "/" + platform::kpsewhich_name;
    if (!platform::executable_p(program))
      continue;
    bool ours = platform::native_arch_p(arch);
    if (ours || found.empty())
      found = program;
    if (ours)
      break;
  }
  if (found.empty()) {
    *why = std::string("no TeX Live installation (no ") + platform::texlive_kpsewhich_text + ")";
    return "";
  }
  if (!texlive_cnf_p(root)) {
    *why = std::string("no TeX Live installation (no ") + platform::texlive_cnf_text + ")";
    return "";
  }
  return found;
}

std::string path_kpsewhich()
{
  std::string rest;
  platform::environment_value("PATH", &rest);
  for (const std::string &dir : platform::split_text(rest, platform::path_list_separator)) {
    std::string program = (dir.empty() ? "." : dir) + "/" + platform::kpsewhich_name;
    if (platform::executable_p(program))
      return platform::real_path(program);
  }
  return "";
}

std::string texlive_root_of(const std::string &program)
{
  std::string real = platform::real_path(program);
  std::string_view bin = directory_of(directory_of(real)); // ROOT/bin, from ROOT/bin/ARCH/PROGRAM
  // "bin" alone would be a relative path with no root before it.
  if (base_name(bin) != "bin" || bin.size() < 4)
    return "";
  std::string root(directory_of(bin));
  return texlive_cnf_p(root) ? root : "";
}

std::string texlive_root_holding(const std::string &path)
{
  std::string root = texlive_root_of(path);
  if (!root.empty())
    return root;
  std::string real = platform::real_path(path);
  size_t at = real.rfind("/texmf-dist/");
  if (at == std::string::npos || at == 0)
    return "";
  root = real.substr(0, at);
  return texlive_cnf_p(root) && platform::directory_p(root + "/bin") ? root : "";
}

std::string path_texlive_root()
{
  // The first kpsewhich decides, whatever installation it belongs to.
  std::string program = path_kpsewhich();
  return program.empty() ? "" : texlive_root_of(program);
}

bool default_installation(const char *argv0, std::string *program, std::string *why)
{
  program->clear();
  if (platform::system_configuration_p)
    return true;
  // As TeX Live's own programs do: the installation this program sits in.
  std::string own = platform::own_program_path(argv0);
  if (!texlive_root_of(own).empty()) {
    *program = own;
    return true;
  }
  *program = path_kpsewhich();
  if (program->empty()) {
    *why = std::string("no TeX installation found: this program is in no TeX Live bin "
                       "directory and no ") + platform::kpsewhich_name + " is on PATH; "
                       "name one with -texmfroot=DIR";
    return false;
  }
  return true;
}
