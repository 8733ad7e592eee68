// Figures of the real tandrix program against the reference service, each printed as
// "name value unit":
//   local_change_to_service_ms_p50/_p95  a new 4 KiB file saved in the sync directory until the
//                                        service lists it (20 samples)
//   local_edit_to_service_ms_p50         an in-place edit of such a file until the listing shows
//                                        its new MD5 (10 samples)
//   server_change_to_disk_s_p50          a file added on the service until it is on disk, with
//                                        the default 30-second tick (3 samples, each after a
//                                        random pause, so that they fall anywhere in the tick)
//   initial_upload_10k_s                 10,000 files of 4 KiB in 100 folders, from the start of
//                                        the engine on an empty account until the service lists
//                                        them all
//   upload_floor_10k_s                   the same folders and files sent by a bare libcurl loop
//                                        on one connection: the folder requests, then check,
//                                        state, data, commit and the new item's record per
//                                        file, back to back (the requests the engine makes)
//   engine_rss_mib_100k                  the engine's resident memory, idle, with 100,000 synced
//                                        files in its table (seeded without uploading: the
//                                        service's metadata, empty files on disk and the table
//                                        rows written before the engine starts)
//   engine_idle_cpu_pct_100k             its CPU use over the following 120 s (the 30-second
//                                        comparisons included), and
//   engine_rss_mib_100k_after_idle       its resident memory at the end of that time
// The engine starts as the desktop client starts it: the message thread id of a stand-in for the
// client's thread as its only argument, in a CORVENA_HOME whose config.ini names the service and
// the account, with the account and the sync directory stored. "bench_engine NAME..." runs only
// the parts named: latency, server, upload, idle.

#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/SeededAccount.h"
#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "platform/SyncObjects.h"
#include "platform/ThreadMessage.h"
#include "platform/Window.h"
#include "store/SyncCodes.h"
#include "store/UserInfoLD.h"
#include "testing/RefServiceProcess.h"
#include "testing/TransferHome.h"
#include "testing/WaitUntil.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing_support::CRefServiceProcess;
using testing_support::JsonObject;
using testing_support::WaitUntil;

constexpr std::size_t kFileBytes = 4096;
constexpr int kChangeSamples = 20;
constexpr int kEditSamples = 10;
constexpr int kServerSamples = 3;
constexpr int kUploadFolders = 100;
constexpr int kUploadFilesPerFolder = 100;
constexpr int kIdleFolders = 1000;
constexpr int kIdleFiles = 100000;
constexpr auto kIdleWindow = std::chrono::seconds(120);

std::string RandomContent(std::size_t bytes, unsigned seed) {
    std::mt19937_64 random(seed);
    std::string content(bytes, '\0');
    for (char& c : content) {
        c = char(random());
    }
    return content;
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), std::streamsize(content.size()));
}

double Percentile(std::vector<double> samples, double fraction) {
    std::sort(samples.begin(), samples.end());
    const std::size_t index =
        std::min(samples.size() - 1, std::size_t(fraction * double(samples.size() - 1) + 0.5));
    return samples[index];
}

// The desktop client's message thread as far as the engine sees it: a queue of its own in the
// home's runtime folder, every message read and dropped.
class CClientThread {
  public:
    CClientThread() {
        auto ready = plat::CreateEvent(true, false);
        m_thread = std::thread([this, ready] {
            plat::EnsureMessageQueue();
            m_dwThreadId = plat::GetCurrentThreadId();
            plat::SetEvent(ready);
            plat::MSG msg;
            while (plat::GetMessage(&msg) > 0) {
            }
        });
        plat::WaitForSingleObject(ready, plat::INFINITE);
    }
    ~CClientThread() {
        plat::PostThreadMessage(m_dwThreadId, plat::WM_QUIT, 0, 0);
        m_thread.join();
    }
    CClientThread(const CClientThread&) = delete;
    CClientThread& operator=(const CClientThread&) = delete;

    plat::DWORD ThreadId() const { return m_dwThreadId; }

  private:
    std::thread m_thread;
    plat::DWORD m_dwThreadId = 0;
};

