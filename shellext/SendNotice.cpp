#include "shellext/SendNotice.h"

#include <gio/gio.h>

#include <mutex>
#include <utility>

#include "shellext/CountLines.h"

namespace {

std::mutex g_sinkLock;
NoticeSink g_sink;  // guarded by g_sinkLock; empty means the desktop

constexpr int kNotifyTimeoutMs = 5000;

}  // namespace

void SetNoticeSink(NoticeSink sink) {
    std::lock_guard<std::mutex> lock(g_sinkLock);
    g_sink = std::move(sink);
}

void ShowNotice(const std::string& body) {
    NoticeSink sink;
    {
        std::lock_guard<std::mutex> lock(g_sinkLock);
        sink = g_sink;
    }
    if (sink) {
        sink(kMenuText, body);
    } else {
        SendDesktopNotification(kMenuText, body);
    }
}

bool SendDesktopNotification(const std::string& summary, const std::string& body) {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus == nullptr) {
        g_clear_error(&error);
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.freedesktop.Notifications", "Notify",
        g_variant_new("(susssasa{sv}i)", "Corvena", 0u, "dialog-warning", summary.c_str(),
                      body.c_str(), nullptr, nullptr, -1),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, kNotifyTimeoutMs, nullptr, &error);
    g_object_unref(bus);
    if (reply == nullptr) {
        g_clear_error(&error);
        return false;
    }
    g_variant_unref(reply);
    return true;
}
