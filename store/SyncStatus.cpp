#include "store/SyncStatus.h"

#include "common/AfLog.h"
#include "platform/ThreadMessage.h"
#include "store/StoreCommon.h"
#include "store/SyncingTaskArray.h"

namespace {

constexpr int kFlagPositions = 7;
constexpr int kStatusFindLike = 5;

constexpr std::uint32_t BitOf(int eFlag) {
    return 1u << eFlag;
}

const char* const kSetStatus = "CSyncStatus::SetStatus";
const char* const kIdleLine = "post UI Msg MSG_SYNC_STATUS(MSYNC_STATE_IDLE) Flag =(%x)";
const char* const kFindLine = "post UI Msg MSG_SYNC_STATUS(MSYNC_STATE_FIND) Flag =(%x)";
const char* const kSyncingLine = "post UI Msg MSG_SYNC_STATUS(MSYNC_STATE_SYNCING) Flag =(%x)";
const char* const kSyncedLine = "post UI Msg MSG_SYNC_STATUS(MSYNC_STATE_SYNCED) Flag =(%x)";

}  // namespace

CSyncStatus* CSyncStatus::Get() {
    static CSyncStatus instance;
    return &instance;
}

CSyncStatus::CSyncStatus() : m_hStop(plat::CreateEvent(false, false, "StopSync")) {}

void CSyncStatus::SetUIThread(unsigned long threadId) {
    m_dwUIThread = static_cast<plat::DWORD>(threadId);
    plat::PostThreadMessage(m_dwUIThread, MSG_SYNC_STATUS, 0, MSYNC_STATE_IDLE);
}

SYNC_STATUS CSyncStatus::GetStatus() const {
    return static_cast<SYNC_STATUS>(m_eStatus.load());
}

int CSyncStatus::GetFlag(SYNC_FLAG eFlag) const {
    if (eFlag < 0 || eFlag >= kFlagPositions) {
        return 0;
    }
    return Bit(eFlag) ? 1 : 0;
}

int CSyncStatus::GetFlag() const {
    return static_cast<int>(m_uFlags.load());
}

bool CSyncStatus::Bit(int eFlag) const {
    return (m_uFlags.load() & BitOf(eFlag)) != 0;
}

void CSyncStatus::WriteBit(int eFlag, bool bSet) {
    if (bSet) {
        m_uFlags.fetch_or(BitOf(eFlag));
    } else {
        ClearBits(BitOf(eFlag));
    }
}

void CSyncStatus::ClearBits(std::uint32_t mask) {
    m_uFlags.fetch_and(~mask);
}

void CSyncStatus::PostStatus(std::uintptr_t wParam, int status) {
    plat::PostThreadMessage(m_dwUIThread, MSG_SYNC_STATUS, wParam, status);
}

void CSyncStatus::PostMsg(MSGCODE msg, unsigned wParam, long lParam) {
    plat::PostThreadMessage(m_dwUIThread, msg, wParam, m_eStatus.load());
    AfLog(0, kTaskingLog, "CSyncStatus::PostMsg", __LINE__,
          "post UI Msg msg = (%d) wparam = (%d) lparam = (%d)", static_cast<int>(msg),
          static_cast<int>(wParam), static_cast<int>(lParam));
}

void CSyncStatus::SetStatus(SYNC_STATUS eStatus, int bFoceSet, OPERATION_SYNC_FLAG eOper) {
    std::lock_guard<std::mutex> lock(m_mutex);
    SetStatusLocked(eStatus, bFoceSet, eOper);
}

void CSyncStatus::LogRefused(int eStatus, int bFoceSet, int eOper) {
    AfLog(0, kTaskingLog, kSetStatus, __LINE__,
          "set status return. m_eStatus = (%d), eStatus = (%d), Flag = (%x) bFoceSet = (%d) "
          "eOper = (%d)",
          m_eStatus.load(), eStatus, m_uFlags.load(), bFoceSet, eOper);
}

void CSyncStatus::SetStatusLocked(int eStatus, int bFoceSet, int eOper) {
    const int current = m_eStatus;
    const std::uint32_t flags = m_uFlags;
    if ((eStatus == current && bFoceSet == 0) ||
        (current == MSYNC_STATE_SYNCING && eStatus != MSYNC_STATE_SYNCED && bFoceSet == 0) ||
        Bit(MSYNC_FLAG_PAUSE)) {
        LogRefused(eStatus, bFoceSet, eOper);
        return;
    }
    // QUIET, and any value that is not one of the four, tells the client only what it must
    // not miss.
    const bool tell =
        eOper == OPEA_FLAG_DEFAULT || eOper == OPEA_FLAG_RESET || eOper == OPEA_FLAG_RESUME;
    switch (eStatus) {
        case MSYNC_STATE_IDLE:
            SetIdle(flags, tell, eOper);
            break;
        case MSYNC_STATE_FIND:
        case kStatusFindLike:
            SetFind(eStatus, flags, tell, eOper);
            break;
        case MSYNC_STATE_SYNCING:
            SetSyncing(tell, eOper);
            break;
        case MSYNC_STATE_SYNCED:
            SetSynced(flags, tell, eOper);
            break;
        default:
            break;
    }
}

