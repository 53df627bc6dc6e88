#include "support/run_program.h"

#include "support/temp_dir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
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
#endif

std::filesystem::path meshconvPath()
{
    return LWMD5_MESHCONV_PATH;
}

std::filesystem::path animconvPath()
{
    return LWMD5_ANIMCONV_PATH;
}

std::filesystem::path sourceDir()
{
    return LWMD5_SOURCE_DIR;
}

std::filesystem::path realDataDir()
{
    const std::filesystem::path candidate = sourceDir().parent_path() / "shared" / "realdata";
    std::error_code ec;
    return std::filesystem::is_directory(candidate, ec) ? candidate : std::filesystem::path();
}

} // namespace lwmd5::testing
