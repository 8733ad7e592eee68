#include "platform/Paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <optional>
#include <string>

#include "testing/TempHome.h"

namespace {

namespace fs = std::filesystem;

// Sets (or with nullopt unsets) an environment variable for one test and restores it after.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = getenv(name)) {
            m_old = old;
        }
        Apply(value);
    }
    ~ScopedEnv() { Apply(m_old); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void Apply(const std::optional<std::string>& value) {
        if (value) {
            setenv(m_name, value->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

mode_t ModeOf(const fs::path& dir) {
    struct stat info {};
    EXPECT_EQ(::stat(dir.c_str(), &info), 0) << dir;
    return info.st_mode & 0777;
}

TEST(PathsTest, CorvenaHomeHoldsAllFourFoldersPrivately) {
    testing_support::TempHome home;
    const struct {
        const char* sub;
        fs::path (*get)();
    } folders[] = {{"config", plat::ConfigDir},
                   {"data", plat::DataDir},
                   {"state", plat::StateDir},
                   {"run", plat::RuntimeDir}};
    for (const auto& folder : folders) {
        SCOPED_TRACE(folder.sub);
        const fs::path dir = folder.get();
        EXPECT_EQ(dir, home.path() / folder.sub);
        EXPECT_TRUE(fs::is_directory(dir));
        EXPECT_EQ(ModeOf(dir), 0700u);
    }
}

TEST(PathsTest, XdgFoldersAreUsedWithoutCorvenaHome) {
    testing_support::TempHome scratch;
    ScopedEnv noHome("CORVENA_HOME", std::nullopt);
    const fs::path base = scratch.path();
    ScopedEnv config("XDG_CONFIG_HOME", (base / "cfg").string());
    ScopedEnv data("XDG_DATA_HOME", (base / "share").string());
    ScopedEnv runtime("XDG_RUNTIME_DIR", (base / "rt").string());
    ScopedEnv state("XDG_STATE_HOME", "relative/ignored");
    ScopedEnv userHome("HOME", (base / "home").string());

    EXPECT_EQ(plat::ConfigDir(), base / "cfg/corvena");
    EXPECT_EQ(plat::DataDir(), base / "share/corvena");
    EXPECT_EQ(plat::RuntimeDir(), base / "rt/corvena");
    EXPECT_EQ(plat::StateDir(), base / "home/.local/state/corvena") << "relative value ignored";
    EXPECT_EQ(ModeOf(base / "home/.local/state"), 0700u) << "missing parents are private too";
}

TEST(PathsTest, RuntimeFolderMustBeAPrivateFolderOfOurs) {
    testing_support::TempHome scratch;
    ScopedEnv noHome("CORVENA_HOME", std::nullopt);
    ScopedEnv runtime("XDG_RUNTIME_DIR", scratch.path().string());

    fs::create_directory(scratch.path() / "corvena");
    ::chmod((scratch.path() / "corvena").c_str(), 0755);
    EXPECT_EQ(plat::RuntimeDir(), scratch.path() / "corvena");
    EXPECT_EQ(ModeOf(scratch.path() / "corvena"), 0700u) << "loose mode tightened";

    fs::remove(scratch.path() / "corvena");
    fs::create_directory(scratch.path() / "elsewhere");
    fs::create_directory_symlink(scratch.path() / "elsewhere", scratch.path() / "corvena");
    EXPECT_EQ(plat::RuntimeDir(), fs::path()) << "a symbolic link is not used";
}

TEST(PathsTest, ExecutablePathIsThisProgram) {
    EXPECT_EQ(plat::ExecutablePath().filename(), "platform_PathsTest");
}

}  // namespace
