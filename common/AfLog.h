#pragma once
// The trace log every deliverable writes through. A line is written when level is at least the
// logLevel setting of config.ini, read again on every call, into the file of this program and
// hour under the state folder's log/<date>/ (UTF-16LE with a byte-order mark).

#include <string>

// printf-style; file is the caller's source file name without folders, function its
// qualified name ("CFileMgr::GetFileInfo").
void AfLog(int level, const char* file, const char* function, int line, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

// Does the file work of AfLog. The library holds the one instance; callers never make their own.
class CAfLog {
  public:
    // Appends text and CR LF to the current log file, creating folder and file as needed.
    void AddInfo(const std::wstring& text);
    // The full name of the current log file; makes sure that its folder exists.
    void CreateFileName(std::wstring& path);

  private:
    std::wstring m_wstrUnused;
};