void CSyncStatus::SetIdle(std::uint32_t flags, bool tell, int eOper) {
    m_eStatus = MSYNC_STATE_IDLE;
    if (tell || (flags & BitOf(MSYNC_FLAG_FILE4G)) != 0) {
        PostStatus(flags, MSYNC_STATE_IDLE);
        AfLog(0, kTaskingLog, kSetStatus, __LINE__, kIdleLine, flags);
    }
    if (eOper == OPEA_FLAG_RESET) {
        ClearBits(BitOf(MSYNC_FLAG_FILE4G));
    }
}

void CSyncStatus::SetFind(int eStatus, std::uint32_t flags, bool tell, int eOper) {
    if ((flags & BitOf(MSYNC_FLAG_WAIT30S_SYNC)) != 0) {
        return;
    }
    m_eStatus = eStatus;
    if (tell || (flags & BitOf(MSYNC_FLAG_FILE4G)) != 0) {
        PostStatus(flags, eStatus);
        AfLog(0, kTaskingLog, kSetStatus, __LINE__, kFindLine, flags);
    }
    if (eOper == OPEA_FLAG_RESET) {
        ClearBits(BitOf(MSYNC_FLAG_SPACE_FULL) | BitOf(MSYNC_FLAG_FILE4G));
    }
}

void CSyncStatus::SetSyncing(bool tell, int eOper) {
    if (Bit(MSYNC_FLAG_WAIT30S_SYNC)) {
        return;
    }
    m_eStatus = MSYNC_STATE_SYNCING;
    if (tell) {
        PostStatus(0, MSYNC_STATE_SYNCING);
        AfLog(0, kTaskingLog, kSetStatus, __LINE__, kSyncingLine, m_uFlags.load());
    }
    if (eOper == OPEA_FLAG_DEFAULT || eOper == OPEA_FLAG_RESET) {
        ClearBits(BitOf(MSYNC_FLAG_SPACE_FULL));
    }
}

void CSyncStatus::SetSynced(std::uint32_t flags, bool tell, int eOper) {
    m_eStatus = MSYNC_STATE_SYNCED;
    const std::uint32_t notices = BitOf(MSYNC_FLAG_SPACE_FULL) | BitOf(MSYNC_FLAG_FILE4G);
    if (tell || (flags & notices) != 0) {
        AfLog(0, kTaskingLog, kSetStatus, __LINE__, kSyncedLine, flags);
        PostStatus(flags, MSYNC_STATE_SYNCED);
    }
    if (eOper == OPEA_FLAG_RESET) {
        ClearBits(notices);
    }
}

void CSyncStatus::SetFlag(SYNC_FLAG eFlag, bool bSet) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (eFlag < 0 || eFlag >= kFlagPositions || Bit(eFlag) == bSet) {
        AfLog(0, kTaskingLog, "CSyncStatus::SetFlag", __LINE__, "return Set flag(%d) Set = (%d)",
              static_cast<int>(eFlag), bSet ? 1 : 0);
        return;
    }
    AfLog(0, kTaskingLog, "CSyncStatus::SetFlag", __LINE__, "Set flag(%d) Set = (%d)",
          static_cast<int>(eFlag), bSet ? 1 : 0);
    if (FlagSideEffects(eFlag, bSet)) {
        WriteBit(eFlag, bSet);
    }
    if (eFlag == MSYNC_FLAG_PAUSE) {
        plat::SetEvent(m_hStop);
    }
}

bool CSyncStatus::FlagSideEffects(int eFlag, bool bSet) {
    const bool waiting = Bit(MSYNC_FLAG_WAIT30S_SYNC);
    const bool paused = Bit(MSYNC_FLAG_PAUSE);
    switch (eFlag) {
        case MSYNC_FLAG_PAUSE:
            if (bSet) {
                ClearBits(BitOf(MSYNC_FLAG_DISKCAUSE_SYNC) | BitOf(MSYNC_FLAG_WAIT30S_SYNC));
            } else {
                ClearBits(BitOf(MSYNC_FLAG_PAUSE));
                ResumeUIStatus();
            }
            return true;
        case MSYNC_FLAG_DISKCAUSE_SYNC:
            if (waiting || paused) {
                ClearBits(BitOf(MSYNC_FLAG_DISKCAUSE_SYNC));
                return false;
            }
            return true;
        case MSYNC_FLAG_WAIT30S_SYNC:
            if (paused) {
                ClearBits(BitOf(MSYNC_FLAG_WAIT30S_SYNC));
                return false;
            }
            if (bSet) {
                ClearBits(BitOf(MSYNC_FLAG_DISKCAUSE_SYNC));
                if (m_eStatus == MSYNC_STATE_FIND) {
                    SetStatusLocked(MSYNC_STATE_IDLE, 0, OPEA_FLAG_DEFAULT);
                }
            }
            return true;
        default:
            return true;
    }
}

