#include "client/EngineLauncher.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

#include "client/Communication.h"
#include "common/AfLog.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/ProcessList.h"

namespace {
constexpr std::uint32_t kWatchdogPeriodMs = 500;
}

CEngineLauncher::CEngineLauncher(std::filesystem::path enginePath)
    : m_enginePath(std::move(enginePath)) {}

CEngineLauncher::~CEngineLauncher() {
    plat::SetEvent(m_stop);
    if (m_watchdog.joinable()) {
        m_watchdog.join();
    }
}

std::filesystem::path CEngineLauncher::EngineExePath() {
    return plat::ExecutablePath().parent_path() / "tandrix";
}

int CEngineLauncher::StartEngine(plat::DWORD messageThreadId) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(m_enginePath, ec)) {
        AfLog(4, "CorvenaDlg", "CCorvenaDlg::StartEngine", 0,
              "Corvena:OnBnClickedButtonOk--->Error:启动进程失败 (%s)", m_enginePath.c_str());
        return 1;
    }
    m_threadId = messageThreadId;
    QStringList arguments{QString::number(messageThreadId)};
    if (!QProcess::startDetached(QString::fromStdString(m_enginePath.string()), arguments)) {
        AfLog(4, "CorvenaDlg", "CCorvenaDlg::StartEngine", 0, "cannot run %s",
              m_enginePath.c_str());
        return 1;
    }
    CCommunication::Get().m_bEngineStarted = true;
    return 0;
}

bool CEngineLauncher::IsEngineRunning() const {
    return plat::IsProcessRunning(m_enginePath.filename().string());
}

void CEngineLauncher::WatchdogTick() {
    if (!CCommunication::Get().m_bEngineStarted || !m_bWatchEngine) {
        return;
    }
    if (IsEngineRunning()) {
        return;
    }
    if (StartEngine(m_threadId) != 0) {
        AfLog(4, "CorvenaDlg", "CCorvenaDlg::OnTimer", 0,
              "Corvena : OnInitDialog--->Error:启动进程失败");
    }
}

void CEngineLauncher::StartWatchdog() {
    if (!m_watchdog.joinable()) {
        m_watchdog = std::thread([this] { WatchdogLoop(); });
    }
}

void CEngineLauncher::WatchdogLoop() {
    while (plat::WaitForSingleObject(m_stop, kWatchdogPeriodMs) == plat::WAIT_TIMEOUT) {
        WatchdogTick();
    }
}
