#pragma once
// The process-wide libcurl share object: connection cache, DNS cache and TLS sessions shared
// by every transfer handle, so that the many short-lived sessions reuse one kept-alive
// connection to the service instead of opening a new one per request.
//
// Any thread may attach a handle; libcurl calls the lock functions around each use of the
// shared data. Sharing can be switched off for the whole process (the benchmark compares).

#include <curl/curl.h>

class CConnectionShare {
  public:
    // Makes sure libcurl's global state is set up (once per process).
    static void GlobalInit();
    // Attaches a freshly created handle to the share (or not, when sharing is off).
    static void Attach(CURL* handle);
    static void SetEnabled(bool enabled);
};
