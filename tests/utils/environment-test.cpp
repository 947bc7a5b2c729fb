// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/environment.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

using InternalUtils::getenvvar;
using TrelvoTest::ScopedEnvironment;

TEST(EnvironmentTest, GetenvvarReturnsACopyOfTheValue) {
    ScopedEnvironment environment;
    environment.set("TRELVO_TEST_VARIABLE", "/opt/velt");
    const std::string value = getenvvar("TRELVO_TEST_VARIABLE");
    environment.set("TRELVO_TEST_VARIABLE", "changed");
    EXPECT_EQ(value, "/opt/velt");
}

TEST(EnvironmentTest, GetenvvarOfNothingIsEmpty) {
    ScopedEnvironment environment;
    environment.unset("TRELVO_TEST_UNSET").set("TRELVO_TEST_EMPTY", "");
    EXPECT_EQ(getenvvar("TRELVO_TEST_UNSET"), "");
    EXPECT_EQ(getenvvar("TRELVO_TEST_EMPTY"), "");
    EXPECT_EQ(getenvvar(nullptr), "");
}

TEST(EnvironmentTest, AnOrdinaryProcessIsNoSecureExecution) {
    EXPECT_FALSE(InternalUtils::issecureexecution());
}

}  // namespace
