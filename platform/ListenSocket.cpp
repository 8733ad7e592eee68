#include "platform/ListenSocket.h"

#include <sys/socket.h>

namespace plat {

void SetExclusiveListenOptions(int socket) {
    int on = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

}  // namespace plat
