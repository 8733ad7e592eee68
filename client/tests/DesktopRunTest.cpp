// The client as a user runs it: on an X display (Xvfb) with a real tray host (trayer, XEmbed),
// against the reference service, starting and supervising the real engine program. The
// client's main dialog runs in this process on the xcb platform; the mouse is the X server's
// own (xdotool), so right-clicks on the embedded icon and clicks on the menu's rows go through
// the tray host and the X server as a user's would. Screenshots of the desktop, the tray menu
// and each window opened from it go to SCREENSHOT_DIR ("desktop-*.png").

#include <gtest/gtest.h>
#include <signal.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "client/ClientSession.h"
#include "client/ClientStore.h"
#include "client/Communication.h"
#include "client/LoginLogic.h"
#include "client/MainDialog.h"
#include "client/tests/ClientRig.h"
#include "client/tests/XDisplay.h"
#include "common/GlobalSetting.h"
#include "platform/ProcessList.h"
#include "platform/Window.h"
#include "store/tablestore/DbBase.h"
#include "testing/LogText.h"
#include "testing/RefServiceProcess.h"
#include "testing/TempHome.h"
#include "testing/WaitUntil.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::CEngineCopy;
using testing_support::CRefServiceProcess;
using testing_support::CXDisplay;
using testing_support::WaitUntil;

constexpr int kWaitMs = 60000;

QString ScreenshotPath(const QString& name) {
    QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
    return QStringLiteral(SCREENSHOT_DIR "/desktop-") + name + ".png";
}

// The whole screen as the X server has it.
bool GrabScreen(const QString& name) {
    return QGuiApplication::primaryScreen()->grabWindow(0).save(ScreenshotPath(name));
}

// The screen's corner around the tray icon, magnified four times, to judge the icon in the
// tray host.
bool GrabTrayCorner(QSystemTrayIcon* tray, const QString& name) {
    QScreen* screen = QGuiApplication::primaryScreen();
    QRect around = tray->geometry().adjusted(-24, -4, 4, 4).intersected(screen->geometry());
    QPixmap corner = screen->grabWindow(0, around.x(), around.y(), around.width(), around.height());
    return corner.scaled(corner.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .save(ScreenshotPath(name));
}

// The tray icon's pixels as the X server shows them.
QImage IconPixels(QSystemTrayIcon* tray) {
    const QRect at = tray->geometry();
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, at.x(), at.y(), at.width(), at.height())
        .toImage();
}

// Waits until the icon on the screen differs from `before` and looks the same twice in a row:
// the tray host paints on its own time. Returns the pixels, or a null image after the wait.
QImage SettledIconPixels(QSystemTrayIcon* tray, const QImage& before) {
    QImage last;
    QImage now;
    const bool settled = QTest::qWaitFor(
        [&] {
            now = IconPixels(tray);
            const bool same = now == last;
            last = now;
            return same && now != before;
        },
        kWaitMs);
    return settled ? now : QImage();
}

// One window's pixels as the X server has them.
bool GrabWindow(QWidget* window, const QString& name) {
    return QGuiApplication::primaryScreen()->grabWindow(window->winId()).save(ScreenshotPath(name));
}

QPoint Centre(QWidget* widget) {
    return widget->mapToGlobal(widget->rect().center());
}

bool Exposed(QWidget* widget) {
    return widget != nullptr && widget->isVisible() && widget->windowHandle() != nullptr &&
           widget->windowHandle()->isExposed();
}

// Watches for the client's window of that object name: once it is on the screen, takes its
// picture and closes it as its window's close button does. The windows run their own event
// loops (exec), hence a timer rather than a wait in the test.
class CWindowCatcher : public QObject {
  public:
    CWindowCatcher(const QString& objectName, const QString& picture)
        : m_objectName(objectName), m_picture(picture) {
        connect(&m_timer, &QTimer::timeout, this, &CWindowCatcher::Look);
        m_timer.start(50);
    }
    bool Caught() const { return m_caught; }
    bool Saved() const { return m_saved; }

  private:
    void Look() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() != m_objectName || !Exposed(widget)) {
                continue;
            }
            // One more tick, so that the window has drawn itself.
            if (!m_seen) {
                m_seen = true;
                return;
            }
            m_timer.stop();
            m_caught = true;
            m_saved = GrabWindow(widget, m_picture);
            widget->close();
            return;
        }
    }

    QString m_objectName;
    QString m_picture;
    QTimer m_timer;
    bool m_seen = false;
    bool m_caught = false;
    bool m_saved = false;
};

