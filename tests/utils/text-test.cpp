// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

using namespace InternalUtils;

TEST(TextTest, GeterrormessageKeepsItsTextWhenTheSystemBufferChanges) {
    const std::string text = geterrormessage(ENOENT);
    const std::string expected = strerror(ENOENT);
    strerror(EACCES);
    EXPECT_EQ(text, expected);
}

TEST(TextTest, StringtolowerOfAStringCoversEmbeddedNuls) {
    std::string text("AB\0CD", 5);
    stringtolower(text);
    EXPECT_EQ(text, std::string("ab\0cd", 5));
}

TEST(TextTest, StringtolowerOfCharactersStopsAtCountOrNul) {
    char word[] = "WORD";
    stringtolower(word, 3);
    EXPECT_STREQ(word, "worD");

    char embedded[] = "AB\0CD";
    stringtolower(embedded, 5);
    EXPECT_EQ(std::string(embedded, 5), std::string("ab\0CD", 5));
}

TEST(TextTest, StringtolowerOfCharactersWithoutCountDoesNothing) {
    char word[] = "WORD";
    stringtolower(word, 0);
    stringtolower(word, -1);
    stringtolower(nullptr, 4);
    EXPECT_STREQ(word, "WORD");
}

TEST(TextTest, SkipwhitespaceStopsAtTheFirstOtherCharacterOrTheNul) {
    const char* mixed = " \t\r\nab ";
    EXPECT_EQ(skipwhitespace(mixed), mixed + 4);
    const char* blank = "   ";
    EXPECT_EQ(skipwhitespace(blank), blank + 3);
    const char* none = "ab";
    EXPECT_EQ(skipwhitespace(none), none);
    EXPECT_EQ(skipwhitespace(nullptr), nullptr);
}

TEST(TextTest, SkipendwhitespaceEndsAfterTheLastOtherCharacter) {
    const char* text = "ab \t\n";
    EXPECT_EQ(skipendwhitespace(text, 0), text + 2);
    EXPECT_EQ(skipendwhitespace(text, 4), text + 2);
    const char* inner = "ab  cd";
    EXPECT_EQ(skipendwhitespace(inner, 4), inner + 2);
    EXPECT_EQ(skipendwhitespace(inner, 0), inner + 6);
}

TEST(TextTest, SkipendwhitespaceEndsAtANulInsideTheRange) {
    const char* text = "ab";
    EXPECT_EQ(skipendwhitespace(text, 3), text + 2);
    const char* blankThenNul = "ab \0";
    EXPECT_EQ(skipendwhitespace(blankThenNul, 4), blankThenNul + 3);
}

// The characters before the start are blanks too, so a scan that ran past the
// start would end before it.
TEST(TextTest, SkipendwhitespaceOfNothingLeftIsTheStartAndNeverReadsBeforeIt) {
    const char buffer[] = "x     ";
    const char* blank = buffer + 3;
    EXPECT_EQ(skipendwhitespace(blank, 0), blank);
    EXPECT_EQ(skipendwhitespace(blank, 3), blank);
    EXPECT_EQ(skipendwhitespace(blank, -2), blank);
    const char* empty = "";
    EXPECT_EQ(skipendwhitespace(empty, 0), empty);
    EXPECT_EQ(skipendwhitespace(nullptr, 0), nullptr);
}

}  // namespace
