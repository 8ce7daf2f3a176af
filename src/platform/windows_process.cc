// Programs of another installation's: a second program run with a time
// limit, and the files it leaves behind removed.

#include "platform/platform.h"
#include "platform/windows_text.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

namespace platform {

namespace {

// Return ARG quoted for CommandLineToArgvW, as a C program's start-up
// reads its command line: backslashes doubled only before a quote.
std::wstring quoted_argument(const std::wstring &arg)
{
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
    return arg;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      backslashes++;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

// Return this process's environment with SET added or replacing, as the
// block CreateProcessW takes.
std::wstring environment_with(const std::vector<std::pair<std::string, std::string>> &set)
{
  std::vector<std::wstring> variables;
  if (wchar_t *block = GetEnvironmentStringsW()) {
    for (const wchar_t *v = block; *v != L'\0'; v += wcslen(v) + 1) {
      std::wstring variable = v;
      bool replaced = false;
      for (const auto &[name, value] : set)
        replaced = replaced || _wcsnicmp(variable.c_str(), (wide(name) + L"=").c_str(),
                                         name.size() + 1) == 0;
      if (!replaced)
        variables.push_back(variable);
    }
    FreeEnvironmentStringsW(block);
  }
  for (const auto &[name, value] : set)
    variables.push_back(wide(name) + L"=" + wide(value));
  std::wstring environment;
  for (const std::wstring &v : variables)
    environment += v + L'\0';
  environment += L'\0';
  return environment;
}

// A program started with its standard output on a pipe.
struct started_program {
  PROCESS_INFORMATION process{};
  HANDLE output = nullptr; // the pipe's read end
};

// Start the program at PATH with ARGS and the environment variables SET
// added, in DIR ("" for the current directory), standard input and error on
// NUL, standard output on a pipe, into *STARTED; return false, with *WHY,
// where it could not be started.
bool launch_program(const std::string &path, const std::vector<std::string> &args,
                    const std::vector<std::pair<std::string, std::string>> &set,
                    const std::string &dir, started_program *started, std::string *why)
{
  std::wstring line;
  for (const std::string &arg : args)
    line += (line.empty() ? L"" : L" ") + quoted_argument(wide(arg));
  std::wstring environment = environment_with(set);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end, write_end;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
    *why = "could not be started (no pipe)";
    return false;
  }
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE null = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = null;
  start.hStdOutput = write_end;
  start.hStdError = null;
  std::wstring in = wide(dir);
  BOOL ok = CreateProcessW(wide(path).c_str(), &line[0], nullptr, nullptr, TRUE,
                           CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, &environment[0],
                           dir.empty() ? nullptr : in.c_str(), &start, &started->process);
  CloseHandle(write_end);
  if (null != INVALID_HANDLE_VALUE)
    CloseHandle(null);
  if (!ok) {
    CloseHandle(read_end);
    *why = "could not be started";
    return false;
  }
  started->output = read_end;
  return true;
}

// What the reader of a program's output shares with the waiting thread.
struct output_reading {
  HANDLE pipe, process;
  std::string *text;
  size_t limit;
  bool over;
};

// Read the output of the program of ARG, an output_reading, until it ends
// or passes its limit, when the program is ended.
DWORD WINAPI read_output(void *arg)
{
  auto *r = static_cast<output_reading *>(arg);
  char buffer[65536];
  DWORD n;
  while (ReadFile(r->pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    r->text->append(buffer, n);
    if (r->text->size() > r->limit) {
      r->over = true;
      TerminateProcess(r->process, 1);
      break;
    }
  }
  return 0;
}

} // namespace

bool run_program(const std::string &path, const std::vector<std::string> &args,
                 const std::vector<std::pair<std::string, std::string>> &set,
                 const std::string &dir, unsigned seconds, size_t limit, std::string *output,
                 std::string *why)
{
  started_program started;
  if (!launch_program(path, args, set, dir, &started, why))
    return false;
  // The output is read on a thread of the system's, so that a program
  // that never ends is still ended on time; one that writes too much is
  // ended by the reader.  (The files it writes cannot be limited here.)
  output_reading r{started.output, started.process.hProcess, output, limit, false};
  HANDLE reader = CreateThread(nullptr, 0, read_output, &r, 0, nullptr);
  bool in_time = WaitForSingleObject(started.process.hProcess, seconds * 1000) == WAIT_OBJECT_0;
  if (!in_time)
    TerminateProcess(started.process.hProcess, 1);
  if (reader != nullptr) {
    // A program it started may hold the pipe open: the read is cancelled.
    if (WaitForSingleObject(reader, 1000) != WAIT_OBJECT_0) {
      CancelSynchronousIo(reader);
      WaitForSingleObject(reader, INFINITE);
    }
    CloseHandle(reader);
  }
  CloseHandle(started.output);
  CloseHandle(started.process.hProcess);
  CloseHandle(started.process.hThread);
  if (r.over)
    *why = "wrote more than " + std::to_string(limit >> 20) + " MiB";
  else if (!in_time)
    *why = "did not end within " + std::to_string(seconds) + " seconds";
  return in_time && !r.over;
}

// Programs are not started ahead of their input here: a program that
// would wait is run when its input is known.
bool start_program(const std::string &, const std::vector<std::string> &,
                   const std::vector<std::pair<std::string, std::string>> &,
                   const std::string &, size_t, bool, running_program *, std::string *why)
{
  *why = "could not be started ahead of its input on this system";
  return false;
}

unsigned long descriptor_limit()
{
  return static_cast<unsigned long>(-1);
}

bool give_input(running_program &, const std::string &)
{
  return false;
}

bool finish_program(running_program &, unsigned, size_t, std::string *, std::string *why)
{
  *why = "could not be started";
  return false;
}

bool running_p(const running_program &)
{
  return false;
}

void end_program(running_program &)
{
}

void remove_file(const std::string &path)
{
  DeleteFileW(wide(path).c_str());
}

bool make_directory(const std::string &path)
{
  return CreateDirectoryW(wide(path).c_str(), nullptr) != 0;
}

void remove_directory(const std::string &path)
{
  RemoveDirectoryW(wide(path).c_str());
}

bool write_new_file(const std::string &path, const std::string &text)
{
  HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  bool ok = true;
  for (size_t at = 0; ok && at < text.size();) {
    DWORD n = 0;
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - at, 1 << 20));
    ok = WriteFile(file, text.data() + at, chunk, &n, nullptr) && n > 0;
    at += n;
  }
  CloseHandle(file);
  return ok;
}

