#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QTest>

#include "client/ClientSession.h"
#include "client/ClientStore.h"
#include "client/Communication.h"
#include "client/EngineLink.h"
#include "client/TrayController.h"
#include "client/tests/EngineWindow.h"
#include "client/tests/QtTestSupport.h"
#include "store/SyncCodes.h"
#include "store/tablestore/DbBase.h"
#include "testing/ManualClock.h"
#include "testing/TempHome.h"
#include "testing/WaitUntil.h"

namespace {

using testing_support::AnswerNextMessageBox;
using testing_support::CEngineWindow;
using testing_support::TestApp;

QStringList Texts(QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions()) {
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return texts;
}

QAction* Row(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    ADD_FAILURE() << "no row " << text.toStdString();
    return nullptr;
}

class TrayTest : public ::testing::Test {
  protected:
    TrayTest() {
        CDbBase::SetAccount("alice");
        tray_.ShowConnecting();
    }
    testing_support::TempHome home_;
    QApplication& app_ = TestApp();
    CTrayController tray_{[] { return false; }, 0};
};

TEST_F(TrayTest, EachPopupHasItsRows) {
    EXPECT_EQ(tray_.Icon().ShownTip(), QStringLiteral("联机中..."));
    EXPECT_EQ(tray_.Icon().ShownIcon(), ICON_CONNECTING);
    EXPECT_EQ(tray_.PopupInUse(), POPUP_NO_SYNCDIR);
    EXPECT_EQ(Texts(tray_.Popup()), QStringList{QStringLiteral("退出")});

    tray_.SyncDirAdopted();
    tray_.SetSpaceText(L"1.2MB/10GB");
    tray_.RebuildPopup();
    EXPECT_EQ(tray_.Icon().ShownTip(), QStringLiteral("Corvena"));
    EXPECT_EQ(tray_.Icon().ShownIcon(), ICON_MAIN);
    EXPECT_EQ(tray_.Icon().CallbackMessage(), TRAY_MSG_SYNCDIR_SET);
    EXPECT_EQ(Texts(tray_.Popup()),
              (QStringList{"1.2MB/10GB", "-", "暂停同步", "设置", "打开同步目录", "同步详情",
                           "登录web管理文件", "检测版本", "意见反馈", "关于", "退出"}));
    EXPECT_TRUE(testing_support::Screenshot(tray_.Popup(), "tray-menu"));
    tray_.Popup()->hide();

    tray_.State().ShowFault(TrayIconInfo{L"Corvena\r\n网络已断开...", L"", 0, ICON_CONNECTING});
    tray_.RebuildPopup();
    EXPECT_EQ(tray_.PopupInUse(), POPUP_OFFLINE);
    EXPECT_EQ(Texts(tray_.Popup()), QStringList{QStringLiteral("退出")});

    QApplication::processEvents();
    ASSERT_NE(tray_.Icon().FallbackWindow(), nullptr) << "no tray service: the window stands in";
    EXPECT_TRUE(testing_support::Screenshot(tray_.Icon().FallbackWindow(), "tray-window"));
}

// Without the engine the full menu's rows do nothing; the single-row menus still exit.
TEST_F(TrayTest, WithoutTheEngineOnlyExitWorks) {
    int exits = 0;
    int settings = 0;
    tray_.Menu().SetExitHandler([&] { ++exits; });
    tray_.Menu().SetHandler(ROW_SETTINGS, [&] { ++settings; });
    tray_.Menu().SetHandler(ROW_EXIT, [&] { ++exits; });
    Row(tray_.Popup(), "退出")->trigger();
    EXPECT_EQ(exits, 1);

    tray_.SyncDirAdopted();
    Row(tray_.Popup(), "设置")->trigger();
    Row(tray_.Popup(), "退出")->trigger();
    Row(tray_.Popup(), "暂停同步")->trigger();
    EXPECT_EQ(settings, 0);
    EXPECT_EQ(exits, 1);
    EXPECT_FALSE(tray_.State().IsPaused());

    tray_.State().ShowFault(TrayIconInfo{L"Corvena\r\n服务器异常...", L"", 0, ICON_CONNECTING});
    tray_.RebuildPopup();
    Row(tray_.Popup(), "退出")->trigger();
    EXPECT_EQ(exits, 2);

    CEngineWindow engine;
    tray_.State().BackOnline();
    tray_.RebuildPopup();
    Row(tray_.Popup(), "设置")->trigger();
    EXPECT_EQ(settings, 1);
}

TEST_F(TrayTest, PauseAndResumeReachTheEngineTheStoreAndTheDetailWindow) {
    tray_.SyncDirAdopted();
    CClientSession::Get().SetLimits("300", "200");
    std::vector<unsigned> notices;
    int owner = 0;
    for (unsigned id : {NOTICE_TRAY_PAUSED, NOTICE_TRAY_RESUMED}) {
        CCommunication::Get().AddListener(
            id, [&notices, id](std::uint32_t, std::uint32_t) { notices.push_back(id); }, &owner);
    }
    CEngineWindow engine;
    tray_.State().OnSyncStateChange(0, MSYNC_STATE_SYNCING);
    QApplication::processEvents();

    Row(tray_.Popup(), "暂停同步")->trigger();
    ASSERT_TRUE(engine.WaitFor(MSG_SETTING_PAUSESYNC));
    QApplication::processEvents();
    EXPECT_EQ(tray_.Icon().ShownTip(), QStringLiteral("Corvena\n同步已暂停"));
    EXPECT_EQ(tray_.Icon().ShownIcon(), ICON_PAUSED);
    EXPECT_FALSE(tray_.Icon().IsAnimating());
    EXPECT_EQ(tray_.State().IconState(), ICONSTATE_PAUSED);
    EXPECT_EQ(GetSystemConfig("Stop"), L"1");
    EXPECT_EQ(Texts(tray_.Popup())[2], QStringLiteral("恢复同步"));

    tray_.State().OnSyncStateChange(0, MSYNC_STATE_SYNCING);
    QApplication::processEvents();
    EXPECT_FALSE(tray_.Icon().IsAnimating()) << "paused: a syncing status starts nothing";

    Row(tray_.Popup(), "恢复同步")->trigger();
    ASSERT_TRUE(engine.WaitFor(MSG_SETTING_RESUMESYNC));
    QApplication::processEvents();
    EXPECT_EQ(engine.Last(MSG_SETTING_RESUMESYNC).wParam, 300u) << "the upload limit";
    EXPECT_EQ(tray_.Icon().ShownTip(), QStringLiteral("Corvena\n正在同步..."));
    EXPECT_TRUE(tray_.Icon().IsAnimating());
    EXPECT_EQ(GetSystemConfig("Stop"), L"0");
    EXPECT_EQ(Texts(tray_.Popup())[2], QStringLiteral("暂停同步"));
    EXPECT_EQ(notices, (std::vector<unsigned>{NOTICE_TRAY_PAUSED, NOTICE_TRAY_RESUMED}));
    CCommunication::Get().RemoveListener(&owner);
    CClientSession::Get().SetLimits("", "");
}

TEST_F(TrayTest, PauseWithTheEngineGoneSaysSo) {
    tray_.SyncDirAdopted();
    auto seen = AnswerNextMessageBox();
    tray_.PauseOrResume();
    ASSERT_TRUE(seen->seen);
    EXPECT_EQ(seen->text, QStringLiteral("同步程序未正常运行，无法继续此操作"));
    EXPECT_EQ(seen->caption, QStringLiteral("Corvena同步盘"));
    EXPECT_FALSE(tray_.State().IsPaused());
}

// Status messages arrive on the message thread; the icon changes on the UI thread and the
// syncing look runs through the three frames.
TEST_F(TrayTest, StatusMessagesFromTheMessageThreadAnimateTheIcon) {
    tray_.SyncDirAdopted();
    tray_.Listen();
    CCommunication& comm = CCommunication::Get();
    std::thread thread([&] { comm.MessageThread(); });
    ASSERT_TRUE(testing_support::WaitUntil([&] { return comm.MessageThreadId() != 0; }));
    plat::PostThreadMessage(comm.MessageThreadId(), MSG_SYNC_STATUS, 0, MSYNC_STATE_SYNCING);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tray_.Icon().IsAnimating(); }, 5000));
    EXPECT_EQ(tray_.Icon().ShownTip(), QStringLiteral("Corvena\n正在同步..."));
    std::set<int> frames;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            frames.insert(tray_.Icon().ShownIcon());
            return frames.count(ICON_FRAME_1) + frames.count(ICON_FRAME_2) +
                       frames.count(ICON_FRAME_3) ==
                   3;
        },
        5000));

    plat::PostThreadMessage(comm.MessageThreadId(), MSG_SYNC_STATUS, 0x32, MSYNC_STATE_SYNCED);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tray_.Icon().IsAnimating(); }, 5000));
    EXPECT_EQ(tray_.Icon().ShownIcon(), ICON_FILE4G);
    EXPECT_EQ(
        tray_.Icon().ShownTip(),
        QStringLiteral(
            "Corvena\n空间已满，请释放空间，\n或联系企业管理员扩大空间容量\n大于4G的文件未同步"));

    plat::PostThreadMessage(comm.MessageThreadId(), MSG_ERR_FILEPATH_TOOLONG, 0, 0);
    plat::PostThreadMessage(comm.MessageThreadId(), MSG_ERR_FILEPATH_TOOLONG, 0, 0);
    plat::PostThreadMessage(comm.MessageThreadId(), MSG_ERR_FILEPATH_TOOLONG, 0, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tray_.PendingLongPaths() == 3; }, 5000))
        << "one notice for the burst";
    ASSERT_TRUE(QTest::qWaitFor([&] { return tray_.PendingLongPaths() == 0; }, 5000));
    comm.StopMessageThread();
    thread.join();
}

