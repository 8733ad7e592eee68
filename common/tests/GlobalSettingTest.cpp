#include "common/GlobalSetting.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/Paths.h"
#include "testing/FileText.h"
#include "testing/TempHome.h"

namespace {

namespace fs = std::filesystem;

class GlobalSettingTest : public ::testing::Test {
  protected:
    fs::path File() const { return plat::ConfigDir() / "config.ini"; }

    void Write(const std::string& text) const { testing_support::WriteWholeFile(File(), text); }

    std::string Read() const { return testing_support::ReadWholeFile(File()); }

    std::wstring Get(const std::wstring& section, const std::wstring& key) {
        std::wstring value = L"untouched";
        EXPECT_EQ(0, setting.GetValue(section, key, value, L"config.ini"));
        return value;
    }

    testing_support::TempHome home;
    CGlobalSetting setting;
};

TEST_F(GlobalSettingTest, MissingFileReadsAsEmpty) {
    setting.m_wstrUser = L"stale";
    setting.m_wstrLogLevel = L"stale";
    EXPECT_EQ(0, setting.Load(L"config.ini"));
    EXPECT_EQ(L"", setting.m_wstrUser);
    EXPECT_EQ(L"", setting.m_wstrLogLevel);
    EXPECT_EQ(L"", Get(L"main", L"syncdir"));
    EXPECT_FALSE(fs::exists(File())) << "reading must not create the file";
}

TEST_F(GlobalSettingTest, SaveCreatesPrivateFileWithSectionMain) {
    setting.m_wstrUser = L"用户alice";
    ASSERT_EQ(0, setting.Save(L"config.ini"));
    EXPECT_EQ("[main]\nuser=用户alice\n", Read());
    struct stat st {};
    ASSERT_EQ(0, stat(File().c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);

    CGlobalSetting other;
    other.Load(L"config.ini");
    EXPECT_EQ(L"用户alice", other.m_wstrUser);
    // Only the file itself is left: the temporary file went away with the rename.
    EXPECT_EQ(1, std::distance(fs::directory_iterator(plat::ConfigDir()), {}));
}

TEST_F(GlobalSettingTest, WriteKeepsEveryOtherLine) {
    Write(
        "; written by hand\r\n"
        "[other]\r\n"
        "user=someone else\r\n"
        "\r\n"
        "[Main]\r\n"
        "logLevel = 4\r\n"
        "USER=old\r\n"
        "custom=kept\r\n"
        "\r\n"
        "[tail]\r\n"
        "x=1\r\n");
    setting.m_wstrUser = L"new";
    ASSERT_EQ(0, setting.Save(L"config.ini"));
    ASSERT_EQ(0, setting.SaveDir(L"/home/u/Corvena", L"config.ini"));
    EXPECT_EQ(
        "; written by hand\n"
        "[other]\n"
        "user=someone else\n"
        "\n"
        "[Main]\n"
        "logLevel = 4\n"
        "user=new\n"
        "custom=kept\n"
        "syncdir=/home/u/Corvena\n"
        "\n"
        "[tail]\n"
        "x=1\n",
        Read());
    EXPECT_EQ(L"someone else", Get(L"other", L"user"));
    EXPECT_EQ(L"1", Get(L"tail", L"x"));
}

TEST_F(GlobalSettingTest, NewSectionIsAppended) {
    Write("[main]\nuser=a");  // no line end after the last line
    ASSERT_EQ(0, setting.SetValue(L"extra", L"k", L"v", L"config.ini"));
    EXPECT_EQ("[main]\nuser=a\n[extra]\nk=v\n", Read());
}

TEST_F(GlobalSettingTest, LongValueReadsBackCutAt1023Characters) {
    std::wstring value(1100, L'目');
    value[1022] = L'a';
    ASSERT_EQ(0, setting.SetValue(L"main", L"long", value, L"config.ini"));
    EXPECT_EQ(value.substr(0, 1023), Get(L"main", L"long"));
    EXPECT_NE(std::string::npos, Read().find("a目目")) << "the file keeps the whole value";
}

TEST_F(GlobalSettingTest, EmptyDirectoryKeepsTheKey) {
    ASSERT_EQ(0, setting.SaveDir(L"/old", L"config.ini"));
    ASSERT_EQ(0, setting.SaveDir(L"", L"config.ini"));
    EXPECT_EQ("[main]\nsyncdir=\n", Read());
    EXPECT_EQ(L"", Get(L"main", L"syncdir"));
}

TEST_F(GlobalSettingTest, ValuesReadBackAsWritten) {
    struct Case {
        const char* why;
        std::wstring value;
    } cases[] = {
        {"blanks at both ends are kept by quoting", L"  /home/u/My Sync  "},
        {"a value in quotes keeps its quotes", L"\"quoted\""},
        {"single quotes too", L"'x'"},
        {"one quote alone needs nothing", L"\"half"},
        {"equals signs in the value", L"a=b=c"},
        {"brackets in the value", L"[main]"},
        {"the empty value", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_EQ(0, setting.SetValue(L"main", L"k", c.value, L"config.ini"));
        EXPECT_EQ(c.value, Get(L"main", L"k"));
    }
}

TEST_F(GlobalSettingTest, HandWrittenFilesAreRead) {
    static const char kJunk[] = "\x01\x02\x00\x00garbage\n[\n]=\n=x\n\xFE\xFF\n[main]\nuser=ok\n";
    struct Case {
        const char* why;
        std::string text;
        std::wstring user;
    } cases[] = {
        {"names match without case, blanks ignored", "  [ MAIN ]\n  User  =  bob  \n", L"bob"},
        {"first of two equal keys wins", "[main]\nuser=first\nuser=second\n", L"first"},
        {"first of two equal sections wins", "[main]\nx=1\n[main]\nuser=late\n", L""},
        {"a key of another section is not taken", "[other]\nuser=no\n[main]\n", L""},
        {"a key before any section is not taken", "user=no\n[main]\n", L""},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF[main]\r\nuser=bom\r\n", L"bom"},
        {"quoted value", "[main]\nuser=\" padded \"\n", L" padded "},
        {"invalid UTF-8 becomes U+FFFD", "[main]\nuser=a\xFF\xC3z\n", L"a\uFFFD\uFFFDz"},
        {"binary junk and NULs before the section", std::string(kJunk, sizeof kJunk - 1), L"ok"},
        {"unterminated section header", "[main\nuser=open\n", L"open"},
        {"no line ends at all", "[main]", L""},
        {"a lone carriage return line", "\r", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Write(c.text);
        setting.m_wstrUser = L"stale";
        EXPECT_EQ(0, setting.Load(L"config.ini"));
        EXPECT_EQ(c.user, setting.m_wstrUser);
    }
}

// Found by the config.ini fuzzer: a write of one key changed what another key read, because
// the file was written back in a form that reads differently.
TEST_F(GlobalSettingTest, WriteOfOneKeyChangesNoOtherReading) {
    struct Case {
        const char* why;
        std::string text;
        std::wstring user;
    } cases[] = {
        {"a second byte-order mark keeps the header unread",
         "\xEF\xBB\xBF\xEF\xBB\xBF[main]\nuser=a\n", L""},
        {"carriage returns at the end of the last line", "[main]\nuser=a\r\r", L"a"},
        {"carriage returns before a line feed", "[main]\nuser=a\r\r\n", L"a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Write(c.text);
        EXPECT_EQ(c.user, Get(L"main", L"user"));
        ASSERT_EQ(0, setting.SetValue(L"other", L"key", L"value", L"config.ini"));
        EXPECT_EQ(c.user, Get(L"main", L"user"));
        EXPECT_EQ(L"value", Get(L"other", L"key"));
    }
}

TEST_F(GlobalSettingTest, UnstorableTextsAreRefused) {
    Write("[main]\nuser=a\n");
    struct Case {
        const char* why;
        std::wstring section, key, value;
    } cases[] = {
        {"line break in the value would add a key", L"main", L"syncdir", L"/a\nlogLevel=9"},
        {"carriage return in the value", L"main", L"k", L"a\rb"},
        {"NUL in the value", L"main", L"k", std::wstring(L"a\0b", 3)},
        {"equals sign in the key", L"main", L"a=b", L"v"},
        {"empty key", L"main", L"  ", L"v"},
        {"key that reads as a section", L"main", L"[x", L"v"},
        {"closing bracket in the section", L"ma]in", L"k", L"v"},
        {"line break in the section", L"a\nb", L"k", L"v"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(-2, setting.SetValue(c.section, c.key, c.value, L"config.ini"));
        EXPECT_EQ("[main]\nuser=a\n", Read());
    }
}

TEST_F(GlobalSettingTest, FileThatCannotBeWrittenGivesMinus2) {
    // A folder where the file should be: it can be neither read nor replaced.
    fs::create_directories(File() / "inner");
    setting.m_wstrUser = L"x";
    EXPECT_EQ(-2, setting.Save(L"config.ini"));
    EXPECT_EQ(-2, setting.SaveDir(L"/d", L"config.ini"));
    EXPECT_TRUE(fs::is_directory(File() / "inner"));
    EXPECT_EQ(0, setting.Load(L"config.ini"));
    EXPECT_EQ(L"", setting.m_wstrUser);
}

TEST_F(GlobalSettingTest, WriteMakesTheConfigFolderAgainWhenItWasRemoved) {
    ASSERT_EQ(0, setting.SetValue(L"main", L"user", L"a", L"config.ini"));
    fs::remove_all(plat::ConfigDir());
    ASSERT_EQ(0, setting.SetValue(L"main", L"user", L"b", L"config.ini"));
    EXPECT_EQ("[main]\nuser=b\n", Read());
}

TEST_F(GlobalSettingTest, ConcurrentWritersLoseNoKey) {
    constexpr int kThreads = 4;
    constexpr int kKeys = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            CGlobalSetting own;
            for (int k = 0; k < kKeys; ++k) {
                std::wstring key = L"k" + std::to_wstring(t) + L"_" + std::to_wstring(k);
                own.SetValue(L"main", key, std::to_wstring(k), L"config.ini");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        for (int k = 0; k < kKeys; ++k) {
            std::wstring key = L"k" + std::to_wstring(t) + L"_" + std::to_wstring(k);
            EXPECT_EQ(std::to_wstring(k), Get(L"main", key));
        }
    }
}

}  // namespace
