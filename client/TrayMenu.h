#pragma once
// The tray popup menus and what their rows do. Three menus: the full menu (rows 0 to 9, ids
// equal to the row), the menu shown before the sync directory is set and the offline menu
// (each the single row "退出", ids 0 and 1). The full menu also offers the sync detail window
// ("同步详情", id 10), which has no other way in. A full-menu row runs its handler only while the
// engine runs; the single-row menus always exit. With the engine gone a click on the pause
// row is ignored like the others (it does not end the client).
//
// Threads: UI thread only.

#include <functional>
#include <map>
#include <string>
#include <vector>

enum ETrayPopup { POPUP_FULL = 0, POPUP_NO_SYNCDIR = 1, POPUP_OFFLINE = 2 };

enum ETrayRow {
    ROW_SPACE = 0,
    ROW_SEPARATOR = 1,
    ROW_PAUSE = 2,
    ROW_SETTINGS = 3,
    ROW_OPEN_DIR = 4,
    ROW_WEB = 5,
    ROW_VERSION = 6,
    ROW_FEEDBACK = 7,
    ROW_ABOUT = 8,
    ROW_EXIT = 9,
    // The sync detail window, listed after "打开同步目录".
    ROW_DETAIL = 10,
    // Deletions put off by the user, listed after the pause row while they wait: reopens the
    // box that confirms them.
    ROW_HELD_DELETIONS = 11,
};

struct TrayMenuRow {
    std::wstring text;
    int commandId = 0;
    bool separator = false;
    bool withIcon = false;
};

class CTrayMenu {
  public:
    using Handler = std::function<void()>;
    // engineRunning: whether the engine window exists.
    explicit CTrayMenu(std::function<bool()> engineRunning)
        : m_engineRunning(std::move(engineRunning)) {}

    // CreateContextMenu: the handler of a full-menu row.
    void SetHandler(int row, Handler handler) { m_handlers[row] = std::move(handler); }
    // The close sequence, also run by the single-row menus.
    void SetExitHandler(Handler handler) { m_exit = std::move(handler); }

    // The rows of a popup; the pause row's text follows the paused flag. waitingDeletions > 0
    // adds the row of the deletions that wait for a confirmation to the full menu.
    static std::vector<TrayMenuRow> Rows(ETrayPopup popup, bool paused,
                                         const std::wstring& spaceText, int waitingDeletions = 0);
    // A click on a row of the popup in use. Returns whether a handler ran.
    bool OnCommand(ETrayPopup popup, int commandId);

  private:
    std::function<bool()> m_engineRunning;
    std::map<int, Handler> m_handlers;
    Handler m_exit;
};
