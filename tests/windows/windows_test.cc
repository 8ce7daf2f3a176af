// lsrcheck.exe started the Windows way, from inside Windows (Wine): the
// named file mapping, Ghostscript through GS_DLL and the registry, and
// arguments that are not ASCII.

#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#include <windows.h>
#include <sddl.h>
#include <shellapi.h>

namespace {

// What one run gave; line ends as the program wrote them.
struct result {
  DWORD status = 0;
  std::string out, err;
};

// Return the Windows form of the build's path P (Wine shows / as Z:\).
std::wstring windows_path(const char *p)
{
  std::wstring w = p[0] == '/' ? L"Z:" : L"";
  for (; *p; p++)
    w += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
  return w;
}

// Return UTF-8 TEXT as UTF-16.
std::wstring wide(const std::string &text)
{
  int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring w(n - 1, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, w.data(), n);
  return w;
}

// Return everything that can be read from pipe H.
std::string drain(HANDLE h)
{
  std::string text;
  char buffer[4096];
  DWORD n;
  while (ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
    text.append(buffer, n);
  return text;
}

// Run lsrcheck.exe with ARGS (UTF-8), as "lsrcheck", its output caught.
result run(const std::vector<std::string> &args)
{
  std::wstring command = L"lsrcheck";
  for (const std::string &a : args)
    command += L" \"" + wide(a) + L"\"";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out_read, out_write, err_read, err_write;
  CreatePipe(&out_read, &out_write, &inherit, 0);
  CreatePipe(&err_read, &err_write, &inherit, 0);
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(err_read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  start.hStdOutput = out_write;
  start.hStdError = err_write;
  PROCESS_INFORMATION process{};
  std::wstring exe = windows_path(LSRCHECK_EXE);
  result r;
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &start, &process)) {
    ADD_FAILURE() << "cannot start " << LSRCHECK_EXE;
    return r;
  }
  CloseHandle(out_write);
  CloseHandle(err_write);
  // Standard error is small: read it after standard output.
  r.out = drain(out_read);
  r.err = drain(err_read);
  WaitForSingleObject(process.hProcess, 60000);
  GetExitCodeProcess(process.hProcess, &r.status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(out_read);
  CloseHandle(err_read);
  return r;
}

// A registry key of Ghostscript's installer, removed again at the end of
// the test.
struct registry_entry {
  HKEY root;
  std::wstring version;
  registry_entry(HKEY r, const std::wstring &v, const std::wstring &dll, const std::wstring &lib)
      : root(r), version(v)
  {
    std::wstring key = L"SOFTWARE\\GPL Ghostscript\\" + version;
    RegSetKeyValueW(root, key.c_str(), L"GS_DLL", REG_SZ, dll.c_str(),
                    static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t)));
    RegSetKeyValueW(root, key.c_str(), L"GS_LIB", REG_SZ, lib.c_str(),
                    static_cast<DWORD>((lib.size() + 1) * sizeof(wchar_t)));
  }
  ~registry_entry()
  {
    RegDeleteTreeW(root, (L"SOFTWARE\\GPL Ghostscript\\" + version).c_str());
    RegDeleteKeyW(root, L"SOFTWARE\\GPL Ghostscript");
  }
};

// Return TEXT with CRLF line ends made LF; the count of bare LFs in
// *BARE.
std::string lf(const std::string &text, int *bare = nullptr)
{
  std::string out;
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
      continue;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r') && bare != nullptr)
      ++*bare;
    out += text[i];
  }
  return out;
}

TEST(WindowsReports, SharedMemoryTellsWhetherTheNamedFileMappingExists)
{
  result none = run({"-shared-memory"});
  int bare = 0;
  EXPECT_EQ(lf(none.out, &bare), "No kpathsea file mapping set up.\n");
  EXPECT_EQ(bare, 0) << "lines end in CRLF on Windows";
  EXPECT_EQ(none.status, 0u);

  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                      "rv52_hash_mapping");
  ASSERT_NE(mapping, nullptr);
  result set = run({"-shared-memory"});
  EXPECT_EQ(lf(set.out), "Kpathsea file mapping is set up.\n");
  EXPECT_EQ(set.status, 0u);
  CloseHandle(mapping);
  // The tool kept no handle: with ours closed, the mapping is gone.
  EXPECT_EQ(lf(run({"-shared-memory"}).out), "No kpathsea file mapping set up.\n");
}

