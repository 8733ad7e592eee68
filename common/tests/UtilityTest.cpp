// Conversions, path arithmetic and the client's texts; the file chores are in FileChoresTest.
#include "common/Utility.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ConversionTest, ValidTextRoundTrips) {
    struct Case {
        const char* why;
        std::string narrow;
        std::wstring wide;
    } cases[] = {
        {"empty", "", L""},
        {"ASCII", "a.txt", L"a.txt"},
        {"Chinese", "同步盘", L"同步盘"},
        {"outside the BMP", "\xF0\x9F\x98\x80", L"\U0001F600"},
        {"U+FFFD itself", "\xEF\xBF\xBD", L"\uFFFD"},
        {"embedded NUL", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(c.wide, StringToWstring(c.narrow));
        EXPECT_EQ(c.narrow, WstringToString(c.wide));
        std::wstring out = L"stale";
        Utf82WideString(c.narrow, out);
        EXPECT_EQ(c.wide, out);
    }
}

TEST(ConversionTest, InvalidUtf8BecomesReplacementCharacters) {
    struct Case {
        const char* why;
        std::string narrow;
        std::wstring wide;
    } cases[] = {
        {"stray continuation byte", "a\x80z", L"a\uFFFDz"},
        {"byte that never occurs", "\xFF\xFE", L"\uFFFD\uFFFD"},
        {"truncated at the end", "a\xE5\x90", L"a\uFFFD"},
        {"truncated before ASCII", "\xE5\x90z", L"\uFFFDz"},
        {"overlong slash", "\xC0\xAF", L"\uFFFD\uFFFD"},
        {"overlong three-byte", "\xE0\x80\xAF", L"\uFFFD\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"Latin-1 name", "caf\xE9.txt", L"caf\uFFFD.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(c.wide, StringToWstring(c.narrow));
    }
}

TEST(ConversionTest, InvalidWideUnitsBecomeReplacementCharacters) {
    std::wstring wide = {L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000),
                         static_cast<wchar_t>(-1), L'z'};
    EXPECT_EQ("a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDz", WstringToString(wide));
}

TEST(ConversionTest, UnicodeToUtf8NewEscapesEveryByte) {
    EXPECT_EQ("%61%62", UnicodeToUtf8_new(L"ab"));
    EXPECT_EQ("", UnicodeToUtf8_new(L""));
    EXPECT_EQ("%E5%90%8C%2E%20%25", UnicodeToUtf8_new(L"同. %"));
    std::string longText = UnicodeToUtf8_new(std::wstring(2000, L'x'));
    EXPECT_EQ(6000u, longText.size()) << "long names are encoded whole";
}

