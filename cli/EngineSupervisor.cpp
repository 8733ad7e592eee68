#include "cli/EngineSupervisor.h"

#include <string>

#include "common/AfLog.h"
#include "platform/Paths.h"
#include "platform/ProcessStart.h"

std::filesystem::path CEngineSupervisor::EnginePath() {
    return plat::ExecutablePath().parent_path() / "tandrix";
}

int CEngineSupervisor::Start(plat::DWORD messageThreadId) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(m_enginePath, ec)) {
        AfLog(4, "CorvenaCli", "CEngineSupervisor::Start", __LINE__, "no engine program at %s",
              m_enginePath.c_str());
        return 1;
    }
    m_dwThread = messageThreadId;
    m_pid = plat::StartProcess(m_enginePath, {std::to_string(messageThreadId)});
    if (m_pid <= 0) {
        AfLog(4, "CorvenaCli", "CEngineSupervisor::Start", __LINE__, "cannot run %s",
              m_enginePath.c_str());
        return 1;
    }
    m_bArmed = true;
    return 0;
}

bool CEngineSupervisor::Tick() {
    if (!m_bArmed || IsRunning()) {
        return false;
    }
    AfLog(4, "CorvenaCli", "CEngineSupervisor::Tick", __LINE__, "%s",
          "the engine is gone; it is started again");
    return Start(m_dwThread) == 0;
}

bool CEngineSupervisor::IsRunning() const {
    return plat::IsChildRunning(m_pid);
}
