#pragma once
// The main dialog (CCorvenaDlg): runs the start-up in order (menus, version check, tray, login,
// threads, watchdog, sync directory, engine), doubles as the first-run page where the sync
// directory is chosen, owns the tray and the windows opened from it, and runs the close
// sequence. Hidden once the sync directory is adopted.
//
// Threads: UI thread. The space poll and the daily version check run on threads of their own
// between Start and the close; they reach the dialog only through queued calls and
// thread-safe members (the tray state, the session). The message thread is owned by the
// program (main) and stopped by the close sequence.

#include <QDialog>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "client/EngineLauncher.h"
#include "client/FolderPrompt.h"
#include "client/SpaceWatch.h"
#include "client/TrayController.h"
#include "client/VersionCheck.h"
#include "platform/SyncObjects.h"

class QLineEdit;
class QPushButton;

struct MainOptions {
    std::filesystem::path enginePath = CEngineLauncher::EngineExePath();
    std::function<bool()> trayPresent = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    int trayWaitMs = 30000;
    FolderPrompts prompts = FolderPrompts::Desktop();
    // Ends the program with the exit code (QCoreApplication::exit).
    std::function<void(int)> quit;
    // Starts a new instance of the client.
    std::function<void()> restartClient;
    // The version check of the start-up; off where a test has no use for it.
    bool checkVersionAtStart = true;
};

class CCorvenaDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CCorvenaDlg(MainOptions options, QWidget* parent = nullptr);
    ~CCorvenaDlg() override;

    // OnInitDialog: false when the start-up ended the client (its close sequence ran).
    bool Start();
    // The close sequence: the other windows closed, the engine stopped (2036, then its window
    // awaited), the message thread stopped, the tray icon removed, the program ended with 0.
    void CloseSequence();

    CTrayController& Tray() { return *m_tray; }
    CEngineLauncher& Launcher() { return m_launcher; }
    QLineEdit* DirBox() const { return m_dirBox; }
    QPushButton* BrowseButton() const { return m_browse; }
    QPushButton* StartButton() const { return m_start; }
    bool IsClosed() const { return m_closed; }

    // SyncDirExists: 1, after adopting the stored directory (or when none is stored); 0 when
    // the stored directory has vanished and the client was reset and restarted.
    int SyncDirExists();

  private:
    void CreateContextMenu();
    int InitUi();
    bool LogIn();
    void SetSyncDir(const std::wstring& dir);
    void OnBrowse();
    void OnStartSync();
    void StartThreads();
    void SpaceWatchLoop();
    void VersionWatchLoop();
    void RunDailyCheck();
    VersionUi MakeVersionUi();
    void OpenSettings();
    void OpenDetail();
    void OpenWeb();
    void OpenAbout();
    void OnVersionRow();
    void ShowAccountFaultBox();
    void reject() override;

    MainOptions m_options;
    std::unique_ptr<CTrayController> m_tray;
    CEngineLauncher m_launcher;
    std::unique_ptr<CSpaceWatch> m_spaceWatch;
    QLineEdit* m_dirBox;
    QPushButton* m_browse;
    QPushButton* m_start;
    plat::EventPtr m_stop = plat::CreateEvent(true, false);
    std::thread m_spaceThread;
    std::thread m_versionThread;
    std::atomic<bool> m_faultBoxOpen{false};
    bool m_closed = false;
};