int Count(CEngineWindow& engine, plat::UINT message) {
    int count = 0;
    for (const testing_support::TEngineMessage& m : engine.Messages()) {
        count += m.message == message ? 1 : 0;
    }
    return count;
}

// The engine repeats the held deletions after every comparison: one box at a time that takes
// the newest count, 4034 once per confirmation, nothing on a refusal, and a refused count does
// not come back until it changes.
TEST_F(TrayTest, HeldDeletionsAreConfirmedOnceThroughOneBox) {
    tray_.SyncDirAdopted();
    tray_.Listen();
    CEngineWindow engine;
    CCommunication& comm = CCommunication::Get();
    std::thread thread([&] { comm.MessageThread(); });
    ASSERT_TRUE(testing_support::WaitUntil([&] { return comm.MessageThreadId() != 0; }));
    CDeletionPrompt& prompt = tray_.Prompt();
    // Registered after the tray's listener, so its queued call runs after the tray's: once
    // `handled` counts a message, the box has seen it.
    int handled = 0;
    int sent = 0;
    int owner = 0;
    comm.AddListener(
        MSG_DELETIONS_HELD,
        [&](std::uint32_t, std::uint32_t) {
            QMetaObject::invokeMethod(
                &app_, [&] { ++handled; }, Qt::QueuedConnection);
        },
        &owner);
    auto held = [&](unsigned count) {
        ++sent;
        plat::PostThreadMessage(comm.MessageThreadId(), MSG_DELETIONS_HELD, count, count);
        ASSERT_TRUE(QTest::qWaitFor([&] { return handled == sent; }, 5000));
    };
    auto boxSays = [&](int count) {
        return QTest::qWaitFor(
            [&] {
                return prompt.DeletionBox() != nullptr && prompt.DeletionBox()->isVisible() &&
                       prompt.DeletionBox()->text().startsWith(
                           QStringLiteral("有 %1 个文件将被删除").arg(count));
            },
            5000);
    };
    // A message after the box is answered shows that no 4034 went before it.
    int markers = 0;
    auto nothingPosted = [&](int expected) {
        ++markers;
        ASSERT_TRUE(PostToEngine(MSG_GET_SPEED, 0, 0));
        ASSERT_TRUE(QTest::qWaitFor([&] { return Count(engine, MSG_GET_SPEED) == markers; }, 5000));
        EXPECT_EQ(Count(engine, MSG_RELEASE_DELETIONS), expected);
    };

    held(3);
    ASSERT_TRUE(boxSays(3));
    QMessageBox* first = prompt.DeletionBox();
    held(7);
    ASSERT_TRUE(boxSays(7)) << "a newer count updates the open box";
    EXPECT_EQ(prompt.DeletionBox(), first) << "one box at a time";
    EXPECT_EQ(prompt.ConfirmButton()->text(), QStringLiteral("确认删除"));
    EXPECT_EQ(prompt.DeclineButton()->text(), QStringLiteral("暂不删除"));
    EXPECT_TRUE(testing_support::Screenshot(prompt.DeletionBox(), "deletions-held"));
    prompt.ConfirmButton()->click();
    ASSERT_TRUE(engine.WaitFor(MSG_RELEASE_DELETIONS));
    EXPECT_EQ(prompt.DeletionBox(), nullptr);
    nothingPosted(1);

    held(2);
    ASSERT_TRUE(boxSays(2)) << "after a confirmation a new hold asks again";
    prompt.DeclineButton()->click();
    EXPECT_EQ(prompt.DeletionBox(), nullptr);
    held(2);
    nothingPosted(1);
    EXPECT_EQ(prompt.DeletionBox(), nullptr) << "the refused count does not ask again";

    held(4);
    ASSERT_TRUE(boxSays(4)) << "a changed count asks again";
    prompt.DeletionBox()->close();
    nothingPosted(1);
    EXPECT_EQ(prompt.DeletionBox(), nullptr) << "closing the box leaves them held";

    comm.RemoveListener(&owner);
    comm.StopMessageThread();
    thread.join();
}

