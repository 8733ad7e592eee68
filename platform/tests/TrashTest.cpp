#include "platform/Trash.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "testing/FileText.h"
#include "testing/TempHome.h"
#include "testing/TrashHome.h"

namespace {

namespace fs = std::filesystem;

auto* const trashHome = ::testing::AddGlobalTestEnvironment(new testing_support::TrashHome);

class TrashTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::remove_all(testing_support::TrashHome::Trash()); }
    void TearDown() override { fs::remove_all(testing_support::TrashHome::Trash()); }

    testing_support::TempHome home;
};

TEST_F(TrashTest, ItemsMoveToTheTrashWithTheirInfo) {
    fs::path trash = testing_support::TrashHome::Trash();
    testing_support::WriteWholeFile(home.path() / "同步.txt", "content");
    fs::create_directories(home.path() / "folder" / "inner");
    fs::create_symlink(home.path() / "nowhere", home.path() / "broken");
    std::string error = "stale";
    for (const char* name : {"同步.txt", "folder", "broken"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(0, plat::MoveToTrash(home.path() / name, error));
        EXPECT_EQ("", error);
        EXPECT_FALSE(fs::exists(fs::symlink_status(home.path() / name)));
        EXPECT_TRUE(fs::exists(fs::symlink_status(trash / "files" / name)));
        EXPECT_TRUE(fs::exists(trash / "info" / (std::string(name) + ".trashinfo")));
    }
    EXPECT_TRUE(fs::is_directory(trash / "files" / "folder" / "inner"));
}

TEST_F(TrashTest, FailureLeavesTheItemAndSaysWhy) {
    std::string error;
    EXPECT_EQ(ENOENT, plat::MoveToTrash(home.path() / "missing", error));
    EXPECT_FALSE(error.empty());

    fs::path trash = testing_support::TrashHome::Trash();
    fs::create_directories(trash.parent_path());
    testing_support::WriteWholeFile(trash, "a file where the trash folder should be");
    testing_support::WriteWholeFile(home.path() / "keep.txt", "content");
    error.clear();
    EXPECT_NE(0, plat::MoveToTrash(home.path() / "keep.txt", error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::exists(home.path() / "keep.txt"));
}

}  // namespace
