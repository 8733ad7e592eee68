#pragma once
// The reference service as a child process, for tests and benchmarks of the web API client:
// started on a free port with a data folder of its own, one account and the control interface;
// stopped with SIGTERM when the object goes. Stop and Start take it down and bring it back on
// the same port with the same data, as a service that was restarted. The control interface orders
// faults, reads the recorded requests and acts as another device of the account. Failures throw
// std::runtime_error (a test fixture's constructor reports them as the test's failure).

#include <httplib.h>
#include <json/json.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace testing_support {

struct TRecorded {
    std::string strMethod;
    std::string strTarget;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string strBody;
    std::int64_t iBodySize = 0;

    // The value of the first header of that name (names compare without case); empty if none.
    std::string Header(const std::string& name) const {
        for (const auto& [key, value] : headers) {
            if (strcasecmp(key.c_str(), name.c_str()) == 0) {
                return value;
            }
        }
        return {};
    }
    bool HasHeader(const std::string& name) const {
        for (const auto& header : headers) {
            if (strcasecmp(header.first.c_str(), name.c_str()) == 0) {
                return true;
            }
        }
        return false;
    }
};

// A JSON object from name and value pairs: JsonObject({{"status", 404}}).
inline Json::Value JsonObject(std::initializer_list<std::pair<const char*, Json::Value>> members) {
    Json::Value object(Json::objectValue);
    for (const auto& [name, value] : members) {
        object[name] = value;
    }
    return object;
}