TEST(WindowsReports, GhostscriptFromGsDllTheRegistryOrNowhere)
{
  std::wstring dll = windows_path(FAKE_GSDLL), old_dll = windows_path(FAKE_GSDLL_OLD);
  std::string dll_text(dll.begin(), dll.end());
  SetEnvironmentVariableW(L"GS_LIB", nullptr);
  {
    result r = run({"-ghostscript"});
    EXPECT_EQ(lf(r.out), "lsrcheck: no version of Ghostscript has been found.\n");
    EXPECT_EQ(r.status, 0u);
  }
  {
    SetEnvironmentVariableW(L"GS_DLL", dll.c_str());
    result r = run({"-ghostscript"});
    SetEnvironmentVariableW(L"GS_DLL", nullptr);
    EXPECT_EQ(lf(r.out), "lsrcheck: Ghostscript version 10.02.1 has been found:\n"
                         "dll     : " + dll_text + "\nlibpath : \n");
  }
  {
    // The newest version wins, the machine's entries before the user's.
    registry_entry user_new(HKEY_CURRENT_USER, L"10.03.0", L"C:\\nowhere\\gsdll64.dll", L"C:\\u");
    registry_entry machine_old(HKEY_LOCAL_MACHINE, L"9.56.1", old_dll, L"C:\\gs\\lib;C:\\gs\\fonts");
    registry_entry machine_new(HKEY_LOCAL_MACHINE, L"10.02.1", dll, L"C:\\gs10\\lib");
    result r = run({"-ghostscript"});
    EXPECT_EQ(lf(r.out), "lsrcheck: Ghostscript version 10.02.1 has been found:\n"
                         "dll     : " + dll_text + "\nlibpath : C:\\gs10\\lib\n");
  }
  {
    // A user's installation alone; GS_LIB, when set, is Ghostscript's path.
    registry_entry user(HKEY_CURRENT_USER, L"9.56.1", old_dll, L"C:\\gs\\lib");
    result r = run({"-ghostscript"});
    EXPECT_EQ(lf(r.out), "lsrcheck: Ghostscript version 9.56.1 has been found:\n"
                         "dll     : " + std::string(old_dll.begin(), old_dll.end()) +
                         "\nlibpath : C:\\gs\\lib\n");
    SetEnvironmentVariableW(L"GS_LIB", L"D:\\mine");
    EXPECT_NE(lf(run({"-ghostscript"}).out).find("libpath : D:\\mine\n"), std::string::npos);
    SetEnvironmentVariableW(L"GS_LIB", nullptr);
  }
}

TEST(WindowsCommandLine, ArgumentsThatAreNotAsciiComeThroughAsUtf8)
{
  // "é", "中" and an emoji outside the BMP, in a directory that is not there.
  std::string name = "C:\\nowhere\\\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80";
  result r = run({"-texmfroot=" + name, "-m"});
  EXPECT_EQ(r.status, 1u);
  EXPECT_EQ(lf(r.err), "lsrcheck: -texmfroot=" + name + ": no such directory\n");
}

