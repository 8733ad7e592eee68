#include "platform/UnixSocket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
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
    if (fd.Valid() && attach == ::bind) {
        AskForCredentials(fd.Get());
    }
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

// Room for the sender's credentials and a few descriptors; descriptors beyond it are closed
// by the kernel (MSG_CTRUNC).
constexpr std::size_t kControlBytes = CMSG_SPACE(sizeof(ucred)) + CMSG_SPACE(4 * sizeof(int));

}  // namespace

std::optional<WireMessage> DecodeWire(std::span<const unsigned char> bytes, std::size_t fullSize) {
    WireMessage wire;
    if (fullSize != sizeof(wire) || bytes.size() != sizeof(wire)) {
        return std::nullopt;
    }
    std::memcpy(&wire, bytes.data(), sizeof(wire));
    return wire;
}

WireControl DecodeControl(const msghdr& header) {
    WireControl control;
    if (header.msg_control == nullptr) {
        return control;
    }
    const auto* begin = static_cast<const unsigned char*>(header.msg_control);
    const unsigned char* end = begin + header.msg_controllen;
    for (const cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr;
         c = CMSG_NXTHDR(const_cast<msghdr*>(&header), const_cast<cmsghdr*>(c))) {
        const auto* data = reinterpret_cast<const unsigned char*>(CMSG_DATA(c));
        if (c->cmsg_len < CMSG_LEN(0) ||
            c->cmsg_len >
                static_cast<std::size_t>(end - reinterpret_cast<const unsigned char*>(c))) {
            break;
        }
        const std::size_t length = c->cmsg_len - CMSG_LEN(0);
        if (c->cmsg_level != SOL_SOCKET) {
            continue;
        }
        if (c->cmsg_type == SCM_RIGHTS) {
            for (std::size_t k = 0; k + sizeof(int) <= length; k += sizeof(int)) {
                int fd = -1;
                std::memcpy(&fd, data + k, sizeof(int));
                control.passedFds.push_back(fd);
            }
        } else if (c->cmsg_type == SCM_CREDENTIALS && length >= sizeof(ucred)) {
            ucred credentials{};
            std::memcpy(&credentials, data, sizeof(credentials));
            control.senderUid = credentials.uid;
        }
    }
    return control;
}

int ReceiveWire(int socketFd, ReceivedWire& out) {
    unsigned char bytes[sizeof(WireMessage)];
    iovec data{bytes, sizeof(bytes)};
    alignas(cmsghdr) unsigned char control[kControlBytes];
    msghdr header{};
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof(control);
    const ssize_t size = ::recvmsg(socketFd, &header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC | MSG_TRUNC);
    if (size < 0) {
        return errno;
    }
    WireControl passed = DecodeControl(header);
    out = ReceivedWire();
    for (const int fd : passed.passedFds) {
        UniqueFd received(fd);
        if (!out.passedFd.Valid()) {
            out.passedFd = std::move(received);
        }
    }
    const std::size_t kept = std::min(static_cast<std::size_t>(size), sizeof(bytes));
    std::optional<WireMessage> wire = DecodeWire({bytes, kept}, static_cast<std::size_t>(size));
    if (wire && (!passed.senderUid || *passed.senderUid == ::getuid())) {
        out.bWellFormed = true;
        out.wire = *wire;
    }
    return 0;
}

void AskForCredentials(int socketFd) {
    const int on = 1;
    ::setsockopt(socketFd, SOL_SOCKET, SO_PASSCRED, &on, sizeof(on));
}

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
