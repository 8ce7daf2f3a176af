#include "pathsearch/installation.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

const char texlive_texmfcnf[] =
  "{$SELFAUTOLOC,$SELFAUTOLOC/share/texmf-local/web2c,"
  "$SELFAUTOLOC/share/texmf-dist/web2c,$SELFAUTOLOC/share/texmf/web2c,"
  "$SELFAUTOLOC/texmf-local/web2c,$SELFAUTOLOC/texmf-dist/web2c,"
  "$SELFAUTOLOC/texmf/web2c,"
  "$SELFAUTODIR,$SELFAUTODIR/share/texmf-local/web2c,"
  "$SELFAUTODIR/share/texmf-dist/web2c,$SELFAUTODIR/share/texmf/web2c,"
  "$SELFAUTODIR/texmf-local/web2c,$SELFAUTODIR/texmf-dist/web2c,"
  "$SELFAUTODIR/texmf/web2c,"
  "$SELFAUTOGRANDPARENT/texmf-local/web2c,"
  "$SELFAUTOPARENT,$SELFAUTOPARENT/share/texmf-local/web2c,"
  "$SELFAUTOPARENT/share/texmf-dist/web2c,$SELFAUTOPARENT/share/texmf/web2c,"
  "$SELFAUTOPARENT/texmf-local/web2c,$SELFAUTOPARENT/texmf-dist/web2c,"
  "$SELFAUTOPARENT/texmf/web2c}";

namespace {

// Return true if PATH names a regular file (after links) that we may run.
bool executable_p(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

// Return true if PATH names a regular file (after links).
bool regular_file_p(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Return the names in directory DIR, sorted; empty if it cannot be read.
std::vector<std::string> directory_names(const std::string &dir)
{
  std::vector<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (const struct dirent *e = readdir(d))
      if (e->d_name[0] != '.')
        names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Return true if a texmf.cnf lies where TeX Live's programs in ROOT/bin/ARCH
// look for one below ROOT.
bool texlive_cnf_p(const std::string &root)
{
  for (const char *tree : {"texmf-dist", "texmf", "texmf-local", "share/texmf-dist",
                           "share/texmf", "share/texmf-local"})
    if (regular_file_p(root + "/" + tree + "/web2c/texmf.cnf"))
      return true;
  return false;
}

} // namespace

std::string real_path(const std::string &path)
{
  char *real = realpath(path.c_str(), nullptr);
  if (real == nullptr)
    return path;
  std::string answer = real;
  free(real);
  return answer;
}

std::string texlive_program(const std::string &root, std::string *why)
{
  struct stat st;
  if (stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *why = "no such directory";
    return "";
  }
  // TeX Live names its platforms ARCH-OS: x86_64-linux, aarch64-linux, ...
  struct utsname machine;
  std::string ours = uname(&machine) == 0 ? std::string(machine.machine) + "-linux" : "";
  std::string found;
  for (const std::string &arch : directory_names(root + "/bin")) {
    std::string program = root + "/bin/" + arch + "/kpsewhich";
    if (!executable_p(program))
      continue;
    if (arch == ours || found.empty())
      found = program;
    if (arch == ours)
      break;
  }
  if (found.empty()) {
    *why = "no TeX Live installation (no bin/ARCH/kpsewhich)";
    return "";
  }
  if (!texlive_cnf_p(root)) {
    *why = "no TeX Live installation (no texmf-dist/web2c/texmf.cnf)";
    return "";
  }
  return found;
}

std::string path_texlive_root()
{
  const char *path = getenv("PATH");
  std::string rest = path != nullptr ? path : "";
  for (size_t from = 0; from <= rest.size();) {
    size_t colon = rest.find(':', from);
    std::string dir = rest.substr(from, colon == std::string::npos ? std::string::npos
                                                                   : colon - from);
    from = colon == std::string::npos ? rest.size() + 1 : colon + 1;
    std::string program = (dir.empty() ? "." : dir) + "/kpsewhich";
    if (!executable_p(program))
      continue;
    // The first kpsewhich decides, whatever installation it belongs to.
    std::string bin = real_path(program);
    bin = bin.substr(0, bin.rfind('/'));             // ROOT/bin/ARCH
    size_t arch = bin.rfind('/');
    if (arch == std::string::npos || arch < 4 || bin.compare(arch - 4, 4, "/bin") != 0)
      return "";
    std::string root = bin.substr(0, arch - 4);
    return texlive_cnf_p(root) ? root : "";
  }
  return "";
}
