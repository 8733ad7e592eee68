// The copy's own promises, beyond what the file-manager entry's tests show: a taken target is
// refused and left as it was, odd sources are refused without blocking, and a read-only source
// folder is copied with its content and its mode.

#include "platform/FileCopy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "testing/FileText.h"
#include "testing/TempHome.h"

namespace {

namespace fs = std::filesystem;

using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;

class FileCopyTest : public ::testing::Test {
  protected:
    testing_support::TempHome home;
    fs::path dir = home.path();
};

TEST_F(FileCopyTest, ATakenTargetIsRefusedAndKept) {
    WriteWholeFile(dir / "source.txt", "new");
    fs::create_directories(dir / "folder/inner");
    WriteWholeFile(dir / "taken-file", "old");
    fs::create_directories(dir / "taken-folder/keep");
    unsigned skipped = 0;
    for (const fs::path& source : {dir / "source.txt", dir / "folder"}) {
        for (const char* taken : {"taken-file", "taken-folder"}) {
            SCOPED_TRACE(source.string() + " onto " + taken);
            EXPECT_EQ(plat::CopyItem(source, dir / taken, skipped), EEXIST);
            EXPECT_EQ(ReadWholeFile(dir / "taken-file"), "old");
            EXPECT_TRUE(fs::is_directory(dir / "taken-folder/keep"));
        }
    }
}

TEST_F(FileCopyTest, OnlyPlainFilesLinksToThemAndFoldersAreCopied) {
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    fs::create_directory_symlink(dir / "folder", dir / "folder-link");
    unsigned skipped = 0;
    for (const char* name : {"pipe", "folder-link", "missing"}) {
        SCOPED_TRACE(name);
        const int expected = std::string(name) == "missing" ? ENOENT : EINVAL;
        EXPECT_EQ(plat::CopyItem(dir / name, dir / "copy", skipped), expected);
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "copy")));
    }
}

TEST_F(FileCopyTest, AReadOnlyFolderIsCopiedWithItsContentAndMode) {
    fs::create_directories(dir / "ro/sub");
    WriteWholeFile(dir / "ro/a.txt", "");
    WriteWholeFile(dir / "ro/sub/b.txt", "b");
    fs::create_symlink("a.txt", dir / "ro/link");
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::owner_exec;
    fs::permissions(dir / "ro/sub", readOnly);
    fs::permissions(dir / "ro", readOnly);
    unsigned skipped = 0;
    EXPECT_EQ(plat::CopyItem(dir / "ro", dir / "copy", skipped), 0);
    EXPECT_EQ(skipped, 1u);
    EXPECT_EQ(ReadWholeFile(dir / "copy/sub/b.txt"), "b");
    EXPECT_TRUE(fs::is_regular_file(dir / "copy/a.txt"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "copy/link")));
    EXPECT_EQ(fs::status(dir / "copy").permissions(), readOnly);
    EXPECT_EQ(fs::status(dir / "copy/sub").permissions(), readOnly);
    for (const char* folder : {"ro", "ro/sub", "copy", "copy/sub"}) {
        fs::permissions(dir / folder, fs::perms::owner_all);
    }
}

}  // namespace
