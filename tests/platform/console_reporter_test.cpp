#include "platform/file_io.h"
#include "platform/report.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace lwmd5 {
namespace {

using testing::TempDir;

#ifndef _WIN32

TEST(ConsoleReporter, WritesEachKindOfMessageAsOneStderrLine)
{
    // Captures what reaches file descriptor 2.
    ::testing::internal::CaptureStderr();
    ConsoleReporter report("meshconv");
    report.error("walk.lwo: chunk VMAP at offset 1234 reaches past the end of the file");
    report.warning("walk.lwo: the object has no surface");
    report.debugLine("Mesh: 1\tUVs:3/3\n");
    report.messageBox("ERROR!!!", "Check Geometry! Only 3 verts per poly!");
    report.messageBox("Whassuuup??", "Wrong File Format!");
    report.debugLine("PTags: 36 - 9\n");
    // Texts are written as they stand, never used as a format.
    report.error("100% of %s %d");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "meshconv: walk.lwo: chunk VMAP at offset 1234 reaches past the end of the file\n"
                              "meshconv: warning: walk.lwo: the object has no surface\n"
                              "Mesh: 1\tUVs:3/3\n"
                              "meshconv: ERROR!!!: Check Geometry! Only 3 verts per poly!\n"
                              "meshconv: Whassuuup??: Wrong File Format!\n"
                              "PTags: 36 - 9\n"
                              "meshconv: 100% of %s %d\n");
}

#endif

std::vector<std::string> folderEntries(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ReadWholeFile, GivesTheBytesOrTheReasonItCannot)
{
    const TempDir dir;
    const std::string binary("\0\r\n\xFF\x1A\n", 6);
    const auto file = dir.write("object.lwo", binary);
    const auto empty = dir.write("empty.lwo", std::string());

    std::string bytes = "stale";
    std::string reason;
    ASSERT_TRUE(readWholeFile(file.string(), bytes, reason));
    EXPECT_EQ(bytes, binary); // binary mode: no line-end translation, zeros kept
    ASSERT_TRUE(readWholeFile(empty.string(), bytes, reason));
    EXPECT_EQ(bytes, "");

    EXPECT_FALSE(readWholeFile((dir / "missing.lwo").string(), bytes, reason));
    EXPECT_EQ(reason, std::strerror(ENOENT));
    EXPECT_FALSE(readWholeFile(dir.path().string(), bytes, reason));
    EXPECT_EQ(reason, std::strerror(EISDIR));
}

TEST(ReplaceFileAtomically, ReplacesTheTargetAndLeavesNothingElse)
{
    const TempDir dir;
    const auto target = dir.write("walk.md5mesh", std::string("old contents\n"));
    std::string reason;
    ASSERT_TRUE(replaceFileAtomically(target.string(), "MD5Version 10\nnumJoints 1\n", reason)) << reason;
    EXPECT_EQ(testing::readFile(target), testing::platformText("MD5Version 10\nnumJoints 1\n"));
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"walk.md5mesh"});
}

TEST(ReplaceFileAtomically, MissingFolderFailsWithItsReason)
{
    const TempDir dir;
    const auto target = dir / "missing" / "walk.md5mesh";
    std::string reason;
    EXPECT_FALSE(replaceFileAtomically(target.string(), "MD5Version 10\n", reason));
    EXPECT_EQ(reason, std::strerror(ENOENT));
    EXPECT_TRUE(folderEntries(dir.path()).empty());
}

TEST(ReplaceFileAtomically, FailedRenameKeepsTheTargetAndRemovesTheTemporaryFile)
{
    // The temporary file is written in full, then cannot replace a folder.
    const TempDir dir;
    std::filesystem::create_directory(dir / "walk.md5mesh");
    dir.write("walk.md5mesh/keep", std::string("kept"));
    std::string reason;
    EXPECT_FALSE(replaceFileAtomically((dir / "walk.md5mesh").string(), "MD5Version 10\n", reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"walk.md5mesh"});
    EXPECT_EQ(testing::readFile(dir / "walk.md5mesh" / "keep"), "kept");
}

TEST(AtomicFileWriter, WithoutCommitLeavesTheTargetAndNoTemporaryFile)
{
    const TempDir dir;
    const auto target = dir.write("walk.md5anim", std::string("old contents\n"));
    {
        AtomicFileWriter writer;
        std::string reason;
        ASSERT_TRUE(writer.open(target.string(), reason)) << reason;
        writer.write("MD5Version 10\n");
        EXPECT_EQ(folderEntries(dir.path()).size(), 2u); // the temporary file exists meanwhile
    }
    EXPECT_EQ(testing::readFile(target), "old contents\n");
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"walk.md5anim"});
}

#ifndef _WIN32

// Caps the size of files this process may write, for one test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = SIG_DFL;
};

TEST(ReplaceFileAtomically, FailedWriteKeepsTheTargetAndRemovesTheTemporaryFile)
{
    const TempDir dir;
    const auto target = dir.write("walk.md5mesh", std::string("old contents\n"));
    const std::string text(1 << 20, 'x');
    std::string reason;
    bool replaced = true;
    {
        const FileSizeLimit limit(64 * 1024);
        replaced = replaceFileAtomically(target.string(), text, reason);
    }
    EXPECT_FALSE(replaced);
    EXPECT_EQ(reason, std::strerror(EFBIG));
    EXPECT_EQ(testing::readFile(target), "old contents\n");
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"walk.md5mesh"});
}

#endif

} // namespace
} // namespace lwmd5