// A TeX Live installation made for a test below the temporary directory:
// ROOT\bin\windows\kpsewhich.exe (a stand-in: Kpathsea only needs it to be
// there), a texmf.cnf whose one tree is ROOT\texmf-dist, and FILES
// (relative paths, '\\' separated, and their contents) in that tree.
struct installation {
  std::wstring root;
  explicit installation(const std::vector<std::pair<std::wstring, std::string>> &files)
  {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    root = std::wstring(temp) + L"lsrcheck-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount());
    write(L"bin\\windows\\kpsewhich.exe", "");
    write(L"texmf-dist\\web2c\\texmf.cnf",
          "TEXMFDIST = $SELFAUTOPARENT/texmf-dist\nTEXMF = !!$TEXMFDIST\n"
          "TEXMFDBS = !!$TEXMFDIST\nTEXINPUTS = .;$TEXMF/tex//\n");
    for (const auto &[name, content] : files)
      write(L"texmf-dist\\" + name, content);
  }
  ~installation()
  {
    // SHFileOperation needs a list ending in two NULs.
    std::wstring from = root + L'\0';
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
  }
  // Write CONTENT to ROOT\NAME, making the directories above it.
  void write(const std::wstring &name, const std::string &content)
  {
    std::wstring path = root + L"\\" + name;
    for (size_t at = root.size() - 1; (at = path.find(L'\\', at + 1)) != std::wstring::npos;)
      CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot make a test file";
    DWORD n;
    WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &n, nullptr);
    CloseHandle(h);
  }
  std::string texmfroot() const { return "-texmfroot=" + std::string(root.begin(), root.end()); }
};

