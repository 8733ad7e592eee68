#include "platform/UnixSocket.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <vector>

#include "platform/Window.h"
#include "testing/RawDatagram.h"
#include "testing/TempHome.h"
#include "testing/WaitUntil.h"

namespace {

using plat::detail::ReceivedWire;
using plat::detail::UniqueFd;
using plat::detail::WireMessage;
using testing_support::SendRawDatagram;

constexpr uid_t kOtherUid = 65534;

// The lowest free descriptor number: a descriptor left open by a receive takes it.
int LowestFreeFd() {
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(fd);
    return fd;
}

std::vector<unsigned char> Bytes(const WireMessage& wire) {
    const auto* begin = reinterpret_cast<const unsigned char*>(&wire);
    return {begin, begin + sizeof(wire)};
}

class UnixSocketTest : public ::testing::Test {
  protected:
    void SetUp() override {
        int pair[2];
        ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair));
        receiver = UniqueFd(pair[0]);
        sender = UniqueFd(pair[1]);
        plat::detail::AskForCredentials(receiver.Get());
    }

    UniqueFd receiver;
    UniqueFd sender;
};

TEST_F(UnixSocketTest, OnlyADatagramOfOneMessageIsTaken) {
    const WireMessage wire{plat::detail::kWirePost, 0x401, 7, -9};
    struct Case {
        const char* why;
        std::size_t size;
    } cases[] = {
        {"empty", 0},
        {"one byte", 1},
        {"one byte short", sizeof(wire) - 1},
        {"exactly one message", sizeof(wire)},
        {"one byte more", sizeof(wire) + 1},
        {"far longer", 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<unsigned char> bytes = Bytes(wire);
        bytes.resize(c.size, 0xAB);
        ASSERT_TRUE(SendRawDatagram(sender.Get(), bytes, {}));
        ReceivedWire received;
        ASSERT_EQ(0, plat::detail::ReceiveWire(receiver.Get(), received));
        EXPECT_EQ(c.size == sizeof(wire), received.bWellFormed);
        if (received.bWellFormed) {
            EXPECT_EQ(0, std::memcmp(&wire, &received.wire, sizeof(wire)));
        }
        EXPECT_EQ(EAGAIN, plat::detail::ReceiveWire(receiver.Get(), received))
            << "every datagram is taken once, well formed or not";
    }
}

TEST_F(UnixSocketTest, PassedDescriptorsBeyondTheFirstAreClosed) {
    const WireMessage wire{plat::detail::kWireSend, 1, 2, 3};
    UniqueFd file(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    struct stat original {};
    ASSERT_EQ(0, ::fstat(file.Get(), &original));
    struct Case {
        const char* why;
        std::vector<unsigned char> bytes;
        std::size_t count;
    } cases[] = {
        {"one with a message", Bytes(wire), 1},
        {"eight with a message (more than the room for them)", Bytes(wire), 8},
        {"six with a datagram too short", {1, 2, 3}, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const int lowest = LowestFreeFd();
        ASSERT_TRUE(SendRawDatagram(sender.Get(), c.bytes, std::vector<int>(c.count, file.Get())));
        {
            ReceivedWire received;
            ASSERT_EQ(0, plat::detail::ReceiveWire(receiver.Get(), received));
            EXPECT_EQ(c.bytes.size() == sizeof(wire), received.bWellFormed);
            ASSERT_TRUE(received.passedFd.Valid());
            struct stat passed {};
            ASSERT_EQ(0, ::fstat(received.passedFd.Get(), &passed));
            EXPECT_EQ(original.st_ino, passed.st_ino);
        }
        EXPECT_EQ(lowest, LowestFreeFd()) << "no received descriptor stays open";
    }
}

TEST_F(UnixSocketTest, ControlDataIsReadOnlyWithinItsLength) {
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(2 * sizeof(int))] = {};
    msghdr header{};
    header.msg_control = control;
    header.msg_controllen = sizeof(control);
    cmsghdr* c = CMSG_FIRSTHDR(&header);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(2 * sizeof(int));
    EXPECT_EQ(2u, plat::detail::DecodeControl(header).passedFds.size());
    c->cmsg_len = CMSG_LEN(64 * sizeof(int));
    EXPECT_TRUE(plat::detail::DecodeControl(header).passedFds.empty())
        << "an entry claiming more than the control data holds is ignored";
    c->cmsg_len = 1;
    EXPECT_TRUE(plat::detail::DecodeControl(header).passedFds.empty());
}

// Another user can reach these sockets only when the runtime folder is not private; the
// datagram is still refused by the credentials the kernel attaches. Root may claim another
// uid, which is how the test sends as another user.
TEST_F(UnixSocketTest, DatagramOfAnotherUserIsDropped) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can send as another user";
    }
    const WireMessage wire{plat::detail::kWirePost, 0x401, 1, 1};
    ReceivedWire received;
    ASSERT_TRUE(SendRawDatagram(sender.Get(), Bytes(wire), {}, kOtherUid));
    ASSERT_EQ(0, plat::detail::ReceiveWire(receiver.Get(), received));
    EXPECT_FALSE(received.bWellFormed);
    ASSERT_TRUE(SendRawDatagram(sender.Get(), Bytes(wire), {}, ::getuid()));
    ASSERT_EQ(0, plat::detail::ReceiveWire(receiver.Get(), received));
    EXPECT_TRUE(received.bWellFormed);
}

TEST(WindowSocketTest, WindowIgnoresAnotherUserAndSurvivesJunk) {
    testing_support::TempHome home;
    std::vector<plat::UINT> calls;
    plat::HWND hwnd = plat::CreateWindow(
        L"hostile-test", [&calls](plat::HWND, plat::UINT message, plat::WPARAM, plat::LPARAM) {
            calls.push_back(message);
            return 0;
        });
    ASSERT_NE(nullptr, hwnd);
    UniqueFd hostile =
        plat::detail::ConnectDatagram(plat::detail::NamedObjectPath("window", "hostile-test"));
    ASSERT_TRUE(hostile.Valid());
    const bool bRoot = ::geteuid() == 0;
    if (bRoot) {
        ASSERT_TRUE(SendRawDatagram(hostile.Get(), Bytes({plat::detail::kWirePost, 0x501, 0, 0}),
                                    {}, kOtherUid));
    }
    ASSERT_TRUE(SendRawDatagram(hostile.Get(), {0xFF}, {}));
    ASSERT_TRUE(SendRawDatagram(hostile.Get(), std::vector<unsigned char>(100, 0x43), {}));
    ASSERT_TRUE(SendRawDatagram(hostile.Get(), Bytes({plat::detail::kWireReply, 0x502, 0, 0}), {}));
    ASSERT_TRUE(SendRawDatagram(hostile.Get(), Bytes({plat::detail::kWirePost, 0x503, 0, 0}), {}));
    ASSERT_TRUE(testing_support::WaitUntil([&calls] {
        plat::MSG msg;
        while (plat::PeekMessage(&msg, true)) {
            plat::DispatchMessage(&msg);
        }
        return !calls.empty();
    }));
    EXPECT_EQ(std::vector<plat::UINT>{0x503}, calls)
        << "only the well-formed post of this user arrives";
    EXPECT_TRUE(plat::DestroyWindow(hwnd));
}

}  // namespace
