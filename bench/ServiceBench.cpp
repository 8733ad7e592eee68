// service_listing_100k_s: refservice answering the whole listing of an account that holds
// 100,000 entries (best of five). service_put_mib_per_s: one data request of 1 GiB to
// refservice over loopback, sent from memory so that only the service is measured (best of
// three). The service runs in this process on a free port, its data in a temporary folder.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "service/AccountBook.h"
#include "service/MetaStore.h"
#include "service/RefService.h"
#include "service/ServiceCrypto.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 1000;
constexpr int kFilesPerFolder = 99;
constexpr std::size_t kPutBytes = std::size_t{1} << 30;

// 1,000 folders of 99 files each, written straight into the metadata before the service starts.
void Seed(const fs::path& dataDir) {
    fs::create_directories(dataDir);
    CMetaStore store(dataDir / "meta.db");
    std::int64_t account = CAccountBook(store).Provide("alice", "secret", std::nullopt).iId;
    auto lock = store.Lock();
    CMetaStore::CTransaction transaction(store, lock);
    for (int folder = 0; folder < kFolders; ++folder) {
        TEntry entry;
        entry.iAccount = account;
        entry.strName = "folder-" + std::to_string(folder);
        entry.bDir = true;
        entry.iCreated = entry.iModified = store.NextStamp(lock);
        std::int64_t pid = store.InsertEntry(lock, entry);
        for (int file = 0; file < kFilesPerFolder; ++file) {
            entry.iPId = pid;
            entry.strName = "file-" + std::to_string(file) + ".txt";
            entry.bDir = false;
            entry.iSize = 1000 + file;
            entry.strMD5 = RandomHex(16);
            entry.iCreated = entry.iModified = store.NextStamp(lock);
            store.InsertEntry(lock, entry);
        }
    }
    transaction.Commit();
}

httplib::Headers Login(httplib::Client& client) {
    auto result = client.Post("/biz/ent/user/login", "usr_account=alice&usr_pwd=c2VjcmV0",
                              "application/x-www-form-urlencoded");
    std::string body = result ? result->body : std::string();
    auto member = [&body](const std::string& name) {
        std::size_t start = body.find("\"" + name + "\":\"") + name.size() + 4;
        return body.substr(start, body.find('"', start) - start);
    };
    return {{"ent_uclient", "4"},
            {"ent_uid", member("ent_uid")},
            {"ent_utoken", member("ent_utoken")},
            {"ent_utype", member("ent_utype")}};
}

double ListingSeconds(httplib::Client& client, const httplib::Headers& identity) {
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        auto start = std::chrono::steady_clock::now();
        auto result =
            client.Post("/biz/ent/synch/modify", identity, "", "application/x-www-form-urlencoded");
        double seconds = Seconds(start);
        if (!result || result->body.find("\"total\":100000,") == std::string::npos) {
            std::fprintf(stderr, "the listing did not answer 100,000 entries\n");
            std::exit(1);
        }
        best = std::min(best, seconds);
    }
    return best;
}

double PutMibPerSecond(httplib::Client& client, const httplib::Headers& identity,
                       const fs::path& dataDir) {
    std::vector<char> block(std::size_t{1} << 20, 'x');
    double best = 0;
    for (int round = 0; round < 3; ++round) {
        std::string verify = "&f_pid=0&f_size=" + std::to_string(kPutBytes) +
                             "&space_id=100001&f_md5=" + RandomHex(16) + "&f_name=big" +
                             std::to_string(round);
        auto answer = client.Post("/biz/ent/file/upload/new/verify", identity, verify,
                                  "application/x-www-form-urlencoded");
        std::string body = answer ? answer->body : std::string();
        std::size_t at = body.find("\"s_name\":\"");
        if (at == std::string::npos) {
            std::fprintf(stderr, "the upload check failed: %s\n", body.c_str());
            std::exit(1);
        }
        std::string storageName = body.substr(at + 10, 32);
        auto start = std::chrono::steady_clock::now();
        auto result = client.Put(
            "/biz/ent/file/upload/put",
            {{"s_name", storageName}, {"Range", "bytes=0-" + std::to_string(kPutBytes)}}, kPutBytes,
            [&block](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                (void)offset;
                return sink.write(block.data(), std::min(length, block.size()));
            },
            "application/octet-stream");
        double seconds = Seconds(start);
        if (!result || result->body != "{\"code\":\"0\"}") {
            std::fprintf(stderr, "the data request failed\n");
            std::exit(1);
        }
        best = std::max(best, static_cast<double>(kPutBytes) / (1 << 20) / seconds);
        fs::remove(dataDir / "partial" / storageName);
    }
    return best;
}

}  // namespace

int main() {
    fs::path scratch = MakeScratchFolder("corvena-bench-");
    if (scratch.empty()) {
        return 1;
    }
    fs::path dataDir = scratch / "data";
    Seed(dataDir);
    TServiceOptions options;
    options.dataDir = dataDir;
    options.iPort = 0;
    {
        CRefService service(options);
        httplib::Client client("127.0.0.1", service.Start());
        client.set_keep_alive(true);
        client.set_read_timeout(600);
        client.set_write_timeout(600);
        httplib::Headers identity = Login(client);
        std::printf("service_listing_100k_s %.3f s\n", ListingSeconds(client, identity));
        std::printf("service_put_mib_per_s %.0f MiB/s\n",
                    PutMibPerSecond(client, identity, dataDir));
    }
    fs::remove_all(scratch);
    return 0;
}
