// The file functions of Utility.h on real files: hashing, status, backup, rename, deletion (to
// the trash and for good) and the autostart entry.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <cerrno>
#include <filesystem>
#include <limits>
#include <string>

#include "common/Utility.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "testing/FileText.h"
#include "testing/ManualClock.h"
#include "testing/TempHome.h"
#include "testing/TrashHome.h"

namespace {

namespace fs = std::filesystem;

auto* const trashHome = ::testing::AddGlobalTestEnvironment(new testing_support::TrashHome);

using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;

std::wstring Wide(const fs::path& path) {
    return StringToWstring(path.string());
}

class FileChoresTest : public ::testing::Test {
  protected:
    FileChoresTest() : dir(home.path() / "sync") { fs::create_directories(dir); }

    testing_support::TempHome home;
    fs::path dir;
};

TEST_F(FileChoresTest, Md5OfFiles) {
    struct Case {
        const char* why;
        std::string content;
        const char* md5;
    } cases[] = {
        {"empty file", "", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"the fox", "The quick brown fox jumps over the lazy dog",
         "9e107d9d372bb6826bd81d3542a419d6"},
        {"a million a's span several read blocks", std::string(1000000, 'a'),
         "7707d6ae4e027c70eea2a935c2296f21"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        WriteWholeFile(dir / "f.bin", c.content);
        EXPECT_EQ(c.md5, GetFileMd5((dir / "f.bin").string()));
    }
}

TEST_F(FileChoresTest, Md5OfNonUtf8NameReadsTheFile) {
    fs::path name = dir / "caf\xE9.bin";
    WriteWholeFile(name, "abc");
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", GetFileMd5(name.string()));
}

TEST_F(FileChoresTest, Md5OfWhatIsNotAPlainFileIsEmpty) {
    WriteWholeFile(dir / "target", "abc");
    fs::create_symlink(dir / "target", dir / "link");
    ASSERT_EQ(0, mkfifo((dir / "pipe").c_str(), 0600));
    struct Case {
        const char* why;
        fs::path path;
    } cases[] = {
        {"missing", dir / "missing"},
        {"folder", dir},
        {"symbolic link", dir / "link"},
        {"pipe without a writer (must not block)", dir / "pipe"},
        {"empty path", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ("", GetFileMd5(c.path.string()));
    }
}

TEST_F(FileChoresTest, JudgeFolder) {
    WriteWholeFile(dir / "file", "x");
    fs::create_directory(dir / "folder");
    fs::create_directory_symlink(dir / "folder", dir / "folderlink");
    fs::create_symlink(dir / "nowhere", dir / "broken");
    struct Case {
        const char* why;
        fs::path path;
        int expected;
    } cases[] = {
        {"missing", dir / "missing", -1},
        {"below a file", dir / "file" / "x", -1},
        {"file", dir / "file", 1},
        {"folder", dir / "folder", 0},
        {"folder with a trailing separator", dir.string() + "/folder/", 0},
        {"link to a folder is not followed", dir / "folderlink", 1},
        {"broken link exists", dir / "broken", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(c.expected, JudgeFolder(Wide(c.path)));
    }
}

TEST_F(FileChoresTest, GetFileInfo) {
    WriteWholeFile(dir / "a.txt", std::string(12345, 'x'));
    WriteWholeFile(dir / ".hidden", "");
    fs::create_directory(dir / "folder");
    // 3 September 2014, 01:05:03 UTC.
    const std::time_t stamp = 1409706303;
    struct timeval times[2] = {{stamp, 0}, {stamp, 0}};
    ASSERT_EQ(0, utimes((dir / "a.txt").c_str(), times));
    std::tm local{};
    localtime_r(&stamp, &local);
    char expectedTime[64];
    std::snprintf(expectedTime, sizeof expectedTime, "%4d-%02d-%02d %02d:%02d:%02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec);

    std::string time, size;
    int hidden = -1;
    GetFileInfo(Wide(dir / "a.txt"), time, size, hidden);
    EXPECT_EQ(expectedTime, time);
    EXPECT_EQ("12345", size);
    EXPECT_EQ(0, hidden);
    EXPECT_EQ(expectedTime, GetFileModifyTime(Wide(dir / "a.txt")));

    GetFileInfo(Wide(dir / ".hidden"), time, size, hidden);
    EXPECT_EQ("0", size);
    EXPECT_EQ(2, hidden);

    GetFileInfo(Wide(dir / "folder"), time, size, hidden);
    EXPECT_EQ("", size);
    EXPECT_EQ(0, hidden);

    time = "t";
    size = "s";
    hidden = 7;
    GetFileInfo(Wide(dir / "missing"), time, size, hidden);
    EXPECT_EQ("t", time);
    EXPECT_EQ("s", size);
    EXPECT_EQ(7, hidden);
    EXPECT_EQ("", GetFileModifyTime(Wide(dir / "missing")));
}

class BackupTest : public FileChoresTest {
  protected:
    testing_support::ManualClock clock;
};

TEST_F(BackupTest, NewNameCarriesTheTimeInUtcPlus8) {
    struct Case {
        const char* why;
        std::time_t now;
        std::string name, expected;
    } cases[] = {
        {"09:05:03 in UTC+8", 1409706303, "a.txt", "a_20140903090503.txt"},
        {"the date carries over midnight", 1409774400, "a.txt", "a_20140904040000.txt"},
        {"only the last extension moves", 1409706303, "a.tar.gz", "a.tar_20140903090503.gz"},
        {"no extension", 1409706303, "README", "README_20140903090503"},
        {"a leading period is not an extension", 1409706303, ".profile", ".profile_20140903090503"},
        {"Chinese name", 1409706303, "文件.doc", "文件_20140903090503.doc"},
    };
    fs::create_directory(dir / "d.d");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        plat::Clock::SetWallTime(c.now);
        WriteWholeFile(dir / "d.d" / c.name, c.why);
        std::wstring newPath;
        EXPECT_EQ(0, Backup(Wide(dir / "d.d" / c.name), newPath));
        EXPECT_EQ(Wide(dir / "d.d" / c.expected), newPath);
        EXPECT_EQ(c.why, ReadWholeFile(dir / "d.d" / c.expected));
        EXPECT_FALSE(fs::exists(dir / "d.d" / c.name));
    }
}

// Found by the path fuzzer: a clock near the end of time_t overflowed when moved to UTC+8.
TEST(BackupPathTest, ClockAtTheEndOfTimeGivesAName) {
    for (std::time_t now :
         {std::numeric_limits<std::time_t>::max(), std::numeric_limits<std::time_t>::max() - 1000,
          std::numeric_limits<std::time_t>::min()}) {
        SCOPED_TRACE(now);
        const std::wstring backup = BackupPath(L"/S/a.txt", now);
        EXPECT_EQ(0u, backup.rfind(L"/S/a_", 0));
        EXPECT_EQ(L".txt", backup.substr(backup.size() - 4));
    }
}

TEST_F(BackupTest, TakenNameOrMissingFileIsAnError) {
    plat::Clock::SetWallTime(1409706303);
    WriteWholeFile(dir / "a.txt", "second");
    WriteWholeFile(dir / "a_20140903090503.txt", "first backup");
    std::wstring newPath;
    EXPECT_EQ(EEXIST, Backup(Wide(dir / "a.txt"), newPath));
    EXPECT_EQ("first backup", ReadWholeFile(dir / "a_20140903090503.txt"));
    EXPECT_EQ("second", ReadWholeFile(dir / "a.txt"));
    EXPECT_EQ(ENOENT, Backup(Wide(dir / "missing.txt"), newPath));
}

TEST_F(FileChoresTest, ReNameLocal) {
    WriteWholeFile(dir / "old", "content");
    WriteWholeFile(dir / "taken", "other");
    EXPECT_EQ(EEXIST, ReNameLocal(Wide(dir / "taken"), Wide(dir / "old")));
    EXPECT_EQ("other", ReadWholeFile(dir / "taken"));
    EXPECT_EQ(0, ReNameLocal(Wide(dir / "新"), Wide(dir / "old")));
    EXPECT_EQ("content", ReadWholeFile(dir / "新"));
    EXPECT_EQ(ENOENT, ReNameLocal(Wide(dir / "x"), Wide(dir / "old")));
}

class DeleteTest : public FileChoresTest {
  protected:
    // dir/tree with a file, a hidden file, a nested folder and a link to something outside.
    fs::path MakeTree() {
        fs::path tree = dir / "tree";
        fs::create_directories(tree / "sub" / "deeper");
        WriteWholeFile(tree / "a.txt", "a");
        WriteWholeFile(tree / ".hidden", "h");
        WriteWholeFile(tree / "sub" / "deeper" / "b.txt", "b");
        WriteWholeFile(dir / "outside.txt", "keep");
        fs::create_symlink(dir / "outside.txt", tree / "link");
        return tree;
    }

    static fs::path Trash() { return testing_support::TrashHome::Trash(); }

    void SetUp() override { fs::remove_all(Trash()); }
    void TearDown() override { fs::remove_all(Trash()); }
};

TEST_F(DeleteTest, PermanentDeleteRemovesTreeButNotLinkTargets) {
    fs::path tree = MakeTree();
    EXPECT_EQ(0, DeleteFolder(Wide(tree) + L"/", 0));
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_EQ("keep", ReadWholeFile(dir / "outside.txt"));
    EXPECT_FALSE(fs::exists(Trash() / "files"));
}

TEST_F(DeleteTest, DeleteToTrashKeepsEveryItemRestorable) {
    fs::path tree = MakeTree();
    EXPECT_EQ(0, DeleteFolder(Wide(tree), 1));
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_EQ("keep", ReadWholeFile(dir / "outside.txt"));
    for (const char* name : {"a.txt", ".hidden", "sub", "link", "tree"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(fs::exists(fs::symlink_status(Trash() / "files" / name)));
        EXPECT_TRUE(fs::exists(Trash() / "info" / (std::string(name) + ".trashinfo")));
    }
    EXPECT_EQ("b", ReadWholeFile(Trash() / "files" / "sub" / "deeper" / "b.txt"));
}

TEST_F(DeleteTest, SingleFilesAndMissingPaths) {
    WriteWholeFile(dir / "one.txt", "1");
    WriteWholeFile(dir / "two.txt", "2");
    EXPECT_EQ(0, DeleteFolder(Wide(dir / "one.txt"), 0));
    EXPECT_FALSE(fs::exists(dir / "one.txt"));
    EXPECT_EQ(0, DeleteFolder(Wide(dir / "two.txt"), 1));
    EXPECT_EQ("2", ReadWholeFile(Trash() / "files" / "two.txt"));
    EXPECT_EQ(0, DeleteFolder(Wide(dir / "missing"), 0));
    EXPECT_EQ(0, DeleteFolder(Wide(dir / "missing") + L"/", 1));
}

TEST_F(DeleteTest, NothingIsDeletedWhenNoTrashTakesIt) {
    fs::path tree = MakeTree();
    // A file where the trash folder should be: GLib can make no trash here.
    fs::create_directories(Trash().parent_path());
    WriteWholeFile(Trash(), "in the way");
    EXPECT_NE(0, DeleteFolder(Wide(tree), 1));
    EXPECT_EQ(0, DeleteForder(Wide(tree)));
    EXPECT_EQ("a", ReadWholeFile(tree / "a.txt"));
    EXPECT_EQ("b", ReadWholeFile(tree / "sub" / "deeper" / "b.txt"));
    EXPECT_TRUE(fs::is_symlink(tree / "link"));
}

TEST_F(DeleteTest, DeleteForderEmptiesTheFolderIntoTheTrash) {
    fs::path tree = MakeTree();
    EXPECT_EQ(1, DeleteForder(Wide(tree) + L"/"));
    EXPECT_TRUE(fs::is_directory(tree));
    EXPECT_TRUE(fs::is_empty(tree));
    EXPECT_EQ("a", ReadWholeFile(Trash() / "files" / "a.txt"));
    EXPECT_EQ(1, DeleteForder(Wide(dir / "missing")));
    EXPECT_EQ(0, DeleteForder(Wide(dir / "outside.txt"))) << "a file is not a folder";
    EXPECT_EQ("keep", ReadWholeFile(dir / "outside.txt"));
}

TEST_F(DeleteTest, NonUtf8NamesInsideAFolderAreDeletedToo) {
    fs::path tree = dir / "tree";
    fs::create_directory(tree);
    WriteWholeFile(tree / "caf\xE9", "latin-1");
    EXPECT_EQ(0, DeleteFolder(Wide(tree), 1));
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_EQ("latin-1", ReadWholeFile(Trash() / "files" / "caf\xE9"));
}

TEST_F(FileChoresTest, CreateFileShortcutWritesADesktopEntry) {
    fs::path autostart = home.path() / "autostart";
    ASSERT_EQ(1, CreateFileShortcut(nullptr, autostart.c_str(), nullptr, nullptr, 0x027B,
                                    L"Corvena 同步盘", 1));
    std::string entry = ReadWholeFile(autostart / "Corvena.desktop");
    EXPECT_EQ("[Desktop Entry]\nType=Application\nName=Corvena\nExec=\"" +
                  plat::ExecutablePath().string() + "\"\nComment=Corvena 同步盘\nTerminal=false\n",
              entry);
}

TEST_F(FileChoresTest, CreateFileShortcutQuotesTheProgram) {
    struct Case {
        const char* why;
        std::wstring program;
        std::string exec;
    } cases[] = {
        {"blank", L"/opt/my apps/corvena", "Exec=\"/opt/my apps/corvena\""},
        {"quote, dollar and backquote", L"/o/a\"$`b", "Exec=\"/o/a\\\\\"\\\\$\\\\`b\""},
        {"backslash", L"/o/a\\b", "Exec=\"/o/a\\\\\\\\b\""},
        {"percent is not a field code", L"/o/100%", "Exec=\"/o/100%%\""},
        {"line break cannot end the line", L"/o/a\nName=x", "Exec=\"/o/a\\nName=x\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_EQ(1, CreateFileShortcut(L"ignored", home.path().c_str(), "entry.desktop",
                                        c.program.c_str(), 0, nullptr, 1));
        std::string entry = ReadWholeFile(home.path() / "entry.desktop");
        EXPECT_NE(std::string::npos, entry.find("\n" + c.exec + "\n")) << entry;
        EXPECT_EQ(std::string::npos, entry.find("\nName=x\n")) << entry;
    }
}

TEST_F(FileChoresTest, CreateFileShortcutFailures) {
    EXPECT_EQ(0, CreateFileShortcut(nullptr, nullptr, nullptr, nullptr, 0, nullptr, 1));
    WriteWholeFile(home.path() / "file", "x");
    EXPECT_EQ(0, CreateFileShortcut(nullptr, (home.path() / "file").c_str(), nullptr, nullptr, 0,
                                    nullptr, 1));
}

TEST_F(FileChoresTest, CreateFileShortcutTakesTheGivenTarget) {
    ASSERT_EQ(1, CreateFileShortcut(L"/usr/bin/corvena", home.path().c_str(), "c.desktop", nullptr,
                                    0, nullptr, 1));
    EXPECT_NE(std::string::npos,
              ReadWholeFile(home.path() / "c.desktop").find("\nExec=\"/usr/bin/corvena\"\n"));
}

}  // namespace