void CSyncStatus::ResumeUIStatus() {
    AfLog(1, kTaskingLog, "CSyncStatus::ResumeUIStatus", __LINE__, "%s",
          "CSyncStatus::ResumeUIStatus()");
    CSyncingTaskArray::Get()->Clear();
    const std::uint32_t flags = m_uFlags;
    const bool paused = Bit(MSYNC_FLAG_PAUSE);
    switch (m_eStatus.load()) {
        case MSYNC_STATE_SYNCING:
            if (paused) {
                LogRefused(MSYNC_STATE_SYNCING, 1, OPEA_FLAG_RESUME);
            } else if (!Bit(MSYNC_FLAG_WAIT30S_SYNC)) {
                PostStatus(0, MSYNC_STATE_SYNCING);
                AfLog(0, kTaskingLog, "CSyncStatus::ResumeUIStatus", __LINE__, kSyncingLine, flags);
            }
            break;
        case MSYNC_STATE_SYNCED:
            if (paused) {
                LogRefused(MSYNC_STATE_SYNCED, 1, OPEA_FLAG_RESUME);
            } else {
                m_eStatus = MSYNC_STATE_SYNCED;
                AfLog(0, kTaskingLog, "CSyncStatus::ResumeUIStatus", __LINE__, kSyncedLine, flags);
                PostStatus(flags, MSYNC_STATE_SYNCED);
            }
            break;
        case kStatusFindLike:
            break;
        default:
            if (paused) {
                LogRefused(MSYNC_STATE_IDLE, 1, OPEA_FLAG_RESUME);
            } else {
                m_eStatus = MSYNC_STATE_IDLE;
                PostStatus(flags, MSYNC_STATE_IDLE);
                AfLog(0, kTaskingLog, "CSyncStatus::ResumeUIStatus", __LINE__, kIdleLine, flags);
            }
            break;
    }
}

bool CSyncStatus::QueryRefused(const char* function, bool diskCauseQuery) {
    const int status = m_eStatus;
    AfLog(0, kTaskingLog, function, __LINE__,
          "IsStart30OfflineSync: Sync Status(%d), MSYNC_FLAG_NETSERVICE = (%d) MSYNC_FLAG_PAUSE "
          "= (%d) MSYNC_FLAG_WAIT30S_SYNC = (%d) MSYNC_FLAG_DISKCAUSE_SYNC = (%d)",
          status, GetFlag(MSYNC_FLAG_NETSERVICE), GetFlag(MSYNC_FLAG_PAUSE),
          GetFlag(MSYNC_FLAG_WAIT30S_SYNC), GetFlag(MSYNC_FLAG_DISKCAUSE_SYNC));
    const char* reason = nullptr;
    if (!Bit(MSYNC_FLAG_NETSERVICE)) {
        reason = "IsDiskCauseSync return False, Net work error";
    } else if (Bit(MSYNC_FLAG_PAUSE)) {
        reason = "IsDiskCauseSync return False, Pause sync";
    } else if (diskCauseQuery && Bit(MSYNC_FLAG_WAIT30S_SYNC)) {
        reason = "IsDiskCauseSync return False, Wait 30s offline";
    } else if (!diskCauseQuery && Bit(MSYNC_FLAG_DISKCAUSE_SYNC)) {
        reason = "IsDiskCauseSync return False, wait DISK CAUSE SYNC";
    }
    if (reason != nullptr) {
        AfLog(0, kTaskingLog, function, __LINE__, "%s", reason);
        return true;
    }
    if (status == MSYNC_STATE_FIND || status == MSYNC_STATE_SYNCING || status == kStatusFindLike) {
        AfLog(0, kTaskingLog, function, __LINE__,
              "IsDiskCauseSync return False, has task status = (%d)", status);
        return true;
    }
    return false;
}

int CSyncStatus::IsDiskCauseSync() {
    if (QueryRefused("CSyncStatus::IsDiskCauseSync", true)) {
        return 0;
    }
    return GetFlag(MSYNC_FLAG_DISKCAUSE_SYNC);
}

int CSyncStatus::IsStart30OfflineSync() {
    return QueryRefused("CSyncStatus::IsStart30OfflineSync", false) ? 0 : 1;
}

int CSyncStatus::IsResumeSync() {
    return Bit(MSYNC_FLAG_PAUSE) ? 0 : GetFlag(MSYNC_FLAG_NETSERVICE);
}
