#pragma once
// The command line of refservice:
//   refservice --data DIR [--port P] [--host ADDR] [--user NAME:PASSWORD]... [--quota BYTES]
//              [--web-link NAME] [--admin]

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct TServiceOptions {
    std::filesystem::path dataDir;
    std::string strHost = "127.0.0.1";
    int iPort = 8080;  // 0: any free port
    // Created, or given this password, at start.
    std::vector<std::pair<std::string, std::string>> users;
    // For the accounts of --user; without it their stored quota stays (none for new ones).
    std::optional<std::int64_t> quota;
    bool bAdmin = false;
    // An account whose web page address is printed after the port (empty: none).
    std::string strWebLink;
};

// false with a message for a command line that cannot be followed.
bool ParseServiceOptions(const std::vector<std::string>& args, TServiceOptions& options,
                         std::string& error);

extern const char* const kServiceUsage;
