#include "platform/file_io.h"
#include "platform/report.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace lwmd5 {
namespace {

#ifndef _WIN32

// On Windows the boxes and debug lines go to the desktop and the debugger,
// and the file size limit does not exist.
TEST(ConsoleReporter, WritesEachKindOfMessageAsOneStderrLine)
{
    ::testing::internal::CaptureStderr();
    ConsoleReporter report("meshconv");
    report.error("walk.lwo: chunk VMAP at offset 1234 reaches past the end of the file");
    report.warning("walk.lwo: the object has no surface");
    report.debugLine("Mesh: 1\tUVs:3/3\n");
    report.messageBox("Whassuuup??", "Wrong File Format!");
    report.error("100% of %s %d"); // a text, never a format
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "meshconv: walk.lwo: chunk VMAP at offset 1234 reaches past the end of the file\n"
              "meshconv: warning: walk.lwo: the object has no surface\n"
              "Mesh: 1\tUVs:3/3\n"
              "meshconv: Whassuuup??: Wrong File Format!\n"
              "meshconv: 100% of %s %d\n");
}

TEST(AtomicFileWriter, ReplacesTheTargetOnlyWhenEveryByteWasWrittenAndLeavesNoTemporaryFile)
{
    const testing::TempDir dir;
    const auto target = dir.write("walk.md5mesh", std::string("old contents\n"));
    const auto files = [&dir] { return std::distance(std::filesystem::directory_iterator(dir.path()), {}); };
    std::string reason;
    // A write that fails halfway: past the file size limit it ends in EFBIG.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limited{64 * 1024, saved.rlim_max};
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limited);
    const bool replaced = replaceFileAtomically(target.string(), std::string(1 << 20, 'x'), reason);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(replaced);
    EXPECT_EQ(reason, std::strerror(EFBIG));
    EXPECT_EQ(testing::readFile(target), "old contents\n");
    EXPECT_EQ(files(), 1);
    ASSERT_TRUE(replaceFileAtomically(target.string(), "MD5Version 10\n", reason)) << reason;
    EXPECT_EQ(testing::readFile(target), testing::platformText("MD5Version 10\n"));
    EXPECT_EQ(files(), 1);
}

#endif

} // namespace
} // namespace lwmd5