// Deletions put off with "暂不删除" are not asked about again for the same count, so the tray
// menu keeps a row for them: it opens the box again, and once they are confirmed it goes.
TEST_F(TrayTest, DeletionsPutOffCanBeConfirmedLaterFromTheMenu) {
    tray_.SyncDirAdopted();
    CEngineWindow engine;
    CDeletionPrompt& prompt = tray_.Prompt();
    const QString waiting = QStringLiteral("有 3 个文件等待确认删除...");
    auto rows = [&] {
        tray_.RebuildPopup();
        return Texts(tray_.Popup());
    };
    EXPECT_FALSE(rows().contains(waiting)) << "nothing held";

    struct Way {
        const char* why;
        std::function<void()> putOff;
    };
    const Way ways[] = {
        {"暂不删除", [&] { prompt.DeclineButton()->click(); }},
        {"the box closed", [&] { prompt.DeletionBox()->close(); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.why);
        prompt.OnDeletionsHeld(3);
        ASSERT_NE(prompt.DeletionBox(), nullptr);
        EXPECT_FALSE(rows().contains(waiting)) << "the box is open";
        way.putOff();
        ASSERT_EQ(prompt.DeletionBox(), nullptr);
        prompt.OnDeletionsHeld(3);
        EXPECT_EQ(prompt.DeletionBox(), nullptr) << "the same count is not asked again";
        QStringList texts = rows();
        ASSERT_GE(texts.size(), 4);
        EXPECT_EQ(texts[3], waiting) << "right after the pause row";
        EXPECT_TRUE(testing_support::Screenshot(tray_.Popup(), "tray-menu-deletions-waiting"));
        tray_.Popup()->hide();

        Row(tray_.Popup(), waiting)->trigger();
        ASSERT_NE(prompt.DeletionBox(), nullptr) << "the row opens the box again";
        EXPECT_TRUE(prompt.DeletionBox()->text().startsWith(QStringLiteral("有 3 个文件将被删除")));
        EXPECT_FALSE(rows().contains(waiting));
    }
    prompt.ConfirmButton()->click();
    ASSERT_TRUE(engine.WaitFor(MSG_RELEASE_DELETIONS));
    EXPECT_EQ(Count(engine, MSG_RELEASE_DELETIONS), 1);
    EXPECT_FALSE(rows().contains(waiting)) << "confirmed: nothing waits";

    prompt.OnDeletionsHeld(5);
    prompt.DeclineButton()->click();
    prompt.OnDeletionsHeld(6);
    ASSERT_NE(prompt.DeletionBox(), nullptr) << "a changed count asks at once";
    prompt.DeclineButton()->click();
    EXPECT_TRUE(rows().contains(QStringLiteral("有 6 个文件等待确认删除...")));
}

TEST_F(TrayTest, RefusedSyncDirectoryAndConfirmingWithoutTheEngineAreSaid) {
    tray_.Listen();
    CCommunication& comm = CCommunication::Get();
    std::thread thread([&] { comm.MessageThread(); });
    ASSERT_TRUE(testing_support::WaitUntil([&] { return comm.MessageThreadId() != 0; }));
    CDeletionPrompt& prompt = tray_.Prompt();

    plat::PostThreadMessage(comm.MessageThreadId(), MSG_ERR_SYNCDIR_REFUSED, 0, 0);
    plat::PostThreadMessage(comm.MessageThreadId(), MSG_ERR_SYNCDIR_REFUSED, 0, 0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return prompt.RefusedBox() != nullptr && prompt.RefusedBox()->isVisible(); }, 5000));
    QTest::qWait(50);
    int boxes = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        boxes += qobject_cast<QMessageBox*>(widget) != nullptr && widget->isVisible() ? 1 : 0;
    }
    EXPECT_EQ(boxes, 1) << "a repeated refusal raises the same notice";
    EXPECT_TRUE(prompt.RefusedBox()->text().startsWith(QStringLiteral("无法同步此目录。")));
    EXPECT_EQ(prompt.RefusedBox()->windowTitle(), QStringLiteral("Corvena同步盘"));
    EXPECT_TRUE(testing_support::Screenshot(prompt.RefusedBox(), "syncdir-refused"));
    ASSERT_EQ(prompt.RefusedBox()->buttons().size(), 1);
    EXPECT_EQ(prompt.RefusedBox()->buttons()[0]->text(), QStringLiteral("确定"));
    prompt.RefusedBox()->accept();
    EXPECT_EQ(prompt.RefusedBox(), nullptr);

    plat::PostThreadMessage(comm.MessageThreadId(), MSG_DELETIONS_HELD, 5, 5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return prompt.DeletionBox() != nullptr; }, 5000));
    auto seen = AnswerNextMessageBox();
    prompt.ConfirmButton()->click();
    ASSERT_TRUE(seen->seen) << "no engine window: the confirmation cannot reach it";
    EXPECT_EQ(seen->text, QStringLiteral("同步程序未正常运行，无法继续此操作"));
    comm.StopMessageThread();
    thread.join();
}