// Return the names in the temporary directory that start with PREFIX.
std::vector<std::wstring> temporary_names(const std::wstring &prefix)
{
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((std::wstring(temp) + prefix + L"*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE)
    return names;
  do
    names.push_back(found.cFileName);
  while (FindNextFileW(h, &found));
  FindClose(h);
  return names;
}

TEST(WindowsModes, NamesThatAreNotValidUtf16ComeThroughTheJsonWhole)
{
  // "a\xD800.sty": a lone surrogate, which NTFS allows; its WTF-8 bytes are
  // ED A0 80.
  const std::string header = "% ls-R -- filename database for kpathsea; do not change this line.\n";
  std::wstring lone = std::wstring(L"tex\\a") + wchar_t(0xd800) + L".sty";
  installation tl({{L"ls-R", header + "./:\nls-R\n\n./tex:\nplain.sty\n\n./web2c:\ntexmf.cnf\n"},
                   {L"tex\\plain.sty", "% plain\n"}});
  HANDLE h = CreateFileW((tl.root + L"\\texmf-dist\\" + lone).c_str(), GENERIC_WRITE, 0, nullptr,
                         CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    GTEST_SKIP() << "this system makes no file whose name is not valid UTF-16 (Wine)";
  CloseHandle(h);
  result r = run({"-databases", "-json", tl.texmfroot()});
  EXPECT_EQ(r.status, 4u) << r.err;
  EXPECT_NE(r.out.find("\"path_bytes\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2f746578742f61eda0802e737479"), std::string::npos)
      << "the name's bytes, /tex/a ED A0 80 .sty, in " << r.out;
}

TEST(WindowsModes, TheLookupsDirectoryIsRemovedAfterTheRun)
{
  installation tl({{L"ls-R", "% ls-R -- filename database for kpathsea; do not change this line.\n"
                             "./tex:\nx.sty\n./tex/b:\nx.sty\n"},
                   {L"tex\\x.sty", "\\ProvidesPackage{x}[2020/01/01]\n"},
                   {L"tex\\b\\x.sty", "\\ProvidesPackage{x}[2021/01/01]\n"}});
  std::vector<std::wstring> before = temporary_names(L"lsrcheck-lookups-");
  result r = run({"-explain", "-fail-on=older", tl.texmfroot()});
  EXPECT_EQ(r.status, 3u) << r.out << r.err;
  // No latex.exe in this installation: the dates are the files' own, and
  // the finding says so.
  EXPECT_NE(lf(r.out).find("older than the copy behind it, [2] (2021/01/01): removing [1] would "
                           "load [2] (dates read from the files, not asked of LaTeX: the "
                           "installation has no latex program)"),
            std::string::npos) << r.out;
  EXPECT_EQ(temporary_names(L"lsrcheck-lookups-"), before);
}

TEST(WindowsModes, AdviceIsForCmdAndAnAdministratorWhereTheTreeIsNotTheUsers)
{
  installation tl({{L"ls-R", "% ls-R -- filename database for kpathsea; do not change this line.\n"
                             "./tex:\ngone.sty\n"}});
  std::wstring tree = tl.root + L"\\texmf-dist";
  for (bool read_only : {false, true}) {
    // Not the user's to write: an access list that denies everyone writing.
    PSECURITY_DESCRIPTOR denied = nullptr;
    if (read_only) {
      ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:(D;;DCLCWD;;;WD)(A;;GA;;;WD)", SDDL_REVISION_1, &denied, nullptr));
    }
    PSECURITY_DESCRIPTOR open = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;WD)", SDDL_REVISION_1,
                                                         &open, nullptr);
    SetFileSecurityW(tree.c_str(), DACL_SECURITY_INFORMATION, read_only ? denied : open);
    result r = run({"-databases", tl.texmfroot()});
    SetFileSecurityW(tree.c_str(), DACL_SECURITY_INFORMATION, open);
    LocalFree(denied);
    LocalFree(open);
    EXPECT_EQ(r.status, 4u) << r.err;
    std::string out = lf(r.out);
    EXPECT_NE(out.find("  mend: mktexlsr "), std::string::npos) << out;
    EXPECT_EQ(out.find("sudo"), std::string::npos) << out;
    EXPECT_EQ(out.find("from an administrator's prompt") != std::string::npos, read_only) << out;
    EXPECT_NE(out.find("\\texmf-dist"), std::string::npos) << "cmd's separators: " << out;
    // The ls-R lacks web2c/texmf.cnf: a stale ls-R, not a lost configuration.
    EXPECT_EQ(out.find("texmf.cnf not found"), std::string::npos) << out;
  }
}

TEST(WindowsModes, CtrlBreakStillRemovesTheLookupsDirectory)
{
  // Enough groups that the lookups take a while.
  std::string listing = "% ls-R -- filename database for kpathsea; do not change this line.\n";
  std::vector<std::pair<std::wstring, std::string>> files;
  for (const char *dir : {"a", "b"}) {
    listing += std::string("./tex/") + dir + ":\n";
    for (int i = 0; i < 3000; i++)
      listing += "f" + std::to_string(i) + ".sty\n";
  }
  files.push_back({L"ls-R", listing});
  installation tl(files);
  std::vector<std::wstring> before = temporary_names(L"lsrcheck-lookups-");

  // The run gets a console of its own, a pseudo console whose input the
  // test types Ctrl+C into, as a user at the keyboard does.
  HANDLE in_read, in_write, out_read, out_write;
  CreatePipe(&in_read, &in_write, nullptr, 0);
  CreatePipe(&out_read, &out_write, nullptr, 0);
  HPCON console;
  if (FAILED(CreatePseudoConsole({80, 25}, in_read, out_write, 0, &console)))
    GTEST_SKIP() << "no pseudo console here";
  // The console's output must be read, or it stops the run.
  std::thread reader([out_read]() { drain(out_read); });
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> attributes(size);
  STARTUPINFOEXW start{};
  start.StartupInfo.cb = sizeof start;
  start.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
  InitializeProcThreadAttributeList(start.lpAttributeList, 1, 0, &size);
  UpdateProcThreadAttribute(start.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, console,
                            sizeof console, nullptr, nullptr);
  std::wstring command = L"lsrcheck -explain \"" + wide(tl.texmfroot()) + L"\"";
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(windows_path(LSRCHECK_EXE).c_str(), command.data(), nullptr, nullptr,
                             FALSE, EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                             &start.StartupInfo, &process));
  // Wait for the directory, then break in.
  bool seen = false;
  for (int i = 0; i < 3000 && !seen; i++) {
    seen = temporary_names(L"lsrcheck-lookups-").size() > before.size();
    if (!seen && WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0)
      break;
  }
  DWORD n = 0;
  bool sent = seen && WriteFile(in_write, "\x03", 1, &n, nullptr) && n == 1;
  bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
  ClosePseudoConsole(console);
  CloseHandle(in_write);
  CloseHandle(out_write);
  reader.join();
  CloseHandle(in_read);
  CloseHandle(out_read);
  EXPECT_TRUE(ended);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  EXPECT_EQ(temporary_names(L"lsrcheck-lookups-"), before);
  if (!sent || status == 0)
    GTEST_SKIP() << "the Ctrl+C reached no run here (Wine's pseudo console does not pass it on)";
}

} // namespace

