// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include <gtest/gtest.h>

#include "ModuleProbe.h"

namespace {

TEST(CreateModuleRelativePathTest, JoinsNameToTheLibrarysDirectory) {
    TrelvoTest::Installation installation;
    TrelvoTest::ModuleProbe probe(installation.library());
    EXPECT_EQ(probe->getcurrentmodulepath(), probe.path());
    EXPECT_EQ(probe->createmodulerelativepath("Trelvo.conf"),
              installation.library() + "/Trelvo.conf");
}

}  // namespace
