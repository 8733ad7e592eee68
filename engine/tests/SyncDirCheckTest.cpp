// Which sync directories the engine refuses to sync.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/SyncDirCheck.h"
#include "platform/Paths.h"
#include "testing/TempHome.h"

namespace {

TEST(SyncDirCheckTest, RefusesTheRootAndTheProgramsOwnFolders) {
    testing_support::TempHome home;
    const std::filesystem::path root = home.path();
    std::filesystem::create_directories(root / "sync");
    std::filesystem::create_directories(root / "config" / "inner");
    std::filesystem::create_directory_symlink(root / "data", root / "link-to-data");
    std::filesystem::create_directories(root / "hidden-home" / ".local");
    struct Row {
        const char* why;
        std::filesystem::path dir;
        bool refused;
    };
    const Row rows[] = {
        {"a folder of its own", root / "sync", false},
        {"the root", "/", true},
        {"the root written with a trailing part", "/tmp/..", true},
        {"the config folder", plat::ConfigDir(), true},
        {"inside the config folder", root / "config" / "inner", true},
        {"the data folder", plat::DataDir(), true},
        {"inside the state folder, not yet made", plat::StateDir() / "new", true},
        {"the runtime folder", plat::RuntimeDir(), true},
        {"a link to the data folder", root / "link-to-data", true},
        {"a folder that holds them all", root, true},
        {"a sibling with a similar name", root / "config-old", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        std::string why;
        EXPECT_EQ(IsRefusedSyncDir(row.dir, why), row.refused) << row.dir;
        EXPECT_EQ(why.empty(), !row.refused) << why;
    }
}

TEST(SyncDirCheckTest, AcceptsAFolderThatHoldsThemOnlyBelowAHiddenName) {
    testing_support::TempHome outer;
    const std::filesystem::path user = outer.path() / "user";
    setenv("CORVENA_HOME", (user / ".corvena").c_str(), 1);
    std::filesystem::create_directories(user);
    std::string why;
    EXPECT_FALSE(IsRefusedSyncDir(user, why)) << why;
    EXPECT_TRUE(IsRefusedSyncDir(user / ".corvena" / "data" / "x", why));
}

}  // namespace
