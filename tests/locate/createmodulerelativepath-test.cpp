#include <gtest/gtest.h>

#include "ModuleProbe.h"

namespace {

TEST(CreateModuleRelativePathTest, JoinsNameToTheLibrarysDirectory) {
    TrelvoTest::TestDirectory directory;
    TrelvoTest::ModuleProbe probe(directory.path());
    EXPECT_EQ(probe->getcurrentmodulepath(), probe.path());
    EXPECT_EQ(probe->createmodulerelativepath("Trelvo.conf"), directory.file("Trelvo.conf"));
}

}  // namespace