// One run of the engine program, ended as the client ends it (MSG_ENGINE_EXIT), killed when
// it does not end within 10 s.
class CEngine {
  public:
    explicit CEngine(plat::DWORD dwClientThread) {
        const std::string program = (BuildDir() / "bin" / "tandrix").string();
        std::vector<std::string> args = {program, std::to_string(dwClientThread)};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
            throw std::runtime_error("cannot start " + program);
        }
        if (!WaitUntil([] { return plat::FindWindow(L"Ostrand") != nullptr; }, 30s)) {
            Kill();
            throw std::runtime_error("the engine made no window");
        }
    }
    ~CEngine() {
        plat::SendMessage(plat::FindWindow(L"Ostrand"), MSG_ENGINE_EXIT, 0, 0);
        int status = 0;
        if (!WaitUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, 10s)) {
            Kill();
        }
    }
    CEngine(const CEngine&) = delete;
    CEngine& operator=(const CEngine&) = delete;

    pid_t Pid() const { return m_pid; }

  private:
    void Kill() {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }

    pid_t m_pid = -1;
};

class CBench {
  public:
    CBench(const fs::path& home, const std::vector<std::string>& parts)
        : m_home(home),
          m_parts(parts.begin(), parts.end()),
          m_service((BuildDir() / "bin" / "refservice").string(), home / "service", "bench",
                    kPassword) {}

    void Run() {
        if (Wanted("latency") || Wanted("server")) {
            Latency();
        }
        if (Wanted("upload")) {
            InitialUpload();
        }
        if (Wanted("idle")) {
            Idle();
        }
    }

  private:
    bool Wanted(const std::string& part) const { return m_parts.empty() || m_parts.count(part); }

    // A fresh account with its own sync directory, stored as the engine's account.
    fs::path UseAccount(const std::string& account) {
        m_service.Control("/admin/account",
                          JsonObject({{"user", account}, {"password", kPassword}}));
        return StoreAccount(m_service, account);
    }

    // An account the service holds, stored as the engine's account with a sync directory of
    // its own; config.ini names that service.
    fs::path StoreAccount(CRefServiceProcess& service, const std::string& account) {
        const fs::path syncDir = m_home / ("sync-" + account);
        std::string error = testing_support::PrepareTransferHome(service.Address(), account,
                                                                 kPasswordBase64, syncDir);
        if (error.empty() && CGlobalSetting().SetValue(L"main", L"user", StringToWstring(account),
                                                       L"config.ini") != 0) {
            error = "cannot write the account to config.ini";
        }
        if (!error.empty()) {
            throw std::runtime_error(error);
        }
        return syncDir;
    }

    // The MD5 the service lists for path; empty while it lists none.
    std::string ListedMd5(const std::string& account, const std::string& path) {
        return m_service.Entry(account, path)["md5"].asString();
    }

    // Milliseconds from now until the service lists path with md5; throws after 60 s.
    double MsUntilListed(const std::string& account, const std::string& path,
                         const std::string& md5, Clock::time_point start) {
        if (!WaitUntil([&] { return ListedMd5(account, path) == md5; }, 60s)) {
            throw std::runtime_error("the service never listed " + path);
        }
        return Seconds(start) * 1000;
    }

    void Latency() {
        const std::string account = "latency";
        const fs::path syncDir = UseAccount(account);
        CEngine engine(m_client.ThreadId());
        // The first comparison is over once its file is listed.
        const std::string first = RandomContent(kFileBytes, 1);
        WriteFile(syncDir / "first.bin", first);
        MsUntilListed(account, "first.bin", GetFileMd5((syncDir / "first.bin").string()),
                      Clock::now());
        std::this_thread::sleep_for(1s);

        if (Wanted("latency")) {
            std::vector<double> changes;
            for (int i = 0; i < kChangeSamples; ++i) {
                const std::string name = "new" + std::to_string(i) + ".bin";
                const std::string content = RandomContent(kFileBytes, 100 + i);
                const auto start = Clock::now();
                WriteFile(syncDir / name, content);
                changes.push_back(MsUntilListed(account, name, Md5Of(content), start));
                std::this_thread::sleep_for(200ms);
            }
            Print("local_change_to_service_ms_p50", Percentile(changes, 0.5), "ms");
            Print("local_change_to_service_ms_p95", Percentile(changes, 0.95), "ms");

            std::vector<double> edits;
            for (int i = 0; i < kEditSamples; ++i) {
                const std::string name = "new" + std::to_string(i) + ".bin";
                const std::string content = RandomContent(kFileBytes, 200 + i);
                const auto start = Clock::now();
                EditInPlace(syncDir / name, content);
                edits.push_back(MsUntilListed(account, name, Md5Of(content), start));
                std::this_thread::sleep_for(200ms);
            }
            Print("local_edit_to_service_ms_p50", Percentile(edits, 0.5), "ms");
        }
        if (Wanted("server")) {
            // Each arrival comes just after a tick: a random pause before the next file spreads
            // the samples over the tick's phase.
            std::mt19937 random(7);
            std::uniform_int_distribution<int> pauseMs(0, 29999);
            std::vector<double> arrivals;
            for (int i = 0; i < kServerSamples; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
                const std::string name = "server" + std::to_string(i) + ".bin";
                const std::string content = RandomContent(kFileBytes, 300 + i);
                const auto start = Clock::now();
                m_service.PutFile(account, name, content);
                if (!WaitUntil(
                        [&] {
                            std::error_code ec;
                            return fs::file_size(syncDir / name, ec) == content.size();
                        },
                        90s)) {
                    throw std::runtime_error("the engine never fetched " + name);
                }
                arrivals.push_back(Seconds(start));
                std::fprintf(stderr, "server change %d on disk after %.1f s\n", i, arrivals.back());
            }
            Print("server_change_to_disk_s_p50", Percentile(arrivals, 0.5), "s");
        }
    }

