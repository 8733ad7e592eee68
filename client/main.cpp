// corvena: the tray client. One instance per user; starts the engine and shows its state.

#include <QApplication>
#include <QProcess>
#include <exception>
#include <thread>

#include "client/ClientSession.h"
#include "client/ClientStore.h"
#include "client/Communication.h"
#include "client/MainDialog.h"
#include "client/MessageBox.h"
#include "common/AfLog.h"
#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "platform/CrashReport.h"
#include "platform/NamedMutex.h"
#include "platform/Paths.h"
#include "platform/StopSignal.h"
#include "platform/SyncObjects.h"

namespace {
void RestartClient() {
    QProcess::startDetached(QString::fromStdString(plat::ExecutablePath().string()), {});
}

// SIGINT or SIGTERM (Ctrl-C in a terminal, a session's logout, systemd) takes the close
// sequence on the UI thread, as "退出" does, so the engine is told to end instead of being
// left running without its front end.
std::thread WatchStopSignal(const plat::EventPtr& stopSignal, const plat::EventPtr& ended,
                            CCorvenaDlg& dialog) {
    return std::thread([stopSignal, ended, &dialog] {
        if (plat::WaitForMultipleObjects({stopSignal, ended}, plat::INFINITE) ==
            plat::WAIT_OBJECT_0) {
            QMetaObject::invokeMethod(
                &dialog, [&dialog] { dialog.CloseSequence(); }, Qt::QueuedConnection);
        }
    });
}
}  // namespace

int main(int argc, char** argv) {
    plat::InstallCrashHandler();
    const plat::EventPtr stopSignal = plat::InstallStopSignals();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Corvena"));
    app.setQuitOnLastWindowClosed(false);

    bool exists = false;
    std::unique_ptr<plat::NamedMutex> instance = plat::CreateNamedMutex("Corvena", &exists);
    if (instance == nullptr) {
        AfLog(4, "Corvena", "CCorvenaApp::InitInstance", 0, "Corvena already exist!");
        ShowMessage(nullptr,
                    exists ? QStringLiteral("程序已经运行！")
                           : QStringLiteral("无法创建运行目录，Corvena无法启动。"),
                    QString::fromUtf8(kCaption));
        return 0;
    }

    CGlobalSetting setting;
    setting.Load(L"config.ini");
    if (!setting.m_wstrUser.empty()) {
        UserInfo user;
        if (ReadUserRecord(user) == 0) {
            CClientSession::Get().SetUser(user);
        }
    }

    CCommunication& comm = CCommunication::Get();
    std::thread messages([&comm] { comm.MessageThread(); });
    while (comm.MessageThreadId() == 0) {
        std::this_thread::yield();
    }

    int exitCode = 0;
    try {
        MainOptions options;
        options.quit = [](int code) { QCoreApplication::exit(code); };
        options.restartClient = RestartClient;
        CCorvenaDlg dialog(options);
        AfLog(1, "Corvena", "CCorvenaApp::InitInstance", 0, "Corvena 111");
        AfLog(1, "Corvena", "CCorvenaApp::InitInstance", 0, "Corvena 222");
        if (dialog.Start()) {
            const plat::EventPtr ended = plat::CreateEvent(true, false);
            std::thread stopWatch = WatchStopSignal(stopSignal, ended, dialog);
            exitCode = app.exec();
            plat::SetEvent(ended);
            stopWatch.join();
        }
    } catch (const std::exception& error) {
        AfLog(6, "Corvena", "CCorvenaApp::InitInstance", 0, "MAIN THREAD ERROR! %s", error.what());
    }
    comm.StopMessageThread();
    messages.join();
    return exitCode;
}
