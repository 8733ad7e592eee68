#pragma once
// The tray as the main dialog uses it: the icon and its look, the popup menu in use, the
// engine's status messages and notices, left clicks, the pause and resume row and the row of
// the deletions that wait for a confirmation. The other rows' handlers are set by the main
// dialog (CreateContextMenu).
//
// Threads: created and used on the UI thread. The listeners registered with CCommunication run
// on the message thread and only touch CTrayState (locked); every look reaches CMyIcon on the
// UI thread through a queued call. m_mutex guards m_spaceText.

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "client/ClickDebounce.h"
#include "client/DeletionPrompt.h"
#include "client/TrayIcon.h"
#include "client/TrayMenu.h"
#include "client/TrayState.h"

class QMenu;

class CTrayController : public QObject {
    Q_OBJECT
  public:
    CTrayController(std::function<bool()> trayPresent, int trayWaitMs, QObject* parent = nullptr);
    ~CTrayController() override;

    CTrayState& State() { return m_state; }
    CMyIcon& Icon() { return *m_icon; }
    CTrayMenu& Menu() { return m_menu; }
    CDeletionPrompt& Prompt() { return m_prompt; }
    QMenu* Popup() const { return m_popup; }

    // Registers the listeners of the tray: 2030, 2043, 3031, 3032, 5027, 5028, 5031, 7029.
    void Listen();
    // The first look, "联机中..." with icon 137; the client counts as online.
    void ShowConnecting();
    // The sync directory is adopted: "Corvena" with icon 128, clicks open the directory and
    // the full menu is offered.
    void SyncDirAdopted();
    bool IsSyncDirAdopted() const { return m_bAdopted; }
    // The space row's text; any thread.
    void SetSpaceText(const std::wstring& text);
    std::wstring SpaceText() const;
    // Which popup a right click shows now.
    ETrayPopup PopupInUse() const;
    // Rebuilds the popup for the state of the moment (also done just before it shows).
    void RebuildPopup();

    // Row 2: pause or resume, with the engine window's check.
    void PauseOrResume();
    // A click on the icon.
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    // How many over-long paths the engine reported in the last burst; the notice follows after
    // a quiet second.
    int PendingLongPaths() const { return m_longPaths; }

  signals:
    void openSyncDirRequested();
    void showMainWindowRequested();

  private:
    void ApplyLook(const TrayIconInfo& look);
    void OnLongPath();
    void ShowLongPathNotice();

    std::unique_ptr<CMyIcon> m_icon;
    CTrayState m_state;
    CTrayMenu m_menu;
    QMenu* m_popup;
    CClickDebounce m_debounce;
    CDeletionPrompt m_prompt;
    bool m_bAdopted = false;
    int m_longPaths = 0;
    QTimer m_longPathTimer;
    mutable std::mutex m_mutex;
    std::wstring m_spaceText;
};
