#include "cli/FrontEnd.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "cli/CliOutput.h"
#include "cli/EngineSupervisor.h"
#include "cli/TaskText.h"
#include "client/ClientStore.h"
#include "client/Communication.h"
#include "client/EngineLink.h"
#include "client/LoginLogic.h"
#include "client/SpaceWatch.h"
#include "client/TrayState.h"
#include "common/AfLog.h"
#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "platform/NamedMutex.h"
#include "platform/StopSignal.h"
#include "rest/UserMgr.h"
#include "store/SyncCodes.h"
#include "store/tablestore/SyncCompleted.h"
#include "store/tablestore/SyncFail.h"

namespace {

constexpr plat::DWORD kSpacePollMs = 5000;
// How long the engine has to end after MSG_ENGINE_EXIT before the run gives up on it.
constexpr std::uint32_t kEngineExitWaitMs = 30000;

struct TRun {
    bool bQuiet = false;
    std::wstring syncDir;
    plat::EventPtr stop;
    std::atomic<bool> bRefused{false};
    std::atomic<bool> bDisabled{false};
    int iLastState = 0;      // message thread only
    unsigned uLastHeld = 0;  // message thread only
};

const char* StateName(unsigned state) {
    switch (state) {
        case MSYNC_STATE_FIND:
        case 5:
            return "finding changes";
        case MSYNC_STATE_SYNCING:
            return "syncing";
        case MSYNC_STATE_SYNCED:
            return "synced";
        default:
            return "idle";
    }
}

void ListenToState(TRun& run) {
    CCommunication& comm = CCommunication::Get();
    comm.AddListener(
        MSG_SYNC_STATUS,
        [&run](std::uint32_t, std::uint32_t state) {
            if (!run.bQuiet && static_cast<int>(state) != run.iLastState) {
                run.iLastState = static_cast<int>(state);
                Say(std::string("state: ") + StateName(state));
            }
        },
        &run);
    comm.AddListener(
        MSG_TASK_COMPLETED,
        [&run](std::uint32_t, std::uint32_t key) {
            if (run.bQuiet) {
                return;
            }
            SyncCompleted record;
            if (WithTable<CSyncCompleted>([&](CSyncCompleted& table) {
                    return table.GetASyncCompleted(static_cast<int>(key), record);
                }) == 0) {
                Say("done: " + TaskLine(record.tComand, run.syncDir));
            }
        },
        &run);
    comm.AddListener(
        MSG_TASK_FAILED,
        [&run](std::uint32_t key, std::uint32_t) {
            SyncFail record;
            if (WithTable<CSyncFail>([&](CSyncFail& table) {
                    return table.GetASyncFail(static_cast<int>(key), record);
                }) == 0) {
                Say("failed: " + FailLine(record, run.syncDir));
            } else {
                Say("failed: task " + std::to_string(key));
            }
        },
        &run);
}

void ListenToProblems(TRun& run) {
    CCommunication& comm = CCommunication::Get();
    struct TNotice {
        unsigned message;
        const char* line;
    };
    static const TNotice notices[] = {
        {MSG_ERR_SPACE_FULL, "problem: the account's space is full; uploads wait for space"},
        {MSG_ERR_FILE4G, "problem: files over 4 GiB are not synced"},
        {MSG_ERR_FILEPATH_TOOLONG, "problem: a path is too long to be synced"},
        {NOTICE_OFFLINE, "problem: the service cannot be reached"},
        {NOTICE_ONLINE, "the service is reachable again"},
    };
    for (const TNotice& notice : notices) {
        comm.AddListener(
            notice.message, [line = notice.line](std::uint32_t, std::uint32_t) { Say(line); },
            &run);
    }
    comm.AddListener(
        MSG_DELETIONS_HELD,
        [&run](std::uint32_t count, std::uint32_t) {
            if (count != run.uLastHeld) {
                run.uLastHeld = count;
                Say("problem: " + std::to_string(count) +
                    " deletions are held until confirmed (corvena-cli confirm-deletions)");
            }
        },
        &run);
    comm.AddListener(
        MSG_ERR_SYNCDIR_REFUSED,
        [&run](std::uint32_t, std::uint32_t) {
            Say("problem: the engine refuses to sync " + WstringToString(run.syncDir) +
                " (the root folder or one of the program's own folders)");
            run.bRefused = true;
            plat::SetEvent(run.stop);
        },
        &run);
}

// The stored account and sync directory the engine needs; false with a line saying what to do.
bool ReadyToRun(std::wstring& syncDir) {
    CGlobalSetting setting;
    setting.Load(L"config.ini");
    UserInfo user;
    if (setting.m_wstrUser.empty() || ReadUserRecord(user) != 0 || user.strPassword.empty()) {
        Complain("not logged in; log in with: corvena-cli login --server HOST --user NAME");
        return false;
    }
    syncDir = GetSystemConfig("SyncDir");
    if (syncDir.empty()) {
        Complain("no sync folder; choose one with: corvena-cli folder PATH");
        return false;
    }
    if (JudgeFolder(syncDir) != 0) {
        Complain("the sync folder " + WstringToString(syncDir) +
                 " is missing; create it or choose another with: corvena-cli folder PATH");
        return false;
    }
    return true;
}

bool AccountStored() {
    CGlobalSetting setting;
    setting.Load(L"config.ini");
    return !setting.m_wstrUser.empty() && !GetSystemConfig("SyncDir").empty();
}

// The desktop client's start: a silent login refreshes the stored record; without the
// service the engine starts with the record as stored.
UserInfo LogInSilently() {
    UserInfo user;
    ReadUserRecord(user);
    std::wstring dir;
    UserInfo fresh = user;
    if (LoginDefault(fresh, dir) == 0) {
        WriteUserRecord(fresh);
        SetSystemConfig("NetState", L"1");
        SetSystemConfig("Stop", L"0");
        return fresh;
    }
    Say("problem: cannot log in now; the engine starts with the stored account");
    return user;
}

class CSpacePoll {
  public:
    CSpacePoll(TRun& run, UserInfo user)
        : m_tray([](const TrayIconInfo&) {}),
          m_watch(
              m_tray,
              [user](std::string& used, std::string& total) {
                  return CUserMgr(4).GetSpaceInfo(user.strUserId, user.strToken, user.strUserType,
                                                  used, total);
              },
              Actions(run)) {
        m_tray.SetOnline(true);
        m_thread = std::thread([this] {
            do {
                m_watch.Poll();
            } while (plat::WaitForSingleObject(m_stop, kSpacePollMs) == plat::WAIT_TIMEOUT);
        });
    }
    ~CSpacePoll() {
        plat::SetEvent(m_stop);
        m_thread.join();
    }
    CSpacePoll(const CSpacePoll&) = delete;
    CSpacePoll& operator=(const CSpacePoll&) = delete;

