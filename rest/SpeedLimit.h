#pragma once
// The process-wide upload and download speed limits (KiB per second). Both directions share
// one byte counter and one one-second window, so an upload and a download running at the same
// time together stay within the limit of whichever direction is charged. Applied after each
// piece of file data: once the counter passes the limit, the transfer sleeps until the window's
// second is over. So at most the limit plus one piece passes per second.
//
// Thread-safe: the transfer worker charges pieces while the manager thread changes the limits.
// Time is read on plat::Clock.

#include <cstddef>

class CSpeedLimit {
  public:
    // 0 or less switches the direction's limit off. Both reset the shared counter; switching
    // on starts a new window now, switching off clears the window start.
    static void SetMaxUploadSpeed(int kibPerSecond);
    static void SetMaxDownloadSpeed(int kibPerSecond);
    // Charges a piece that has just been read (upload) or written (download); may sleep.
    static void OnPiece(bool upload, std::size_t bytes);
};
