// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "locate/locateimpl.h"

#include <gtest/gtest.h>

#include "PrivateMount.h"
#include "TestSupport.h"

namespace {

using TrelvoTest::ScopedEnvironment;
using TrelvoTest::ScopedPrivateMount;
using TrelvoTest::TestDirectory;

struct Product : TrelvoTest::NamedCase {
    std::string (*locate)();
    // The shared-info file below the base directory.
    const char* sharedInfo;
};

const Product kProducts[] = {
    {{"Pravik"}, InternalUtils::locatepravik, "Korvalt/Pravik/sharedinfo.txt"},
    {{"FENRA"}, InternalUtils::locatefenra, "Korvalt/FENRA/Trunwell/sharedinfo.txt"},
};

// Each test owns HOME; the per-user base is HOME/.fenra.
class LocateImplTest : public testing::TestWithParam<Product> {
protected:
    LocateImplTest() { m_environment.set("HOME", m_home.path()); }

    std::string locate() const { return GetParam().locate(); }
    std::string writePerUser(const std::string& content) const {
        return m_home.write(std::string(".fenra/") + GetParam().sharedInfo, content);
    }

    TestDirectory m_home;
    ScopedEnvironment m_environment;
};

// A directory of its own in place of /usr/share, holding the product's
// shared-info file that names a library in /opt/system/lib.
class SystemWideTest : public LocateImplTest {
protected:
    void SetUp() override {
        m_system.write(GetParam().sharedInfo, "/opt/system/lib/libfile.so\n");
        m_mount = std::make_unique<ScopedPrivateMount>(m_system.path(), "/usr/share");
        if (!m_mount->failure().empty()) {
            GTEST_SKIP() << "cannot put a test directory over /usr/share in a private mount "
                            "namespace here: "
                         << m_mount->failure();
        }
    }

    TestDirectory m_system;
    std::unique_ptr<ScopedPrivateMount> m_mount;
};

TEST_P(LocateImplTest, ResultIsTheParentOfThePathOnTheFirstLine) {
    const struct {
        std::string content;
        const char* expected;
    } rows[] = {
        {"/opt/product/lib/libfile.so\n", "/opt/product/lib"},
        {"/opt/product/lib/\n", "/opt/product"},
        {"/opt/product/lib/libfile.so\r\n", "/opt/product/lib"},
        {"/opt/product/lib/libfile.so\n/opt/other/lib/libfile.so\n", "/opt/product/lib"},
        {"libfile.so\n", "."},
        {" /opt/product lib/libfile.so \n", " /opt/product lib"},
    };
    for (const auto& row : rows) {
        writePerUser(row.content);
        EXPECT_EQ(locate(), row.expected) << testing::PrintToString(row.content);
    }
}

TEST_P(LocateImplTest, FileWithoutAUsableFirstLineGivesNothing) {
    const std::string rows[] = {
        "/opt/product/lib/libfile.so",
        "",
        "\n/opt/product/lib/libfile.so\n",
        std::string("/opt/prod\0uct/lib/libfile.so\n", 29),
    };
    for (const auto& content : rows) {
        writePerUser(content);
        EXPECT_EQ(locate(), "") << testing::PrintToString(content);
    }
}

TEST_P(LocateImplTest, DirectoryInPlaceOfTheFileGivesNothing) {
    m_home.mkdir(std::string(".fenra/") + GetParam().sharedInfo);
    EXPECT_EQ(locate(), "");
}

TEST_P(LocateImplTest, FifoInPlaceOfTheFileGivesNothingAtOnce) {
    m_home.fifo(std::string(".fenra/") + GetParam().sharedInfo);
    EXPECT_EQ(locate(), "");
}

// Only the first line counts, so a huge file costs no more than its first
// megabyte: a first line within it is found, one that runs past it is not.
TEST_P(LocateImplTest, HugeFileIsReadOnlyAsFarAsAFirstLineCanReach) {
    const std::string junk(4 << 20, 'x');
    writePerUser("/opt/product/lib/libfile.so\n" + junk);
    EXPECT_EQ(locate(), "/opt/product/lib");
    writePerUser("/opt/product/lib/" + junk + "\n");
    EXPECT_EQ(locate(), "");
}

TEST_P(LocateImplTest, EachProductReadsOnlyItsOwnFile) {
    writePerUser("/opt/mine/lib/libfile.so\n");
    for (const Product& other : kProducts) {
        if (other.locate != GetParam().locate) {
            EXPECT_EQ(other.locate(), "") << other.caseName;
        }
    }
    EXPECT_EQ(locate(), "/opt/mine/lib");
}

TEST_P(SystemWideTest, WithoutThePerUserDirectoryTheSystemWideFileIsRead) {
    EXPECT_EQ(locate(), "/opt/system/lib");
}

TEST_P(SystemWideTest, AnEmptyPerUserDirectoryHidesTheSystemWideFile) {
    m_home.mkdir(".fenra");
    EXPECT_EQ(locate(), "");
}

TEST_P(SystemWideTest, WithoutHomeTheRootPerUserDirectoryIsTestedFirst) {
    if (TrelvoTest::Exists("/.fenra")) GTEST_SKIP() << "/.fenra exists on this machine";
    m_environment.unset("HOME");
    EXPECT_EQ(locate(), "/opt/system/lib");
}

INSTANTIATE_TEST_SUITE_P(Products, LocateImplTest, testing::ValuesIn(kProducts),
                         TrelvoTest::CaseName());
INSTANTIATE_TEST_SUITE_P(Products, SystemWideTest, testing::ValuesIn(kProducts),
                         TrelvoTest::CaseName());

}  // namespace
