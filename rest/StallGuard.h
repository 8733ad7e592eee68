#pragma once
// Ends a request on which nothing has moved for STALL_LIMIT: no byte in either direction
// (request and answer, headers and bodies), the connect included. Without it a half-open
// connection, or a service that accepts a request and never answers, would hold the request,
// and the transfer worker behind it, for good. A transfer held by the user's pause has not
// stalled, however long the pause lasts; its clock starts again at the resume. A transfer slowed
// by the speed limit still moves bytes every second.
//
// Fed by libcurl's progress callback, which runs about once a second also while nothing moves
// (while connecting too). Time is read on plat::Clock. Used by the request's thread only.

#include <curl/curl.h>

#include <chrono>

#include "platform/Clock.h"

class CStallGuard {
  public:
    // Long enough for a service busy with a large listing or commit to start its answer; a dead
    // connection then costs two minutes instead of the rest of the session.
    static constexpr plat::Clock::Duration STALL_LIMIT = std::chrono::seconds(120);

    // A request starts: nothing has moved yet, its clock starts now.
    void Start();
    // moved: every byte the request has moved so far; held: the user's pause holds it. True
    // once it has stood still for the limit: the caller ends it.
    bool Expired(curl_off_t moved, bool held);
    // Whether Expired ended the current request.
    bool Fired() const { return m_bFired; }

  private:
    plat::Clock::TimePoint m_lastMove{};
    curl_off_t m_moved = 0;
    bool m_bFired = false;
};
