#include "platform/UnixSocket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Paths.h"

namespace plat::detail {

namespace {

bool MakeAddress(const std::filesystem::path& path, sockaddr_un* address, socklen_t* length) {
    const std::string& text = path.native();
    if (text.empty() || text.size() >= sizeof(address->sun_path)) {
        errno = ENAMETOOLONG;
        return false;
    }
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, text.c_str(), text.size() + 1);
    *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + text.size() + 1);
    return true;
}

// A non-blocking datagram socket bound or connected (attach) to path.
UniqueFd SocketAt(const std::filesystem::path& path,
                  int (*attach)(int, const sockaddr*, socklen_t)) {
    sockaddr_un address;
    socklen_t length = 0;
    if (!MakeAddress(path, &address, &length)) {
        return UniqueFd();
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.Valid() && attach(fd.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0) {
        const int error = errno;
        fd.Reset();
        errno = error;
    }
    return fd;
}

bool IsPlainByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset();
        m_fd = other.Release();
    }
    return *this;
}

int UniqueFd::Release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void UniqueFd::Reset() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

std::filesystem::path NamedObjectPath(std::string_view kind, std::string_view name) {
    const std::filesystem::path dir = RuntimeDir();
    if (dir.empty()) {
        return {};
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string file(kind);
    file += '-';
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsPlainByte(byte)) {
            file += c;
        } else {
            file += '%';
            file += kHex[byte >> 4];
            file += kHex[byte & 15];
        }
    }
    return dir / file;
}

UniqueFd BindDatagram(const std::filesystem::path& path) {
    return SocketAt(path, ::bind);
}

UniqueFd ConnectDatagram(const std::filesystem::path& path) {
    return SocketAt(path, ::connect);
}

bool IsLive(const std::filesystem::path& path) {
    return ConnectDatagram(path).Valid();
}

int SendWire(int socketFd, const std::filesystem::path& path, const WireMessage& wire,
             int passedFd) {
    sockaddr_un address;
    socklen_t length = 0;
    msghdr header{};
    if (!path.empty()) {
        if (!MakeAddress(path, &address, &length)) {
            return errno;
        }
        header.msg_name = &address;
        header.msg_namelen = length;
    }
    iovec data{const_cast<WireMessage*>(&wire), sizeof(wire)};
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (passedFd >= 0) {
        header.msg_control = control;
        header.msg_controllen = sizeof(control);
        cmsghdr* rights = CMSG_FIRSTHDR(&header);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(rights), &passedFd, sizeof(int));
    }
    if (::sendmsg(socketFd, &header, MSG_DONTWAIT | MSG_NOSIGNAL) < 0) {
        return errno;
    }
    return 0;
}

}  // namespace plat::detail
