// libFuzzer target over what another local process can send to a thread queue or a window of
// this process: datagrams of any length and content, with descriptors attached and, when the
// fuzzer runs as root, with forged sender credentials. The first byte picks the stage:
//   0  the decoding of a datagram's bytes;
//   1  the decoding of control data (as the kernel would never write it: any bytes);
//   2  a real datagram received from a socket pair, with descriptors and credentials;
//   3  a real datagram sent to a live window of this process, whose thread then takes its
//      messages and answers sent ones.
// Properties: only datagrams of exactly one message from this user are taken; no descriptor
// that came with a datagram stays open once it is dealt with; a sent message is answered with
// the procedure's result; the window keeps working after any datagram.

#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/MessagePump.h"
#include "platform/UnixSocket.h"
#include "platform/Window.h"
#include "testing/RawDatagram.h"

namespace {

using plat::detail::UniqueFd;
using plat::detail::WireMessage;

constexpr plat::UINT kSentinel = plat::WM_USER + 0x7F00;

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

// The lowest free descriptor number: any descriptor left open by a receive takes it.
int LowestFreeFd() {
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(fd);
    return fd;
}

void CheckDecodeWire(FuzzedDataProvider& input) {
    const std::size_t fullSize = input.ConsumeIntegralInRange<std::size_t>(0, 64);
    const std::vector<unsigned char> bytes = input.ConsumeRemainingBytes<unsigned char>();
    const auto wire = plat::detail::DecodeWire(bytes, fullSize);
    Require(wire.has_value() ==
                (fullSize == sizeof(WireMessage) && bytes.size() == sizeof(WireMessage)),
            "only a datagram of one message decodes");
    Require(!wire || std::memcmp(&*wire, bytes.data(), sizeof(WireMessage)) == 0,
            "the message holds the datagram's bytes");
}

void CheckDecodeControl(FuzzedDataProvider& input) {
    const std::vector<unsigned char> bytes = input.ConsumeRemainingBytes<unsigned char>();
    // An exact-size heap copy, so that any read past the control data is caught.
    auto* control = static_cast<unsigned char*>(std::malloc(bytes.size() + 1));
    if (!bytes.empty()) {
        std::memcpy(control, bytes.data(), bytes.size());
    }
    msghdr header{};
    header.msg_control = bytes.empty() ? nullptr : control;
    header.msg_controllen = bytes.size();
    const plat::detail::WireControl decoded = plat::detail::DecodeControl(header);
    Require(decoded.passedFds.size() * sizeof(int) <= bytes.size(),
            "descriptors come from inside the control data");
    std::free(control);
}

// Sends bytes on fd with `count` descriptors of /dev/null and, when forged, credentials of
// that uid. False when the kernel refused to send.
bool SendDatagram(int fd, const std::vector<unsigned char>& bytes, std::size_t count,
                  const uid_t* forgedUid) {
    std::vector<UniqueFd> passed;
    std::vector<int> numbers;
    for (std::size_t i = 0; i < count; ++i) {
        passed.emplace_back(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        numbers.push_back(passed.back().Get());
    }
    return testing_support::SendRawDatagram(
        fd, bytes, numbers, forgedUid ? std::optional<uid_t>(*forgedUid) : std::nullopt);
}

void CheckReceive(FuzzedDataProvider& input) {
    const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, 12);
    const bool bForge = ::geteuid() == 0 && input.ConsumeBool();
    const uid_t forgedUid = input.ConsumeBool() ? ::getuid() : input.ConsumeIntegral<uid_t>();
    const std::vector<unsigned char> bytes = input.ConsumeRemainingBytes<unsigned char>();

    const int lowest = LowestFreeFd();
    int pair[2];
    Require(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair) == 0, "socket pair");
    UniqueFd receiver(pair[0]);
    UniqueFd sender(pair[1]);
    plat::detail::AskForCredentials(receiver.Get());
    if (!SendDatagram(sender.Get(), bytes, count, bForge ? &forgedUid : nullptr)) {
        return;  // a uid the kernel refuses even to root (no mapping)
    }
    {
        plat::detail::ReceivedWire received;
        Require(plat::detail::ReceiveWire(receiver.Get(), received) == 0, "the datagram arrives");
        const bool bOwnUser = !bForge || forgedUid == ::getuid();
        Require(received.bWellFormed == (bytes.size() == sizeof(WireMessage) && bOwnUser),
                "only one message's bytes from this user are taken");
        Require(received.passedFd.Valid() == (count > 0), "the first descriptor is kept");
        plat::detail::ReceivedWire none;
        Require(plat::detail::ReceiveWire(receiver.Get(), none) == EAGAIN,
                "one datagram is taken once");
    }
    receiver.Reset();
    sender.Reset();
    Require(LowestFreeFd() == lowest, "no descriptor stays open");
}