TEST_F(TrayTest, ClicksOpenTheDirectoryAtMostOncePerSecond) {
    testing_support::ManualClock clock;
    int shown = 0;
    int opened = 0;
    QObject::connect(&tray_, &CTrayController::showMainWindowRequested, [&] { ++shown; });
    QObject::connect(&tray_, &CTrayController::openSyncDirRequested, [&] { ++opened; });
    tray_.OnActivated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(shown, 1) << "before the sync directory is set a click shows the main window";

    tray_.SyncDirAdopted();
    tray_.OnActivated(QSystemTrayIcon::Trigger);
    tray_.OnActivated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(opened, 1) << "a double click opens the directory once";
    plat::Clock::Advance(std::chrono::milliseconds(1000));
    tray_.OnActivated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(opened, 1) << "1000 ms after the last click is not enough";
    plat::Clock::Advance(std::chrono::milliseconds(1001));
    tray_.OnActivated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(opened, 2);
    tray_.OnActivated(QSystemTrayIcon::Context);
    EXPECT_EQ(opened, 2);
}

TEST(TrayIconTest, TheTrayIconIsMadeOnlyOnceTheServiceIsThere) {
    TestApp();
    bool present = false;
    CMyIcon icon([&] { return present; }, 60000);
    icon.Create(TrayIconInfo{L"联机中...", L"", 0, ICON_CONNECTING});
    QTest::qWait(300);
    EXPECT_EQ(icon.Tray(), nullptr);
    EXPECT_EQ(icon.FallbackWindow(), nullptr) << "still waiting";
    present = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return icon.Tray() != nullptr; }, 2000));
    EXPECT_EQ(icon.Tray()->toolTip(), QStringLiteral("联机中..."));
    EXPECT_EQ(icon.FallbackWindow(), nullptr);
}

