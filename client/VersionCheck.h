#pragma once
// The version query and what follows from it (IsUpdata, CheckVersion): carry on, offer an
// optional update, force one, or ask again. Taking an update opens the download address in the
// browser and ends the client; nothing is downloaded or installed here.
//
// Threads: the start-up check and the tray row run on the UI thread; the daily check runs on
// its own thread and reaches the UI through VersionUi (the main dialog queues its calls).

#include <functional>
#include <string>

constexpr int kClientVersion = 8;
extern const wchar_t* const kDisplayVersion;  // "2.0.1"

struct VersionReply {
    int result = 0;
    std::string address;
    int newest = 0;
    int forced = 0;
    std::wstring notes;
    std::string md5;
};

// GetVersion with "8" on a fresh session.
VersionReply QueryVersion();

enum EUpdateMode { UPDATE_FORCED = 0, UPDATE_OPTIONAL = 1 };

// The release notes as the update window shows them: markup (from the first "<" to the last
// ">") removed, runs of line feeds made one, tabs removed.
std::wstring CleanNotes(std::wstring notes);
// "版本V2.0.1可更新至V%s".
std::wstring UpdateHeadline(const std::string& version);

struct VersionUi {
    // A fault's message box ("网络错误！", ...).
    std::function<void(const std::wstring& text)> error;
    // The update window; true when the user took the update.
    std::function<bool(EUpdateMode mode, const std::string& version, const std::wstring& notes)>
        offer;
    // Opens the download address in the browser.
    std::function<void(const std::string& address)> openAddress;
    // Sends the engine its exit and runs the close sequence.
    std::function<void()> close;
};

// One query and its consequences: 1 go on, 0 nothing to do (or a fault that closed the client),
// 2 the user took an update and the client is closing, -1 ask again.
int IsUpdata(const VersionUi& ui, const std::function<VersionReply()>& query = QueryVersion);

// IsUpdata until it answers other than -1, a second apart on the process clock: 0 when an
// update was taken, else 1.
int CheckVersion(const VersionUi& ui, const std::function<VersionReply()>& query = QueryVersion);
