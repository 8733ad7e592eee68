#pragma once
// The trace log every deliverable writes through. A line is written when level is at least the
// logLevel setting of config.ini (leading digits; missing or unparsable counts as 0). Every call
// looks at the file and parses it again when it changed, so a change takes effect with the next
// line in every process.
//
// Each program writes one file per hour: <state folder>/log/<yy>年<mm>月<dd>日/ holds
// "<base>.<extension>-<HH>.txt" named after the executable, whose extension keeps its own
// period ("tandrix" writes "tandrix.-09.txt", "Tandrix.exe" would write "Tandrix..exe-09.txt").
// The file is UTF-16LE, starts with the byte-order mark FF FE and has CR LF line ends. The
// date and hour come from plat::Clock. Writers of one process take turns, so no line is lost
// to a collision; a line that cannot be written (folder or file cannot be made) is dropped.

#include <string>

// printf-style; file is the caller's source file name without folders, function its
// qualified name ("CFileMgr::GetFileInfo"). The line starts with
// "%02d:%02d:%02d--file:%32s %35s():L%-4d ~%-4d >> " (time, file, function, line, thread id);
// longer names are written whole. A line longer than 102,399 bytes is cut there (at a
// character boundary).
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