// Also writes icons.png: each icon at 16 and 22 px, and the same pixels magnified four times,
// to judge how they read in a tray.
TEST(TrayIconTest, EveryIconIsDrawnAtTrayResolutions) {
    TestApp();
    QImage sheet(8 * 100, 4 * 22 + 60, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    int column = 0;
    for (int number : {ICON_MAIN, ICON_PAUSED, ICON_FRAME_1, ICON_FRAME_2, ICON_FRAME_3,
                       ICON_CONNECTING, ICON_FILE4G, ICON_SPACE_FULL}) {
        SCOPED_TRACE(number);
        QIcon icon = CMyIcon::IconFor(number);
        ASSERT_FALSE(icon.isNull());
        for (int size : {16, 22, 64}) {
            QImage image = icon.pixmap(size, size).toImage();
            ASSERT_EQ(image.width(), size);
            EXPECT_GT(qAlpha(image.pixel(size / 2, size / 8)), 0) << "the disc is drawn";
        }
        QImage small = icon.pixmap(16, 16).toImage();
        QImage tray = icon.pixmap(22, 22).toImage();
        painter.drawImage(column * 100 + 4, 4, small);
        painter.drawImage(column * 100 + 24, 4, tray);
        painter.drawImage(column * 100 + 4, 40, small.scaled(64, 64));
        painter.drawImage(column * 100 + 4, 40 + 66, tray.scaled(88, 88).copy(0, 0, 88, 42));
        ++column;
    }
    painter.end();
    QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
    EXPECT_TRUE(sheet.save(QStringLiteral(SCREENSHOT_DIR "/icons.png")));
}

}  // namespace
