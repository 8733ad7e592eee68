#include "platform/MessagePump.h"

#include <sys/epoll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <unordered_map>

#include "platform/KernelWait.h"

namespace plat::detail {

namespace {

// Receiving queue of a peer is bounded (a handful of datagrams); a burst beyond it waits here.
struct Outgoing {
    WireMessage wire;
    UniqueFd passedFd;
};

struct Endpoint {
    UniqueFd fd;
    DatagramHandler onDatagram;
    HangUpHandler onHangUp;
    std::deque<Outgoing> outgoing;
    std::string backlogPath;
};

// Every member is guarded by KernelLock; the thread blocks in epoll_wait without it.
class MessagePump {
  public:
    // Never destroyed: the pump may still run while the process ends.
    static MessagePump& Get() {
        static auto* pump = new MessagePump;
        return *pump;
    }

    EndpointId Add(Endpoint endpoint, std::uint32_t events);
    void Remove(EndpointId id);
    bool Post(const std::filesystem::path& path, const WireMessage& wire, UniqueFd passedFd);

    // Gives messages still waiting for their receiver a moment to go before the process ends:
    // posting returned success for them.
    static void DeliverBacklogsAtExit();

  private:
    MessagePump();
    void Run();
    void Service(EndpointId id, std::uint32_t events);
    void Drain(Endpoint& endpoint);
    // Returns false once the backlog is gone (delivered or undeliverable).
    bool Flush(Endpoint& endpoint);

    UniqueFd m_epoll;
    UniqueFd m_sender;
    EndpointId m_nextId = 1;
    std::unordered_map<EndpointId, Endpoint> m_endpoints;
    std::unordered_map<std::string, EndpointId> m_backlogs;
    std::condition_variable m_backlogsGone;
    bool m_bExitHookInstalled = false;
};

MessagePump::MessagePump()
    : m_epoll(::epoll_create1(EPOLL_CLOEXEC)),
      m_sender(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
    std::thread([this] { Run(); }).detach();
}

void MessagePump::Run() {
    std::array<epoll_event, 32> events;
    for (;;) {
        const int count = ::epoll_wait(m_epoll.Get(), events.data(), events.size(), -1);
        std::lock_guard<std::mutex> lock(KernelLock());
        for (int i = 0; i < count; ++i) {
            Service(events[i].data.u64, events[i].events);
        }
    }
}

EndpointId MessagePump::Add(Endpoint endpoint, std::uint32_t events) {
    const EndpointId id = m_nextId++;
    epoll_event event{};
    event.events = events;
    event.data.u64 = id;
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, endpoint.fd.Get(), &event);
    m_endpoints.emplace(id, std::move(endpoint));
    return id;
}

void MessagePump::Remove(EndpointId id) {
    auto it = m_endpoints.find(id);
    if (it == m_endpoints.end()) {
        return;
    }
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, it->second.fd.Get(), nullptr);
    if (!it->second.backlogPath.empty()) {
        m_backlogs.erase(it->second.backlogPath);
        if (m_backlogs.empty()) {
            m_backlogsGone.notify_all();
        }
    }
    m_endpoints.erase(it);
}

void MessagePump::Service(EndpointId id, std::uint32_t events) {
    auto it = m_endpoints.find(id);
    if (it == m_endpoints.end()) {
        return;
    }
    Endpoint& endpoint = it->second;
    if ((events & EPOLLIN) != 0) {
        Drain(endpoint);
    }
    if ((events & EPOLLOUT) != 0 && !Flush(endpoint)) {
        Remove(id);
        return;
    }
    if ((events & (EPOLLHUP | EPOLLERR)) != 0 && endpoint.onHangUp) {
        // Level-triggered: stop watching so the closed socket does not wake the pump again.
        ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, endpoint.fd.Get(), nullptr);
        HangUpHandler onHangUp = std::move(endpoint.onHangUp);
        endpoint.onHangUp = nullptr;
        onHangUp();
    }
}

void MessagePump::Drain(Endpoint& endpoint) {
    // Bounded so that one flooded socket cannot starve the others; epoll reports the rest.
    for (int i = 0; i < 256; ++i) {
        ReceivedWire received;
        if (ReceiveWire(endpoint.fd.Get(), received) != 0) {
            return;
        }
        if (received.bWellFormed && endpoint.onDatagram) {
            endpoint.onDatagram(received.wire, std::move(received.passedFd));
        }
    }
}

bool MessagePump::Flush(Endpoint& endpoint) {
    while (!endpoint.outgoing.empty()) {
        const Outgoing& next = endpoint.outgoing.front();
        const int error = SendWire(endpoint.fd.Get(), {}, next.wire, next.passedFd.Get());
        if (error == EAGAIN) {
            return true;
        }
        if (error != 0) {
            return false;
        }
        endpoint.outgoing.pop_front();
    }
    return false;
}

bool MessagePump::Post(const std::filesystem::path& path, const WireMessage& wire,
                       UniqueFd passedFd) {
    if (path.empty()) {
        return false;
    }
    if (auto backlog = m_backlogs.find(path.native()); backlog != m_backlogs.end()) {
        m_endpoints[backlog->second].outgoing.push_back({wire, std::move(passedFd)});
        return true;
    }
    const int error = SendWire(m_sender.Get(), path, wire, passedFd.Get());
    if (error != EAGAIN) {
        return error == 0;
    }
    Endpoint endpoint;
    endpoint.fd = ConnectDatagram(path);
    if (!endpoint.fd.Valid()) {
        return false;
    }
    endpoint.outgoing.push_back({wire, std::move(passedFd)});
    endpoint.backlogPath = path.native();
    m_backlogs[path.native()] = Add(std::move(endpoint), EPOLLOUT);
    if (!m_bExitHookInstalled) {
        m_bExitHookInstalled = true;
        std::atexit(DeliverBacklogsAtExit);
    }
    return true;
}

void MessagePump::DeliverBacklogsAtExit() {
    MessagePump& pump = Get();
    std::unique_lock<std::mutex> lock(KernelLock());
    pump.m_backlogsGone.wait_for(lock, std::chrono::seconds(2),
                                 [&pump] { return pump.m_backlogs.empty(); });
}

}  // namespace

EndpointId AddEndpoint(UniqueFd fd, DatagramHandler onDatagram, HangUpHandler onHangUp) {
    Endpoint endpoint;
    endpoint.fd = std::move(fd);
    endpoint.onDatagram = std::move(onDatagram);
    endpoint.onHangUp = std::move(onHangUp);
    return MessagePump::Get().Add(std::move(endpoint), EPOLLIN | EPOLLRDHUP);
}

void RemoveEndpoint(EndpointId id) {
    MessagePump::Get().Remove(id);
}

bool PostWire(const std::filesystem::path& path, const WireMessage& wire, UniqueFd passedFd) {
    return MessagePump::Get().Post(path, wire, std::move(passedFd));
}

}  // namespace plat::detail