TEST(WindowsModes, TheDocumentsRecordWithWindowsPaths)
{
  installation tl({{L"ls-R", "% ls-R -- filename database for kpathsea; do not change this line.\n"
                             "./tex:\nx.sty\ny.sty\n"},
                   {L"tex\\x.sty", "\\ProvidesPackage{x}[2021/01/01]\n"},
                   {L"tex\\y.sty", "\\ProvidesPackage{y}[2021/01/01]\n"}});
  tl.write(L"doc\\x.sty", "\\ProvidesPackage{x}[2001/01/01]\n");
  tl.write(L"doc\\paper.tex", "\\usepackage{x,y}\n");
  std::string root(tl.root.begin(), tl.root.end());
  // As TeX Live's programs on Windows record a run: the directory and
  // absolute paths with drive letters and backslashes, relative ones with
  // a slash.
  tl.write(L"doc\\paper.fls", "PWD " + root + "\\doc\r\nINPUT " + root +
                                  "\\texmf-dist\\web2c\\texmf.cnf\r\nINPUT paper.tex\r\n"
                                  "INPUT ./x.sty\r\nINPUT " + root +
                                  "\\texmf-dist\\tex\\y.sty\r\nOUTPUT paper.log\r\n");
  result r = run({"-document=" + root + "\\doc\\paper.fls", "-fail-on=any", "-verbose",
                  tl.texmfroot()});
  std::string out = lf(r.out);
  // The reports spell every path with the tool's separator.
  std::replace(root.begin(), root.end(), '\\', '/');
  EXPECT_EQ(r.status, 3u) << out << r.err;
  EXPECT_NE(out.find("x.sty\n  read     " + root + "/doc/x.sty"), std::string::npos) << out;
  EXPECT_NE(out.find("  older: it declares 2001/01/01"), std::string::npos) << out;
  EXPECT_NE(out.find("  distribution  " + root + "/texmf-dist/tex/y.sty"), std::string::npos)
      << out;
  EXPECT_NE(out.find("1 file of the distribution, 2 of the document, 1 texmf.cnf."),
            std::string::npos) << out;
}

TEST(WindowsModes, FormatsOfTheTexLiveLayout)
{
  const std::string header = "% ls-R -- filename database for kpathsea; do not change this line.\n";
  installation tl({{L"ls-R", header + "./web2c:\nfmtutil.cnf\ntexmf.cnf\n"},
                   {L"web2c\\fmtutil.cnf", "pdflatex pdftex language.dat pdflatex.ini\n"
                                           "#! latex pdftex language.dat latex.ini\n"
                                           "mine pdftex - mine.ini\n"}});
  // TeX Live for Windows: the system's formats in texmf-var\web2c\ENGINE,
  // the user's in a TEXMFVAR of their own (here beside them, searched on
  // disk as %USERPROFILE%\.texliveYYYY is).
  tl.write(L"texmf-dist\\web2c\\texmf.cnf",
           "TEXMFROOT = $SELFAUTOPARENT\nTEXMFDIST = $TEXMFROOT/texmf-dist\n"
           "TEXMFSYSVAR = $TEXMFROOT/texmf-var\nTEXMFVAR = $TEXMFROOT/user-var\n"
           "TEXMF = {$TEXMFVAR,!!$TEXMFSYSVAR,!!$TEXMFDIST}\n"
           "TEXMFDBS = {!!$TEXMFSYSVAR,!!$TEXMFDIST}\nWEB2C = $TEXMF/web2c\n"
           "TEXFORMATS = .;$TEXMF/web2c/{$engine,}\n");
  tl.write(L"texmf-var\\ls-R", header + "./web2c/pdftex:\npdflatex.fmt\npdflatex.log\n");
  tl.write(L"texmf-var\\web2c\\pdftex\\pdflatex.fmt", "system");
  tl.write(L"texmf-var\\web2c\\pdftex\\pdflatex.log", "This is pdfTeX, Version 3.1 (TeX Live 2025)\n");
  tl.write(L"user-var\\web2c\\pdftex\\pdflatex.fmt", "user");
  // The engine is there, and cannot be started: no verdict on any run.
  tl.write(L"bin\\windows\\pdftex.exe", "");
  result r = run({"-formats", tl.texmfroot()});
  std::string out = lf(r.out), root(tl.root.begin(), tl.root.end());
  std::replace(root.begin(), root.end(), '\\', '/');
  EXPECT_EQ(r.status, 4u) << out << r.err;
  for (const std::string &expected :
       {"mine (pdftex)\n  missing: enabled in " + root + "/texmf-dist/web2c/fmtutil.cnf",
        "pdflatex (pdftex)\n  loads    " + root + "/user-var/web2c/pdftex/pdflatex.fmt\n",
        "  behind   " + root + "/texmf-var/web2c/pdftex/pdflatex.fmt\n",
        std::string("  per-user: a per-user format"), std::string("  stale: its log"),
        std::string("  not run: its engine could not be started"),
        std::string("fmtutil-user --byfmt pdflatex")})
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
  EXPECT_EQ(("\n" + out).find("\nlatex (pdftex)\n"), std::string::npos) << "a disabled format: " << out;
}

