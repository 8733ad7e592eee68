// The metadata walk of the offline comparison over real folders: what it reports, what it
// leaves out without opening, and how it fails.

#include "platform/DirectoryScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testing/DescriptorLimit.h"
#include "testing/TempHome.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

const plat::ScanFilter kAll = [](std::string_view) { return true; };

std::vector<std::string> Paths(const plat::ScanTree& tree) {
    std::vector<std::string> paths;
    for (const plat::ScanItem& item : tree.items) {
        paths.push_back(item.strPath + (item.bFolder ? "/" : ""));
    }
    return paths;
}

class DirectoryScanTest : public ::testing::Test {
  protected:
    testing_support::TempHome home;
    fs::path root = home.path() / "root";
};

TEST_F(DirectoryScanTest, WalksDepthFirstInByteOrderWithSizesAndTimes) {
    Write(root / "b.txt", "12345");
    Write(root / "a/z.txt", "");
    Write(root / "a/c/d.txt", "d");
    Write(root / "B", "upper");
    fs::last_write_time(root / "b.txt", std::chrono::file_clock::from_sys(
                                            std::chrono::system_clock::from_time_t(1700000000)));
    plat::ScanTree tree;
    ASSERT_EQ(plat::ScanDirectoryTree(root, kAll, tree), 0);
    EXPECT_EQ(Paths(tree),
              (std::vector<std::string>{"B", "a/", "a/c/", "a/c/d.txt", "a/z.txt", "b.txt"}));
    EXPECT_EQ(tree.items[5].size, 5u);
    EXPECT_EQ(tree.items[5].modifyTime, 1700000000);
    struct stat st {};
    ASSERT_EQ(::stat(root.c_str(), &st), 0);
    EXPECT_EQ(tree.rootDevice, static_cast<std::uint64_t>(st.st_dev));
}

TEST_F(DirectoryScanTest, LinksPipesHiddenAndRefusedNamesAreLeftOutUnopened) {
    const fs::path outside = home.path() / "outside";
    Write(outside / "secret.txt", "s");
    Write(root / "plain.txt", "p");
    Write(root / ".hidden/inner.txt", "h");
    Write(root / "refused/inner.txt", "r");
    fs::create_directory_symlink(outside, root / "folderlink");
    fs::create_symlink(outside / "secret.txt", root / "filelink");
    ASSERT_EQ(::mkfifo((root / "pipe").c_str(), 0600), 0);
    plat::ScanTree tree;
    // A pipe that were opened would block the walk here for good.
    ASSERT_EQ(plat::ScanDirectoryTree(
                  root, [](std::string_view name) { return name != "refused"; }, tree),
              0);
    EXPECT_EQ(Paths(tree), (std::vector<std::string>{"plain.txt"}));
    std::vector<std::pair<std::string, plat::ScanSkip>> skipped;
    for (const plat::ScanSkipped& item : tree.skipped) {
        skipped.emplace_back(item.strPath, item.eWhy);
    }
    EXPECT_EQ(skipped, (std::vector<std::pair<std::string, plat::ScanSkip>>{
                           {"filelink", plat::ScanSkip::Link},
                           {"folderlink", plat::ScanSkip::Link},
                           {"pipe", plat::ScanSkip::Special},
                           {"refused", plat::ScanSkip::Refused}}));
}

TEST_F(DirectoryScanTest, ARootThatIsMissingOrNotAFolderFailsWithAnEmptyTree) {
    plat::ScanTree tree;
    tree.items.push_back(plat::ScanItem{"stale", false, 0, 0});
    EXPECT_EQ(plat::ScanDirectoryTree(root, kAll, tree), ENOENT);
    EXPECT_TRUE(tree.items.empty());
    Write(root, "a file");
    EXPECT_EQ(plat::ScanDirectoryTree(root, kAll, tree), ENOTDIR);
}

TEST_F(DirectoryScanTest, ARootReachedThroughALinkIsWalked) {
    Write(root / "a.txt", "a");
    fs::create_directory_symlink(root, home.path() / "link");
    plat::ScanTree tree;
    ASSERT_EQ(plat::ScanDirectoryTree(home.path() / "link", kAll, tree), 0);
    EXPECT_EQ(Paths(tree), (std::vector<std::string>{"a.txt"}));
}

TEST_F(DirectoryScanTest, AFolderThatCannotBeOpenedIsUnlistedAndTheWalkGoesOn) {
    // Running as root, no permission keeps a folder closed; a descriptor limit does: the root
    // and one more fit, so the sub-folder "a" opens but cannot be listed.
    Write(root / "a/deep/x.txt", "x");
    Write(root / "b.txt", "b");
    testing_support::CDescriptorLimit limit(2);
    ASSERT_TRUE(limit.IsSet());
    plat::ScanTree tree;
    const int result = plat::ScanDirectoryTree(root, kAll, tree);
    limit.Restore();
    ASSERT_EQ(result, 0);
    EXPECT_EQ(Paths(tree), (std::vector<std::string>{"a/", "b.txt"}));
    ASSERT_EQ(tree.skipped.size(), 1u);
    EXPECT_EQ(tree.skipped[0].strPath, "a");
    EXPECT_EQ(tree.skipped[0].eWhy, plat::ScanSkip::Unlisted);
    EXPECT_EQ(tree.skipped[0].iError, EMFILE);
}

}  // namespace
