#pragma once
// Inside the platform layer only: the AF_UNIX datagram sockets in the runtime folder through
// which threads and windows of different processes reach each other, and the datagram they
// carry.

#include <sys/socket.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace plat::detail {

// Owns one file descriptor.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release();
    void Reset();

  private:
    int m_fd = -1;
};

// What one datagram carries: a posted or sent message, or the reply to a sent one (message =
// 1 when a procedure answered, result in lParam). Only numbers cross; pointers would mean
// nothing in the other process.
struct WireMessage {
    std::uint32_t magic = 0;
    std::uint32_t message = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
};
constexpr std::uint32_t kWirePost = 0x43565031;   // "CVP1"
constexpr std::uint32_t kWireSend = 0x43565331;   // "CVS1"
constexpr std::uint32_t kWireReply = 0x43565231;  // "CVR1"

// One datagram as a socket received it: well formed when it was exactly one WireMessage long
// and no process of another user sent it; passedFd is the first descriptor that came with it
// (the others are closed), whether or not it was well formed.
struct ReceivedWire {
    bool bWellFormed = false;
    WireMessage wire;
    UniqueFd passedFd;
};

// The message in a datagram's bytes: only a datagram of exactly sizeof(WireMessage) bytes
// (fullSize, the length the sender sent; bytes may hold fewer when it was cut) is one.
std::optional<WireMessage> DecodeWire(std::span<const unsigned char> bytes, std::size_t fullSize);

// What the control data of a received datagram carries. Entries that do not fit inside
// msg_controllen are ignored.
struct WireControl {
    std::vector<int> passedFds;      // every SCM_RIGHTS descriptor, in order
    std::optional<uid_t> senderUid;  // from SCM_CREDENTIALS, when the socket has SO_PASSCRED
};
WireControl DecodeControl(const msghdr& header);

// Takes one datagram from the non-blocking socket into out. 0, or the errno of recvmsg
// (EAGAIN: nothing waiting). Sockets made by BindDatagram ask for the sender's credentials,
// so that a datagram of another user (who can reach the socket only when the runtime folder
// is not private) is dropped here.
int ReceiveWire(int socketFd, ReceivedWire& out);

// Asks the kernel to attach the sender's credentials to every datagram the socket receives.
// Done before the socket is bound or handed out, so that no datagram arrives without them.
void AskForCredentials(int socketFd);

// The file of a named object (socket, lock file) in the runtime folder: kind, a dash and the
// name, with every byte outside [A-Za-z0-9._-] (UTF-8 included) written as %XX so that no name
// can leave the folder. Empty when there is no runtime folder.
std::filesystem::path NamedObjectPath(std::string_view kind, std::string_view name);

// A non-blocking datagram socket bound to path that asks for its senders' credentials; invalid with
// errno set on failure (EADDRINUSE when the file exists).
UniqueFd BindDatagram(const std::filesystem::path& path);

// Whether a live socket is bound to path. A socket file left by a process that died answers
// nothing and is not live.
bool IsLive(const std::filesystem::path& path);

// A non-blocking datagram socket connected to path; invalid with errno set on failure.
UniqueFd ConnectDatagram(const std::filesystem::path& path);

// Sends the message (with passedFd, when valid, as an attached descriptor) without blocking,
// either to path through socketFd or, with an empty path, on the connected socketFd. Returns
// 0 or the errno of the failure (EAGAIN: the receiver's queue is full).
int SendWire(int socketFd, const std::filesystem::path& path, const WireMessage& wire,
             int passedFd);

}  // namespace plat::detail
