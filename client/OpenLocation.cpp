#include "client/OpenLocation.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QStringList>
#include <QUrl>

#include "common/Utility.h"

namespace {
bool SelectInFileManager(const QUrl& url) {
    QDBusInterface manager(QStringLiteral("org.freedesktop.FileManager1"),
                           QStringLiteral("/org/freedesktop/FileManager1"),
                           QStringLiteral("org.freedesktop.FileManager1"),
                           QDBusConnection::sessionBus());
    if (!manager.isValid()) {
        return false;
    }
    QDBusMessage reply =
        manager.call(QStringLiteral("ShowItems"), QStringList{url.toString()}, QString());
    return reply.type() == QDBusMessage::ReplyMessage;
}
}  // namespace

void OpenLocation(const std::wstring& path) {
    QUrl url = QUrl::fromLocalFile(QString::fromStdWString(path));
    if (JudgeFolder(path) == 1 && SelectInFileManager(url)) {
        return;
    }
    QDesktopServices::openUrl(url);
}

void OpenFolder(const std::wstring& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdWString(folder)));
}
