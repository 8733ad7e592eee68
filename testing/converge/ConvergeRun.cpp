#include "testing/converge/ConvergeRun.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <openssl/evp.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "store/tablestore/TSyncFile.h"
#include "testing/FileText.h"
#include "testing/TransferHome.h"
#include "testing/converge/CliFront.h"
#include "testing/converge/EngineFront.h"

namespace converge {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing_support::JsonObject;

namespace {

// The password of every account of the campaign, and what the login dialog stores for it.
constexpr const char* kPassword = "secret";
constexpr const char* kPasswordBase64 = "c2VjcmV0";

// One comparison after the faults end must reach synced within this.
constexpr auto kLiveness = 120s;
// The views are read this often while waiting, and must agree twice this far apart.
constexpr auto kPoll = 150ms;
constexpr auto kSteady = 1s;
// A waiting quiet point asks for another comparison this often.
constexpr auto kCompareAgain = 5s;

std::string Md5(const std::string& content) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(content.data(), content.size(), digest, &length, EVP_md5(), nullptr);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0x0F]);
    }
    return text;
}

std::string Joined(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

std::string Leaf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string Parent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The items of view at or below path.
TView Subtree(const TView& view, const std::string& path) {
    TView part;
    for (const auto& [item, what] : view) {
        if (item == path || item.rfind(path + "/", 0) == 0) {
            part[item] = what;
        }
    }
    return part;
}

TView DiskView(const fs::path& syncDir) {
    TView view;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(syncDir, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) {
            break;
        }
        if (it->path().filename().string().front() == '.') {
            it.disable_recursion_pending();
            continue;
        }
        const std::string relative = fs::relative(it->path(), syncDir).string();
        view[relative] = it->is_directory(ec) ? "dir" : GetFileMd5(it->path().string());
    }
    return view;
}

// The view of one item ("d0/f1.txt", or a folder with what it holds) only: read just before a
// step changes it, it is not already old by the time the rest of the tree has been read.
TView DiskSubtree(const fs::path& syncDir, const std::string& path) {
    std::error_code ec;
    const fs::path item = syncDir / path;
    if (fs::is_regular_file(item, ec)) {
        return {{path, GetFileMd5(item.string())}};
    }
    if (!fs::is_directory(item, ec)) {
        return {};
    }
    TView view{{path, "dir"}};
    for (const auto& [below, what] : DiskView(item)) {
        view[path + "/" + below] = what;
    }
    return view;
}

// Removes the item with all it holds, as remove_all does, and notes what each file held just
// before it went: the engine may bring items into a folder while it is being removed (a folder
// that is not empty yet is listed again).
void RemoveNoting(const fs::path& item, const std::string& path, TView& removed) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(item, ec);
    if (!fs::is_directory(status)) {
        if (fs::is_regular_file(status)) {
            removed[path] = GetFileMd5(item.string());
        }
        fs::remove(item, ec);
        return;
    }
    for (int attempt = 0; attempt < 10; ++attempt) {
        for (const fs::directory_entry& entry : fs::directory_iterator(item, ec)) {
            RemoveNoting(entry.path(), path + "/" + entry.path().filename().string(), removed);
        }
        if (fs::remove(item, ec) || ec != std::errc::directory_not_empty) {
            return;
        }
    }
}

TView TableView() {
    TView view;
    CTSyncFile table;
    std::vector<TSyncFile> rows;
    if (table.ConnectDB() == 0) {
        table.GetFileInfo(rows);
    }
    table.Disconnect();
    for (const TSyncFile& row : rows) {
        std::wstring relative = row.strRelativePath;
        if (relative.rfind(L".\\", 0) == 0) {
            relative.erase(0, 2);
        }
        std::replace(relative.begin(), relative.end(), L'\\', L'/');
        view[WstringToString(relative)] = row.iType == 0 ? "dir" : row.strMD5;
    }
    return view;
}

