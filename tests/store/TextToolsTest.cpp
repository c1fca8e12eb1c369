#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>

#include "store/MyToolsText.h"
#include "store/TextScan.h"

using Fields = std::vector<std::string>;

TEST(TextTools, SepCSVJoinsQuotedRunsAndKeepsEverythingElse) {
    EXPECT_EQ(MyToolsText::sepCSV("a,b,,c"), (Fields{"a", "b", "", "c"}));
    EXPECT_EQ(MyToolsText::sepCSV("a,\"b,c\",d"), (Fields{"a", "b,c", "d"}));
    EXPECT_EQ(MyToolsText::sepCSV("\"x,y,z\""), (Fields{"x,y,z"}));
    EXPECT_EQ(MyToolsText::sepCSV("a,\"b\",c"), (Fields{"a", "b", "c"}));
    EXPECT_EQ(MyToolsText::sepCSV("a,b\"c,d"), (Fields{"a", "b\"c", "d"}));
    EXPECT_EQ(MyToolsText::sepCSV("a,b\",c"), (Fields{"a", "b\"", "c"}));
    EXPECT_EQ(MyToolsText::sepCSV("a,\"b,c"), (Fields{"a", "\"b,c"}));  // never closed
    EXPECT_EQ(MyToolsText::sepCSV("\"a,\"b,c\""), (Fields{"\"a", "b,c"}));
}

TEST(TextTools, ParseFirstLineTakesCompleteLinesOnly) {
    std::string text = "a\r\nb\nc";
    std::vector<std::string> lines{"stale"};
    EXPECT_FALSE(MyToolsText::parseFirstLine(text, lines));
    EXPECT_EQ(lines, (Fields{"a", "b"}));
    EXPECT_EQ(text, "c");

    text = "x\ny\r\n";
    MyToolsText::parseFirstLine(text, lines);
    EXPECT_EQ(lines, (Fields{"x", "y"}));
    EXPECT_EQ(text, "");

    text = "p\rq\n";  // a lone CR ends an incomplete line
    MyToolsText::parseFirstLine(text, lines);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(text, "p\rq\n");

    text = "";
    MyToolsText::parseFirstLine(text, lines);
    EXPECT_TRUE(lines.empty());
}

TEST(TextTools, IsNumberWantsTheWholeText) {
    for (const char* yes : {"12", "-7", "+3", "", "99999999999999999999"})
        EXPECT_TRUE(MyToolsText::isNumber(yes)) << yes;
    for (const char* no : {" 12", "12 ", "1.5", "0x1F", "abc", "+", "-"})
        EXPECT_FALSE(MyToolsText::isNumber(no)) << no;
}

TEST(TextTools, SepNSDateGivesLocalCalendarFields) {
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
    std::tm local{};
    local.tm_year = 2014 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 5;
    local.tm_hour = 7;
    local.tm_min = 8;
    local.tm_sec = 9;
    local.tm_isdst = -1;
    const auto whole = std::chrono::system_clock::from_time_t(std::mktime(&local));

    int32_t y = -1, mo = -1, d = -1, h = -1, mi = -1, s = -1, ms = -1;
    MyToolsText::sepNSDate(nullptr, y, mo, d, h, mi, s, ms);
    EXPECT_EQ(y, -1);
    EXPECT_EQ(ms, -1);

    const auto t = whole + std::chrono::milliseconds(45);
    MyToolsText::sepNSDate(&t, y, mo, d, h, mi, s, ms);
    EXPECT_EQ((std::vector<int32_t>{y, mo, d, h, mi, s, ms}),
              (std::vector<int32_t>{2014, 3, 5, 7, 8, 9, 45}));
    MyToolsText::sepNSDate(&whole, y, mo, d, h, mi, s, ms);
    EXPECT_EQ(ms, 0);
    unsetenv("TZ");
    tzset();
}

// Names shown on a terminal cannot drive it or hide what they are.
TEST(TextTools, TerminalTextEscapesWhatWouldActOnTheTerminal) {
    EXPECT_EQ(text::forTerminal("VRAX610-001 センサ"), "VRAX610-001 センサ");
    EXPECT_EQ(text::forTerminal("\x1b[2J\x07"), "\\x1b[2J\\x07");
    EXPECT_EQ(text::forTerminal("abc\u202Evsc.exe"), "abc\\u{202e}vsc.exe");
    EXPECT_EQ(text::forTerminal("\xC2\x9B"
                                "1m"),
              "\\x9b1m");  // C1 CSI
    EXPECT_EQ(text::forTerminal("bad\xff\xC0\xAF"), "bad\\xff\\xc0\\xaf");
}
