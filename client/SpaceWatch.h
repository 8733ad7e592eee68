#pragma once
// The five-second poll of the account's space, which also decides whether the client counts as
// online: a good answer after a fault brings the client back (5030 with 1 to the engine,
// notice 3034, "NetState" "1"); each faulty poll shows the fault look, posts 5030 with 0,
// raises notice 3033 and stores "NetState" "0". A disabled account (8010) ends the client.
//
// Threads: Poll runs on the space-poll thread; the actions are called on it (the widget side
// moves them to the UI thread).

#include <functional>
#include <string>

#include "client/TrayState.h"

struct SpaceWatchActions {
    // The space row of the full tray menu ("used/total", or empty).
    std::function<void(const std::wstring&)> setSpaceText;
    // MSG_NET_SERVER to the engine window with this lParam.
    std::function<void(int reachable)> postNetServer;
    // "账号异常，正试图恢复中..." box; returns once it is closed.
    std::function<void()> accountFaultBox;
    // 8010: the account's data is dropped and the client closes.
    std::function<void()> accountDisabled;
};

class CSpaceWatch {
  public:
    // One GetSpaceInfo call: result code, used and total space texts.
    using Query = std::function<int(std::string& used, std::string& total)>;
    CSpaceWatch(CTrayState& tray, Query query, SpaceWatchActions actions)
        : m_tray(tray), m_query(std::move(query)), m_actions(std::move(actions)) {}

    // One poll (GetSpaceSize). Returns 0 when no account is remembered (nothing asked),
    // otherwise the final result of up to three queries.
    int Poll();

    // The fault look of a poll result other than 0 and 8010.
    static TrayIconInfo FaultLook(int result);

  private:
    void Fault(int result);

    CTrayState& m_tray;
    Query m_query;
    SpaceWatchActions m_actions;
};
