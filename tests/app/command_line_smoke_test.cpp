#include "app/command_line.h"

#include <gtest/gtest.h>

namespace lwmd5 {
namespace {

TEST(FileKinds, ExtensionTestCoversExactlyFourCharactersFromTheLastDot)
{
    EXPECT_TRUE(isSceneFile("models.old/walk.lwsx"));
    EXPECT_FALSE(isSceneFile("walk.LWS"));
    EXPECT_FALSE(isSceneFile("walk"));
    EXPECT_TRUE(isObjectFile("walk.lwo"));
}

} // namespace
} // namespace lwmd5
