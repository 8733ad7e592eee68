#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "testing/FileText.h"
#include "testing/TempHome.h"

namespace {

namespace fs = std::filesystem;

using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;

class FileSystemTest : public ::testing::Test {
  protected:
    testing_support::TempHome home;
    fs::path dir = home.path();
};

TEST_F(FileSystemTest, StatusDoesNotFollowLinks) {
    WriteWholeFile(dir / "file", "12345");
    fs::create_directory(dir / "folder");
    fs::create_directory_symlink(dir / "folder", dir / "link");
    struct Case {
        const char* why;
        fs::path path;
        bool exists, folder, regular;
    } cases[] = {
        {"file", dir / "file", true, false, true},
        {"folder", dir / "folder", true, true, false},
        {"link to a folder", dir / "link", true, false, false},
        {"missing", dir / "missing", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        plat::FileStatus status = plat::GetFileStatus(c.path);
        EXPECT_EQ(c.exists, status.bExists);
        EXPECT_EQ(c.folder, status.bFolder);
        EXPECT_EQ(c.regular, status.bRegular);
    }
    EXPECT_EQ(5u, plat::GetFileStatus(dir / "file").size);
}

TEST_F(FileSystemTest, CreateFoldersMakesEveryLevelPrivate) {
    EXPECT_EQ(0, plat::CreateFolders(dir / "a" / "b" / "c"));
    EXPECT_EQ(0, plat::CreateFolders(dir / "a" / "b" / "c")) << "existing folders are fine";
    struct stat st {};
    ASSERT_EQ(0, stat((dir / "a" / "b").c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);
    WriteWholeFile(dir / "file", "x");
    EXPECT_EQ(ENOTDIR, plat::CreateFolders(dir / "file"));
    EXPECT_EQ(ENOTDIR, plat::CreateFolders(dir / "file" / "below"));
}

TEST_F(FileSystemTest, ListFolder) {
    WriteWholeFile(dir / "a", "");
    WriteWholeFile(dir / "caf\xE9", "");
    fs::create_directory(dir / "sub");
    std::vector<fs::path> names;
    ASSERT_EQ(0, plat::ListFolder(dir, names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<fs::path>{"a", "caf\xE9", "sub"}), names);
    EXPECT_EQ(ENOENT, plat::ListFolder(dir / "missing", names));
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(ENOTDIR, plat::ListFolder(dir / "a", names));
}

TEST_F(FileSystemTest, RenameNeverReplaces) {
    WriteWholeFile(dir / "old", "old");
    WriteWholeFile(dir / "taken", "taken");
    EXPECT_EQ(EEXIST, plat::RenameNoReplace(dir / "old", dir / "taken"));
    EXPECT_EQ("taken", ReadWholeFile(dir / "taken"));
    EXPECT_EQ(0, plat::RenameNoReplace(dir / "old", dir / "new"));
    EXPECT_EQ("old", ReadWholeFile(dir / "new"));
    EXPECT_EQ(ENOENT, plat::RenameNoReplace(dir / "old", dir / "other"));
}

TEST_F(FileSystemTest, RemoveTreeRemovesLinksNotTargets) {
    fs::create_directories(dir / "tree" / "sub");
    WriteWholeFile(dir / "tree" / "sub" / "f", "x");
    WriteWholeFile(dir / "outside", "keep");
    fs::create_directory(dir / "outfolder");
    WriteWholeFile(dir / "outfolder" / "g", "keep");
    fs::create_symlink(dir / "outside", dir / "tree" / "l1");
    fs::create_directory_symlink(dir / "outfolder", dir / "tree" / "l2");
    EXPECT_EQ(0, plat::RemoveTree(dir / "tree"));
    EXPECT_FALSE(fs::exists(dir / "tree"));
    EXPECT_EQ("keep", ReadWholeFile(dir / "outside"));
    EXPECT_EQ("keep", ReadWholeFile(dir / "outfolder" / "g"));
    EXPECT_EQ(ENOENT, plat::RemoveTree(dir / "tree"));
}

TEST_F(FileSystemTest, WriteFileAtomicReplacesWholeFile) {
    WriteWholeFile(dir / "f", "a much longer old content");
    ASSERT_EQ(0, plat::WriteFileAtomic(dir / "f", "new", 0600));
    EXPECT_EQ("new", ReadWholeFile(dir / "f"));
    struct stat st {};
    ASSERT_EQ(0, stat((dir / "f").c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    ASSERT_EQ(0, plat::WriteFileAtomic(dir / "g", "", 0644));
    ASSERT_EQ(0, stat((dir / "g").c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 0777);
    EXPECT_EQ(ENOENT, plat::WriteFileAtomic(dir / "missing" / "f", "x", 0600));
    std::vector<fs::path> names;
    plat::ListFolder(dir, names);
    EXPECT_EQ(2u, names.size()) << "no temporary file is left behind";
}

TEST_F(FileSystemTest, ReadFile) {
    std::string data;
    std::string big(100000, 'z');
    WriteWholeFile(dir / "f", big);
    fs::create_symlink(dir / "f", dir / "link");
    EXPECT_EQ(0, plat::ReadFile(dir / "f", data));
    EXPECT_EQ(big, data);
    EXPECT_EQ(0, plat::ReadFile(dir / "link", data)) << "a settings file may be a link";
    EXPECT_EQ(big, data);
    EXPECT_EQ(ENOENT, plat::ReadFile(dir / "missing", data));
    EXPECT_EQ("", data);
    EXPECT_NE(0, plat::ReadFile(dir, data));
}

TEST_F(FileSystemTest, AppendWritesHeaderOnceEvenWhenWritersRace) {
    constexpr int kThreads = 8;
    constexpr int kLines = 50;
    fs::path file = dir / "log.txt";
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&file, t] {
            for (int i = 0; i < kLines; ++i) {
                std::string line = std::to_string(t) + ":" + std::to_string(i) + "\n";
                EXPECT_EQ(0, plat::AppendToFile(file, line, "HEADER\n"));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::string text = ReadWholeFile(file);
    EXPECT_EQ(0u, text.find("HEADER\n"));
    EXPECT_EQ(text.rfind("HEADER"), 0u) << "one header only";
    EXPECT_EQ(static_cast<std::size_t>(kThreads * kLines + 1),
              static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    std::vector<fs::path> names;
    plat::ListFolder(dir, names);
    EXPECT_EQ(1u, names.size()) << "no temporary file is left behind";
}

TEST_F(FileSystemTest, ReadOnlyFileRefusesWhatIsNotAPlainFile) {
    WriteWholeFile(dir / "f", "abc");
    fs::create_symlink(dir / "f", dir / "link");
    ASSERT_EQ(0, mkfifo((dir / "pipe").c_str(), 0600));
    plat::CReadOnlyFile file;
    EXPECT_EQ(EINVAL, file.Open(dir / "link"));
    EXPECT_EQ(EINVAL, file.Open(dir / "pipe"));
    EXPECT_EQ(EINVAL, file.Open(dir));
    EXPECT_EQ(ENOENT, file.Open(dir / "missing"));
    char buffer[8];
    EXPECT_EQ(-1, file.Read(buffer, sizeof buffer));
    ASSERT_EQ(0, file.Open(dir / "f"));
    EXPECT_EQ(3, file.Read(buffer, sizeof buffer));
    EXPECT_EQ(0, file.Read(buffer, sizeof buffer));
}

}  // namespace
