#pragma once
// Options of a TCP socket that a server listens on.

namespace plat {

// A restarted server can bind its port again at once, even while connections of its last run
// linger in TIME_WAIT (SO_REUSEADDR); a second server on the same port is refused instead of
// sharing the port's connections with the first (no SO_REUSEPORT).
void SetExclusiveListenOptions(int socket);

}  // namespace plat
