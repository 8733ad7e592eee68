// watcher_events_per_s, watcher_events_lost, watcher_events_out_of_order: a burst of 10,000
// files created in 100 new folders of a watched directory (filter 0x13, as the engine watches).
// Each folder and each file must arrive as one FileAdded, the folder before its files and the
// files of a folder in the order they were created. The rate is the number of additions
// delivered to the handler per second, from the first creation to the last delivery; lost
// counts folders and files never reported, out of order those reported too early.
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "common/Utility.h"
#include "engine/DirectoryChangeWatcher.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;
constexpr plat::DWORD kEngineFilter = plat::FILE_NOTIFY_CHANGE_FILE_NAME |
                                      plat::FILE_NOTIFY_CHANGE_DIR_NAME |
                                      plat::FILE_NOTIFY_CHANGE_LAST_WRITE;

std::string FolderName(int folder) {
    return "d" + std::to_string(1000 + folder);
}
std::string FileName(int file) {
    return "f" + std::to_string(1000 + file);
}

// Keeps the additions in the order of delivery until the end marker arrives.
class CBurstHandler : public CDirectoryChangeHandler {
  public:
    explicit CBurstHandler(const fs::path& root) : m_strPrefix(root.string() + "/") {}

    void FileAdded(const std::wstring& wstrFileName) override {
        std::string strName = WstringToString(wstrFileName).substr(m_strPrefix.size());
        std::lock_guard<std::mutex> guard(m_lock);
        if (strName == "end") {
            m_bEnded = true;
            m_ended.notify_all();
            return;
        }
        m_added.push_back(strName);
        m_lastDelivery = Clock::now();
    }

    // False when the marker did not arrive within a minute.
    bool WaitForEnd() {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_ended.wait_for(lock, std::chrono::minutes(1), [this] { return m_bEnded; });
    }
    std::vector<std::string> Added() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_added;
    }
    Clock::time_point LastDelivery() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lastDelivery;
    }

  private:
    const std::string m_strPrefix;
    std::mutex m_lock;
    std::condition_variable m_ended;
    bool m_bEnded = false;               // guarded by m_lock
    std::vector<std::string> m_added;    // guarded by m_lock
    Clock::time_point m_lastDelivery{};  // guarded by m_lock
};

struct Outcome {
    int iLost = 0;
    int iOutOfOrder = 0;
};

// Position of each expected name in the delivery; a name reported twice counts as out of order.
Outcome Check(const std::vector<std::string>& added) {
    std::map<std::string, std::size_t> position;
    Outcome outcome;
    for (std::size_t i = 0; i < added.size(); ++i) {
        if (!position.emplace(added[i], i).second) {
            ++outcome.iOutOfOrder;
        }
    }
    for (int folder = 0; folder < kFolders; ++folder) {
        auto parent = position.find(FolderName(folder));
        if (parent == position.end()) {
            ++outcome.iLost;
        }
        std::size_t previous = parent == position.end() ? 0 : parent->second;
        for (int file = 0; file < kFilesPerFolder; ++file) {
            auto it = position.find(FolderName(folder) + "/" + FileName(file));
            if (it == position.end()) {
                ++outcome.iLost;
                continue;
            }
            if (it->second < previous) {
                ++outcome.iOutOfOrder;
            }
            previous = it->second;
        }
    }
    return outcome;
}

}  // namespace

int main() {
    // On tmpfs where there is one, so that the burst is not held up by the disk's allocator
    // and the figure is the watcher's.
    std::error_code ec;
    fs::path base = fs::is_directory("/dev/shm", ec) ? "/dev/shm" : fs::temp_directory_path();
    const fs::path home = MakeScratchFolder("corvena-watcher-", base);
    if (home.empty()) {
        return 1;
    }
    setenv("CORVENA_HOME", home.c_str(), 1);
    const fs::path root = home / "sync";
    fs::create_directories(root);

    CBurstHandler handler(root);
    CDirectoryChangeWatcher watcher;
    if (watcher.Watch(StringToWstring(root.string()), kEngineFilter, &handler) != 0) {
        std::fprintf(stderr, "cannot watch %s\n", root.c_str());
        return 1;
    }
    const Clock::time_point start = Clock::now();
    for (int folder = 0; folder < kFolders; ++folder) {
        fs::create_directory(root / FolderName(folder));
        for (int file = 0; file < kFilesPerFolder; ++file) {
            std::ofstream(root / FolderName(folder) / FileName(file));
        }
    }
    std::ofstream(root / "end");
    bool bEnded = handler.WaitForEnd();
    watcher.UnwatchAll();

    std::vector<std::string> added = handler.Added();
    Outcome outcome = Check(added);
    std::chrono::duration<double> seconds = handler.LastDelivery() - start;
    fs::remove_all(home);
    if (!bEnded) {
        std::fprintf(stderr, "the end marker never arrived\n");
    }
    std::printf("watcher_events_per_s %.0f events/s\n", added.size() / seconds.count());
    std::printf("watcher_events_lost %d events\n", outcome.iLost);
    std::printf("watcher_events_out_of_order %d events\n", outcome.iOutOfOrder);
    return bEnded ? 0 : 1;
}
