#pragma once
// The tray icon's look as the main dialog drives it: status messages of the engine, pause and
// resume, the engine's notices and the faults of the space poll. Knows nothing of widgets: each
// look it decides is handed to the apply function (the tray icon on the UI thread).
//
// Threads: the UI thread, the message thread and the space poll all call it; m_mutex guards
// every member, and the apply function is called with it held, so looks arrive in the order
// they were decided.

#include <functional>
#include <map>
#include <mutex>
#include <string>

// Icon numbers of the looks.
constexpr int ICON_MAIN = 128;
constexpr int ICON_PAUSED = 133;
constexpr int ICON_FRAME_1 = 134;
constexpr int ICON_FRAME_2 = 135;
constexpr int ICON_FRAME_3 = 136;
constexpr int ICON_CONNECTING = 137;
constexpr int ICON_FILE4G = 144;
constexpr int ICON_SPACE_FULL = 145;

// Tray callback messages: before and after the sync directory is adopted.
constexpr unsigned TRAY_MSG_SYNCDIR_SET = 1281;
constexpr unsigned TRAY_MSG_NO_SYNCDIR = 1282;

struct TrayIconInfo {
    std::wstring tooltip;
    std::wstring balloon;
    int animation = 0;  // 0 static icon, 1 start the animation, other: stop, keep the frame
    int icon = ICON_MAIN;
    unsigned callbackMessage = 0;  // 0: unchanged

    bool operator==(const TrayIconInfo&) const = default;
};

// m_nIconState values.
enum ETrayIconState {
    ICONSTATE_IDLE = 1,
    ICONSTATE_SYNCING = 3,
    ICONSTATE_PAUSED = 5,
    ICONSTATE_FAULT = 7
};

extern const wchar_t* const TIP_CONNECTING;  // "联机中..."
extern const wchar_t* const TIP_SPACE_FULL;  // appended to "Corvena"
extern const wchar_t* const TIP_FILE4G;      // appended to "Corvena"

class CTrayState {
  public:
    using Apply = std::function<void(const TrayIconInfo&)>;
    explicit CTrayState(Apply apply) : m_apply(std::move(apply)) {}

    // Makes the look current and applies it, whatever the state (start-up looks).
    void Show(const TrayIconInfo& look);
    // MSG_SYNC_STATUS: flags and state. Changes nothing while paused or offline.
    void OnSyncStateChange(unsigned flags, int state);
    // Pause: saves the current look (key 5) and shows the paused look.
    void SetStopIcon();
    // Resume: saves the current look (key 6) and brings back the one saved at the pause.
    void SetResuIcon();
    // MSG_ERR_FILE4G and MSG_ERR_SPACE_FULL: shown over an idle look only.
    void OnFile4G();
    void OnSpaceFull();
    // A faulty space poll: while online, saves the look in force (key 7) and shows the fault
    // look; the client counts as offline.
    void ShowFault(const TrayIconInfo& look);
    // A good poll after a fault: restores the look saved at the fault. Returns whether the
    // client was offline.
    bool BackOnline();
    // The client counts as online from the start (InitUi).
    void SetOnline(bool online);

    TrayIconInfo Current() const;
    int IconState() const;
    bool IsPaused() const;
    bool IsOnline() const;
    void SetIconState(int state);

  private:
    void ApplyLocked(const TrayIconInfo& look);
    void ShowNotice(const wchar_t* appended, int icon);

    mutable std::mutex m_mutex;
    Apply m_apply;
    TrayIconInfo m_current;
    std::map<int, TrayIconInfo> m_saved;
    int m_nIconState = ICONSTATE_IDLE;
    bool m_bPause = false;
    bool m_bOnline = false;
};
