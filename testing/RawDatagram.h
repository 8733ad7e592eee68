#pragma once
// Datagrams as another local process could send them to a thread queue or window socket: any
// bytes, any descriptors, and (root only) credentials claiming another user.

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <vector>

namespace testing_support {

// Sends bytes on the socket (connected, or to where it is connected) with the descriptors
// attached and, when claimedUid is set, credentials claiming that uid. False when the kernel
// refuses (errno set): a full queue, a uid only root may claim, a descriptor count above its
// limit.
inline bool SendRawDatagram(int socketFd, const std::vector<unsigned char>& bytes,
                            const std::vector<int>& passedFds,
                            std::optional<uid_t> claimedUid = std::nullopt) {
    std::vector<unsigned char> control(CMSG_SPACE(passedFds.size() * sizeof(int)) +
                                       CMSG_SPACE(sizeof(ucred)));
    msghdr header{};
    iovec data{const_cast<unsigned char*>(bytes.data()), bytes.size()};
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    header.msg_control = control.data();
    header.msg_controllen = control.size();
    std::size_t used = 0;
    cmsghdr* c = CMSG_FIRSTHDR(&header);
    if (!passedFds.empty()) {
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(passedFds.size() * sizeof(int));
        std::memcpy(CMSG_DATA(c), passedFds.data(), passedFds.size() * sizeof(int));
        used += CMSG_SPACE(passedFds.size() * sizeof(int));
        c = CMSG_NXTHDR(&header, c);
    }
    if (claimedUid) {
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_CREDENTIALS;
        c->cmsg_len = CMSG_LEN(sizeof(ucred));
        const ucred credentials{::getpid(), *claimedUid, ::getgid()};
        std::memcpy(CMSG_DATA(c), &credentials, sizeof(credentials));
        used += CMSG_SPACE(sizeof(ucred));
    }
    header.msg_controllen = used;
    if (used == 0) {
        header.msg_control = nullptr;
    }
    return ::sendmsg(socketFd, &header, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0;
}

}  // namespace testing_support