TEST(WindowsModes, InstallationsOnPathWithExePrograms)
{
  installation tl({});
  tl.write(L"bin\\windows\\latex.exe", "");
  tl.write(L"a\\b\\c\\other\\latex.exe", ""); // too deep to be taken for the tree's own
  std::string root(tl.root.begin(), tl.root.end());
  // A lone latex.exe ahead of the installation's kpsewhich.exe.
  wchar_t saved[32767];
  DWORD had = GetEnvironmentVariableW(L"PATH", saved, 32767);
  SetEnvironmentVariableW(L"PATH", (tl.root + L"\\a\\b\\c\\other;" + tl.root + L"\\bin\\windows;" +
                                    std::wstring(saved, had)).c_str());
  // A directory only the user's PATH in the registry names: a program
  // started anew finds it, after PATH's own.
  tl.write(L"a\\b\\c\\user-bin\\pdflatex.exe", "");
  HKEY env;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Environment", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &env, nullptr), ERROR_SUCCESS);
  std::wstring user_path = tl.root + L"\\a\\b\\c\\user-bin";
  // Whatever Path the user had is put back.
  wchar_t before[32767];
  DWORD before_size = sizeof before, before_type = 0;
  bool had_path = RegQueryValueExW(env, L"Path", nullptr, &before_type,
                                   reinterpret_cast<BYTE *>(before), &before_size) == ERROR_SUCCESS;
  RegSetValueExW(env, L"Path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE *>(user_path.c_str()),
                 static_cast<DWORD>((user_path.size() + 1) * sizeof(wchar_t)));
  result r = run({"-installations", tl.texmfroot()});
  if (had_path)
    RegSetValueExW(env, L"Path", 0, before_type, reinterpret_cast<const BYTE *>(before), before_size);
  else
    RegDeleteValueW(env, L"Path");
  RegCloseKey(env);
  SetEnvironmentVariableW(L"PATH", saved);
  std::string out = lf(r.out);
  std::replace(root.begin(), root.end(), '\\', '/');
  EXPECT_EQ(r.status, 4u) << out << r.err;
  for (const std::string &expected :
       {"  latex        " + root + "/a/b/c/other/latex.exe: a lone copy in " + root + "/a/b/c/other\n",
        "  " + root + "/bin/windows: TeX Live (" + root + ")\n",
        "  kpsewhich    " + root + "/bin/windows/kpsewhich.exe: TeX Live (" + root + ")\n",
        std::string("  kpsewhich from TeX Live ("),
        "  pdflatex     " + root + "/a/b/c/user-bin/pdflatex.exe: a lone copy in " + root +
            "/a/b/c/user-bin\n"})
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
}