// Sets or clears the immutable attribute, which holds off root too; false when the file
// system has none.
bool SetImmutable(const fs::path& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

class CRun {
  public:
    CRun(std::uint64_t seed, const std::string& account, const fs::path& home,
         testing_support::CRefServiceProcess& service, std::unique_ptr<CEngineFront> front)
        : m_seed(seed),
          m_account(account),
          m_home(home),
          m_service(service),
          m_front(std::move(front)) {}

    ~CRun() {
        MakeWritable();
        m_front->End();
    }

    TRunResult Play(const std::vector<TStep>& steps) {
        const auto start = Clock::now();
        TRunResult result;
        result.seed = m_seed;
        Prepare();
        if (!m_front->Start()) {
            m_violations.push_back({6, "the engine did not start"});
        } else {
            m_log += "  0. first sync  [" + Quiet(true) + "]\n";
        }
        for (std::size_t i = 0; i < steps.size() && m_violations.empty(); ++i) {
            const auto begun = Clock::now();
            const std::string found = Play(steps[i]);
            const double took = std::chrono::duration<double>(Clock::now() - begun).count();
            char tookText[32];
            std::snprintf(tookText, sizeof tookText, " (%.1f s)", took);
            m_log += "  " + std::to_string(i + 1) + ". " + StepText(steps[i]) +
                     (found.empty() ? "" : "  [" + found + "]") + (took >= 1 ? tookText : "") +
                     "\n";
            ++result.iSteps;
        }
        result.violations = m_violations;
        result.strSteps = m_log;
        if (!m_violations.empty()) {
            result.strReport = Report();
        }
        result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return result;
    }

  private:
    fs::path Local(const std::string& path) const { return m_syncDir / path; }

    void Prepare() {
        fs::create_directories(m_syncDir);
        fs::create_directories(m_outside);
        testing_support::WriteWholeFile(m_outside / "sentinel.txt", "outside the sync directory");
        const std::string prepared = testing_support::PrepareTransferHome(
            m_service.Address(), m_account, kPasswordBase64, m_syncDir);
        if (!prepared.empty() ||
            CGlobalSetting().SetValue(L"main", L"user", StringToWstring(m_account),
                                      L"config.ini") != 0) {
            throw std::runtime_error("cannot prepare the home: " + prepared);
        }
        // What both sides hold before the engine first runs.
        fs::create_directories(Local("keep"));
        testing_support::WriteWholeFile(Local("keep/k0.txt"), StepContent(1, 300));
        testing_support::WriteWholeFile(Local("keep/k1.txt"), StepContent(2, 5000));
        testing_support::WriteWholeFile(Local("f0.txt"), StepContent(3, 100));
        m_service.MakeFolder(m_account, "keep");
        m_service.PutFile(m_account, "keep/k2.txt", StepContent(4, 200));
        m_service.MakeFolder(m_account, "d0");
        m_service.PutFile(m_account, "d0/f1.txt", StepContent(5, 700));
    }

    // What the step found, when it is worth saying (a step that found nothing to work on).
    std::string Play(const TStep& step) {
        if (step.iPauseMs > 0 && step.eKind != EStep::EditWhileUploading) {
            std::this_thread::sleep_for(std::chrono::milliseconds(step.iPauseMs));
        }
        switch (step.eKind) {
            case EStep::ServiceStop:
                m_service.Stop();
                m_bServiceDown = true;
                return {};
            case EStep::ServiceStart:
                StartService();
                return {};
            case EStep::Fault:
                return AddFault(step);
            case EStep::KillEngine:
                m_front->Kill();
                return {};
            case EStep::StartEngine:
                return m_front->Running() || m_front->Start() ? "" : "did not start";
            case EStep::Pause:
                m_front->Pause();
                return {};
            case EStep::Resume:
                m_front->Resume();
                return {};
            case EStep::ReadOnly:
                return MakeReadOnly();
            case EStep::Writable:
                MakeWritable();
                return {};
            case EStep::Quiet:
                return Quiet(false);
            default:
                break;
        }
        if (step.eSide == ESide::Local) {
            if (m_bReadOnly) {
                return "skipped: read-only";
            }
            return PlayLocal(step);
        }
        if (m_bServiceDown) {
            return "skipped: service stopped";
        }
        try {
            return PlayService(step);
        } catch (const std::exception& error) {
            return std::string("refused: ") + error.what();
        }
    }

    // The versions the step's items hold on side before it runs, or before the part of a
    // step that comes after its pause or its additions: what the step then does to them is
    // the step's, for the side's own versions too (found where the other side's changes took
    // them) when the step replaces or removes them.
    void Reached(ESide side, const TView& view, const TStep& step) {
        const bool bReplaces = step.eKind == EStep::Create || step.eKind == EStep::Append ||
                               step.eKind == EStep::Overwrite || step.eKind == EStep::Truncate ||
                               step.eKind == EStep::Delete ||
                               step.eKind == EStep::EditWhileUploading ||
                               step.eKind == EStep::DeleteFolderWhileAdding;
        for (const auto& [path, what] : Subtree(view, step.strPath)) {
            if (what != "dir") {
                m_model.Reached(side, what);
                if (bReplaces) {
                    m_model.Replaced(side, what);
                }
            }
        }
    }

    void StartService() {
        if (m_bServiceDown) {
            m_service.Restart();
            m_bServiceDown = false;
        }
    }

    std::string AddFault(const TStep& step) {
        if (m_bServiceDown) {
            return "skipped: service stopped";
        }
        Json::Value extra(Json::objectValue);
        extra["count"] = step.iFaultCount;
        if (step.strFault == "status") {
            extra["status"] = step.iFaultValue;
        } else if (step.strFault == "delay") {
            extra["delay_ms"] = step.iFaultValue;
        } else if (step.strFault == "cut") {
            extra["bytes"] = step.iFaultValue;
        }
        m_service.AddFault(step.strEndpoint, step.strFault, extra);
        return {};
    }

    // Every item of the sync directory made immutable, the directory too.
    std::string MakeReadOnly() {
        if (!SetImmutable(m_syncDir, true)) {
            return "skipped: the file system has no immutable attribute, and root writes "
                   "through permissions";
        }
        m_immutable = {m_syncDir};
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(m_syncDir, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (ec) {
                break;
            }
            if (SetImmutable(it->path(), true)) {
                m_immutable.push_back(it->path());
            }
        }
        m_bReadOnly = true;
        return {};
    }

    void MakeWritable() {
        for (const fs::path& path : m_immutable) {
            SetImmutable(path, false);
        }
        m_immutable.clear();
        m_bReadOnly = false;
    }

    void WriteLocal(const std::string& path, const std::string& content) {
        std::error_code ec;
        fs::create_directories(Local(path).parent_path(), ec);
        testing_support::WriteWholeFile(Local(path), content);
    }
    // Deletes the step's item; what the engine had brought into it meanwhile goes by the step.
    void Remove(const TStep& step) {
        TView removed;
        RemoveNoting(Local(step.strPath), step.strPath, removed);
        Reached(ESide::Local, removed, step);
        m_model.Removed(ESide::Local, step.strPath);
    }
    bool LocalFile(const std::string& path) const {
        std::error_code ec;
        return fs::is_regular_file(Local(path), ec);
    }

    std::string PlayLocal(const TStep& step) {
        std::error_code ec;
        // A truncation's size is the seed of its new length, not a length.
        const std::string content =
            step.eKind == EStep::Truncate ? std::string() : StepContent(step.uContent, step.uSize);
        // Made first: a large file's content takes a while, and the engine may change the item
        // meanwhile.
        Reached(ESide::Local, DiskSubtree(m_syncDir, step.strPath), step);
        switch (step.eKind) {
            case EStep::Create:
                if (fs::exists(Local(step.strPath), ec) && !LocalFile(step.strPath)) {
                    return "a folder is there";
                }
                WriteLocal(step.strPath, content);
                m_model.WroteFile(ESide::Local, step.strPath, Md5(content));
                return {};
            case EStep::Append: {
                if (!LocalFile(step.strPath)) {
                    return "no such file";
                }
                const std::string old = testing_support::ReadWholeFile(Local(step.strPath));
                std::ofstream(Local(step.strPath), std::ios::binary | std::ios::app) << content;
                m_model.WroteFile(ESide::Local, step.strPath, Md5(old + content));
                return {};
            }
            case EStep::Overwrite:
                if (!LocalFile(step.strPath)) {
                    return "no such file";
                }
                WriteLocal(step.strPath, content);
                m_model.WroteFile(ESide::Local, step.strPath, Md5(content));
                return {};
            case EStep::Truncate: {
                if (!LocalFile(step.strPath)) {
                    return "no such file";
                }
                const std::string old = testing_support::ReadWholeFile(Local(step.strPath));
                if (old.empty()) {
                    return "empty already";
                }
                const std::string cut = old.substr(0, step.uSize % old.size());
                fs::resize_file(Local(step.strPath), cut.size(), ec);
                m_model.WroteFile(ESide::Local, step.strPath, Md5(cut));
                return {};
            }
            case EStep::Rename:
            case EStep::Move: {
                const std::string to = step.eKind == EStep::Rename
                                           ? Joined(Parent(step.strPath), step.strTarget)
                                           : Joined(step.strTarget, Leaf(step.strPath));
                if (!fs::exists(Local(step.strPath), ec) || fs::exists(Local(to), ec) ||
                    !fs::is_directory(Local(Parent(to)), ec)) {
                    return "nothing to move, or the place is taken";
                }
                fs::rename(Local(step.strPath), Local(to), ec);
                if (ec) {
                    return "rename failed: " + ec.message();
                }
                m_model.Moved(ESide::Local, step.strPath, to, DiskSubtree(m_syncDir, to));
                return {};
            }
            case EStep::Delete:
                if (!fs::exists(Local(step.strPath), ec)) {
                    return "no such item";
                }
                Remove(step);
                return {};
            case EStep::MakeFolder:
                if (fs::exists(Local(step.strPath), ec)) {
                    return "there already";
                }
                fs::create_directories(Local(step.strPath), ec);
                m_model.MadeFolder(ESide::Local, step.strPath);
                return {};
            case EStep::Burst:
                for (std::uint32_t i = 0; i < step.uSize; ++i) {
                    const std::string path = step.strPath + "/b" + std::to_string(i) + ".txt";
                    const std::string one = StepContent(step.uContent + i, 100 + 37 * i);
                    WriteLocal(path, one);
                    m_model.WroteFile(ESide::Local, path, Md5(one));
                }
                return {};
            case EStep::EditWhileUploading: {
                if (fs::exists(Local(step.strPath), ec) && !LocalFile(step.strPath)) {
                    return "a folder is there";
                }
                WriteLocal(step.strPath, content);
                m_model.Wrote(Md5(content));
                const std::string again = StepContent(step.uContent + 1, step.uSize);
                std::this_thread::sleep_for(std::chrono::milliseconds(step.iPauseMs));
                // The engine may have put the service's version there meanwhile.
                Reached(ESide::Local, DiskSubtree(m_syncDir, step.strPath), step);
                WriteLocal(step.strPath, again);
                m_model.WroteFile(ESide::Local, step.strPath, Md5(again));
                return {};
            }
            case EStep::DeleteFolderWhileAdding: {
                if (fs::exists(Local(step.strPath), ec) &&
                    !fs::is_directory(Local(step.strPath), ec)) {
                    return "a file is there";
                }
                for (std::uint32_t i = 0; i < step.uSize; ++i) {
                    const std::string one = StepContent(step.uContent + i, 200 + i);
                    WriteLocal(step.strPath + "/a" + std::to_string(i) + ".txt", one);
                    m_model.Wrote(Md5(one));
                }
                Remove(step);
                const std::string late = StepContent(step.uContent + 99, 300);
                WriteLocal(step.strPath + "/late.txt", late);
                m_model.WroteFile(ESide::Local, step.strPath + "/late.txt", Md5(late));
                return {};
            }
            default:
                return "not a local step";
        }
    }

    Json::Value Entry(const std::string& path) { return m_service.Entry(m_account, path); }
    bool Ok(const Json::Value& answer) { return answer["code"].asString() == "0"; }
    void Put(const std::string& path, const std::string& content) {
        if (!Parent(path).empty()) {
            m_service.MakeFolder(m_account, Parent(path));
        }
        m_service.PutFile(m_account, path, content);
        m_model.WroteFile(ESide::Service, path, Md5(content));
    }

    std::string PlayService(const TStep& step) {
        // A truncation's size is the seed of its new length, not a length.
        const std::string content =
            step.eKind == EStep::Truncate ? std::string() : StepContent(step.uContent, step.uSize);
        const Json::Value entry = Entry(step.strPath);
        const bool isFile = !entry.isNull() && !entry["isdir"].asBool();
        Reached(ESide::Service, ListingView(), step);
        switch (step.eKind) {
            case EStep::Create:
                if (!entry.isNull() && !isFile) {
                    return "a folder is there";
                }
                Put(step.strPath, content);
                return {};
            case EStep::Append:
            case EStep::Overwrite:
            case EStep::Truncate: {
                if (!isFile) {
                    return "no such file";
                }
                std::string next = content;
                if (step.eKind != EStep::Overwrite) {
                    const std::string old = m_service.ReadFile(m_account, step.strPath);
                    if (step.eKind == EStep::Truncate && old.empty()) {
                        return "empty already";
                    }
                    next = step.eKind == EStep::Append ? old + content
                                                       : old.substr(0, step.uSize % old.size());
                }
                Put(step.strPath, next);
                return {};
            }
            case EStep::Rename:
            case EStep::Move: {
                if (entry.isNull()) {
                    return "no such item";
                }
                const std::string to = step.eKind == EStep::Rename
                                           ? Joined(Parent(step.strPath), step.strTarget)
                                           : Joined(step.strTarget, Leaf(step.strPath));
                const Json::Value answer =
                    step.eKind == EStep::Rename
                        ? m_service.Control("/admin/fs/rename",
                                            JsonObject({{"user", m_account},
                                                        {"path", step.strPath},
                                                        {"name", step.strTarget}}))
                        : m_service.Control("/admin/fs/move", JsonObject({{"user", m_account},
                                                                          {"path", step.strPath},
                                                                          {"to", step.strTarget}}));
                if (!Ok(answer)) {
                    return "refused: " + answer["error"].asString();
                }
                m_model.Moved(ESide::Service, step.strPath, to, Subtree(ListingView(), to));
                return {};
            }
            case EStep::Delete:
                if (entry.isNull()) {
                    return "no such item";
                }
                if (!DeleteOnService(step.strPath)) {
                    return "refused";
                }
                return {};
            case EStep::MakeFolder:
                if (!entry.isNull()) {
                    return "there already";
                }
                m_service.MakeFolder(m_account, step.strPath);
                m_model.MadeFolder(ESide::Service, step.strPath);
                return {};
            case EStep::Burst:
                for (std::uint32_t i = 0; i < step.uSize; ++i) {
                    Put(step.strPath + "/b" + std::to_string(i) + ".txt",
                        StepContent(step.uContent + i, 100 + 37 * i));
                }
                return {};
            case EStep::DeleteFolderWhileAdding: {
                if (isFile) {
                    return "a file is there";
                }
                for (std::uint32_t i = 0; i < step.uSize; ++i) {
                    const std::string one = StepContent(step.uContent + i, 200 + i);
                    Put(step.strPath + "/a" + std::to_string(i) + ".txt", one);
                }
                DeleteOnService(step.strPath);
                Put(step.strPath + "/late.txt", StepContent(step.uContent + 99, 300));
                return {};
            }
            default:
                return "not a service step";
        }
    }

    // The service's answer names the versions the deletion took, uploads of the engine that
    // landed after the step looked included: those the step deleted, not the engine.
    bool DeleteOnService(const std::string& path) {
        const Json::Value answer = m_service.Control(
            "/admin/fs/delete", JsonObject({{"user", m_account}, {"path", path}}));
        if (!Ok(answer)) {
            return false;
        }
        for (const Json::Value& md5 : answer["removed"]) {
            m_model.Reached(ESide::Service, md5.asString());
            m_model.Replaced(ESide::Service, md5.asString());
        }
        m_model.Removed(ESide::Service, path);
        return true;
    }

    TView ListingView() {
        TView view;
        for (const Json::Value& entry : m_service.Tree(m_account)) {
            view[entry["path"].asString()] =
                entry["isdir"].asBool() ? "dir" : entry["md5"].asString();
        }
        return view;
    }

    // Every fault ended, then comparisons until the three views agree and stay so; then the
    // checks. first: the run's first settling, which only has to converge.
    std::string Quiet(bool first) {
        StartService();
        m_service.Control("/admin/faults/clear", Json::objectValue);
        MakeWritable();
        if (!m_front->Running() && !m_front->Start()) {
            m_violations.push_back({6, "the engine did not start again"});
            return {};
        }
        m_front->Resume();
        const auto start = Clock::now();
        auto asked = start;
        m_front->CompareNow();
        TView agreed;
        auto agreedSince = start;
        bool settled = false;
        while (Clock::now() - start < kLiveness) {
            std::this_thread::sleep_for(kPoll);
            if (!m_front->Running()) {
                m_violations.push_back({6, "the engine ended by itself"});
                break;
            }
            m_disk = DiskView(m_syncDir);
            m_listing = ListingView();
            m_table = TableView();
            if (m_disk == m_listing && m_disk == m_table) {
                if (m_disk != agreed) {
                    agreed = m_disk;
                    agreedSince = Clock::now();
                } else if (Clock::now() - agreedSince >= kSteady) {
                    settled = true;
                    break;
                }
            } else {
                agreed.clear();
            }
            if (Clock::now() - asked >= kCompareAgain) {
                m_front->CompareNow();
                asked = Clock::now();
            }
        }
        if (!settled) {
            if (m_violations.empty()) {
                m_violations.push_back({6, "not synced " + std::to_string(kLiveness.count()) +
                                               " s after the faults ended"});
                m_violations.push_back({1, "the sync directory, the listing and the table differ"});
            }
            return {};
        }
        if (!first) {
            std::vector<std::string> names;
            for (const Json::Value& entry : m_service.Tree(m_account)) {
                names.push_back(entry["path"].asString());
            }
            for (const TViolation& violation : m_model.Check(m_disk, names)) {
                m_violations.push_back(violation);
            }
            CheckOutside();
        }
        std::string said;
        if (!m_front->ConfirmSynced(said)) {
            m_violations.push_back({6, "synced, but the front end said: " + said});
        }
        if (m_violations.empty()) {
            m_model.Settle(m_disk);
        }
        char settledAfter[48];
        std::snprintf(settledAfter, sizeof settledAfter, "settled after %.1f s",
                      std::chrono::duration<double>(agreedSince - start).count());
        return settledAfter;
    }

    void CheckOutside() {
        std::error_code ec;
        for (const auto& item : fs::directory_iterator(m_syncDir.parent_path(), ec)) {
            if (item.path() != m_syncDir && item.path() != m_outside) {
                m_violations.push_back(
                    {4, item.path().string() + " appeared outside the sync directory"});
            }
        }
        std::size_t items = 0;
        for (auto it = fs::recursive_directory_iterator(m_outside, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            ++items;
        }
        if (items != 1 || testing_support::ReadWholeFile(m_outside / "sentinel.txt") !=
                              "outside the sync directory") {
            m_violations.push_back({4, "the folder beside the sync directory changed"});
        }
    }

    std::string Report() const {
        std::string text = "seed " + std::to_string(m_seed) + " (replay: converge --seed " +
                           std::to_string(m_seed) + ")\nsteps:\n" + m_log + "violations:\n";
        for (const TViolation& violation : m_violations) {
            text += "  check " + std::to_string(violation.iCheck) + ": " + violation.strWhat + "\n";
        }
        text += "disk:\n" + ViewText(m_disk) + "listing:\n" + ViewText(m_listing) + "table:\n" +
                ViewText(m_table) + "settled before:\n" + ViewText(m_model.Base());
        return text;
    }

    std::uint64_t m_seed;
    std::string m_account;
    fs::path m_home;
    fs::path m_syncDir = m_home / "user" / "sync";
    fs::path m_outside = m_home / "user" / "outside";
    testing_support::CRefServiceProcess& m_service;
    std::unique_ptr<CEngineFront> m_front;
    CConvergeModel m_model;
    bool m_bServiceDown = false;
    bool m_bReadOnly = false;
    std::vector<fs::path> m_immutable;
    std::vector<TViolation> m_violations;
    std::string m_log;
    TView m_disk;
    TView m_listing;
    TView m_table;
};

}  // namespace

CCampaign::CCampaign(std::string tandrix, std::string cli, const std::string& refservice,
                     fs::path scratch, EFront front)
    : m_tandrix(std::move(tandrix)),
      m_cli(std::move(cli)),
      m_front(front),
      m_scratch(std::move(scratch)) {
    // GLib reads the trash's home once per process: one for the whole campaign.
    fs::create_directories(m_scratch / "trash-home");
    setenv("HOME", (m_scratch / "trash-home").c_str(), 1);
    setenv("XDG_DATA_HOME", (m_scratch / "trash-home" / "data").c_str(), 1);
    m_service = std::make_unique<testing_support::CRefServiceProcess>(
        refservice, m_scratch / "service", "owner", kPassword);
}

CCampaign::~CCampaign() = default;

TRunResult CCampaign::Run(std::uint64_t seed, int steps) {
    const std::string account = "c" + std::to_string(seed) + "r" + std::to_string(++m_iRuns);
    const fs::path home = m_scratch / account;
    fs::create_directories(home);
    setenv("CORVENA_HOME", home.c_str(), 1);
    m_service->ClearRequests();
    m_service->Control("/admin/account", JsonObject({{"user", account}, {"password", kPassword}}));
    TRunResult result;
    {
        std::unique_ptr<CEngineFront> front;
        if (m_front == EFront::Cli) {
            front = std::make_unique<CCliFront>(m_cli, home / "corvena-cli.log");
        } else {
            front = std::make_unique<CMessageFront>(m_tandrix);
        }
        CRun run(seed, account, home, *m_service, std::move(front));
        result = run.Play(MakeSteps(seed, steps));
    }
    unsetenv("CORVENA_HOME");
    // CONVERGE_KEEP keeps a failed run's home (the engine's log, its tables) to look into.
    std::error_code ec;
    if (result.violations.empty() || getenv("CONVERGE_KEEP") == nullptr) {
        fs::remove_all(home, ec);
    } else {
        result.strReport += "home kept in " + home.string() + "\n";
    }
    return result;
}

}  // namespace converge
