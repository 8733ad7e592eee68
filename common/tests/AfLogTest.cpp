#include "common/AfLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/ThreadMessage.h"
#include "testing/FileText.h"
#include "testing/ManualClock.h"
#include "testing/TempHome.h"

namespace {

namespace fs = std::filesystem;

// 3 September 2014, 01:40:00 UTC.
constexpr std::time_t kStart = 1409708400;

// The UTF-16LE text after the byte-order mark, as UTF-8 lines without their CR LF.
std::vector<std::string> LogLines(const fs::path& path) {
    std::string bytes = testing_support::ReadWholeFile(path);
    EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2)) << path;
    std::wstring text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        char32_t unit =
            static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            char32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                           (static_cast<unsigned char>(bytes[i + 3]) << 8);
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        text.push_back(static_cast<wchar_t>(unit));
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos;
         start = end + 2) {
        lines.push_back(WstringToString(text.substr(start, end - start)));
    }
    EXPECT_EQ(start, text.size()) << "the last line ends in CR LF";
    return lines;
}

std::string Prefix(const char* file, const char* function, int line) {
    std::tm now = plat::Clock::LocalNow();
    char prefix[512];
    std::snprintf(prefix, sizeof prefix, "%02d:%02d:%02d--file:%32s %35s():L%-4d ~%-4d >> ",
                  now.tm_hour, now.tm_min, now.tm_sec, file, function, line,
                  static_cast<int>(plat::GetCurrentThreadId()));
    return prefix;
}

class AfLogTest : public ::testing::Test {
  protected:
    void SetUp() override { plat::Clock::SetWallTime(kStart); }

    static fs::path CurrentFile() {
        std::wstring name;
        CAfLog().CreateFileName(name);
        return WstringToString(name);
    }

    static void SetLevel(const std::wstring& level) {
        ASSERT_EQ(0, CGlobalSetting().SetValue(L"main", L"logLevel", level, L"config.ini"));
    }

    testing_support::TempHome home;
    testing_support::ManualClock clock;
};

TEST_F(AfLogTest, FileIsNamedAfterProgramDateAndHour) {
    std::tm now = plat::Clock::LocalNow();
    char date[64];
    std::snprintf(date, sizeof date, "%02d年%02d月%02d日", now.tm_year % 100, now.tm_mon + 1,
                  now.tm_mday);
    char name[128];
    // The test program has no extension, so the two periods of "<base>.<.ext>" become one.
    std::snprintf(name, sizeof name, "%s.-%02d.txt", plat::ExecutablePath().filename().c_str(),
                  now.tm_hour);
    fs::path expected = plat::StateDir() / "log" / date / name;
    EXPECT_EQ(expected, CurrentFile());
    EXPECT_TRUE(fs::is_directory(expected.parent_path())) << "CreateFileName makes the folder";
}

TEST_F(AfLogTest, LineHasThePrefixThenTheMessage) {
    AfLog(0, "LogicSync.cpp", "CServerWatch::ScanfServer", 42, "%s", "abc");
    AfLog(0, "a.cpp", "f", 7, "n=%d t=%s", 5, "同步");
    std::vector<std::string> lines = LogLines(CurrentFile());
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(Prefix("LogicSync.cpp", "CServerWatch::ScanfServer", 42) + "abc", lines[0]);
    EXPECT_EQ(Prefix("a.cpp", "f", 7) + "n=5 t=同步", lines[1]);
}

TEST_F(AfLogTest, LongNamesAreWrittenWholeAndShiftTheLine) {
    std::string file(40, 'F');
    std::string function(50, 'g');
    AfLog(0, file.c_str(), function.c_str(), 123456, "msg");
    std::vector<std::string> lines = LogLines(CurrentFile());
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(Prefix(file.c_str(), function.c_str(), 123456) + "msg", lines[0]);
    EXPECT_NE(std::string::npos, lines[0].find("--file:" + file + " " + function + "():L123456 ~"));
}

TEST_F(AfLogTest, ThresholdComesFromConfigIni) {
    struct Case {
        const char* why;
        const wchar_t* setting;  // null: no logLevel key at all
        int level;
        bool written;
    } cases[] = {
        {"missing key writes level 0", nullptr, 0, true},
        {"level below 2 is dropped", L"2", 0, false},
        {"level 1 below 2 is dropped", L"2", 1, false},
        {"level equal to the threshold is written", L"2", 2, true},
        {"level 4 above 2", L"2", 4, true},
        {"level 6 above 2", L"2", 6, true},
        {"unparsable setting counts as 0", L"high", 0, true},
        {"leading digits count", L"5 levels", 4, false},
        {"leading digits count, level above", L"5 levels", 6, true},
        {"negative threshold lets negative levels through", L"-3", -1, true},
        {"huge threshold drops everything", L"99999999999999", 6, false},
    };
    int expectedLines = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        if (c.setting != nullptr) {
            SetLevel(c.setting);
        }
        AfLog(c.level, "t.cpp", "T", 1, "%s", c.why);
        expectedLines += c.written ? 1 : 0;
        std::vector<std::string> lines =
            fs::exists(CurrentFile()) ? LogLines(CurrentFile()) : std::vector<std::string>();
        ASSERT_EQ(static_cast<std::size_t>(expectedLines), lines.size());
        if (c.written) {
            EXPECT_TRUE(lines.back().ends_with(c.why));
        }
    }
}

