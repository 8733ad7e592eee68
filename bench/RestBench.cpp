// Figures of the web API client against the reference service, each printed as
// "name value unit":
//   upload_1gib_mib_per_s       check, state, data and commit of a 1 GiB file through CSyncMgr
//   upload_limit_mib_per_s      md5sum and curl -T of a file of the same size to the same service
//   download_1gib_mib_per_s     FileDownload of that file
//   download_limit_mib_per_s    curl -o of the same file
//   listing_100k_parse_s        GetFileListAll of an account with 100,000 entries, transfer
//                               included (median of three, each after the service has answered
//                               the listing once)
//   listing_100k_curl_s         curl -o /dev/null of the same listing, alternating with the above
//   requests_per_s              GetFileInfo in a loop, a fresh session per call
//   requests_per_s_no_sharing   the same with connection sharing switched off
// The service runs as a child process from the release tree ($CORVENA_BUILD, else the folder
// above this program's).

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "rest/FileMgr.h"
#include "rest/SyncMgr.h"
#include "rest/UserMgr.h"
#include "testing/RefServiceProcess.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kFileBytes = std::int64_t{1} << 30;
constexpr double kMiB = 1024.0 * 1024.0;

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("failed: " + command);
    }
}

class CBench {
  public:
    CBench(const std::string& program, const fs::path& home)
        : m_home(home), m_service(program, home / "service", kUser, kPassword) {
        CGlobalSetting().SetValue(L"main", L"server", StringToWstring(m_service.Address()),
                                  L"config.ini");
        fs::create_directories(m_home / "sync");
        CUserMgr login(4);
        if (login.UserLogin(kUser, kPasswordBase64, m_user.strUserId, m_user.strUserType,
                            m_user.strToken, m_user.strPushId, m_user.strPersonalSpace) != 0) {
            throw std::runtime_error("login failed");
        }
    }

    void Transfers() {
        WriteRandomFile(Local("client.bin"), kFileBytes, 1);
        WriteRandomFile(Local("curl.bin"), kFileBytes, 2);
        TSyncFile file = Record(L"client.bin");
        auto start = Clock::now();
        Check(UploadWithClient(file), "upload");
        Print("upload_1gib_mib_per_s", kFileBytes / kMiB / Seconds(start), "MiB/s");
        Print("upload_limit_mib_per_s", kFileBytes / kMiB / UploadWithCurl(), "MiB/s");

        fs::rename(Local("client.bin"), Local("uploaded.bin"));
        start = Clock::now();
        CSyncMgr session(0);
        Check(session.FileDownload(m_user, SyncDir(), file), "download");
        Print("download_1gib_mib_per_s", kFileBytes / kMiB / Seconds(start), "MiB/s");

        start = Clock::now();
        Run("curl -sS -g -o '" + Local("curl-download.bin").string() +
            "' -H 'ent_uid: " + m_user.strUserId + "' '" + Url("/ent/file/download") +
            "?fids[]=" + std::to_string(file.iId) + "&fskip=0'");
        Print("download_limit_mib_per_s", kFileBytes / kMiB / Seconds(start), "MiB/s");
        if (fs::file_size(Local("curl-download.bin")) != std::uint64_t(kFileBytes) ||
            GetFileMd5(Local("client.bin").string()) != file.strMD5) {
            throw std::runtime_error("downloaded content differs");
        }
        for (const char* name : {"client.bin", "curl.bin", "uploaded.bin", "curl-download.bin"}) {
            fs::remove(Local(name));
        }
    }

    // Runs first, on the empty account.
    void Listing() {
        httplib::Client admin("127.0.0.1", m_service.Port());
        for (int folder = 0; folder < 1000; ++folder) {
            std::string name = "d" + std::to_string(folder);
            m_service.MakeFolder(kUser, name);
            for (int item = 0; item < 99; ++item) {
                admin.Put("/admin/fs/file?user=" + std::string(kUser) + "&path=" + name + "/f" +
                              std::to_string(item) + ".txt",
                          std::to_string(item), "application/octet-stream");
            }
        }
        // The service's first listing after the uploads costs it more than later ones; neither
        // figure should carry that.
        ListWithCurl();
        std::vector<double> client, curl;
        for (int round = 0; round < kListingRounds; ++round) {
            std::vector<TSyncFile> files;
            auto start = Clock::now();
            CSyncMgr session(4);
            Check(session.GetFileListAll(m_user, files), "listing");
            client.push_back(Seconds(start));
            if (files.size() != 100000) {
                throw std::runtime_error("listing holds " + std::to_string(files.size()));
            }
            curl.push_back(ListWithCurl());
        }
        Print("listing_100k_parse_s", Median(client), "s");
        Print("listing_100k_curl_s", Median(curl), "s");
    }

