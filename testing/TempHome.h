#pragma once
// Gives a test a fresh CORVENA_HOME (config, data, state and runtime folders of its own) and
// removes it afterwards, so tests never touch the user's files and can run side by side.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace testing_support {

class TempHome {
  public:
    TempHome() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "corvena-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
        }
        path_ = pattern;
        setenv("CORVENA_HOME", path_.c_str(), 1);
    }
    ~TempHome() {
        unsetenv("CORVENA_HOME");
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace testing_support