    // The MD5 of content, through a scratch file, as the engine computes it.
    std::string Md5Of(const std::string& content) {
        const fs::path path = m_home / "md5.tmp";
        WriteFile(path, content);
        return GetFileMd5(path.string());
    }

    // Overwrites the file's bytes without truncating or replacing it.
    static void EditInPlace(const fs::path& path, const std::string& content) {
        const int fd = ::open(path.c_str(), O_WRONLY);
        const bool written =
            fd >= 0 && ::pwrite(fd, content.data(), content.size(), 0) == ssize_t(content.size());
        if (fd >= 0) {
            ::close(fd);
        }
        if (!written) {
            throw std::runtime_error("cannot edit " + path.string());
        }
    }

    static void WriteUploadTree(const fs::path& root, unsigned seed) {
        for (int folder = 0; folder < kUploadFolders; ++folder) {
            const fs::path dir = root / ("d" + std::to_string(folder));
            fs::create_directories(dir);
            for (int file = 0; file < kUploadFilesPerFolder; ++file) {
                WriteFile(dir / ("f" + std::to_string(file) + ".bin"),
                          RandomContent(kFileBytes, seed + folder * kUploadFilesPerFolder + file));
            }
        }
    }

    std::size_t ListedFiles(const std::string& account) {
        std::size_t files = 0;
        for (const Json::Value& entry : m_service.Tree(account)) {
            files += entry["isdir"].asBool() ? 0 : 1;
        }
        return files;
    }

    void InitialUpload() {
        const std::size_t total = std::size_t(kUploadFolders) * kUploadFilesPerFolder;
        const std::string account = "upload";
        const fs::path syncDir = UseAccount(account);
        WriteUploadTree(syncDir, 1000000);
        m_service.ClearRequests();
        double engineSeconds = 0;
        {
            const auto start = Clock::now();
            CEngine engine(m_client.ThreadId());
            // The count is one indexed query, where a whole listing would hold the service's
            // store for a good while. It still takes the store's lock from the engine's
            // requests, so it is asked every 50 ms only over the last few files, where the
            // figure must not be rounded up to the poll.
            std::int64_t listed = 0;
            if (!WaitUntil(
                    [&] {
                        std::this_thread::sleep_for(std::int64_t(total) - listed > 300 ? 500ms
                                                                                       : 50ms);
                        listed = m_service.FileCount(account);
                        return listed == std::int64_t(total);
                    },
                    1800s)) {
                throw std::runtime_error("the initial upload did not end");
            }
            engineSeconds = Seconds(start);
        }
        Print("initial_upload_10k_s", engineSeconds, "s");
        ReportRequests("engine");

        // Other content, so that nothing the service holds already shortens the floor.
        const fs::path floorDir = m_home / "floor-files";
        WriteUploadTree(floorDir, 2000000);
        UseAccount("floor");
        CUserInfoLD::Get()->ReLoad();
        const double floorSeconds = FloorSeconds(CUserInfoLD::Get()->GetUserInfo(), floorDir);
        if (ListedFiles("floor") != total) {
            throw std::runtime_error("the floor loop left files out");
        }
        Print("upload_floor_10k_s", floorSeconds, "s");
        ReportRequests("floor");
    }

    // The requests one side made, by endpoint, to stderr: the two figures compare like with
    // like only while both make the same requests per file.
    void ReportRequests(const char* side) {
        std::map<std::string, std::size_t> counts;
        for (const auto& request : m_service.Requests()) {
            counts[request.strTarget.substr(0, request.strTarget.find('?'))] += 1;
        }
        std::fprintf(stderr, "%s requests:", side);
        for (const auto& [endpoint, count] : counts) {
            std::fprintf(stderr, " %s %zu", endpoint.c_str(), count);
        }
        std::fprintf(stderr, "\n");
        m_service.ClearRequests();
    }

