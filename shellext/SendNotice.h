#pragma once
// Notices of the send: why an item was not copied. They go to the desktop as a notification
// (the org.freedesktop.Notifications service on the session bus, reached through GIO's D-Bus
// client, so no desktop library is needed in the file manager's process); a program may put
// its own sink in their place or beside them (corvena-send also writes them to stderr).
//
// Any thread may show a notice; the sink is swapped under a lock and called outside it.

#include <functional>
#include <string>

using NoticeSink = std::function<void(const std::string& summary, const std::string& body)>;

// Every later notice goes to sink; an empty sink restores the desktop notification.
void SetNoticeSink(NoticeSink sink);

// Hands the notice, with the summary "发送至Corvena同步目录", to the current sink.
void ShowNotice(const std::string& body);

// Calls Notify of the notification service on the session bus (at most 5 seconds). False when
// there is no session bus or no service answered; the notice is then lost, as the copy has
// already ended and nobody else is listening.
bool SendDesktopNotification(const std::string& summary, const std::string& body);
