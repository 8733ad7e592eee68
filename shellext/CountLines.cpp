#include "shellext/CountLines.h"

#include <strings.h>

#include <algorithm>

#include "platform/FileSystem.h"
#include "shellext/SendNotice.h"
#include "shellext/SendThreads.h"
#include "shellext/SyncDirSend.h"

int CCountLines::Initialize(const std::vector<std::filesystem::path>& items) {
    m_itemPath = items.empty() ? std::filesystem::path() : items.front();
    return S_OK;
}

int CCountLines::InvokeCommand(unsigned offset) {
    if (offset != kSendCommand) {
        return E_FAIL;
    }
    if (!m_itemPath.empty()) {
        GetFolderLines(m_itemPath);
    }
    return S_OK;
}

int CCountLines::InvokeCommand(const std::string& verb) {
    return ::strcasecmp(verb.c_str(), kVerb) == 0 ? S_OK : E_FAIL;
}

int CCountLines::GetFolderLines(const std::filesystem::path& path) {
    const std::filesystem::path syncDir = ReadSyncDir();
    if (syncDir.empty()) {
        return 1;
    }
    CSendThreads::Instance().Start([source = path, syncDir] {
        const SSendOutcome outcome = SendToSyncDir(source, syncDir);
        if (outcome.eResult != SEND_OK) {
            ShowNotice(DescribeOutcome(outcome, source));
        }
        return outcome.eResult == SEND_OK;
    });
    return 0;
}

int CCountLines::GetFileLines(const std::filesystem::path& path, long& lines) {
    std::string data;
    if (plat::ReadFile(path, data) != 0) {
        lines = -1;
        return 1;
    }
    lines = static_cast<long>(std::count(data.begin(), data.end(), '\n')) + 1;
    return 0;
}