class DesktopRunTest : public ::testing::Test {
  protected:
    DesktopRunTest()
        : display_(1024, 600),
          service_(REFSERVICE_PATH, home_.path() / "service", "alice", "secret"),
          engine_(TANDRIX_PATH, home_.path() / "bin") {
        display_.StartTrayHost();
        display_.UseForThisProcess(home_.path());
        app_ = std::make_unique<QApplication>(argc_, argv_);

        std::string address = service_.Address();
        CGlobalSetting().SetValue(L"main", L"server", std::wstring(address.begin(), address.end()),
                                  L"config.ini");
        CDbBase::SetAccount("alice");
        fs::create_directories(syncDir_);
        testing_support::RememberAccount(syncDir_);
        CClientSession::Get().SetSyncDir(L"");

        messages_ = std::thread([] { CCommunication::Get().MessageThread(); });
        WaitUntil([] { return CCommunication::Get().MessageThreadId() != 0; });
    }
    ~DesktopRunTest() override {
        CCommunication::Get().StopMessageThread();
        messages_.join();
        CCommunication::Get().m_bEngineStarted = false;
        app_.reset();
        unsetenv("DISPLAY");
        unsetenv("XDG_RUNTIME_DIR");
    }

    MainOptions Options() {
        MainOptions options;
        options.enginePath = engine_.Path();
        options.quit = [this](int code) { quits_.push_back(code); };
        options.restartClient = [] { ADD_FAILURE() << "the client asked to be restarted"; };
        return options;
    }

    // The X window of the tray icon: Qt's own widget for an XEmbed icon.
    static QWidget* TrayIconWidget() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (QByteArray(widget->metaObject()->className()) == "QSystemTrayIconSys") {
                return widget;
            }
        }
        return nullptr;
    }

    // The X windows above `window` up to the root's child, nearest first.
    std::vector<unsigned long> Ancestors(unsigned long window) const {
        std::vector<unsigned long> chain;
        for (int depth = 0; depth < 16; ++depth) {
            std::string tree =
                display_.Run({"/usr/bin/xwininfo", "-tree", "-id", std::to_string(window)});
            unsigned long root = 0;
            unsigned long parent = 0;
            std::istringstream lines(tree);
            for (std::string line; std::getline(lines, line);) {
                std::sscanf(line.c_str(), " Root window id: %lx", &root);
                std::sscanf(line.c_str(), " Parent window id: %lx", &parent);
            }
            if (parent == 0 || parent == root) {
                break;
            }
            chain.push_back(parent);
            window = parent;
        }
        return chain;
    }

    // The icon is a client of the tray host: its X window has been reparented into the host's
    // panel.
    bool EmbeddedInTrayHost() const {
        QWidget* icon = TrayIconWidget();
        if (icon == nullptr) {
            return false;
        }
        std::vector<unsigned long> chain = Ancestors(icon->winId());
        if (chain.empty()) {
            return false;
        }
        std::string owner =
            display_.Run({"/usr/bin/xprop", "-id", std::to_string(chain.back()), "WM_CLASS"});
        return owner.find("\"trayer\"") != std::string::npos;
    }

    // Presses a mouse button at a point of the screen through the X server.
    void ClickAt(QPoint point, int button) const {
        int code = 0;
        display_.Run({"/usr/bin/xdotool", "mousemove", "--sync", std::to_string(point.x()),
                      std::to_string(point.y()), "click", std::to_string(button)},
                     &code);
        EXPECT_EQ(code, 0) << "xdotool";
    }

    // A right-click on the tray icon; true once its menu is on the screen.
    bool OpenTrayMenu(CCorvenaDlg& dialog) {
        QSystemTrayIcon* tray = dialog.Tray().Icon().Tray();
        if (tray == nullptr) {
            return false;
        }
        ClickAt(tray->geometry().center(), 3);
        return QTest::qWaitFor([&] { return Exposed(dialog.Tray().Popup()); }, kWaitMs);
    }

    // A left click on the row of the open tray menu.
    void ClickRow(CCorvenaDlg& dialog, const QString& text) {
        QMenu* menu = dialog.Tray().Popup();
        for (QAction* action : menu->actions()) {
            if (action->text() == text) {
                ClickAt(menu->mapToGlobal(menu->actionGeometry(action).center()), 1);
                return;
            }
        }
        ADD_FAILURE() << "no row " << text.toStdString();
    }

    // Right-click, picture of the menu (when named), click on the row; true once the menu
    // has closed.
    bool ChooseFromTrayMenu(CCorvenaDlg& dialog, const QString& row, const QString& picture = {}) {
        if (!OpenTrayMenu(dialog)) {
            ADD_FAILURE() << "the tray menu did not open";
            return false;
        }
        if (!picture.isEmpty()) {
            QTest::qWait(100);
            EXPECT_TRUE(GrabScreen(picture));
        }
        ClickRow(dialog, row);
        return QTest::qWaitFor([&] { return !dialog.Tray().Popup()->isVisible(); }, kWaitMs);
    }

    // Opens a window from the tray menu and takes its picture while it is open.
    void PictureOfWindow(CCorvenaDlg& dialog, const QString& row, const char* objectName,
                         const QString& picture) {
        SCOPED_TRACE(row.toStdString());
        CWindowCatcher catcher(QString::fromUtf8(objectName), picture);
        ASSERT_TRUE(ChooseFromTrayMenu(dialog, row));
        EXPECT_TRUE(QTest::qWaitFor([&] { return catcher.Caught(); }, kWaitMs));
        EXPECT_TRUE(catcher.Saved());
        EXPECT_FALSE(dialog.IsClosed()) << "closing the window leaves the client running";
    }

    bool OnService(const std::string& path) { return !service_.Entry("alice", path).isNull(); }
    std::string Log() const { return testing_support::LogText(home_.path()); }

    testing_support::TempHome home_;
    CXDisplay display_;
    CRefServiceProcess service_;
    CEngineCopy engine_;
    fs::path syncDir_ = home_.path() / "Corvena";
    int argc_ = 1;
    char name_[16] = "corvena-test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
    std::thread messages_;
    std::vector<int> quits_;
};

