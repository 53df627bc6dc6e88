#include "support/run_program.h"

#include "support/temp_dir.h"

#include <algorithm>

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
extern char** environ;
#else
#include <windows.h>
#endif

namespace lwmd5::testing {

namespace fs = std::filesystem;

#ifndef _WIN32
// Off Windows, message boxes and debug lines are stderr lines already.
ProgramResult runProgram(const fs::path& program, const std::vector<std::string>& arguments,
                         const fs::path& workingDirectory, const std::string& argv0, bool)
{
    ProgramResult result;
    TempDir captures;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (captures / "out").c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (captures / "err").c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    std::vector<char*> argv{const_cast<char*>(argv0.c_str())}; // posix_spawn leaves them as they are
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, fs::absolute(program).c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    while (spawned == 0 && wait4(pid, &status, 0, &usage) < 0) {} // until it ends, whatever interrupts the wait
    result.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    result.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (spawned == 0 && WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    if (spawned == 0 && WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = readFile(captures / "out");
    result.err = readFile(captures / "err");
    return result;
}
#else
namespace {

std::string readChildString(HANDLE process, const char* at)
{
    std::string text;
    for (char c = 0; text.size() < 4096 && ReadProcessMemory(process, at++, &c, 1, nullptr) && c != '\0';) text += c;
    return text;
}

// Debugs the child to its end and returns its exit code. Each
// OutputDebugStringA line arrives as a debug event; a breakpoint on
// MessageBoxA(owner, text, title, style) records the box and returns IDOK at
// once, so no window waits for a click. System libraries lie at the same
// address in every process, so the child's MessageBoxA is where this process
// finds its own. Reads x86-64 registers.
DWORD debugChild(HANDLE process, const std::string& name, std::string& messages)
{
    auto* messageBox = reinterpret_cast<char*>(GetProcAddress(LoadLibraryW(L"user32.dll"), "MessageBoxA"));
    bool loaderBreakpoint = true;
    for (DEBUG_EVENT event{}; WaitForDebugEvent(&event, INFINITE); event = {}) {
        const EXCEPTION_RECORD& exception = event.u.Exception.ExceptionRecord;
        DWORD handling = DBG_CONTINUE;
        if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) CloseHandle(event.u.CreateProcessInfo.hFile);
        if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) CloseHandle(event.u.LoadDll.hFile);
        if (event.dwDebugEventCode == OUTPUT_DEBUG_STRING_EVENT) {
            messages += readChildString(process, event.u.DebugString.lpDebugStringData);
        } else if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
            return event.u.ExitProcess.dwExitCode;
        } else if (event.dwDebugEventCode != EXCEPTION_DEBUG_EVENT) {
        } else if (exception.ExceptionCode != EXCEPTION_BREAKPOINT) {
            handling = DBG_EXCEPTION_NOT_HANDLED;
        } else if (loaderBreakpoint) {
            // The loader stops once the imports are in place: set the breakpoint
            // (the write makes the code page writable for itself).
            loaderBreakpoint = false;
            const unsigned char int3 = 0xCC;
            WriteProcessMemory(process, messageBox, &int3, 1, nullptr);
            FlushInstructionCache(process, messageBox, 1);
        } else if (exception.ExceptionAddress == messageBox) {
            HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, event.dwThreadId);
            CONTEXT context{};
            context.ContextFlags = CONTEXT_FULL;
            GetThreadContext(thread, &context);
            messages += name + ": " + readChildString(process, reinterpret_cast<const char*>(context.R8)) + ": " +
                        readChildString(process, reinterpret_cast<const char*>(context.Rdx)) + "\n";
            ReadProcessMemory(process, reinterpret_cast<void*>(context.Rsp), &context.Rip, sizeof context.Rip, nullptr);
            context.Rsp += sizeof context.Rip;
            context.Rax = IDOK;
            SetThreadContext(thread, &context);
            CloseHandle(thread);
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, handling);
    }
    return 99;
}

} // namespace

ProgramResult runProgram(const fs::path& program, const std::vector<std::string>& arguments,
                         const fs::path& workingDirectory, const std::string& argv0, bool messages)
{
    ProgramResult result;
    TempDir captures;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    auto open = [&](const fs::path& path, DWORD access, DWORD disposition) {
        return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = open(L"NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = open(captures / "out", GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = open(captures / "err", GENERIC_WRITE, CREATE_ALWAYS);
    // Argument 0 is taken from a quote to the next one without escapes. The
    // others are quoted so that the C runtime hands them back unchanged:
    // backslashes are literal except in front of a quote, where each of them
    // and the quote get a backslash of their own.
    std::wstring line = L'"' + fs::path(argv0).wstring() + L'"';
    for (const std::string& argument : arguments) {
        line += L" \"";
        std::size_t backslashes = 0;
        for (const wchar_t c : fs::path(argument).wstring()) {
            if (c == L'"') line.append(backslashes + 1, L'\\');
            backslashes = c == L'\\' ? backslashes + 1 : 0;
            line += c;
        }
        line.append(backslashes, L'\\');
        line += L'"';
    }
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(fs::absolute(program).c_str(), line.data(), nullptr, nullptr, TRUE,
                                        DEBUG_ONLY_THIS_PROCESS, nullptr, fs::absolute(workingDirectory).c_str(),
                                        &startup, &process);
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) CloseHandle(handle);
    if (!started) {
        result.err = "runProgram: CreateProcess failed with error " + std::to_string(GetLastError());
        return result;
    }
    std::string transcript;
    const DWORD code = debugChild(process.hProcess, program.stem().string(), transcript);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Exception codes (0xC0000005 and its kind) end a process that crashed.
    ((code & 0xC0000000u) == 0xC0000000u ? result.signal : result.exitStatus) = static_cast<int>(code);
    result.out = readFile(captures / "out");
    result.err = readFile(captures / "err");
    if (messages) {
        result.err.erase(std::remove(result.err.begin(), result.err.end(), '\r'), result.err.end());
        result.err.insert(0, transcript);
    }
    return result;
}
#endif

// Paths fixed at build time are the build machine's. Run under wine, a cross
// build sees "/work/..." without a drive letter; such a path is anchored on
// the drive of the current folder, the drive that maps the build machine's
// root as well.
static fs::path builtPath(const char* path)
{
    fs::path result(path);
#ifdef _WIN32
    if (!result.has_root_name() && result.has_root_directory()) result = fs::current_path().root_name() / result;
#endif
    return result;
}

fs::path meshconvPath() { return builtPath(LWMD5_MESHCONV_PATH); }
fs::path animconvPath() { return builtPath(LWMD5_ANIMCONV_PATH); }
fs::path md5inspectPath() { return builtPath(LWMD5_MD5INSPECT_PATH); }
fs::path sourceDir() { return builtPath(LWMD5_SOURCE_DIR); }

fs::path realDataDir()
{
    const fs::path candidate = sourceDir().parent_path() / "shared" / "realdata";
    std::error_code ec;
    return fs::is_directory(candidate, ec) ? candidate : fs::path();
}

} // namespace lwmd5::testing
