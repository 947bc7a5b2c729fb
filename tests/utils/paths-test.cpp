#include "utils/paths.h"

#include <gtest/gtest.h>

namespace {

using InternalUtils::appendtail;
using InternalUtils::removetail;

TEST(PathsTest, RemoveTailFollowsDirname) {
    EXPECT_EQ(removetail("/usr/lib/libfile.so"), "/usr/lib");
    EXPECT_EQ(removetail("/usr/lib/"), "/usr");
    EXPECT_EQ(removetail("libfile.so"), ".");
    EXPECT_EQ(removetail(nullptr), "");
}

TEST(PathsTest, AppendTailAddsOneSeparator) {
    EXPECT_EQ(appendtail("/opt/dir", "libfile.so"), "/opt/dir/libfile.so");
    EXPECT_EQ(appendtail("/opt/dir/", "libfile.so"), "/opt/dir/libfile.so");
    EXPECT_EQ(appendtail(nullptr, "libfile.so"), "libfile.so");
}

}  // namespace
