#pragma once
// Gives a test program a home of its own for the desktop trash. GLib reads HOME and
// XDG_DATA_HOME once per process, so the folder is made before the first test and serves the
// whole program; each test still has its own CORVENA_HOME (TempHome.h). The test files must lie
// on the same file system as this home (both are under the temporary folder), so that GLib
// chooses the home trash.
//
// Register it once per program:
//   static auto* const trashHome = ::testing::AddGlobalTestEnvironment(new TrashHome);

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace testing_support {

class TrashHome : public ::testing::Environment {
  public:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "corvena-trash-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            FAIL() << "mkdtemp failed";
        }
        Root() = pattern;
        setenv("HOME", pattern.c_str(), 1);
        setenv("XDG_DATA_HOME", DataHome().c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(Root(), ec);
    }

    // Where trashed items go, and their .trashinfo files.
    static std::filesystem::path Trash() { return DataHome() / "Trash"; }

  private:
    static std::filesystem::path& Root() {
        static std::filesystem::path root;
        return root;
    }
    static std::filesystem::path DataHome() { return Root() / "data"; }
};

}  // namespace testing_support
