// The engine program: one instance per user, started by the desktop client with the client's
// message thread id as its only argument. It owns the hidden window "Ostrand" through which the
// client reaches it, and the control object that runs the engine's threads.

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "engine/SyncControl.h"
#include "engine/SyncDirCheck.h"
#include "platform/Clock.h"
#include "platform/CrashReport.h"
#include "platform/NamedMutex.h"
#include "platform/SyncObjects.h"
#include "platform/Window.h"
#include "store/SyncCodes.h"
#include "store/SyncStatus.h"
#include "store/SystemInfoLD.h"
#include "store/UserInfoLD.h"

namespace {

constexpr const char* kLog = "Tandrix.cpp";
constexpr plat::UINT kCommandAbout = 104;
constexpr plat::UINT kCommandExit = 105;
// MSG_ENGINE_EXIT: how long the control thread has to end the others before the window's loop
// ends, and how long the main thread then waits for every thread before the process ends
// without them (the tables are written through, so the next start finds them whole).
constexpr std::uint32_t kExitGraceMs = 1000;
constexpr auto kThreadEndWait = std::chrono::milliseconds(500);

bool IsForwarded(plat::UINT message) {
    switch (message) {
        case MSG_ADJUST_PRIORITY:
        case MSG_GET_SPEED:
        case MSG_GET_MEANSPEED:
        case MSG_NET_SERVER:
        case MSG_RELEASE_DELETIONS:
        case MSG_SYNC_NOW:
        case MSG_GET_STATE:
            return true;
        default:
            return message >= MSG_SETTING_MAXSPEED && message <= MSG_SETTING_SYNCFOLDER;
    }
}

plat::LRESULT WndProc(plat::HWND hwnd, plat::UINT message, plat::WPARAM wParam,
                      plat::LPARAM lParam) {
    CSyncControl* pControl = CSyncControl::Get();
    if (IsForwarded(message)) {
        if (pControl != nullptr) {
            plat::PostThreadMessage(pControl->GetThreadId(), message, wParam, lParam);
        }
        return 0;
    }
    switch (message) {
        case MSG_ENGINE_EXIT:
            AfLog(0, kLog, "WndProc", __LINE__, "%s", "MSG_ENGINE_EXIT");
            if (pControl != nullptr) {
                plat::PostThreadMessage(pControl->GetThreadId(), plat::WM_QUIT, 0, 0);
            }
            plat::Sleep(kExitGraceMs);
            plat::PostMessage(hwnd, plat::WM_QUIT, 0, 0);
            return 0;
        case plat::WM_COMMAND:
            if (wParam == kCommandExit) {
                plat::DestroyWindow(hwnd);
            }
            return 0;  // kCommandAbout: the engine has no about box to show
        case plat::WM_DESTROY:
            plat::PostQuitMessage(0);
            return 0;
        default:
            return plat::DefWindowProc(hwnd, message, wParam, lParam);
    }
}

// The stored account and sync directory the engine needs, read as the control object reads
// them.
bool LoginCheck() {
    if (!CUserInfoLD::Get()->ReLoad() || !CSystemInfoLD::Get()->ReLoad()) {
        return false;
    }
    const UserInfo user = CUserInfoLD::Get()->GetUserInfo();
    return !user.strAccount.empty() && !user.strPassword.empty() &&
           !CSystemInfoLD::Get()->GetSystemInfo().wstrSyncDir.empty();
}

int RunWindowLoop() {
    plat::MSG msg;
    int nRet;
    while ((nRet = plat::GetMessage(&msg)) > 0) {
        plat::DispatchMessage(&msg);
    }
    return nRet == 0 ? static_cast<int>(msg.wParam) : 0;
}

// Ends the control object's threads; when one does not end in time (a transfer in the middle
// of a request), the process ends without waiting for it.
void EndEngine(std::unique_ptr<CSyncControl> pControl) {
    auto ended = plat::CreateEvent(true, false);
    std::thread ender([&pControl, ended] {
        pControl.reset();
        plat::SetEvent(ended);
    });
    if (plat::WaitForSingleObject(ended, static_cast<plat::DWORD>(kThreadEndWait.count())) !=
        plat::WAIT_OBJECT_0) {
        AfLog(4, kLog, "EndEngine", __LINE__, "%s",
              "threads still busy at exit; the process ends without them");
        ::_exit(0);
    }
    ender.join();
}

// The engine with a sync directory it must not sync: the client hears why, and the window
// stays until the client ends the engine (a process that ended would be started again at
// once by the client's watchdog).
int RunRefused(plat::DWORD dwUIThread, const std::string& why) {
    AfLog(4, kLog, "main", __LINE__, "Error: refused to sync: %s", why.c_str());
    plat::PostThreadMessage(dwUIThread, MSG_ERR_SYNCDIR_REFUSED, 0, 0);
    return RunWindowLoop();
}

}  // namespace

int main(int argc, char** argv) {
    plat::InstallCrashHandler();
    bool bExists = false;
    const std::unique_ptr<plat::NamedMutex> pInstance =
        plat::CreateNamedMutex("Ostrand-20140716", &bExists);
    if (!pInstance) {
        AfLog(0, kLog, "main", __LINE__, "%s",
              bExists ? "another engine runs" : "Error: the instance lock cannot be made");
        return 0;
    }
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        commandLine += (i > 1 ? " " : "") + std::string(argv[i]);
    }
    if (commandLine.empty()) {
        return 0;
    }
    const plat::DWORD dwUIThread = static_cast<plat::DWORD>(std::atoi(commandLine.c_str()));

    const plat::HWND hwnd = plat::CreateWindow(L"Ostrand", &WndProc);
    if (hwnd == nullptr) {
        AfLog(6, kLog, "main", __LINE__, "%s", "Error: the window Ostrand cannot be created");
        return 0;
    }
    if (!LoginCheck()) {
        AfLog(4, kLog, "main", __LINE__, "%s", "Error: no stored account or sync directory");
        return 0;
    }
    std::string why;
    if (IsRefusedSyncDir(WstringToString(CSystemInfoLD::Get()->GetSystemInfo().wstrSyncDir), why)) {
        return RunRefused(dwUIThread, why);
    }

    auto pControl = std::make_unique<CSyncControl>();
    if (pControl->GetInitResult() != 0) {
        return 0;
    }
    pControl->SetUIThread(dwUIThread);
    CSyncStatus::Get()->SetUIThread(dwUIThread);
    if (pControl->Start() != 0) {
        AfLog(6, kLog, "main", __LINE__, "%s", "Error: the control thread cannot be started");
        return 0;
    }
    plat::PostThreadMessage(pControl->GetThreadId(), MSG_THREAD_START, 0, 0);
    const int nExit = RunWindowLoop();
    EndEngine(std::move(pControl));
    return nExit;
}
