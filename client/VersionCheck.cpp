#include "client/VersionCheck.h"

#include <regex>

#include "common/AfLog.h"
#include "common/Utility.h"
#include "platform/Clock.h"
#include "rest/UserMgr.h"

const wchar_t* const kDisplayVersion = L"2.0.1";

VersionReply QueryVersion() {
    VersionReply reply;
    CUserMgr session(4);
    reply.result = session.GetVersion(std::to_string(kClientVersion), reply.address, reply.newest,
                                      reply.forced, reply.notes, reply.md5);
    AfLog(1, "CorvenaDlg", "CCorvenaDlg::IsUpdata", 236, "GetVersion return %d", reply.result);
    return reply;
}

std::wstring CleanNotes(std::wstring notes) {
    ReplaceRegex(notes, std::regex("<[\\s\\S]{1,}>"), L"");
    ReplaceRegex(notes, std::regex("[\n]{2,}"), L"\n");
    ReplaceRegex(notes, std::regex("[\t]{1,}"), L"");
    for (const auto& [from, to] : {std::pair<std::wstring, std::wstring>{L"\n</p>", L""},
                                   std::pair<std::wstring, std::wstring>{L"\n\n", L"\n"}}) {
        size_t at;
        while ((at = notes.find(from)) != std::wstring::npos) {
            notes.replace(at, from.size(), to);
        }
    }
    return notes;
}

std::wstring UpdateHeadline(const std::string& version) {
    return std::wstring(L"版本V") + kDisplayVersion + L"可更新至V" + StringToWstring(version);
}

int IsUpdata(const VersionUi& ui, const std::function<VersionReply()>& query) {
    VersionReply reply = query();
    if (reply.result == 2) {
        return 0;
    }
    if (reply.result > 3) {
        ui.error(reply.result == 6    ? L"网络错误！"
                 : reply.result == 22 ? L"服务器异常！"
                                      : L"账号或服务器异常！");
        ui.close();
        return 0;
    }
    if (reply.newest == kClientVersion) {
        return 1;
    }
    if (reply.forced >= kClientVersion) {
        if (ui.offer(UPDATE_FORCED, reply.md5, reply.notes)) {
            ui.openAddress(reply.address);
        }
        ui.close();
        return 2;
    }
    if (reply.newest > kClientVersion) {
        if (!ui.offer(UPDATE_OPTIONAL, reply.md5, reply.notes)) {
            return 1;
        }
        ui.openAddress(reply.address);
        ui.close();
        return 2;
    }
    return -1;
}

int CheckVersion(const VersionUi& ui, const std::function<VersionReply()>& query) {
    int result;
    while ((result = IsUpdata(ui, query)) == -1) {
        plat::Sleep(1000);
    }
    return result == 2 ? 0 : 1;
}
