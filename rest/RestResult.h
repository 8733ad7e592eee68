#pragma once
// Result codes of every web API operation. The ranges never overlap:
//   0              success
//   1 to about 90  libcurl's result code of the request (7 refused, 22 HTTP status >= 400, ...)
//   1001           a local file could not be opened, read or written
//   1002           the local file does not exist
//   1032           the local file is held by another process
//   2              version check only: the service answered code 2
//   8000 + code    the service answered a non-zero "code"
//   8009           upload check only: the service already holds this content
//   9000 + code    upload check only: any other non-zero code
//   90001          the session has no transfer handle
//   90002          the answer could not be used: not valid JSON, not an object, a "code" that is
//                  not a positive service code, a listing whose "total" does not match its
//                  "files", or an answer larger than REST_MAX_ANSWER_BYTES
//   90003          the break point of a resumed upload lies outside the local file
// Callers retry 1 to 89 at once; the 900xx codes lie outside that range on purpose, so that a
// service that keeps answering garbage fails the task instead of being asked again and again.

#include <cstddef>

constexpr int REST_OK = 0;
constexpr int REST_LOCAL_FILE_ERROR = 1001;
constexpr int REST_LOCAL_FILE_MISSING = 1002;
constexpr int REST_LOCAL_FILE_BUSY = 1032;
constexpr int REST_VERSION_CODE2 = 2;
constexpr int REST_SERVICE_BASE = 8000;
constexpr int REST_ALREADY_STORED = 8009;
constexpr int REST_VERIFY_BASE = 9000;
constexpr int REST_NO_HANDLE = 90001;
constexpr int REST_BAD_ANSWER = 90002;
constexpr int REST_BAD_BREAK_POINT = 90003;

// Largest service code taken as such: 9000 plus it must still be an int well below 90001.
constexpr long long REST_MAX_SERVICE_CODE = 80000;

// An answer is collected whole whatever its size, up to this bound; a service that sends more
// is not trusted with the client's memory.
constexpr std::size_t REST_MAX_ANSWER_BYTES = std::size_t{512} << 20;