// The threshold is kept between lines; each way the file can change must still be seen at once.
TEST_F(AfLogTest, ThresholdFollowsTheFileAfterEveryKindOfChange) {
    const fs::path settings = CGlobalSetting::FilePath(L"config.ini");
    auto written = [&](int level) {
        const std::size_t before =
            fs::exists(CurrentFile()) ? LogLines(CurrentFile()).size() : std::size_t{0};
        AfLog(level, "t.cpp", "T", 1, "probe");
        return fs::exists(CurrentFile()) && LogLines(CurrentFile()).size() > before;
    };
    SetLevel(L"4");
    EXPECT_FALSE(written(1));
    {
        SCOPED_TRACE("edited in place by hand");
        // Another size than the old text: the change time alone may not have moved yet.
        std::ofstream(settings) << "[main]\nlogLevel = 0\n";
        EXPECT_TRUE(written(1));
    }
    {
        SCOPED_TRACE("replaced through a link");
        const fs::path target = settings.parent_path() / "elsewhere.ini";
        std::ofstream(target) << "[main]\nlogLevel=6\n";
        fs::remove(settings);
        fs::create_symlink(target, settings);
        EXPECT_FALSE(written(4));
        std::ofstream(target) << "[main]\nlogLevel=1\n";
        EXPECT_TRUE(written(4)) << "the link's target changed, the link did not";
    }
    {
        SCOPED_TRACE("removed");
        fs::remove(settings);
        SetLevel(L"4");
        EXPECT_FALSE(written(1));
        fs::remove(settings);
        EXPECT_TRUE(written(1));
    }
}

TEST_F(AfLogTest, MarkOncePerFileAndNewFileEachHour) {
    AfLog(0, "t.cpp", "T", 1, "first");
    AfLog(0, "t.cpp", "T", 2, "second");
    fs::path firstHour = CurrentFile();
    std::string bytes = testing_support::ReadWholeFile(firstHour);
    EXPECT_EQ(std::string::npos, bytes.find("\xFF\xFE", 2)) << "one mark, at the start";
    EXPECT_EQ(2u, LogLines(firstHour).size());

    plat::Clock::Advance(std::chrono::hours(1));
    AfLog(0, "t.cpp", "T", 3, "third");
    fs::path secondHour = CurrentFile();
    EXPECT_NE(firstHour, secondHour);
    EXPECT_EQ(2u, LogLines(firstHour).size());
    std::vector<std::string> lines = LogLines(secondHour);
    ASSERT_EQ(1u, lines.size());
    EXPECT_TRUE(lines[0].ends_with(">> third"));
}

TEST_F(AfLogTest, NewDayGoesToANewFolder) {
    AfLog(0, "t.cpp", "T", 1, "today");
    fs::path today = CurrentFile();
    plat::Clock::Advance(std::chrono::hours(24));
    AfLog(0, "t.cpp", "T", 1, "tomorrow");
    fs::path tomorrow = CurrentFile();
    EXPECT_NE(today.parent_path(), tomorrow.parent_path());
    EXPECT_EQ(today.filename(), tomorrow.filename());
    EXPECT_EQ(1u, LogLines(tomorrow).size());
}

TEST_F(AfLogTest, OverlongLineIsCutAtTheLimit) {
    struct Case {
        const char* why;
        std::string message;
    } cases[] = {
        {"ASCII", std::string(300000, 'x')},
        {"three-byte characters are not split",
         [] {
             std::string s;
             for (int i = 0; i < 50000; ++i) {
                 s += "€";
             }
             return s;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        fs::remove(CurrentFile());
        AfLog(0, "t.cpp", "T", 1, "%s", c.message.c_str());
        AfLog(0, "t.cpp", "T", 2, "after");
        std::vector<std::string> lines = LogLines(CurrentFile());
        ASSERT_EQ(2u, lines.size());
        EXPECT_LE(lines[0].size(), 102399u);
        EXPECT_GT(lines[0].size(), 102399u - 4);
        EXPECT_EQ(std::string::npos, lines[0].find("\uFFFD"));
        EXPECT_TRUE(lines[1].ends_with(">> after"));
    }
}

TEST_F(AfLogTest, NullTextsAndPercentSignsAreSafe) {
    AfLog(0, nullptr, nullptr, 1, "100%% done");
    AfLog(0, "t.cpp", "T", 2, "%s", "50% of %s");
    std::vector<std::string> lines = LogLines(CurrentFile());
    ASSERT_EQ(2u, lines.size());
    EXPECT_TRUE(lines[0].ends_with(">> 100% done"));
    EXPECT_TRUE(lines[1].ends_with(">> 50% of %s"));
}

TEST_F(AfLogTest, FourThreadsLoseNoLine) {
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                AfLog(0, "t.cpp", "T", t, "thread %d line %d end", t, i);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::set<std::pair<int, int>> seen;
    for (const std::string& line : LogLines(CurrentFile())) {
        int t = -1;
        int i = -1;
        std::size_t at = line.find(">> thread ");
        ASSERT_NE(std::string::npos, at) << line;
        ASSERT_EQ(2, std::sscanf(line.c_str() + at, ">> thread %d line %d end", &t, &i)) << line;
        EXPECT_TRUE(line.ends_with(" end")) << line;
        seen.insert({t, i});
    }
    EXPECT_EQ(static_cast<std::size_t>(kThreads * kLines), seen.size());
}

TEST_F(AfLogTest, UnwritableLogFolderDropsTheLine) {
    // A file where the log folder should be.
    testing_support::WriteWholeFile(plat::StateDir() / "log", "not a folder");
    AfLog(0, "t.cpp", "T", 1, "lost");
    EXPECT_EQ("not a folder", testing_support::ReadWholeFile(plat::StateDir() / "log"));
}

}  // namespace