    void Requests() {
        TSyncFile file;
        file.iId = int(m_service.PutFile(kUser, "info.txt", "info"));
        for (bool sharing : {true, false}) {
            CHttpCommBase::SetConnectionSharing(sharing);
            int count = 0;
            auto start = Clock::now();
            while (Seconds(start) < 3.0) {
                CFileMgr session(4);
                Check(session.GetFileInfo(m_user, file), "file info");
                ++count;
            }
            Print(sharing ? "requests_per_s" : "requests_per_s_no_sharing", count / Seconds(start),
                  "1/s");
        }
        CHttpCommBase::SetConnectionSharing(true);
    }

  private:
    static constexpr int kListingRounds = 3;

    // The bare transfer of the whole listing: seconds.
    double ListWithCurl() {
        auto start = Clock::now();
        Run("curl -sS -o /dev/null -X POST -H 'ent_uclient:4' -H 'ent_uid:" + m_user.strUserId +
            "' -H 'ent_utoken:" + m_user.strToken + "' -H 'ent_utype:" + m_user.strUserType +
            "' '" + Url("/ent/synch/modify") + "'");
        return Seconds(start);
    }
    static double Median(std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }

    int UploadWithClient(TSyncFile& file) {
        CSyncMgr session(0);
        std::string offset = "0";
        int result = session.UploadFile1Verify(m_user, SyncDir(), file);
        if (result == 0) {
            result = session.UploadFile2State(m_user, file, offset);
        }
        if (result == 0) {
            result = session.UploadFile3Put(m_user, SyncDir(), file, offset);
        }
        return result == 0 ? session.UploadFile4Commit(m_user, file) : result;
    }

    // The storage name comes from the client's check (not timed); then the content's MD5 and
    // one PUT, as a tool would do them.
    double UploadWithCurl() {
        TSyncFile file = Record(L"curl.bin");
        CSyncMgr session(0);
        Check(session.UploadFile1Verify(m_user, SyncDir(), file), "check for curl");
        std::string path = Local("curl.bin").string();
        auto start = Clock::now();
        Run("md5sum '" + path + "' > /dev/null");
        Run("curl -sS -o /dev/null -T '" + path + "' -H 'Expect:' -H 's_name: " +
            file.dataExtension.dataBreakPoint.strTempName + "' -H 'Range: bytes=0-" +
            std::to_string(kFileBytes) + "' '" + Url("/ent/file/upload/put") + "'");
        return Seconds(start);
    }

    static void Check(int result, const char* what) {
        if (result != 0) {
            throw std::runtime_error(std::string(what) + " failed: " + std::to_string(result));
        }
    }
    static TSyncFile Record(const std::wstring& name) {
        TSyncFile file;
        file.strName = name;
        file.strRelativePath = L".\\" + name;
        file.iType = 1;
        return file;
    }
    fs::path Local(const std::string& name) const { return m_home / "sync" / name; }
    std::wstring SyncDir() const { return StringToWstring((m_home / "sync").string()); }
    std::string Url(const std::string& path) const {
        return "http://" + m_service.Address() + "/biz" + path;
    }

    fs::path m_home;
    testing_support::CRefServiceProcess m_service;
    UserInfo m_user;
};

}  // namespace

int main() {
    fs::path home = MakeScratchFolder("corvena-bench-");
    if (home.empty()) {
        return 1;
    }
    setenv("CORVENA_HOME", home.c_str(), 1);
    int status = 0;
    try {
        CBench bench((BuildDir() / "bin" / "refservice").string(), home);
        bench.Listing();
        bench.Transfers();
        bench.Requests();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_rest: %s\n", failure.what());
        status = 1;
    }
    std::error_code ec;
    fs::remove_all(home, ec);
    return status;
}