  private:
    static SpaceWatchActions Actions(TRun& run) {
        SpaceWatchActions actions;
        actions.setSpaceText = [](const std::wstring&) {};
        actions.postNetServer = [](int reachable) { PostToEngine(MSG_NET_SERVER, 0, reachable); };
        actions.accountFaultBox = [] {
            Say("problem: the account has a fault; trying to recover");
        };
        actions.accountDisabled = [&run] {
            Say("problem: the account is disabled; its data on this computer is dropped");
            run.bDisabled = true;
            plat::SetEvent(run.stop);
        };
        return actions;
    }

    CTrayState m_tray;
    CSpaceWatch m_watch;
    plat::EventPtr m_stop = plat::CreateEvent(true, false);
    std::thread m_thread;
};

// Supervises the engine until a stop or the end of the account: 0, or 1 after a refusal.
int Supervise(TRun& run, CEngineSupervisor& supervisor) {
    while (plat::WaitForSingleObject(run.stop, CEngineSupervisor::kWatchdogPeriodMs) ==
           plat::WAIT_TIMEOUT) {
        if (!supervisor.IsRunning() && !AccountStored()) {
            Say("the account was logged out; the run ends");
            return 0;
        }
        if (supervisor.Tick()) {
            Say("problem: the engine had ended; it was started again");
        }
    }
    return run.bRefused ? 1 : 0;
}

void EndEngine(TRun& run, CEngineSupervisor& supervisor) {
    supervisor.Disarm();
    if (!run.bQuiet) {
        Say("stopping the engine");
    }
    if (!StopEngine(kEngineExitWaitMs)) {
        Complain("the engine did not end in time");
    }
    for (int i = 0; i < 100 && supervisor.IsRunning(); ++i) {
        plat::Sleep(50);
    }
}

}  // namespace

int RunFrontEnd(bool bQuiet) {
    TRun run;
    run.bQuiet = bQuiet;
    run.stop = plat::InstallStopSignals();
    bool bExists = false;
    const std::unique_ptr<plat::NamedMutex> pInstance = plat::CreateNamedMutex("Corvena", &bExists);
    if (!pInstance) {
        Complain(bExists ? "the desktop client or another corvena-cli run is the engine's front "
                           "end already"
                         : "the runtime folder cannot be made");
        return 1;
    }
    if (!ReadyToRun(run.syncDir)) {
        return 1;
    }
    const UserInfo user = LogInSilently();
    if (IsEngineWindowPresent()) {
        Say("problem: an engine without a front end runs; it is ended first");
        StopEngine(kEngineExitWaitMs);
    }
    ListenToState(run);
    ListenToProblems(run);
    CCommunication& comm = CCommunication::Get();
    std::thread messages([&comm] { comm.MessageThread(); });
    while (comm.MessageThreadId() == 0) {
        std::this_thread::yield();
    }
    int iExit = 1;
    CEngineSupervisor supervisor(CEngineSupervisor::EnginePath());
    if (supervisor.Start(comm.MessageThreadId()) != 0) {
        Complain("the engine program " + CEngineSupervisor::EnginePath().string() +
                 " cannot be started");
    } else {
        if (!bQuiet) {
            Say("syncing " + WstringToString(run.syncDir) + " as " + user.strAccount);
        }
        CSpacePoll poll(run, user);
        iExit = Supervise(run, supervisor);
        EndEngine(run, supervisor);
    }
    comm.StopMessageThread();
    messages.join();
    comm.RemoveListener(&run);
    if (run.bDisabled) {
        ClearUserData();
    }
    AfLog(1, "CorvenaCli", "RunFrontEnd", __LINE__, "the run ends (%d)", iExit);
    return iExit;
}
