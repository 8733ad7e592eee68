// corvena-send as the Dolphin, Thunar and Nemo entries run it: a real process, its exit status
// and stderr, and the notification it sends over a private session bus to a notification
// service played by the test.

#include <gio/gio.h>
#include <signal.h>

#include <future>
#include <mutex>
#include <thread>

#include "shellext/CountLines.h"
#include "shellext/SendNotice.h"
#include "shellext/tests/SendFixture.h"
#include "testing/WaitUntil.h"

namespace {

using namespace shellext_test;
using Items = std::map<std::string, std::string>;

class CorvenaSendTest : public SendFixture {
  protected:
    // Without a bus of its own a run must not reach the desktop of whoever runs the tests.
    SRun Run(const std::vector<std::string>& paths, const std::string& busAddress = {}) {
        std::vector<std::string> args = {CORVENA_SEND_PATH};
        args.insert(args.end(), paths.begin(), paths.end());
        const std::string bus =
            busAddress.empty() ? "unix:path=" + (m_home.path() / "no-bus").string() : busAddress;
        return RunProgram(args, {"DBUS_SESSION_BUS_ADDRESS=" + bus}, m_home.path() / "stderr");
    }
};

TEST_F(CorvenaSendTest, CopiesTheFirstPathGiven) {
    const fs::path file = MakeFile("a.txt", "a");
    MakeFile("proj/b.txt", "b");
    const SRun run = Run({file.string(), (m_outside / "proj").string()});
    EXPECT_EQ(run.iExit, 0) << run.strErr;
    EXPECT_EQ(run.strErr, "");
    EXPECT_EQ(Tree(m_syncDir), (Items{{"a.txt", "a"}}));

    EXPECT_EQ(Run({(m_outside / "proj").string()}).iExit, 0);
    EXPECT_EQ(Tree(m_syncDir), (Items{{"a.txt", "a"}, {"proj", "<folder>"}, {"proj/b.txt", "b"}}));
}

TEST_F(CorvenaSendTest, SaysWhyNothingWasSent) {
    testing_support::WriteWholeFile(m_syncDir / "in.txt", "in");
    struct Row {
        const char* why;
        std::vector<std::string> paths;
        std::wstring syncDir;
        int exit;
        std::string message;
    };
    const Row rows[] = {
        {"no path", {}, m_syncDir.wstring(), 2, "usage: corvena-send PATH..."},
        {"no sync directory", {(m_outside / "x").string()}, L"", 1, "syncdir"},
        {"the sync directory into itself",
         {m_syncDir.string()},
         m_syncDir.wstring(),
         3,
         "不能发送到同步目录"},
        {"a missing path",
         {(m_outside / "missing").string()},
         m_syncDir.wstring(),
         3,
         std::generic_category().message(ENOENT)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        SetSyncDir(row.syncDir);
        const SRun run = Run(row.paths);
        EXPECT_EQ(run.iExit, row.exit);
        EXPECT_NE(run.strErr.find(row.message), std::string::npos) << run.strErr;
        EXPECT_EQ(Tree(m_syncDir), (Items{{"in.txt", "in"}}));
    }
}

// The notification service of a desktop, on its own bus connection and thread: it records
// every Notify call.
class CNotificationService {
  public:
    explicit CNotificationService(const std::string& address) {
        std::promise<bool> ready;
        std::future<bool> started = ready.get_future();
        m_thread = std::thread([this, address, &ready] { Serve(address, ready); });
        m_bStarted = started.get();
    }
    ~CNotificationService() {
        if (m_loop != nullptr) {
            g_main_loop_quit(m_loop);
        }
        m_thread.join();
    }

    bool Started() const { return m_bStarted; }
    std::vector<std::string> Received() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_received;
    }

  private:
    static constexpr const char* kInterface =
        "<node><interface name='org.freedesktop.Notifications'><method name='Notify'>"
        "<arg type='s' direction='in'/><arg type='u' direction='in'/>"
        "<arg type='s' direction='in'/><arg type='s' direction='in'/>"
        "<arg type='s' direction='in'/><arg type='as' direction='in'/>"
        "<arg type='a{sv}' direction='in'/><arg type='i' direction='in'/>"
        "<arg type='u' direction='out'/></method></interface></node>";

    static void OnCall(GDBusConnection*, const char*, const char*, const char*, const char*,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
        const char* app = nullptr;
        const char* summary = nullptr;
        const char* body = nullptr;
        g_variant_get(parameters, "(&su&s&s&s@as@a{sv}i)", &app, nullptr, nullptr, &summary, &body,
                      nullptr, nullptr, nullptr);
        auto* service = static_cast<CNotificationService*>(self);
        {
            std::lock_guard<std::mutex> lock(service->m_lock);
            service->m_received.push_back(std::string(app) + "|" + summary + "|" + body);
        }
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", 1u));
    }

    void Serve(const std::string& address, std::promise<bool>& ready) {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kInterface, nullptr);
        const GDBusInterfaceVTable vtable = {OnCall, nullptr, nullptr, {}};
        bool registered = bus != nullptr &&
                          g_dbus_connection_register_object(bus, "/org/freedesktop/Notifications",
                                                            node->interfaces[0], &vtable, this,
                                                            nullptr, nullptr) != 0;
        GVariant* owned =
            registered
                ? g_dbus_connection_call_sync(
                      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                      "RequestName", g_variant_new("(su)", "org.freedesktop.Notifications", 4u),
                      G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr)
                : nullptr;
        if (owned != nullptr) {
            m_loop = g_main_loop_new(context, FALSE);
            g_variant_unref(owned);
        }
        ready.set_value(m_loop != nullptr);
        if (m_loop != nullptr) {
            g_main_loop_run(m_loop);
            g_main_loop_unref(m_loop);
        }
        g_dbus_node_info_unref(node);
        g_clear_object(&bus);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    std::thread m_thread;
    GMainLoop* m_loop = nullptr;  // set before the constructor returns, then only read
    bool m_bStarted = false;
    std::mutex m_lock;
    std::vector<std::string> m_received;  // guarded by m_lock
};

// A private session bus (dbus-daemon) listening on socket, ended with the object.
class CBusDaemon {
  public:
    explicit CBusDaemon(const fs::path& socket) : m_strAddress("unix:path=" + socket.string()) {
        const std::string addressArg = "--address=" + m_strAddress;
        const char* args[] = {DBUS_DAEMON, "--session", "--nofork", addressArg.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&m_pid, DBUS_DAEMON, &actions, nullptr, const_cast<char**>(args),
                        environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        m_bReady = m_pid > 0 && testing_support::WaitUntil([&] { return fs::exists(socket); });
    }
    ~CBusDaemon() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    CBusDaemon(const CBusDaemon&) = delete;
    CBusDaemon& operator=(const CBusDaemon&) = delete;

    bool Ready() const { return m_bReady; }
    const std::string& Address() const { return m_strAddress; }

  private:
    std::string m_strAddress;
    pid_t m_pid = -1;
    bool m_bReady = false;
};

TEST_F(CorvenaSendTest, TellsTheDesktopWhyNothingWasSent) {
    CBusDaemon bus(m_home.path() / "bus");
    ASSERT_TRUE(bus.Ready());
    CNotificationService service(bus.Address());
    ASSERT_TRUE(service.Started());

    const SRun run = Run({m_syncDir.string()}, bus.Address());
    EXPECT_EQ(run.iExit, 3);
    const std::vector<std::string> received = service.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(
        received[0].rfind(std::string("Corvena|") + kMenuText + "|“" + m_syncDir.string() + "”", 0),
        0u)
        << received[0];
}

TEST_F(CorvenaSendTest, WithoutASessionBusTheNotificationIsReportedLost) {
    const char* previous = getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (m_home.path() / "no-bus").string()).c_str(),
           1);
    EXPECT_FALSE(SendDesktopNotification(kMenuText, "body"));
    if (previous != nullptr) {
        setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), 1);
    } else {
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
}

}  // namespace
