// Whether a program is still writing a file: open for writing or write-locked elsewhere.

#include "platform/FileUse.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "testing/TempHome.h"

namespace {

namespace fs = std::filesystem;

class FileUseTest : public ::testing::Test {
  protected:
    void SetUp() override { std::ofstream(file) << "content"; }
    testing_support::TempHome home;
    fs::path file = home.path() / "f.txt";
};

TEST_F(FileUseTest, AFileNobodyWritesIsClosed) {
    EXPECT_EQ(plat::CheckFileClosed(file), 0);
    std::ifstream reader(file);
    EXPECT_EQ(plat::CheckFileClosed(file), 0);
}

TEST_F(FileUseTest, AFileOpenForWritingIsInUseUntilClosed) {
    int fd = ::open(file.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(plat::CheckFileClosed(file), EAGAIN);
    ::close(fd);
    EXPECT_EQ(plat::CheckFileClosed(file), 0);
}

TEST_F(FileUseTest, AnotherProcessWritingUnderALockIsInUseUntilItEnds) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    if (child == 0) {
        int fd = ::open(file.c_str(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        ::fcntl(fd, F_SETLK, &lock);
        char byte = 1;
        [[maybe_unused]] auto written = ::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_EQ(plat::CheckFileClosed(file), EAGAIN);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(plat::CheckFileClosed(file), 0);
}

TEST_F(FileUseTest, WhatIsNotAPlainFileIsNeverOpened) {
    EXPECT_EQ(plat::CheckFileClosed(home.path() / "missing"), ENOENT);
    EXPECT_EQ(plat::CheckFileClosed(home.path()), EINVAL);
    ASSERT_EQ(::mkfifo((home.path() / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(plat::CheckFileClosed(home.path() / "pipe"), EINVAL);
    fs::create_symlink(file, home.path() / "link");
    EXPECT_EQ(plat::CheckFileClosed(home.path() / "link"), ELOOP);
}

}  // namespace