TEST(PathTest, GetRelatePath) {
    struct Case {
        const char* why;
        std::wstring full, base, expected;
    } cases[] = {
        {"file two levels down", L"/home/u/S/a/b.txt", L"/home/u/S", L".\\a\\b.txt"},
        {"base with a trailing separator", L"/home/u/S/a/b.txt", L"/home/u/S/", L".\\a\\b.txt"},
        {"item directly in the base", L"/home/u/S/b", L"/home/u/S", L".\\b"},
        {"different case is not below", L"/home/u/S/a/b.txt", L"/home/u/s", L"/home/u/S/a/b.txt"},
        {"the base itself", L"/home/u/S", L"/home/u/S", L"/home/u/S"},
        {"sibling sharing the prefix", L"/home/u/Sx/a", L"/home/u/S", L"/home/u/Sx/a"},
        {"outside the base", L"/tmp/a", L"/home/u/S", L"/tmp/a"},
        {"shorter than the base", L"/home", L"/home/u/S", L"/home"},
        {"name with a backslash", L"/home/u/S/a\\b.txt", L"/home/u/S", L"/home/u/S/a\\b.txt"},
        {"Chinese names", L"/home/u/同步/目录/文件", L"/home/u/同步", L".\\目录\\文件"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(c.expected, GetRelatePath(c.full, c.base));
    }
}

TEST(PathTest, GetAbsolutePath) {
    struct Case {
        const char* why;
        std::wstring relative, base, expected;
    } cases[] = {
        {"empty gives the base", L"", L"/home/u/S", L"/home/u/S"},
        {"file two levels down", L".\\a\\b.txt", L"/home/u/S", L"/home/u/S/a/b.txt"},
        {"base with a trailing separator", L".\\a\\b.txt", L"/home/u/S/", L"/home/u/S/a/b.txt"},
        {"the root form", L".\\", L"/home/u/S", L"/home/u/S/"},
        {"a lone period", L".", L"/home/u/S/", L"/home/u/S/"},
        {"a folder path with a trailing backslash", L".\\a\\", L"/S", L"/S/a/"},
        {"a base whose last name is a backslash", L".\\a", L"/S\\", L"/S\\/a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(c.expected, GetAbsolutePath(c.relative, c.base));
    }
}

TEST(PathTest, RelativeAndAbsoluteAreInverse) {
    // The third base was found by the path fuzzer: a backslash ending the base was taken
    // for a separator, so the path came back without its "/".
    for (const wchar_t* base : {L"/home/u/S", L"/home/u/S/", L"/home/u/S\\"}) {
        for (const wchar_t* relative : {L".\\a", L".\\a\\b.txt", L".\\目录\\x y\\z"}) {
            SCOPED_TRACE(testing::Message()
                         << WstringToString(base) << " " << WstringToString(relative));
            EXPECT_EQ(relative, GetRelatePath(GetAbsolutePath(relative, base), base));
        }
    }
}

TEST(PathTest, GetParentPathAndGetFileName) {
    struct Case {
        std::wstring path, parent, name;
    } cases[] = {
        {L".\\a\\b.txt", L".\\a", L"b.txt"},
        {L".\\a", L".", L"a"},
        {L"noseparator", L"", L"noseparator"},
        {L"\\first", L"", L"first"},
        {L"", L"", L""},
        {L"/home/u/S/a.txt", L"", L"a.txt"},
        {L".\\a\\", L".\\a", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WstringToString(c.path));
        EXPECT_EQ(c.parent, GetParentPath(c.path));
        EXPECT_EQ(c.name, GetFileName(c.path));
    }
}

TEST(TextTest, CountChar) {
    EXPECT_EQ(3, CountChar(L".\\a\\b\\c", L'\\'));
    EXPECT_EQ(0, CountChar(L"", L'\\'));
}

TEST(TextTest, Wildcmp) {
    struct Case {
        const wchar_t* text;
        const wchar_t* pattern;
        int expected;
    } cases[] = {
        {L"a.TMP", L"*.tmp", 0},
        {L"a.TMP", L"*.TMP", 1},
        {L"", L"*", 1},
        {L"", L"", 1},
        {L"", L"?", 0},
        {L"abc", L"a?c", 1},
        {L"abc", L"ab", 0},
        {L"ab", L"abc", 0},
        {L"~$report.docx", L"~$*", 1},
        {L"abcbcd", L"*bcd", 1},
        {L"mississippi", L"m*iss*ppi", 1},
        {L"mississippi", L"m*iss*ppx", 0},
        {L"x.tmp.txt", L"*.tmp", 0},
        {L"同步.tmp", L"??.tmp", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WstringToString(c.text) + " ~ " + WstringToString(c.pattern));
        EXPECT_EQ(c.expected, wildcmp(c.text, c.pattern));
    }
    EXPECT_EQ(0, wildcmp(nullptr, L"*"));
    EXPECT_EQ(0, wildcmp(L"a", nullptr));
}

TEST(TextTest, WildcmpStaysFastOnManyStars) {
    std::wstring text(20000, L'a');
    EXPECT_EQ(0, wildcmp(text.c_str(), L"*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(TextTest, SectionMark) {
    struct Case {
        std::string number;
        int length;
        std::string expected;
    } cases[] = {
        {"1000", 4, "1,000"},
        {"100", 3, "100"},
        {"1234567.89", 10, "1,234,567.89"},
        {"123456", 6, "123,456"},
        {"-1234", 5, "-1,234"},
        {"0.12345", 7, "0.12345"},
        {"", 0, ""},
        {"123456", 3, "123"},
        {"12", 10, "12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        char out[64];
        std::fill(std::begin(out), std::end(out), '#');
        EXPECT_EQ(out, sectionMark(out, c.number.c_str(), c.length));
        EXPECT_EQ(c.expected, std::string(out));
    }
}

TEST(TextTest, AutoReturnString) {
    struct Case {
        std::wstring text;
        int width;
        std::wstring expected;
    } cases[] = {
        {L"0123456789", 4, L"0123\r\n4567\r\n89\r\n"},
        {L"01234567", 4, L"0123\r\n4567\r\n"},
        {L"同步盘", 2, L"同步\r\n盘\r\n"},
        {L"", 4, L""},
        {L"abc", 0, L"abc\r\n"},
        {L"abc", -1, L"abc\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WstringToString(c.text));
        EXPECT_EQ(c.expected, AutoReturnString(c.text, c.width));
    }
}

TEST(TextTest, ReplaceRegexAlwaysEnds) {
    struct Case {
        const char* why;
        std::wstring text;
        const char* pattern;
        std::wstring replacement;
        std::wstring expected;
    } cases[] = {
        {"markup is removed from the first < to the last >", L"a<b>c</b>d", "<[\\s\\S]{1,}>", L"",
         L"ad"},
        {"blank lines collapse", L"a\n\n\n\nb\n\nc", "[\\n]{2,}", L"\n", L"a\nb\nc"},
        {"tabs vanish", L"\ta\t\tb", "[\\t]{1,}", L"", L"ab"},
        {"repeated until no match", L"a      b", "  ", L" ", L"a b"},
        {"no match leaves the text", L"abc", "x", L"y", L"abc"},
        {"replacement that matches again grows once", L"a", "a", L"aa", L"aa"},
        {"pattern matching the empty text", L"ab", "x*", L"-", L"-a-b-"},
        {"replacement equal to the match", L"aaa", "a", L"a", L"aaa"},
        {"rewriting that goes round in a circle", L"ab", "(a)(b)|(b)(a)", L"$2$1$4$3", L"ab"},
        {"non-ASCII text", L"同步<x>盘", "<x>", L"", L"同步盘"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::wstring text = c.text;
        ReplaceRegex(text, std::regex(c.pattern), c.replacement);
        EXPECT_EQ(c.expected, text);
    }
}

}  // namespace
