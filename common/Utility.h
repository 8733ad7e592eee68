#pragma once
// Text conversion, file hashing, path arithmetic inside the sync directory and a few
// file-system chores. Stateless and thread-safe.
//
// Narrow texts for the log and the file system are UTF-8 here. Wide strings are std::wstring.
// Relative paths keep the stored form ".\folder\name" (backslash separators) on every
// platform; GetRelatePath and GetAbsolutePath convert between it and native absolute paths.

#include <cstdint>
#include <regex>
#include <string>

// Conversions. Invalid input never throws: an undecodable byte or code unit becomes U+FFFD.
std::string WstringToString(std::wstring wstr);
std::wstring StringToWstring(const std::string& str);
void Utf82WideString(const std::string& utf8, std::wstring& wide);
// UTF-8 of the text with every byte written as %XX (upper-case hex); used for every name sent
// to the service.
std::string UnicodeToUtf8_new(const std::wstring& wstr);

// 32 lower-case hex digits of the file's MD5; empty text when the file cannot be read.
std::string GetFileMd5(const std::string& path);

std::wstring GetRelatePath(const std::wstring& fullPath, const std::wstring& baseFolder);
std::wstring GetAbsolutePath(const std::wstring& relativePath, const std::wstring& baseFolder);
// Parent in the relative form (the text before the last backslash).
std::wstring GetParentPath(const std::wstring& path);
std::wstring GetFileName(const std::wstring& path);
// -1 missing, 0 folder, 1 file.
int JudgeFolder(const std::wstring& path);
// Outputs untouched when the path does not exist. hidden: 2 for a name starting with ".".
void GetFileInfo(const std::wstring& path, std::string& modifyTime, std::string& size, int& hidden);
std::string GetFileModifyTime(const std::wstring& path);
int CountChar(const std::wstring& text, wchar_t ch);
int wildcmp(const wchar_t* text, const wchar_t* pattern);

// File-system chores; results as documented beside each definition.
int Backup(const std::wstring& path, std::wstring& newPath);
int DeleteFolder(const std::wstring& folder, int recycleBin);
int DeleteForder(const std::wstring& folder);
int ReNameLocal(const std::wstring& newPath, const std::wstring& oldPath);
int CreateFileShortcut(const wchar_t* target, const char* folder, const char* linkName,
                       const wchar_t* path, std::uint16_t hotKey, const wchar_t* description,
                       int showCommand);

// Texts for the desktop client.
char* sectionMark(char* out, const char* number, int length);
std::wstring AutoReturnString(const std::wstring& text, int width);
void ReplaceRegex(std::wstring& text, const std::regex& pattern, const std::wstring& replacement);