    // The bare protocol on one libcurl handle: a folder request per folder, then the check,
    // state, data, commit and record requests of every file, its MD5 taken just before.
    double FloorSeconds(const UserInfo& user, const fs::path& root) {
        CFloorSession session(m_service.Address(), user);
        const auto start = Clock::now();
        for (int folder = 0; folder < kUploadFolders; ++folder) {
            const std::string name = "d" + std::to_string(folder);
            const std::string pid = session.MakeFolder(name);
            for (int file = 0; file < kUploadFilesPerFolder; ++file) {
                const std::string fileName = "f" + std::to_string(file) + ".bin";
                session.Upload(root / name / fileName, pid, fileName);
            }
        }
        return Seconds(start);
    }

    // One connection to the service with the account's identity headers; every request
    // throws when it fails or the answer's code is not 0.
    class CFloorSession {
      public:
        CFloorSession(const std::string& address, const UserInfo& user)
            : m_base("http://" + address + "/biz"), m_user(user), m_curl(curl_easy_init()) {
            for (const std::string& header :
                 {std::string("ent_uclient: 4"), "ent_uid: " + user.strUserId,
                  "ent_utoken: " + user.strToken, "ent_utype: " + user.strUserType}) {
                m_identity = curl_slist_append(m_identity, header.c_str());
            }
        }
        ~CFloorSession() {
            curl_slist_free_all(m_identity);
            curl_easy_cleanup(m_curl);
        }
        CFloorSession(const CFloorSession&) = delete;
        CFloorSession& operator=(const CFloorSession&) = delete;

        // The new folder's id.
        std::string MakeFolder(const std::string& name) {
            return Answer(Post("/ent/file/mkdir",
                               "&spid=" + m_user.strPersonalSpace + "&fpid=0&fname=" + name))["msg"]
                .asString();
        }

        void Upload(const fs::path& path, const std::string& pid, const std::string& name) {
            std::ifstream in(path, std::ios::binary);
            const std::string content((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
            const std::string md5 = GetFileMd5(path.string());
            const std::string storage =
                Answer(Post("/ent/file/upload/new/verify",
                            "&f_pid=" + pid + "&f_size=" + std::to_string(content.size()) +
                                "&space_id=" + m_user.strPersonalSpace + "&f_md5=" + md5 +
                                "&f_name=" + name))["s_name"]
                    .asString();
            Answer(Post("/ent/file/upload/state", "s_name=" + storage));
            Put(storage, content);
            const Json::Value committed =
                Answer(Post("/ent/file/upload/commit", "&fpid=" + pid + "&sname=" + storage +
                                                           "&spaceid=" + m_user.strPersonalSpace +
                                                           "&f_md5=" + md5 + "&fname=" + name));
            Answer(Post("/ent/file/info", "&fid=" + committed["fid"].asString()));
        }

      private:
        struct TSource {
            const std::string* content;
            std::size_t offset;
        };

        static size_t Keep(char* data, size_t size, size_t count, void* answer) {
            static_cast<std::string*>(answer)->append(data, size * count);
            return size * count;
        }
        static size_t Read(char* data, size_t size, size_t count, void* source) {
            auto* from = static_cast<TSource*>(source);
            const std::size_t bytes = std::min(size * count, from->content->size() - from->offset);
            std::copy_n(from->content->data() + from->offset, bytes, data);
            from->offset += bytes;
            return bytes;
        }

        std::string Post(const std::string& path, const std::string& body) {
            std::string answer;
            curl_easy_reset(m_curl);
            curl_easy_setopt(m_curl, CURLOPT_URL, (m_base + path).c_str());
            curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_identity);
            curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
            curl_easy_setopt(m_curl, CURLOPT_COPYPOSTFIELDS, body.c_str());
            curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, Keep);
            curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &answer);
            Perform(path);
            return answer;
        }

