#include "support/run_program.h"

#include "support/temp_dir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#else
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX // libstdc++ of mingw-w64 defines it already
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace lwmd5::testing {

#ifndef _WIN32
ProgramResult runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                         const std::filesystem::path& workingDirectory, const std::string& argv0)
{
    ProgramResult result;
    TempDir captures;
    const std::string outPath = (captures / "stdout").string();
    const std::string errPath = (captures / "stderr").string();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());

    std::vector<std::string> storage;
    storage.push_back(argv0);
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : storage) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const std::string programPath = std::filesystem::absolute(program).string();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, programPath.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return result;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}
#else
namespace {

std::wstring widen(const std::string& text)
{
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return wide;
}

// Quotes one argument so that the C runtime's parser hands it back unchanged:
// backslashes are literal except in front of a quote, where each of them and
// the quote get a backslash of their own.
void appendArgument(std::wstring& line, const std::wstring& argument)
{
    line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

// The parser takes argument 0 up to the first blank, or from a quote to the
// next one, without any escapes; it cannot hold a quote.
std::wstring commandLine(const std::string& argv0, const std::vector<std::string>& arguments)
{
    const std::wstring program = widen(argv0);
    std::wstring line = program.find_first_of(L" \t") == std::wstring::npos && !program.empty()
                            ? program
                            : L'"' + program + L'"';
    for (const std::string& argument : arguments) appendArgument(line, widen(argument));
    return line;
}

struct Handle {
    HANDLE value = INVALID_HANDLE_VALUE;
    ~Handle()
    {
        if (value != INVALID_HANDLE_VALUE && value != nullptr) CloseHandle(value);
    }
};

HANDLE openInheritable(const std::filesystem::path& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

ProgramResult runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                         const std::filesystem::path& workingDirectory, const std::string& argv0)
{
    ProgramResult result;
    TempDir captures;
    const std::filesystem::path outPath = captures / "stdout";
    const std::filesystem::path errPath = captures / "stderr";
    {
        Handle in{openInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING)};
        Handle out{openInheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS)};
        Handle err{openInheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS)};
        if (out.value == INVALID_HANDLE_VALUE || err.value == INVALID_HANDLE_VALUE) {
            result.err = "runProgram: cannot create the capture files";
            return result;
        }
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in.value;
        startup.hStdOutput = out.value;
        startup.hStdError = err.value;
        PROCESS_INFORMATION process{};
        const std::wstring application = std::filesystem::absolute(program).wstring();
        const std::wstring directory = std::filesystem::absolute(workingDirectory).wstring();
        std::wstring line = commandLine(argv0, arguments);
        if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                            directory.c_str(), &startup, &process)) {
            result.err = "runProgram: CreateProcess failed with error " + std::to_string(GetLastError());
            return result;
        }
        Handle processHandle{process.hProcess};
        Handle threadHandle{process.hThread};
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        // Exception codes (0xC0000005 and its kind) end a process that crashed.
        if ((code & 0xC0000000u) == 0xC0000000u) {
            result.signal = static_cast<int>(code);
        } else {
            result.exitStatus = static_cast<int>(code);
        }
    }
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}
#endif

namespace {

// Paths fixed at build time are the build machine's. Run under wine, a cross
// build sees "/work/..." without a drive letter; such a path is anchored on
// the drive of the test program itself, the drive that maps the build
// machine's root.
std::filesystem::path builtPath(const char* path)
{
    std::filesystem::path result(path);
#ifdef _WIN32
    if (!result.has_root_name() && result.has_root_directory()) {
        std::wstring self(MAX_PATH, L'\0');
        for (;;) {
            const DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
            if (length < self.size()) {
                self.resize(length);
                break;
            }
            self.resize(self.size() * 2);
        }
        result = std::filesystem::path(self).root_name() / result;
    }
#endif
    return result;
}

} // namespace

std::filesystem::path meshconvPath()
{
    return builtPath(LWMD5_MESHCONV_PATH);
}

std::filesystem::path animconvPath()
{
    return builtPath(LWMD5_ANIMCONV_PATH);
}

std::filesystem::path sourceDir()
{
    return builtPath(LWMD5_SOURCE_DIR);
}

std::filesystem::path realDataDir()
{
    const std::filesystem::path candidate = sourceDir().parent_path() / "shared" / "realdata";
    std::error_code ec;
    return std::filesystem::is_directory(candidate, ec) ? candidate : std::filesystem::path();
}

} // namespace lwmd5::testing
