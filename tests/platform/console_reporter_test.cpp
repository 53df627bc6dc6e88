#include "platform/file_io.h"
#include "platform/report.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

// On Windows the boxes and debug lines go to the desktop and the debugger.
#ifndef _WIN32
#include <filesystem>
#include <iterator>

namespace lwmd5 {
namespace {

TEST(ConsoleReporter, WritesEachKindOfMessageAsOneStderrLine)
{
    ::testing::internal::CaptureStderr();
    ConsoleReporter report("meshconv");
    report.error("walk.lwo: chunk VMAP at offset 1234 is cut");
    report.warning("walk.lwo: the object has no surface");
    report.debugLine("Mesh: 1\tUVs:3/3\n"); // progress lines only when asked for
    report.showDebugLines(true);
    report.debugLine("Mesh: 1\tWs:3/3\n");
    report.notice(ReaderNotice::WrongFileFormat);
    report.note("wrote walk.md5mesh");
    report.error("100% of %s %d"); // a text, never a format
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "meshconv: walk.lwo: chunk VMAP at offset 1234 is cut\nmeshconv: warning: walk.lwo: the object has no "
              "surface\nMesh: 1\tWs:3/3\nmeshconv: Whassuuup??: Wrong File Format!\nmeshconv: wrote walk.md5mesh\n"
              "meshconv: 100% of %s %d\n");
}

// A write that fails halfway keeps the old file and leaves no temporary one: Md5Files.FailedWriteKeepsWhatWasThere
// proves it for this writer on a disk that fills up, the hostile-input table for the programs.
TEST(AtomicFileWriter, ReplacesAnExistingTargetAndLeavesNoTemporaryFile)
{
    const testing::TempDir dir;
    const auto target = dir.write("walk.md5mesh", std::string("old contents\n"));
    std::string reason;
    ASSERT_TRUE(replaceFileAtomically(target.string(), "MD5Version 10\n", reason)) << reason;
    EXPECT_EQ(testing::readFile(target), "MD5Version 10\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

} // namespace
} // namespace lwmd5

#endif
