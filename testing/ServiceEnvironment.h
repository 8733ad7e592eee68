#pragma once
// One reference service for a whole test program (the transfer session is process-wide and
// keeps the address it was created with): started before the first test on a free port with a
// data folder of its own, stopped after the last. A child process of the same program is told
// the parent's address through TEST_SERVICE and starts no service of its own. The program is
// found through REFSERVICE_PATH.
//
// Register it once per program:
//   inline auto* const serviceEnvironment =
//       ::testing::AddGlobalTestEnvironment(new testing_support::ServiceEnvironment);

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "testing/RefServiceProcess.h"

namespace testing_support {

// The password of the service's first account, and what the login dialog stores for it (its
// Base64 text).
constexpr const char* kServicePassword = "secret";
constexpr const char* kServicePasswordBase64 = "c2VjcmV0";

class ServiceEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (const char* address = getenv("TEST_SERVICE")) {
            Address() = address;
            return;
        }
        std::string pattern =
            (std::filesystem::temp_directory_path() / "corvena-service-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        Folder() = pattern;
        Process() = std::make_unique<CRefServiceProcess>(REFSERVICE_PATH, Folder() / "data",
                                                         "owner", kServicePassword);
        Address() = Process()->Address();
    }
    void TearDown() override {
        Process().reset();
        std::error_code ec;
        std::filesystem::remove_all(Folder(), ec);
    }

    static std::string& Address() {
        static std::string address;
        return address;
    }
    // Null in a child process.
    static std::unique_ptr<CRefServiceProcess>& Process() {
        static std::unique_ptr<CRefServiceProcess> process;
        return process;
    }

  private:
    static std::filesystem::path& Folder() {
        static std::filesystem::path folder;
        return folder;
    }
};

}  // namespace testing_support