// Start with the silent login, a file synced, pause and resume from the tray menu, the engine
// killed and started again by the watchdog, and the menu's "退出" ending the engine.
TEST_F(DesktopRunTest, TheTrayFollowsTheEngineFromStartToQuit) {
    CCorvenaDlg dialog(Options());
    QStringList tips;
    QObject::connect(&dialog.Tray().Icon(), &CMyIcon::tipShown, [&tips](const QString& tip) {
        if (tips.isEmpty() || tips.back() != tip) {
            tips << tip;
        }
    });
    ASSERT_TRUE(dialog.Start());
    ASSERT_FALSE(tips.isEmpty());
    EXPECT_EQ(tips.front(), QStringLiteral("联机中...")) << "the first look, before the login";
    EXPECT_FALSE(dialog.isVisible()) << "the stored directory is adopted: no first-run page";

    // The icon sits in the tray host, not in a window of its own.
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Tray().Icon().Tray() != nullptr; }, kWaitMs));
    EXPECT_EQ(dialog.Tray().Icon().FallbackWindow(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return EmbeddedInTrayHost(); }, kWaitMs))
        << "the icon's window was not taken in by the tray host";

    // The engine runs with the message thread's id and shows its window.
    const std::string threadId = std::to_string(CCommunication::Get().MessageThreadId());
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine_.One() != 0; }, kWaitMs));
    EXPECT_EQ(CEngineCopy::Arguments(engine_.One()), std::vector<std::string>{threadId});
    ASSERT_TRUE(QTest::qWaitFor([] { return plat::FindWindow(L"Ostrand") != nullptr; }, kWaitMs));

    // A new file: the icon shows the syncing look, then the synced one once it is uploaded.
    tips.clear();
    std::ofstream(syncDir_ / "你好.txt") << "第一个文件";
    ASSERT_TRUE(QTest::qWaitFor([&] { return OnService("你好.txt"); }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return tips.contains(QStringLiteral("Corvena\n正在同步...")) &&
                   tips.back() == QStringLiteral("Corvena");
        },
        kWaitMs))
        << tips.join(" | ").toStdString();
    EXPECT_EQ(dialog.Tray().Icon().Tray()->toolTip(), QStringLiteral("Corvena"));
    EXPECT_EQ(dialog.Tray().Icon().ShownIcon(), ICON_MAIN);
    EXPECT_FALSE(dialog.Tray().Icon().IsAnimating());
    // The space row has had its first poll.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.Tray().SpaceText().empty(); }, kWaitMs));
    QSystemTrayIcon* tray = dialog.Tray().Icon().Tray();
    const QImage synced = SettledIconPixels(tray, QImage());
    ASSERT_FALSE(synced.isNull());
    EXPECT_TRUE(GrabScreen("tray"));
    EXPECT_TRUE(GrabTrayCorner(tray, "tray-icon"));

    // Pause from the menu: the engine holds its watch; a file written meanwhile waits.
    ASSERT_TRUE(ChooseFromTrayMenu(dialog, QStringLiteral("暂停同步"), "tray-menu"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Log().find("Set Pause = 1") != std::string::npos; }, kWaitMs))
        << "the pause did not reach the engine";
    EXPECT_EQ(dialog.Tray().Icon().Tray()->toolTip(), QStringLiteral("Corvena\n同步已暂停"));
    EXPECT_EQ(dialog.Tray().Icon().ShownIcon(), ICON_PAUSED);
    EXPECT_EQ(GetSystemConfig("Stop"), L"1");
    std::ofstream(syncDir_ / "暂停时.txt") << "written while paused";
    EXPECT_FALSE(SettledIconPixels(tray, synced).isNull())
        << "the tray host still shows the icon from before the pause";
    EXPECT_TRUE(GrabTrayCorner(tray, "tray-icon-paused"));
    EXPECT_FALSE(OnService("暂停时.txt")) << "uploaded while paused";

    // Resume from the menu: the waiting file goes up.
    ASSERT_TRUE(ChooseFromTrayMenu(dialog, QStringLiteral("恢复同步"), "tray-menu-paused"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return OnService("暂停时.txt"); }, kWaitMs));
    EXPECT_EQ(GetSystemConfig("Stop"), L"0");
    EXPECT_FALSE(dialog.Tray().State().IsPaused());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dialog.Tray().Icon().Tray()->toolTip() == QStringLiteral("Corvena"); },
        kWaitMs));

    // The windows the menu opens, each closed with its window's close button.
    PictureOfWindow(dialog, QStringLiteral("同步详情"), "同步详情2014", "detail");
    PictureOfWindow(dialog, QStringLiteral("设置"), "Corvena设置1234", "settings");
    PictureOfWindow(dialog, QStringLiteral("关于"), "Corvenaaboutme2014", "about");

    // The engine killed: the watchdog starts it again with the same argument. Meanwhile the
    // user deletes every synced file, which the restarted engine's first comparison holds back
    // for a confirmation.
    const int killed = engine_.One();
    ASSERT_NE(killed, 0);
    ASSERT_EQ(kill(killed, SIGKILL), 0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const std::vector<int> running = engine_.Running();
            return std::find(running.begin(), running.end(), killed) == running.end();
        },
        kWaitMs));
    fs::remove(syncDir_ / "你好.txt");
    fs::remove(syncDir_ / "暂停时.txt");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const int now = engine_.One();
            return now != 0 && now != killed;
        },
        kWaitMs))
        << "the watchdog did not start the engine again";
    EXPECT_EQ(CEngineCopy::Arguments(engine_.One()), std::vector<std::string>{threadId});
    ASSERT_TRUE(QTest::qWaitFor([] { return plat::FindWindow(L"Ostrand") != nullptr; }, kWaitMs));

    // The held deletions: put off with "暂不删除", confirmed later from the tray menu.
    CDeletionPrompt& prompt = dialog.Tray().Prompt();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Exposed(prompt.DeletionBox()); }, kWaitMs))
        << "the restarted engine held no deletions";
    EXPECT_TRUE(prompt.DeletionBox()->text().startsWith(QStringLiteral("有 2 个文件将被删除")))
        << prompt.DeletionBox()->text().toStdString();
    QTest::qWait(100);
    EXPECT_TRUE(GrabWindow(prompt.DeletionBox(), "deletions-held"));
    ClickAt(Centre(prompt.DeclineButton()), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return prompt.DeletionBox() == nullptr; }, kWaitMs));
    EXPECT_TRUE(OnService("你好.txt")) << "put off: nothing is deleted";
    ASSERT_TRUE(ChooseFromTrayMenu(dialog, QStringLiteral("有 2 个文件等待确认删除..."),
                                   "tray-menu-deletions-waiting"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Exposed(prompt.DeletionBox()); }, kWaitMs));
    ClickAt(Centre(prompt.ConfirmButton()), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !OnService("你好.txt") && !OnService("暂停时.txt"); },
                                kWaitMs))
        << "the confirmed deletions did not reach the service";

    // The restarted engine syncs a new file.
    std::ofstream(syncDir_ / "重启后.txt") << "after the restart";
    ASSERT_TRUE(QTest::qWaitFor([&] { return OnService("重启后.txt"); }, kWaitMs));

    // "退出": the engine is told to end and its window is gone before the client ends.
    ASSERT_TRUE(ChooseFromTrayMenu(dialog, QStringLiteral("退出")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.IsClosed(); }, kWaitMs));
    EXPECT_EQ(plat::FindWindow(L"Ostrand"), nullptr);
    EXPECT_EQ(quits_, std::vector<int>{0});
    EXPECT_TRUE(WaitUntil([&] { return engine_.Running().empty(); }, 20s)) << "an engine is left";
    EXPECT_FALSE(dialog.Tray().Icon().Tray()->isVisible()) << "the icon left the tray";
}

}  // namespace
