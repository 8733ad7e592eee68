#pragma once
// What the settings dialog does, without the widgets: the speed limits and their check, the
// autostart entry, moving the sync directory to a new place by a complete copy, and the
// folder rules shared with the first-run page.
//
// Any thread, one at a time (the settings dialog's UI thread).

#include <filesystem>
#include <string>

// A limit box's text is usable: at most 7 characters, a decimal integer from 0 to 1,048,576.
bool IsValidSpeed(const std::string& text);

enum ESpeedResult { SPEED_OK, SPEED_ENGINE_MISSING, SPEED_BAD_UPLOAD, SPEED_BAD_DOWNLOAD };

// The speed step of OK: checks, stores "SetSpeed", "USpeed", "DSpeed", keeps the limits in the
// session and posts MSG_SETTING_MAXSPEED (0 and 0 when unlimited). Nothing is stored or posted
// unless it returns SPEED_OK.
ESpeedResult ApplySpeeds(bool custom, const std::string& upload, const std::string& download);

// $XDG_CONFIG_HOME/autostart/Corvena.desktop (~/.config when the variable is unset or
// relative).
std::filesystem::path AutostartFile();
// Writes or deletes the entry and stores "AutoRun"; false when the entry could not be written.
bool SetAutostart(bool on);

// The proposed sync directory of a chosen folder: the folder, without a trailing "/", plus
// "/Corvena".
std::wstring ProposedSyncDir(const std::wstring& chosen);

enum EMoveResult { MOVE_OK, MOVE_CANNOT_CREATE, MOVE_COPY_FAILED, MOVE_INSIDE_OLD };

// MOVE_INSIDE_OLD when the new place is the old directory or lies inside it, else MOVE_OK.
EMoveResult CheckMoveTarget(const std::filesystem::path& oldDir,
                            const std::filesystem::path& newDir);
// Creates the new folder and copies the old sync directory's content into it, folders, files
// and links as they are; the old directory stays as it was. An item the new folder holds
// already is kept, never overwritten. A new place inside the old
// directory (or the same place) is refused: the copy would contain itself.
EMoveResult CopySyncDir(const std::filesystem::path& oldDir, const std::filesystem::path& newDir);
// The user's texts of the results other than MOVE_OK.
const wchar_t* MoveResultText(EMoveResult result);