// The window lives for the whole run; its procedure answers every message with a value made
// from it, so that the answer to a sent message can be checked.
struct Target {
    plat::HWND hwnd = nullptr;
    std::filesystem::path path;
    UniqueFd sender;
    plat::WPARAM round = 0;
};

plat::LRESULT Answer(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
    return static_cast<plat::LRESULT>(message ^ wParam) ^ lParam ^ 0x5A5A;
}

Target& TheTarget() {
    static Target* target = [] {
        auto* made = new Target;
        const std::wstring title = L"wire-fuzz-" + std::to_wstring(::getpid());
        made->hwnd = plat::CreateWindow(
            title, [](plat::HWND, plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
                return Answer(message, wParam, lParam);
            });
        Require(made->hwnd != nullptr, "the window is made");
        made->path =
            plat::detail::NamedObjectPath("window", "wire-fuzz-" + std::to_string(::getpid()));
        made->sender = plat::detail::ConnectDatagram(made->path);
        Require(made->sender.Valid(), "the window's socket answers");
        return made;
    }();
    return *target;
}

// Takes and dispatches messages until this round's sentinel comes; false when the queue ran
// dry first (the window's socket lost it).
bool RunUntilSentinel(Target& target) {
    for (int spins = 0; spins < 1000000; ++spins) {
        plat::MSG msg;
        if (!plat::PeekMessage(&msg, true)) {
            ::usleep(10);
            continue;
        }
        if (msg.message == kSentinel && msg.wParam == target.round) {
            return true;
        }
        plat::DispatchMessage(&msg);
    }
    return false;
}

void CheckWindow(FuzzedDataProvider& input) {
    Target& target = TheTarget();
    const bool bShape = input.ConsumeBool();
    const bool bWithReplySocket = input.ConsumeBool();
    const bool bForge = ::geteuid() == 0 && input.ConsumeBool();
    const uid_t forgedUid = input.ConsumeIntegral<uid_t>();
    std::vector<unsigned char> bytes = input.ConsumeRemainingBytes<unsigned char>();
    if (bShape) {
        // Make most of these well formed so that posting and sending are reached.
        bytes.resize(sizeof(WireMessage));
        WireMessage wire;
        std::memcpy(&wire, bytes.data(), sizeof(wire));
        wire.magic = (wire.magic & 1) != 0 ? plat::detail::kWireSend : plat::detail::kWirePost;
        std::memcpy(bytes.data(), &wire, sizeof(wire));
    }

    UniqueFd replyOurs;
    UniqueFd replyTheirs;
    if (bWithReplySocket) {
        int pair[2];
        Require(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) == 0,
                "reply pair");
        replyOurs = UniqueFd(pair[0]);
        replyTheirs = UniqueFd(pair[1]);
    }
    // The hostile datagram, through a socket of its own like another process would use.
    UniqueFd hostile = plat::detail::ConnectDatagram(target.path);
    Require(hostile.Valid(), "the window's socket answers");
    const std::vector<int> passed =
        bWithReplySocket ? std::vector<int>{replyTheirs.Get()} : std::vector<int>();
    if (!testing_support::SendRawDatagram(
            hostile.Get(), bytes, passed,
            bForge ? std::optional<uid_t>(forgedUid) : std::nullopt)) {
        return;
    }
    replyTheirs.Reset();

    ++target.round;
    const WireMessage sentinel{plat::detail::kWirePost, kSentinel, target.round, 0};
    Require(::send(hostile.Get(), &sentinel, sizeof(sentinel), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(sizeof(sentinel)),
            "the sentinel goes");
    Require(RunUntilSentinel(target), "the window takes messages after any datagram");

    if (!bWithReplySocket) {
        return;
    }
    WireMessage sent;
    if (!bytes.empty()) {
        std::memcpy(&sent, bytes.data(), std::min(bytes.size(), sizeof(sent)));
    }
    const bool bAnswerDue = bytes.size() == sizeof(WireMessage) &&
                            sent.magic == plat::detail::kWireSend &&
                            (!bForge || forgedUid == ::getuid());
    WireMessage reply;
    const ssize_t got = ::recv(replyOurs.Get(), &reply, sizeof(reply), MSG_DONTWAIT);
    if (bAnswerDue) {
        Require(got == static_cast<ssize_t>(sizeof(reply)) &&
                    reply.magic == plat::detail::kWireReply && reply.message == 1 &&
                    reply.lParam == Answer(sent.message, sent.wParam, sent.lParam),
                "a sent message is answered with the procedure's result");
    } else {
        Require(got <= 0, "nothing else is answered");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Named objects go to a private runtime folder of this run.
    char folder[] = "/tmp/wire-fuzz-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::abort();
    }
    ::setenv("CORVENA_HOME", folder, 1);
    static const std::string home = folder;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            CheckDecodeWire(input);
            break;
        case 1:
            CheckDecodeControl(input);
            break;
        case 2:
            CheckReceive(input);
            break;
        default:
            CheckWindow(input);
            break;
    }
    return 0;
}