inline std::string Base64Decode(const std::string& text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        size_t value = alphabet.find(c);
        if (value == std::string::npos) {
            continue;
        }
        buffer = (buffer << 6) | unsigned(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(char((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

// Every byte but the unreserved ones as %XX, for names in a query.
inline std::string QueryEscaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
            out.push_back(char(c));
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        }
    }
    return out;
}

class CRefServiceProcess {
  public:
    CRefServiceProcess(const std::string& program, const std::filesystem::path& dataDir,
                       const std::string& user, const std::string& password)
        : m_strProgram(program), m_dataDir(dataDir), m_strUser(user + ":" + password) {
        std::filesystem::create_directories(dataDir);
        Start();
    }
    ~CRefServiceProcess() { Stop(); }
    CRefServiceProcess(const CRefServiceProcess&) = delete;
    CRefServiceProcess& operator=(const CRefServiceProcess&) = delete;

    // Ends the service with SIGTERM and waits for it; its data folder stays.
    void Stop() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = 0;
        }
    }
    // Starts the service on its data folder: a free port the first time, the same port (and
    // so the same address for its clients) after a Stop.
    void Start() {
        if (m_pid > 0) {
            return;
        }
        int out[2];
        if (pipe(out) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> args = {
            m_strProgram, "--data",  m_dataDir.string(), "--port", std::to_string(m_iPort),
            "--user",     m_strUser, "--admin"};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        int spawned =
            posix_spawn(&m_pid, m_strProgram.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (spawned != 0) {
            close(out[0]);
            m_pid = 0;
            throw std::runtime_error("cannot start " + m_strProgram);
        }
        std::FILE* output = fdopen(out[0], "r");
        bool printed = std::fscanf(output, "%d", &m_iPort) == 1;
        std::fclose(output);
        if (!printed) {
            Stop();
            throw std::runtime_error(m_strProgram + " printed no port");
        }
    }

    // Stop, then Start: a service that went away for a while, back on the same port.
    void Restart() {
        Stop();
        Start();
    }

    int Port() const { return m_iPort; }
    const std::filesystem::path& DataDir() const { return m_dataDir; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_iPort); }

    // A control request with a JSON body; the answer's JSON.
    Json::Value Control(const std::string& path, const Json::Value& body) {
        auto result = Client().Post(path, Json::writeString(Json::StreamWriterBuilder(), body),
                                    "application/json");
        return Parsed(result, path);
    }
    Json::Value ControlGet(const std::string& path) { return Parsed(Client().Get(path), path); }

    // kind "status", "code", "drop", "delay" or "cut", with its own members in extra.
    void AddFault(const std::string& endpoint, const std::string& kind, Json::Value extra = {}) {
        Json::Value fault = extra.isObject() ? extra : Json::Value(Json::objectValue);
        fault["endpoint"] = endpoint;
        fault["kind"] = kind;
        if (Control("/admin/faults", fault)["code"].asString() != "0") {
            throw std::runtime_error("fault refused: " + kind + " on " + endpoint);
        }
    }

    std::vector<TRecorded> Requests() {
        std::vector<TRecorded> requests;
        Json::Value answer = ControlGet("/admin/requests");
        for (const Json::Value& value : answer["requests"]) {
            TRecorded request;
            request.strMethod = value["method"].asString();
            request.strTarget = value["target"].asString();
            for (const Json::Value& header : value["headers"]) {
                request.headers.emplace_back(header[0].asString(), header[1].asString());
            }
            request.strBody = Base64Decode(value["body_base64"].asString());
            request.iBodySize = value["body_size"].asInt64();
            requests.push_back(std::move(request));
        }
        return requests;
    }
    // The last recorded request to an endpoint (its path below "/biz").
    TRecorded LastRequest(const std::string& endpoint) {
        std::vector<TRecorded> requests = Requests();
        for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
            if (it->strTarget.rfind("/biz" + endpoint, 0) == 0) {
                return *it;
            }
        }
        throw std::runtime_error("no request to " + endpoint);
    }
    void ClearRequests() { Control("/admin/requests/clear", Json::objectValue); }

    // Writes a file as another device would; returns its id.
    std::int64_t PutFile(const std::string& user, const std::string& path,
                         const std::string& content) {
        auto result = Client().Put("/admin/fs/file?user=" + user + "&path=" + QueryEscaped(path),
                                   content, "application/octet-stream");
        return Parsed(result, path)["fid"].asInt64();
    }
    // The same for a file too large to hold in memory: its size bytes are asked from
    // fill(offset, piece) in pieces of at most a MiB, piece sized to what is wanted.
    std::int64_t PutGeneratedFile(const std::string& user, const std::string& path,
                                  std::uint64_t size,
                                  const std::function<void(std::uint64_t, std::string&)>& fill) {
        std::string piece;
        auto result = Client().Put(
            "/admin/fs/file?user=" + user + "&path=" + QueryEscaped(path), size,
            [&](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                piece.resize(std::min<std::size_t>(length, 1 << 20));
                fill(offset, piece);
                return sink.write(piece.data(), piece.size());
            },
            "application/octet-stream");
        return Parsed(result, path)["fid"].asInt64();
    }
    std::int64_t MakeFolder(const std::string& user, const std::string& path) {
        Json::Value body;
        body["user"] = user;
        body["path"] = path;
        return Control("/admin/fs/mkdir", body)["fid"].asInt64();
    }
    std::string ReadFile(const std::string& user, const std::string& path) {
        auto result = Client().Get("/admin/fs/file?user=" + user + "&path=" + QueryEscaped(path));
        return result ? result->body : std::string();
    }
    // Every entry of the account, each with "fid", "fpid", "name", "path", "isdir", "size",
    // "md5".
    Json::Value Tree(const std::string& user) {
        return ControlGet("/admin/fs/tree?user=" + user)["entries"];
    }
    // How many files user's space holds: cheap enough to ask often while thousands arrive.
    std::int64_t FileCount(const std::string& user) {
        return ControlGet("/admin/fs/count?user=" + user)["files"].asInt64();
    }
    // The entry of user's space at path ("a/b.txt"); a null value when there is none.
    Json::Value Entry(const std::string& user, const std::string& path) {
        for (const Json::Value& entry : Tree(user)) {
            if (entry["path"].asString() == path) {
                return entry;
            }
        }
        return Json::Value();
    }

  private:
    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", m_iPort);
        client.set_read_timeout(60, 0);
        client.set_write_timeout(60, 0);
        return client;
    }
    static Json::Value Parsed(const httplib::Result& result, const std::string& what) {
        Json::Value answer;
        if (!result) {
            throw std::runtime_error("control request failed: " + what);
        }
        std::string errors;
        std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
        const std::string& body = result->body;
        if (!reader->parse(body.data(), body.data() + body.size(), &answer, &errors)) {
            throw std::runtime_error("control answer is not JSON: " + body);
        }
        return answer;
    }

    const std::string m_strProgram;
    const std::filesystem::path m_dataDir;
    const std::string m_strUser;  // "name:password"
    pid_t m_pid = 0;
    int m_iPort = 0;
};

}  // namespace testing_support