        void Put(const std::string& storage, const std::string& content) {
            curl_slist* headers = nullptr;
            for (const std::string& header :
                 {"s_name: " + storage, "Range: bytes=0-" + std::to_string(content.size()),
                  std::string("Expect:")}) {
                headers = curl_slist_append(headers, header.c_str());
            }
            std::string answer;
            TSource source{&content, 0};
            curl_easy_reset(m_curl);
            curl_easy_setopt(m_curl, CURLOPT_URL, (m_base + "/ent/file/upload/put").c_str());
            curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, headers);
            curl_easy_setopt(m_curl, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(content.size()));
            curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, Read);
            curl_easy_setopt(m_curl, CURLOPT_READDATA, &source);
            curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, Keep);
            curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &answer);
            Perform("/ent/file/upload/put");
            curl_slist_free_all(headers);
            Answer(answer);
        }

        void Perform(const std::string& path) {
            curl_easy_setopt(m_curl, CURLOPT_FAILONERROR, 1L);
            if (curl_easy_perform(m_curl) != CURLE_OK) {
                throw std::runtime_error("floor request failed: " + path);
            }
        }

        static Json::Value Answer(const std::string& text) {
            Json::Value answer;
            std::string errors;
            std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
            if (!reader->parse(text.data(), text.data() + text.size(), &answer, &errors) ||
                answer["code"].asString() != "0") {
                throw std::runtime_error("floor request refused: " + text);
            }
            return answer;
        }

        std::string m_base;
        UserInfo m_user;
        CURL* m_curl;
        curl_slist* m_identity = nullptr;
    };

    // The engine over a seeded account of 100,000 empty files in 1,000 folders, the same files
    // on disk and the table the last sync left: its resident memory once its first comparison
    // is over, then its CPU use over 120 s.
    void Idle() {
        const std::string account = "idle";
        const fs::path dataDir = m_home / "service-idle";
        bench_seed::SeedService(dataDir, account, kPassword, kIdleFolders, kIdleFiles);
        CRefServiceProcess service((BuildDir() / "bin" / "refservice").string(), dataDir, account,
                                   kPassword);
        const fs::path syncDir = StoreAccount(service, account);
        bench_seed::SeedDisk(syncDir, kIdleFolders, kIdleFiles);
        CUserInfoLD::Get()->ReLoad();
        bench_seed::SeedTable(syncDir);
        bench_seed::MarkCompared();
        service.ClearRequests();

        CEngine engine(m_client.ThreadId());
        const long ticksPerSecond = sysconf(_SC_CLK_TCK);
        // Started once a 3-second window costs under a tenth of a core.
        std::vector<long> ticks = {CpuTicks(engine.Pid())};
        const auto startLimit = Clock::now() + 300s;
        while (ticks.size() < 4 ||
               ticks.back() - ticks[ticks.size() - 4] > 3 * ticksPerSecond / 10) {
            if (Clock::now() > startLimit) {
                throw std::runtime_error("the engine never went idle");
            }
            std::this_thread::sleep_for(1s);
            ticks.push_back(CpuTicks(engine.Pid()));
        }
        std::fprintf(stderr, "engine idle after %zu s, peak resident %.1f MiB\n", ticks.size() - 1,
                     StatusKiB(engine.Pid(), "VmHWM:") / 1024.0);
        Print("engine_rss_mib_100k", StatusKiB(engine.Pid(), "VmRSS:") / 1024.0, "MiB");

        const long before = CpuTicks(engine.Pid());
        const auto start = Clock::now();
        std::this_thread::sleep_for(kIdleWindow);
        const double used = double(CpuTicks(engine.Pid()) - before) / double(ticksPerSecond);
        Print("engine_idle_cpu_pct_100k", 100 * used / Seconds(start), "%");
        Print("engine_rss_mib_100k_after_idle", StatusKiB(engine.Pid(), "VmRSS:") / 1024.0, "MiB");
        std::fprintf(stderr, "%zu requests recorded while idle\n", service.Requests().size());
    }

    // utime plus stime of the process, in clock ticks.
    static long CpuTicks(pid_t pid) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // The fields after the command name, which ends with the last ')'; utime and stime are
        // the 14th and 15th fields of the line.
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        long utime = 0;
        long stime = 0;
        for (int index = 3; fields >> field; ++index) {
            if (index == 14) {
                utime = std::stol(field);
            } else if (index == 15) {
                stime = std::stol(field);
                break;
            }
        }
        return utime + stime;
    }

    // A "VmRSS:"-style line of /proc/PID/status, in KiB.
    static double StatusKiB(pid_t pid, const std::string& name) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(name, 0) == 0) {
                return std::stod(line.substr(name.size()));
            }
        }
        throw std::runtime_error("no " + name + " for the engine");
    }

    fs::path m_home;
    std::set<std::string> m_parts;
    CRefServiceProcess m_service;
    // Made after CORVENA_HOME is set, so that the engine's process reaches its queue.
    CClientThread m_client;
};

}  // namespace

int main(int argc, char** argv) {
    const fs::path home = MakeScratchFolder("corvena-engine-bench-");
    if (home.empty()) {
        return 1;
    }
    setenv("CORVENA_HOME", home.c_str(), 1);
    plat::EnsureMessageQueue();
    int status = 0;
    try {
        CBench bench(home, std::vector<std::string>(argv + 1, argv + argc));
        bench.Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(home, ec);
    return status;
}
