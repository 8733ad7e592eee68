#include "platform/Window.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "platform/MessagePump.h"
#include "platform/MessageQueue.h"
#include "platform/Paths.h"
#include "platform/SyncObjects.h"

namespace plat {

// A window of this process (procedure and owner set) or the handle of a window of another
// process, which is reached through its socket only.
class Window {
  public:
    std::wstring title;
    WNDPROC procedure;
    DWORD ownerThreadId = 0;
    std::filesystem::path socketPath;
    detail::EndpointId endpoint = 0;
    // Set while WM_DESTROY runs, so a procedure that destroys its window again does not recurse.
    bool bDestroying = false;
};

namespace {

// Guarded by KernelLock. Never destroyed: threads may still end while the process exits.
struct WindowTable {
    std::unordered_map<HWND, std::shared_ptr<Window>> local;
    // One handle per title looked up, kept for the life of the process so that a handle
    // returned by FindWindow never dangles.
    std::unordered_map<std::wstring, std::unique_ptr<Window>> remoteByTitle;
    std::unordered_set<HWND> remote;
};

WindowTable& Windows() {
    static auto* table = new WindowTable;
    return *table;
}

std::shared_ptr<Window> FindLocal(HWND hwnd) {
    auto it = Windows().local.find(hwnd);
    return it == Windows().local.end() ? nullptr : it->second;
}

bool IsRemote(HWND hwnd) {
    return Windows().remote.count(hwnd) != 0;
}

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    for (const wchar_t wc : text) {
        auto c = static_cast<std::uint32_t>(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::filesystem::path WindowEndpointPath(const std::wstring& title) {
    return detail::NamedObjectPath("window", ToUtf8(title));
}

// Binds the window's socket. A file already there is taken over only when nothing answers on
// it (its process died); the lock keeps two processes from taking over the same leftover.
detail::UniqueFd ClaimWindowSocket(const std::filesystem::path& path) {
    detail::UniqueFd lock(
        ::open((path.parent_path() / "window.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock.Valid() || ::flock(lock.Get(), LOCK_EX) != 0) {
        return detail::UniqueFd();
    }
    detail::UniqueFd fd = detail::BindDatagram(path);
    if (!fd.Valid() && errno == EADDRINUSE && !detail::IsLive(path)) {
        ::unlink(path.c_str());
        fd = detail::BindDatagram(path);
    }
    return fd;
}

// Called on the pump thread, KernelLock held, for a datagram that arrived at the window's
// socket.
void OnWindowDatagram(HWND hwnd, const detail::WireMessage& wire, detail::UniqueFd replyFd) {
    std::shared_ptr<Window> window = FindLocal(hwnd);
    std::shared_ptr<detail::ThreadQueue> queue =
        window ? detail::FindQueue(window->ownerThreadId) : nullptr;
    if (!queue) {
        return;
    }
    const MSG msg{hwnd, wire.message, wire.wParam, wire.lParam};
    if (wire.magic == detail::kWirePost) {
        detail::Enqueue(*queue, msg);
    } else if (wire.magic == detail::kWireSend && replyFd.Valid()) {
        auto fd = std::make_shared<detail::UniqueFd>(std::move(replyFd));
        queue->sent.push_back(
            {msg, [fd](bool handled, LRESULT result) {
                 const detail::WireMessage reply{detail::kWireReply, handled ? 1u : 0u, 0, result};
                 detail::SendWire(fd->Get(), {}, reply, -1);
             }});
        queue->NotifyWaiters();
    }
}

// Closes the window's socket and forgets it; messages for it still queued are dropped and
// sent ones moved to orphans. KernelLock held.
void Unregister(const std::shared_ptr<Window>& window, std::vector<detail::SentMessage>& orphans) {
    Windows().local.erase(window.get());
    ::unlink(window->socketPath.c_str());
    detail::RemoveEndpoint(window->endpoint);
    std::shared_ptr<detail::ThreadQueue> queue = detail::FindQueue(window->ownerThreadId);
    if (!queue) {
        return;
    }
    HWND hwnd = window.get();
    std::erase_if(queue->posted, [hwnd](const MSG& msg) { return msg.hwnd == hwnd; });
    auto sent = std::stable_partition(queue->sent.begin(), queue->sent.end(),
                                      [hwnd](const auto& s) { return s.msg.hwnd != hwnd; });
    std::move(sent, queue->sent.end(), std::back_inserter(orphans));
    queue->sent.erase(sent, queue->sent.end());
}

// Waits for a reply slot filled by the window's thread or by the pump thread.
struct ReplySlot : detail::Signalable {
    bool IsSignaled() const override { return bDone; }
    void Complete(bool handled, LRESULT value) {
        if (!bDone) {
            bDone = true;
            bHandled = handled;
            result = value;
            NotifyWaiters();
        }
    }
    bool bDone = false;
    bool bHandled = false;
    LRESULT result = 0;
};

bool WaitForReply(std::unique_lock<std::mutex>& lock, ReplySlot& slot, DWORD timeoutMs) {
    detail::BlockUntil(lock, {&slot}, timeoutMs, [&slot] { return slot.bDone; });
    return slot.bDone && slot.bHandled;
}

bool SendToThread(std::unique_lock<std::mutex>& lock, DWORD ownerThreadId, const MSG& msg,
                  DWORD timeoutMs, LRESULT* result) {
    std::shared_ptr<detail::ThreadQueue> queue = detail::FindQueue(ownerThreadId);
    if (!queue) {
        return false;
    }
    auto slot = std::make_shared<ReplySlot>();
    queue->sent.push_back({msg, [slot](bool handled, LRESULT value) {
                               std::lock_guard<std::mutex> replyLock(detail::KernelLock());
                               slot->Complete(handled, value);
                           }});
    queue->NotifyWaiters();
    const bool bAnswered = WaitForReply(lock, *slot, timeoutMs);
    *result = slot->result;
    return bAnswered;
}

// The reply comes back over a socket pair whose other end travels with the message; when the
// receiver drops it unanswered (window gone, process ended) the wait ends at once.
bool SendToProcess(std::unique_lock<std::mutex>& lock, const std::filesystem::path& path,
                   const MSG& msg, DWORD timeoutMs, LRESULT* result) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) {
        return false;
    }
    detail::UniqueFd ours(pair[0]);
    detail::UniqueFd theirs(pair[1]);
    detail::AskForCredentials(ours.Get());
    auto slot = std::make_shared<ReplySlot>();
    const detail::EndpointId endpoint = detail::AddEndpoint(
        std::move(ours),
        [slot](const detail::WireMessage& wire, detail::UniqueFd) {
            if (wire.magic == detail::kWireReply) {
                slot->Complete(wire.message == 1, wire.lParam);
            }
        },
        [slot] { slot->Complete(false, 0); });
    const detail::WireMessage wire{detail::kWireSend, msg.message, msg.wParam, msg.lParam};
    bool bAnswered = false;
    if (detail::PostWire(path, wire, std::move(theirs))) {
        bAnswered = WaitForReply(lock, *slot, timeoutMs);
        *result = slot->result;
    }
    detail::RemoveEndpoint(endpoint);
    return bAnswered;
}

}  // namespace

namespace detail {

bool CallWindowProcedure(const MSG& msg, LRESULT* result) {
    std::shared_ptr<Window> window;
    {
        std::lock_guard<std::mutex> lock(KernelLock());
        window = FindLocal(msg.hwnd);
    }
    if (!window || window->ownerThreadId != GetCurrentThreadId()) {
        return false;
    }
    *result = window->procedure(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    return true;
}

void DestroyThreadWindows(DWORD threadId, std::vector<SentMessage>& orphans) {
    std::vector<std::shared_ptr<Window>> owned;
    for (const auto& [hwnd, window] : Windows().local) {
        if (window->ownerThreadId == threadId) {
            owned.push_back(window);
        }
    }
    for (const auto& window : owned) {
        Unregister(window, orphans);
    }
}

}  // namespace detail

HWND CreateWindow(const std::wstring& title, WNDPROC procedure) {
    const std::filesystem::path path = WindowEndpointPath(title);
    if (!procedure || path.empty()) {
        return nullptr;
    }
    EnsureMessageQueue();
    detail::UniqueFd socket = ClaimWindowSocket(path);
    if (!socket.Valid()) {
        return nullptr;
    }
    auto window = std::make_shared<Window>();
    window->title = title;
    window->procedure = std::move(procedure);
    window->ownerThreadId = GetCurrentThreadId();
    window->socketPath = path;
    HWND hwnd = window.get();
    std::lock_guard<std::mutex> lock(detail::KernelLock());
    window->endpoint = detail::AddEndpoint(
        std::move(socket), [hwnd](const detail::WireMessage& wire, detail::UniqueFd replyFd) {
            OnWindowDatagram(hwnd, wire, std::move(replyFd));
        });
    Windows().local[hwnd] = std::move(window);
    return hwnd;
}

bool DestroyWindow(HWND hwnd) {
    std::shared_ptr<Window> window;
    {
        std::lock_guard<std::mutex> lock(detail::KernelLock());
        window = FindLocal(hwnd);
        if (!window || window->ownerThreadId != GetCurrentThreadId() || window->bDestroying) {
            return false;
        }
        window->bDestroying = true;
    }
    window->procedure(hwnd, WM_DESTROY, 0, 0);
    std::vector<detail::SentMessage> orphans;
    {
        std::lock_guard<std::mutex> lock(detail::KernelLock());
        Unregister(window, orphans);
    }
    for (detail::SentMessage& orphan : orphans) {
        orphan.reply(false, 0);
    }
    return true;
}

HWND FindWindow(const std::wstring& title) {
    {
        std::lock_guard<std::mutex> lock(detail::KernelLock());
        for (const auto& [hwnd, window] : Windows().local) {
            if (window->title == title) {
                return hwnd;
            }
        }
    }
    const std::filesystem::path path = WindowEndpointPath(title);
    if (path.empty() || !detail::IsLive(path)) {
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(detail::KernelLock());
    std::unique_ptr<Window>& handle = Windows().remoteByTitle[title];
    if (!handle) {
        handle = std::make_unique<Window>();
        handle->title = title;
        Windows().remote.insert(handle.get());
    }
    handle->socketPath = path;
    return handle.get();
}

bool IsWindow(HWND hwnd) {
    std::filesystem::path path;
    {
        std::lock_guard<std::mutex> lock(detail::KernelLock());
        if (FindLocal(hwnd)) {
            return true;
        }
        if (!IsRemote(hwnd)) {
            return false;
        }
        path = hwnd->socketPath;
    }
    return detail::IsLive(path);
}

bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd == nullptr) {
        return PostThreadMessage(GetCurrentThreadId(), message, wParam, lParam);
    }
    std::lock_guard<std::mutex> lock(detail::KernelLock());
    if (std::shared_ptr<Window> window = FindLocal(hwnd)) {
        std::shared_ptr<detail::ThreadQueue> queue = detail::FindQueue(window->ownerThreadId);
        if (queue) {
            detail::Enqueue(*queue, MSG{hwnd, message, wParam, lParam});
        }
        return queue != nullptr;
    }
    return IsRemote(hwnd) &&
           detail::PostWire(hwnd->socketPath, {detail::kWirePost, message, wParam, lParam});
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    SendMessageTimeout(hwnd, message, wParam, lParam, SEND_MESSAGE_TIMEOUT_MS, &result);
    return result;
}

bool SendMessageTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                        LRESULT* result) {
    LRESULT value = 0;
    bool bAnswered = false;
    const MSG msg{hwnd, message, wParam, lParam};
    std::unique_lock<std::mutex> lock(detail::KernelLock());
    if (std::shared_ptr<Window> window = FindLocal(hwnd)) {
        if (window->ownerThreadId == GetCurrentThreadId()) {
            lock.unlock();
            value = window->procedure(hwnd, message, wParam, lParam);
            bAnswered = true;
        } else {
            bAnswered = SendToThread(lock, window->ownerThreadId, msg, timeoutMs, &value);
        }
    } else if (IsRemote(hwnd)) {
        bAnswered = SendToProcess(lock, hwnd->socketPath, msg, timeoutMs, &value);
    }
    if (result != nullptr) {
        *result = bAnswered ? value : 0;
    }
    return bAnswered;
}

LRESULT DispatchMessage(const MSG* msg) {
    LRESULT result = 0;
    if (msg != nullptr && msg->hwnd != nullptr) {
        detail::CallWindowProcedure(*msg, &result);
    }
    return result;
}

LRESULT DefWindowProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

}  // namespace plat
