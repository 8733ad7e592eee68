#pragma once
// The disk side of the offline comparison: one record per file and folder of the sync
// directory (kind, name, relative path, size, local modify time text), with the id, parent id,
// server time and MD5 of the local file table row at the same path. Links are neither synced
// nor descended into; pipes, sockets and devices are left out without being opened; names
// that are not UTF-8 or hold a backslash are left out with a log line (the relative form
// cannot hold them); hidden items (a leading ".") are left out with what is below them.
//
// A scan that cannot be trusted fails rather than give a list that would make table rows look
// deleted: the sync directory missing or unreadable, a folder vanishing while it is walked, or
// an empty sync directory on another device than the one recorded while the table holds rows
// (a volume that is not mounted). A sub-folder that cannot be read does not fail the scan: it
// and what the table knows below it are kept out of the comparison (KeptOut).
//
// Threads: the thread that runs the offline comparison.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/PackedFiles.h"

class CDiskScanner {
  public:
    // Scans syncDir (native path). table: the rows of the local file table; recordedDevice: the
    // device the sync directory was on when it last held items, if known. Returns 0; 1001 when
    // syncDir is empty; 1002 when the scan failed as above. The list is empty after a failure.
    int Scan(const std::wstring& syncDir, const CPackedFiles& table,
             std::optional<std::uint64_t> recordedDevice);

    const CPackedFiles& Files() const { return m_files; }
    int Result() const { return m_iResult; }
    const std::wstring& SyncDir() const { return m_wstrSyncDir; }
    // Relative paths of items that were not walked and whose table rows (the rows below them
    // included) must not be read as local deletions: unreadable folders, links, pipes and the
    // like.
    const std::vector<std::wstring>& KeptOut() const { return m_keptOut; }
    // The device of the sync directory found by the last successful scan.
    std::uint64_t Device() const { return m_device; }

  private:
    int Fail(int result);

    CPackedFiles m_files;
    std::vector<std::wstring> m_keptOut;
    std::wstring m_wstrSyncDir;
    std::uint64_t m_device = 0;
    int m_iResult = 0;
};
