#include "helpers.h"

#include "duplicates/duplicates.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "kpathsea/binding.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> temp_dirs;

// Remove every temporary directory made by this test program.
void remove_temp_dirs()
{
  std::error_code ignored;
  for (const std::string &dir : temp_dirs)
    fs::remove_all(dir, ignored);
}

} // namespace

bool root_p()
{
  return geteuid() == 0;
}

std::string read_file(const std::string &path)
{
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string make_temp_dir()
{
  if (temp_dirs.empty())
    atexit(remove_temp_dirs);
  std::string pattern = (fs::temp_directory_path() / "lsrcheck-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    ADD_FAILURE() << "mkdtemp: " << strerror(errno);
  temp_dirs.push_back(pattern);
  return pattern;
}

std::vector<std::string> command_output(const std::string &command)
{
  std::vector<std::string> lines;
  FILE *p = popen(command.c_str(), "r");
  char line[8192];
  while (p != nullptr && fgets(line, sizeof line, p) != nullptr) {
    std::string s = line;
    if (!s.empty() && s.back() == '\n')
      s.pop_back();
    lines.push_back(s);
  }
  if (p != nullptr)
    pclose(p);
  return lines;
}

void make_dirs(const std::string &path)
{
  fs::create_directories(path);
}

void write_file(const std::string &path, const std::string &content)
{
  make_dirs(fs::path(path).parent_path().string());
  std::ofstream(path, std::ios::binary) << content;
}

run_result run_lsrcheck(const std::vector<std::string> &args, const run_options &opts)
{
  std::string dir = make_temp_dir();
  std::string out_path = opts.stdout_path.empty() ? dir + "/out" : opts.stdout_path;
  std::string err_path = dir + "/err";

  std::vector<char *> argv;
  argv.push_back(const_cast<char *>("lsrcheck"));
  for (const std::string &arg : args)
    argv.push_back(const_cast<char *>(arg.c_str()));
  argv.push_back(nullptr);

  int pipe_fds[2] = {-1, -1};
  if (opts.broken_pipe && pipe(pipe_fds) == 0)
    close(pipe_fds[0]);
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    // Kpathsea finds its own directory through argv[0], as a shell would.
    std::string bin_dir = fs::path(LSRCHECK_BINARY).parent_path().string();
    const char *path = getenv("PATH");
    setenv("PATH", (bin_dir + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
    for (const auto &[name, value] : opts.env)
      setenv(name.c_str(), value.c_str(), 1);
    for (const std::string &name : opts.unset)
      unsetenv(name.c_str());
    int out = opts.broken_pipe ? pipe_fds[1]
                               : open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
      _exit(126);
    close(out);
    close(err);
    if (opts.close_stdout)
      close(1);
    if (opts.close_stderr)
      close(2);
    signal(SIGPIPE, opts.ignore_sigpipe ? SIG_IGN : SIG_DFL);
    // Descriptors a test runner left open would count against a limit.
    for (int fd = 3; fd < 1024; fd++)
      if (fd != pipe_fds[1])
        close(fd);
    for (const auto &[resource, value] : opts.limits) {
      struct rlimit limit{value, value};
      setrlimit(resource, &limit);
    }
    if (!opts.cwd.empty() && chdir(opts.cwd.c_str()) != 0)
      _exit(126);
    alarm(opts.timeout);
    execv(LSRCHECK_BINARY, argv.data());
    _exit(127);
  }
  if (pipe_fds[1] >= 0)
    close(pipe_fds[1]);
  run_result result;
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) {
    ADD_FAILURE() << "could not run " << LSRCHECK_BINARY;
    return result;
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (opts.stdout_path.empty() && !opts.broken_pipe)
    result.out = read_file(out_path);
  result.err = read_file(err_path);
  return result;
}

const std::string lsr_header =
    "% ls-R -- filename database for kpathsea; do not change this line.\n";

texmf_fixture make_fixture(const std::string &cnf)
{
  texmf_fixture t{make_temp_dir(), ""};
  t.cnf = t.base + "/cnf";
  std::string text = cnf;
  for (size_t at = 0; (at = text.find('@', at)) != std::string::npos; at += t.base.size() + 1)
    text.replace(at, 1, t.base + "/");
  write_file(t.cnf + "/texmf.cnf", text);
  return t;
}

void write_lsr(const std::string &dir, const std::string &listing)
{
  write_file(dir + "/ls-R", lsr_header + listing);
}

void mktexlsr(const std::string &dir)
{
  std::string quoted = "'";
  for (char c : dir)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  EXPECT_EQ(system(("mktexlsr --quiet " + quoted + "' >/dev/null 2>&1").c_str()), 0) << dir;
}

run_result run_fixture(const texmf_fixture &t, const std::vector<std::string> &args,
                       run_options opts)
{
  // Set first, so that a TEXMFCNF of the caller's own wins.
  opts.env.insert(opts.env.begin(), {"TEXMFCNF", t.cnf});
  for (const char *name : {"TEXMFDBS", "TEXMF", "TEXMFHOME"})
    opts.unset.push_back(name);
  return run_lsrcheck(args, opts);
}

texmf_tree make_tree(const std::string &listing)
{
  texmf_fixture t = make_fixture("TEXMF = @texmf\nTEXMFDBS = @texmf\n");
  texmf_tree tree{t.base + "/texmf", t.cnf};
  write_lsr(tree.root, listing);
  return tree;
}

run_result run_on_tree(const texmf_tree &tree, const std::vector<std::string> &args,
                       run_options opts)
{
  opts.env.emplace_back("TEXMFCNF", tree.cnf);
  opts.env.emplace_back("TEXMFDBS", tree.root);
  return run_lsrcheck(args, opts);
}

std::string expected_report(int kept, const std::vector<std::vector<std::string>> &groups)
{
  std::string report = std::to_string(kept) + " files in your databases.\n"
                       "Sorting ...\nMultiple occurences :\n\n";
  for (const auto &group : groups) {
    for (const std::string &path : group)
      report += path + "\n";
    report += "\n";
  }
  return report + "End of list.\n\n";
}

texlive_tree make_texlive_tree()
{
  std::string base = make_temp_dir();
  texlive_tree tl{base + "/2025", base + "/texmf-local"};
  std::string bin = tl.root + "/bin/x86_64-linux";
  write_file(bin + "/kpsewhich", "#!/bin/sh\necho stand-in\n");
  chmod((bin + "/kpsewhich").c_str(), 0755);
  write_file(tl.root + "/texmf-dist/web2c/texmf.cnf",
             "TEXMFROOT = $SELFAUTOPARENT\n"
             "TEXMFDIST = $TEXMFROOT/texmf-dist\n"
             "TEXMFLOCAL = $SELFAUTOGRANDPARENT/texmf-local\n"
             "TEXMFSYSVAR = $TEXMFROOT/texmf-var\n"
             "TEXMF = {!!$TEXMFSYSVAR,!!$TEXMFLOCAL,!!$TEXMFDIST}\n"
             "TEXMFDBS = {!!$TEXMFLOCAL,!!$TEXMFSYSVAR,!!$TEXMFDIST}\n"
             "TEXINPUTS = .;$TEXMF/tex/{latex,generic,}//\n");
  for (const std::string &tree : {tl.root + "/texmf-dist", tl.root + "/texmf-var", tl.local}) {
    write_file(tree + "/tex/latex/x.sty", "\\ProvidesPackage{x}[2020/01/01 v1]\n");
    write_lsr(tree, "./tex/latex:\nx.sty\n");
  }
  return tl;
}

namespace {

// Return the file name of PATH, or null if PATH has no final component.
const char *file_name(const char *path)
{
  const char *name = xbasename(path);
  return name != nullptr && *name != '\0' ? name : nullptr;
}

// Compare file names X and Y under stricmp; a missing name comes first.
int compare_names(const char *x, const char *y)
{
  if (x == nullptr || y == nullptr)
    return (y == nullptr) - (x == nullptr);
  return stricmp(x, y);
}


} // namespace

int compare_basenames(const void *a, const void *b)
{
  return compare_names(file_name(*static_cast<char *const *>(a)),
                       file_name(*static_cast<char *const *>(b)));
}

void report_groups(char **paths, int count, FILE *out)
{
  std::sort(paths, paths + count, [](const char *a, const char *b) {
    int order = compare_names(file_name(a), file_name(b));
    return order != 0 ? order < 0 : strcmp(a, b) < 0;
  });
  fprintf(out, "%d files in your databases.\nSorting ...\n", count);
  fputs("Multiple occurences :\n\n", out);
  for (int i = 0; i + 1 < count; i++) {
    if (compare_basenames(&paths[i], &paths[i + 1]) != 0 || file_name(paths[i]) == nullptr)
      continue;
    fprintf(out, "%s\n", paths[i]);
    while (i + 1 < count && compare_basenames(&paths[i], &paths[i + 1]) == 0)
      fprintf(out, "%s\n", paths[++i]);
    putc('\n', out);
  }
  fputs("End of list.\n\n", out);
}

std::string reference_report(std::vector<std::string> paths)
{
  std::vector<char *> slots;
  for (std::string &path : paths)
    slots.push_back(path.data());
  char *text = nullptr;
  size_t size = 0;
  FILE *out = open_memstream(&text, &size);
  report_groups(slots.data(), static_cast<int>(slots.size()), out);
  fclose(out);
  std::string report(text, size);
  free(text);
  return report;
}
