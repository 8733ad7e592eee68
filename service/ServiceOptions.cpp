#include "service/ServiceOptions.h"

#include "service/FormBody.h"

const char* const kServiceUsage =
    "usage: refservice --data DIR [--port P] [--host ADDR] [--user NAME:PASSWORD]... "
    "[--quota BYTES] [--web-link NAME] [--admin]\n"
    "  --data DIR      folder of the metadata and the stored content (created if missing)\n"
    "  --port P        port to listen on (default 8080; 0 picks a free one)\n"
    "  --host ADDR     address to listen on (default 127.0.0.1)\n"
    "  --user N:P      account N with password P, created or updated at start; repeatable\n"
    "  --quota BYTES   quota of the --user accounts (-1: none)\n"
    "  --web-link NAME print the address of account NAME's web page after the port\n"
    "  --admin         serve the control interface for tests under /admin\n"
    "The port is printed on standard output once the service accepts connections.\n";

bool ParseServiceOptions(const std::vector<std::string>& args, TServiceOptions& options,
                         std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--admin") {
            options.bAdmin = true;
            continue;
        }
        if (arg != "--data" && arg != "--port" && arg != "--host" && arg != "--user" &&
            arg != "--quota" && arg != "--web-link") {
            error = "unknown option " + arg;
            return false;
        }
        if (i + 1 == args.size()) {
            error = arg + " needs a value";
            return false;
        }
        const std::string& value = args[++i];
        if (arg == "--data") {
            options.dataDir = value;
        } else if (arg == "--web-link") {
            options.strWebLink = value;
        } else if (arg == "--host") {
            options.strHost = value;
        } else if (arg == "--port") {
            auto port = ParseDecimal(value);
            if (!port || *port < 0 || *port > 65535) {
                error = "--port needs a number from 0 to 65535";
                return false;
            }
            options.iPort = static_cast<int>(*port);
        } else if (arg == "--quota") {
            options.quota = ParseDecimal(value);
            if (!options.quota || *options.quota < -1) {
                error = "--quota needs a number of bytes, or -1";
                return false;
            }
        } else {
            std::size_t colon = value.find(':');
            if (colon == 0 || colon == std::string::npos) {
                error = "--user needs NAME:PASSWORD";
                return false;
            }
            options.users.emplace_back(value.substr(0, colon), value.substr(colon + 1));
        }
    }
    if (options.dataDir.empty()) {
        error = "--data is required";
        return false;
    }
    return true;
}
