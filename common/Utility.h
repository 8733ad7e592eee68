#pragma once
// Text conversion, file hashing, path arithmetic inside the sync directory and a few
// file-system chores. Stateless and thread-safe.
//
// Narrow texts for the log and the file system are UTF-8 here. Wide strings are std::wstring.
// Relative paths keep the stored form ".\folder\name" (backslash separators) on every
// platform; GetRelatePath and GetAbsolutePath convert between it and native absolute paths.

#include <cstdint>
#include <ctime>
#include <regex>
#include <string>

#include "platform/RootedPath.h"

// Conversions. Invalid input never throws: an undecodable byte or code unit becomes U+FFFD.
std::string WstringToString(std::wstring wstr);
std::wstring StringToWstring(const std::string& str);
void Utf82WideString(const std::string& utf8, std::wstring& wide);
// UTF-8 of the text with every byte written as %XX (upper-case hex); used for every name sent
// to the service. Texts of any length are encoded whole.
std::string UnicodeToUtf8_new(const std::wstring& wstr);

// 32 lower-case hex digits of the file's MD5; empty text when the path is not a plain file that
// can be read (missing, a folder, a link, a pipe, a read error).
std::string GetFileMd5(const std::string& path);
// The same for an item resolved below the sync directory (its content read without following
// a link).
std::string GetFileMd5(const plat::CRootedPath& item);

// Native path to the relative form: "/home/u/S/a/b.txt" on the base "/home/u/S" (or
// "/home/u/S/") gives ".\a\b.txt". The full path comes back unchanged when it does not lie
// below the base ("/home/u/Sx/a", the base itself, another case) and when a name in it holds
// a backslash, which the relative form cannot represent; callers tell both by the missing
// ".\" at the start.
std::wstring GetRelatePath(const std::wstring& fullPath, const std::wstring& baseFolder);
// Relative form to native path: the base followed by the relative path without its leading
// "." (without ".\" when the base ends with "/"), backslashes turned into "/". An
// empty relative path gives the base. The names are not checked: ".." stays "..".
std::wstring GetAbsolutePath(const std::wstring& relativePath, const std::wstring& baseFolder);
// The one way from a relative path to the item it names: resolves relativePath (".\a\b", or "."
// for the base itself) below baseFolder, folder by folder without following a link (see
// platform/RootedPath.h). 0, EINVAL for a path that is not of the relative form or an empty
// base, ELOOP for a link on the way, else the error of the folder that could not be opened.
int OpenRootedPath(const std::wstring& relativePath, const std::wstring& baseFolder,
                   plat::CRootedPath& item, plat::EFolders folders = plat::EFolders::Existing);
// Parent in the relative form (the text before the last backslash); empty when there is no
// backslash or only the first character is one.
std::wstring GetParentPath(const std::wstring& path);
// The text after the last "/" or "\" (the whole text without either).
std::wstring GetFileName(const std::wstring& path);
// -1 missing, 0 folder, 1 anything else (file, link, pipe...). Links are not followed.
int JudgeFolder(const std::wstring& path);
// Local modification time "%4d-%02d-%02d %02d:%02d:%02d", size in bytes (empty for a folder)
// and hidden = 2 for a name starting with "." (else 0), of the item itself (links not
// followed). Outputs untouched when the path does not exist.
void GetFileInfo(const std::wstring& path, std::string& modifyTime, std::string& size, int& hidden);
// The modification time alone; empty when the path does not exist.
std::string GetFileModifyTime(const std::wstring& path);
std::string GetFileModifyTime(const plat::CRootedPath& item);
int CountChar(const std::wstring& text, wchar_t ch);
// 1 when the whole text matches the pattern ("*" any run, "?" one character; case counts).
int wildcmp(const wchar_t* text, const wchar_t* pattern);

// File-system chores. Errors are errno values. A rename never replaces an existing item: it
// fails with EEXIST instead.

// Renames the file aside, with the time (UTC+8) in its name: "/S/a.txt" at 09:05:03 on
// 3 September 2014 becomes "/S/a_20140903090503.txt" (".profile" becomes
// ".profile_20140903090503"). newPath gets the new name. 0 or the error.
int Backup(const std::wstring& path, std::wstring& newPath);
// The name Backup gives the file now (a name or a path); attempt 1 and up add "_<attempt>"
// after the time, for a caller that must find a name not yet taken.
std::wstring BackupName(const std::wstring& path, int attempt = 0);
// BackupName with the wall clock reading now (seconds since 1970).
std::wstring BackupPath(const std::wstring& path, std::time_t now, int attempt = 0);
// Deletes a folder's content and then the folder (a file or link: the item alone), to the
// desktop trash when recycleBin is 1, for good otherwise. An item that no trash takes stays,
// with a log line. 0 when nothing is left (a missing path included), else the first error;
// "/" is refused with EINVAL.
int DeleteFolder(const std::wstring& folder, int recycleBin);
// Moves a folder's content to the trash; the folder stays. 1 when nothing is left in it (a
// missing folder included), 0 otherwise, with a log line.
int DeleteForder(const std::wstring& folder);
// 0 or the error.
int ReNameLocal(const std::wstring& newPath, const std::wstring& oldPath);
// Writes the XDG desktop entry folder/linkName (folder/Corvena.desktop when linkName is null),
// creating the folder, that starts target (the running program when null) or path when given.
// Desktop entries know no hot key and no show command: both are accepted and not written.
// 1 when the file was written, else 0 (also for a null folder).
int CreateFileShortcut(const wchar_t* target, const char* folder, const char* linkName,
                       const wchar_t* path, std::uint16_t hotKey, const wchar_t* description,
                       int showCommand);

// Texts for the desktop client.
// Writes number (its first length characters) into out with a comma before every group of
// three digits of the integer part ("1234567.89" gives "1,234,567.89"); out must hold
// length + length / 3 + 1 bytes. Returns out.
char* sectionMark(char* out, const char* number, int length);
// The text in pieces of width characters, each followed by CR LF; the last piece holds the
// rest. An empty text gives an empty result, a width below 1 one piece.
std::wstring AutoReturnString(const std::wstring& text, int width);
// Replaces every match, again and again while the pattern still occurs. Always ends: a pass
// that changes nothing or makes the text longer is the last, and at most 64 passes keep the
// length. A matcher error (regex_error) keeps the text of the passes so far.
void ReplaceRegex(std::wstring& text, const std::regex& pattern, const std::wstring& replacement);
