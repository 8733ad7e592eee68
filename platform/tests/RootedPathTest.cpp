// Items below a root reached without following links: which relative paths resolve, which
// are refused and why, and that no operation on a refused or linked item changes anything
// outside the root.

#include "platform/RootedPath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/FileText.h"
#include "testing/TempHome.h"
#include "testing/TrashHome.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;

auto* const trashHome = ::testing::AddGlobalTestEnvironment(new testing_support::TrashHome);

class RootedPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(root / "a" / "b");
        fs::create_directories(outside / "inner");
        WriteWholeFile(root / "a" / "b" / "f.txt", "inside");
        WriteWholeFile(root / "file.txt", "a file");
        WriteWholeFile(outside / "x.txt", "outside");
        fs::create_symlink(outside, root / "docs");
        fs::create_symlink(outside, root / "a" / "deep");
        fs::create_symlink(outside / "x.txt", root / "l.txt");
    }

    testing_support::TempHome home;
    fs::path root = home.path() / "sync";
    fs::path outside = home.path() / "Documents";
};

TEST_F(RootedPathTest, ResolvesOnlyPathsBelowTheRootWithoutALinkOnTheWay) {
    struct Case {
        const char* why;
        std::string relative;
        plat::EFolders folders;
        int result;
    };
    const Case cases[] = {
        {"a file two folders down", ".\\a\\b\\f.txt", plat::EFolders::Existing, 0},
        {"an item that does not exist yet", ".\\a\\b\\new.txt", plat::EFolders::Existing, 0},
        {"the root itself", ".", plat::EFolders::Existing, 0},
        {"a link as the item is the item", ".\\l.txt", plat::EFolders::Existing, 0},
        {"a linked folder on the way", ".\\docs\\x.txt", plat::EFolders::Existing, ELOOP},
        {"a linked folder deeper on the way", ".\\a\\deep\\x.txt", plat::EFolders::Existing, ELOOP},
        {"folders are not created through a link", ".\\docs\\new\\x", plat::EFolders::Create,
         ELOOP},
        {"a file on the way", ".\\file.txt\\x", plat::EFolders::Existing, ENOTDIR},
        {"a missing folder on the way", ".\\none\\x", plat::EFolders::Existing, ENOENT},
        {"empty", "", plat::EFolders::Existing, EINVAL},
        {"the prefix alone", ".\\", plat::EFolders::Existing, EINVAL},
        {"without the prefix", "a\\b", plat::EFolders::Existing, EINVAL},
        {"a native path", "/etc/passwd", plat::EFolders::Existing, EINVAL},
        {"up out of the root", ".\\..\\Documents\\x.txt", plat::EFolders::Existing, EINVAL},
        {"up in the middle", ".\\a\\..\\..\\x", plat::EFolders::Existing, EINVAL},
        {"a dot name", ".\\a\\.\\b", plat::EFolders::Existing, EINVAL},
        {"an empty name", ".\\a\\\\b", plat::EFolders::Existing, EINVAL},
        {"a slash in a name", ".\\a/../../x", plat::EFolders::Existing, EINVAL},
        {"a NUL in a name", std::string(".\\a\0b", 6), plat::EFolders::Existing, EINVAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        plat::CRootedPath item;
        EXPECT_EQ(item.Open(root, c.relative, c.folders), c.result);
        EXPECT_EQ(item.IsOpen(), c.result == 0);
    }
    EXPECT_FALSE(fs::exists(outside / "new"));

    plat::CRootedPath item;
    ASSERT_EQ(item.Open(root, ".\\a\\b\\f.txt"), 0);
    EXPECT_EQ(item.Native(), root / "a" / "b" / "f.txt");
    EXPECT_EQ(item.Leaf(), "f.txt");
    EXPECT_TRUE(item.Status().bRegular);
    ASSERT_EQ(item.Open(root, "."), 0);
    EXPECT_TRUE(item.IsRoot());
    EXPECT_TRUE(item.Status().bFolder);
}

TEST_F(RootedPathTest, MissingFoldersAreCreatedOnRequest) {
    plat::CRootedPath item;
    ASSERT_EQ(item.Open(root, ".\\n\\m\\leaf", plat::EFolders::Create), 0);
    EXPECT_TRUE(fs::is_directory(root / "n" / "m"));
    EXPECT_FALSE(fs::exists(root / "n" / "m" / "leaf"));
    ASSERT_EQ(item.MakeFolder(), 0);
    EXPECT_TRUE(fs::is_directory(root / "n" / "m" / "leaf"));
    EXPECT_EQ(item.MakeFolder(), 0);
}

// An item that is a link is examined, renamed and trashed as itself and never opened.
TEST_F(RootedPathTest, ALinkAsTheItemIsNeverFollowed) {
    plat::CRootedPath link;
    ASSERT_EQ(link.Open(root, ".\\l.txt"), 0);
    const plat::FileStatus status = link.Status();
    EXPECT_TRUE(status.bExists);
    EXPECT_FALSE(status.bRegular);
    EXPECT_FALSE(status.bFolder);
    std::FILE* file = nullptr;
    EXPECT_EQ(link.OpenStream("ab+", file), ELOOP);
    EXPECT_EQ(link.OpenStream("rb", file), ELOOP);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(link.MakeFolder(), ELOOP);

    plat::CRootedPath folderLink;
    ASSERT_EQ(folderLink.Open(root, ".\\docs"), 0);
    std::vector<std::string> names;
    EXPECT_EQ(folderLink.List(names), ELOOP);
    plat::CRootedPath child;
    EXPECT_EQ(folderLink.Child("x.txt", child), ELOOP);
    EXPECT_EQ(folderLink.MakeFolder(), ELOOP);

    std::string why;
    ASSERT_EQ(link.MoveToTrash(why), 0) << why;
    EXPECT_FALSE(fs::exists(fs::symlink_status(root / "l.txt")));
    EXPECT_EQ(ReadWholeFile(outside / "x.txt"), "outside");
}

TEST_F(RootedPathTest, RenamesReplaceOnlyWhenAsked) {
    WriteWholeFile(root / "a" / "other.txt", "other");
    plat::CRootedPath from;
    plat::CRootedPath to;
    ASSERT_EQ(from.Open(root, ".\\a\\b\\f.txt"), 0);
    ASSERT_EQ(to.Open(root, ".\\a\\other.txt"), 0);
    EXPECT_EQ(from.RenameNoReplace(to), EEXIST);
    EXPECT_EQ(ReadWholeFile(root / "a" / "other.txt"), "other");

    ASSERT_EQ(from.RenameReplace(to), 0);
    EXPECT_EQ(ReadWholeFile(root / "a" / "other.txt"), "inside");
    EXPECT_FALSE(fs::exists(root / "a" / "b" / "f.txt"));

    plat::CRootedPath sibling;
    ASSERT_EQ(to.Sibling("moved.txt", sibling), 0);
    EXPECT_EQ(sibling.Native(), root / "a" / "moved.txt");
    ASSERT_EQ(to.RenameNoReplace(sibling), 0);
    EXPECT_EQ(ReadWholeFile(root / "a" / "moved.txt"), "inside");

    plat::CRootedPath rootItem;
    ASSERT_EQ(rootItem.Open(root, "."), 0);
    EXPECT_EQ(rootItem.RenameNoReplace(sibling), EINVAL);
    EXPECT_EQ(rootItem.Sibling("beside", sibling), EINVAL);
    std::string why;
    EXPECT_EQ(rootItem.MoveToTrash(why), EINVAL);
    EXPECT_EQ(rootItem.Remove(), EINVAL);
    EXPECT_TRUE(fs::is_directory(root));
}

// The trash takes a path: a folder on the way swapped for a link after the item was resolved
// makes the trash refuse it, and nothing outside goes.
TEST_F(RootedPathTest, TrashRefusesAPathThatNoLongerLeadsToTheResolvedFolder) {
    fs::create_directories(outside / "b");
    WriteWholeFile(outside / "b" / "f.txt", "outside f");
    plat::CRootedPath item;
    ASSERT_EQ(item.Open(root, ".\\a\\b\\f.txt"), 0);
    fs::rename(root / "a", root / "a-moved");
    fs::create_symlink(outside, root / "a");

    std::string why;
    EXPECT_EQ(item.MoveToTrash(why), ELOOP);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(ReadWholeFile(outside / "b" / "f.txt"), "outside f");
    EXPECT_EQ(ReadWholeFile(root / "a-moved" / "b" / "f.txt"), "inside");
}

TEST_F(RootedPathTest, ChildrenOfAFolderAreListedAndReached) {
    plat::CRootedPath folder;
    ASSERT_EQ(folder.Open(root, ".\\a"), 0);
    std::vector<std::string> names;
    ASSERT_EQ(folder.List(names), 0);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"b", "deep"}));
    plat::CRootedPath child;
    ASSERT_EQ(folder.Child("b", child), 0);
    EXPECT_TRUE(child.Status().bFolder);
    plat::CRootedPath grandChild;
    ASSERT_EQ(child.Child("f.txt", grandChild), 0);
    EXPECT_EQ(grandChild.Native(), root / "a" / "b" / "f.txt");
    std::FILE* file = nullptr;
    ASSERT_EQ(grandChild.OpenStream("rb", file), 0);
    char text[16] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, file), 6u);
    std::fclose(file);
    EXPECT_EQ(std::string(text), "inside");
    EXPECT_EQ(child.Child("..", grandChild), EINVAL);
    ASSERT_EQ(folder.Child("deep", child), 0);
    EXPECT_FALSE(child.Status().bFolder);
    EXPECT_EQ(child.Child("x.txt", grandChild), ELOOP);
}

}  // namespace