// The commands the advice of the reports names, as cmd runs them.

std::string command_word(const std::string &s)
{
  // cmd takes '/' for a switch: paths get Windows' own separator.
  std::string word = s;
  std::replace(word.begin(), word.end(), '/', '\\');
  return argument_word(word);
}

std::string argument_word(const std::string &s)
{
  bool safe = !s.empty() && s.find_first_of(" \t&|<>^()%!,;=\"'") == std::string::npos;
  return safe ? s : "\"" + s + "\"";
}

std::string remove_tree_command(const std::string &dir)
{
  return "rmdir /s /q " + command_word(dir);
}

std::string remove_command(const std::string &file)
{
  return "del " + command_word(file);
}

std::string move_command(const std::string &from, const std::string &to)
{
  return "move " + command_word(from) + " " + command_word(to);
}

std::string make_directory_command(const std::string &dir)
{
  // cmd's mkdir makes the directories above too, but fails where DIR is.
  return "if not exist " + command_word(dir) + " mkdir " + command_word(dir);
}

std::string copy_tree_command(const std::string &from, const std::string &to)
{
  return "xcopy /E /I /Y " + command_word(from) + " " + command_word(to);
}

std::string path_first_command(const std::string &dir)
{
  return "set \"PATH=" + dir + ";%PATH%\"";
}

std::string make_readable_command(const std::string &file)
{
  // *S-1-5-32-545 is the group Users, whatever the language of Windows.
  return "icacls " + command_word(file) + " /grant *S-1-5-32-545:R";
}

std::string privileged(const std::vector<std::string> &commands, bool allowed)
{
  std::string line;
  for (const std::string &command : commands)
    line += (line.empty() ? "" : " && ") + command;
  return allowed ? line : line + "   (from an administrator's prompt)";
}

} // namespace platform
