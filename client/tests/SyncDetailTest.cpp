#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>

#include "client/ClientStore.h"
#include "client/Communication.h"
#include "client/SyncDetailDialog.h"
#include "client/tests/EngineWindow.h"
#include "client/tests/QtTestSupport.h"
#include "store/SyncCodes.h"
#include "store/tablestore/DbBase.h"
#include "store/tablestore/SyncCompleted.h"
#include "store/tablestore/SyncFail.h"
#include "store/tablestore/SyncingTask.h"
#include "testing/TempHome.h"

namespace {

using testing_support::CEngineWindow;
using testing_support::TestApp;

TEST(SyncDetailTextTest, SizesAndReasons) {
    struct Row {
        const char* bytes;
        const wchar_t* text;
    };
    for (const Row& row :
         {Row{"999", L"1KB"}, Row{"0", L"1KB"}, Row{"", L"1KB"}, Row{"1500", L"2KB"},
          Row{"1234567890", L"1,234,568KB"}, Row{"999999", L"1,000KB"}}) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(CSyncDetailModel::SizeText(row.bytes), row.text);
    }
    const wchar_t* reasons[] = {L"异常错误", L"大于4G的文件", L"空间已满", L"文件被占用",
                                L"帐号禁用", L"异常错误",     L"异常错误"};
    for (int code = 0; code <= 6; ++code) {
        EXPECT_EQ(CSyncDetailModel::ReasonText(code), reasons[code]) << code;
    }
    EXPECT_EQ(CSyncDetailModel::ReasonText(-1), L"异常错误");
    EXPECT_EQ(CSyncDetailModel::DurationText(10000, 0), L"未知");
    EXPECT_EQ(CSyncDetailModel::DurationText(3000, 1000), L"3秒");
    EXPECT_EQ(CSyncDetailModel::DurationText(3725000, 1000), L"1小时2分5秒");
}

TComand Task(int key, const wchar_t* name, const char* size) {
    TComand task;
    task.iIdKey = key;
    task.iType = 1;
    task.iOper = OPER_ADD;
    task.strSize = size;
    task.tSyncFile.strName = name;
    task.tSyncFile.strRelativePath = std::wstring(L".\\") + name;
    task.tSyncFile.strFileSize = size;
    task.tSyncFile.strModifyTime = "2026-12-10 09:00:00";
    task.tSyncFile.iType = 1;
    return task;
}

class SyncDetailTest : public ::testing::Test {
  protected:
    SyncDetailTest() {
        TestApp();
        CDbBase::SetAccount("alice");
        CSyncingTask syncing;
        EXPECT_EQ(syncing.ConnectDB(), 0);
        for (const TComand& task : {Task(1, L"报告.docx", "2500"), Task(2, L"b.txt", "999"),
                                    Task(3, L"c.bin", "1500000")}) {
            EXPECT_EQ(syncing.AddTaskInfo(task), 0);
        }
        syncing.Disconnect();
        AddCompleted(Task(7, L"旧文件.txt", "12000"), 1);
        AddFail(Task(8, L"huge.iso", "5000000000"), 1, 1);
        SetSystemConfig("NetState", L"1");
    }
    static void AddCompleted(const TComand& task, int autoKey) {
        CSyncCompleted table;
        EXPECT_EQ(table.ConnectDB(), 0);
        SyncCompleted record;
        record.iCmpdAutoKey = autoKey;
        record.tComand = task;
        EXPECT_EQ(table.AddInfo(record), 0);
        table.Disconnect();
    }
    static void AddFail(const TComand& task, int autoKey, int errcode) {
        CSyncFail table;
        EXPECT_EQ(table.ConnectDB(), 0);
        SyncFail record;
        record.iFailAutoKey = autoKey;
        record.errcode = errcode;
        record.tComand = task;
        EXPECT_EQ(table.AddFailInfo(record), 0);
        table.Disconnect();
    }
    static void RemoveSyncing(int key) {
        CSyncingTask table;
        EXPECT_EQ(table.ConnectDB(), 0);
        EXPECT_EQ(table.DelByIdKey(key), 0);
        table.Disconnect();
    }
    static QStringList Column(QTableWidget* list, int column) {
        QStringList cells;
        for (int row = 0; row < list->rowCount(); ++row) {
            cells << list->item(row, column)->text();
        }
        return cells;
    }
    static void Deliver(unsigned id, std::uint32_t w, std::uint32_t l) {
        CCommunication::Get().Dispatch(id, w, l);
        QApplication::processEvents();
    }

    testing_support::TempHome home_;
    std::wstring dir_ = (home_.path() / "Corvena").wstring();
};

TEST_F(SyncDetailTest, ListsFollowCompletedAndFailedTasks) {
    CSyncDetailDlg dialog(dir_, MSYNC_STATE_SYNCING);
    EXPECT_EQ(Column(dialog.SyncingList(), 0), (QStringList{"报告.docx", "b.txt", "c.bin"}));
    EXPECT_EQ(Column(dialog.SyncingList(), 1), (QStringList{"2KB", "1KB", "1,500KB"}));
    EXPECT_EQ(Column(dialog.SyncingList(), 4), (QStringList{"等待中", "等待中", "等待中"}));
    EXPECT_EQ(Column(dialog.SyncingList(), 6), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(dialog.SyncingList()->item(0, 5)->text().toStdWString(), dir_ + L"/报告.docx");
    EXPECT_TRUE(dialog.SyncingList()->isColumnHidden(5));
    EXPECT_TRUE(dialog.SyncingList()->isColumnHidden(6));
    EXPECT_EQ(Column(dialog.CompletedList(), 0), QStringList{"旧文件.txt"});
    EXPECT_EQ(Column(dialog.FailedList(), 2), QStringList{"大于4G的文件"});
    EXPECT_EQ(dialog.StatusLabel()->text(), QStringLiteral("共3个文件需要同步，需耗时 未知"));
    EXPECT_EQ(dialog.CompletedCount()->text(), QStringLiteral("共1条同步记录"));
    dialog.show();
    EXPECT_TRUE(testing_support::Screenshot(&dialog, "detail-syncing"));

    Deliver(MSG_MEANSPEED, 500, 1000);
    EXPECT_EQ(dialog.StatusLabel()->text(), QStringLiteral("共3个文件需要同步，需耗时 25分4秒"));

    Deliver(MSG_TASK_COMPLETED, MSYNC_STATE_SYNCING, 99);
    EXPECT_EQ(dialog.SyncingList()->rowCount(), 3) << "no completed record: nothing changes";

    AddCompleted(Task(1, L"报告.docx", "2500"), 2);
    RemoveSyncing(1);
    // For this id the callbacks get the status first and the key second.
    Deliver(MSG_TASK_COMPLETED, MSYNC_STATE_SYNCING, 1);
    EXPECT_EQ(Column(dialog.SyncingList(), 0), (QStringList{"b.txt", "c.bin"}));
    EXPECT_EQ(Column(dialog.CompletedList(), 0), (QStringList{"旧文件.txt", "报告.docx"}));
    EXPECT_EQ(Column(dialog.CompletedList(), 3), (QStringList{"查看", "查看"}));
    EXPECT_EQ(dialog.CompletedCount()->text(), QStringLiteral("共2条同步记录"));

    AddFail(Task(2, L"b.txt", "999"), 2, 3);
    RemoveSyncing(2);
    Deliver(MSG_TASK_FAILED, 2, MSYNC_STATE_SYNCING);
    EXPECT_EQ(Column(dialog.FailedList(), 2), (QStringList{"大于4G的文件", "文件被占用"}));
    EXPECT_EQ(dialog.FailedCount()->text(), QStringLiteral("共2条同步记录"));
    EXPECT_TRUE(dialog.Progress()->isVisible());

    AddCompleted(Task(3, L"c.bin", "1500000"), 3);
    RemoveSyncing(3);
    Deliver(MSG_TASK_COMPLETED, MSYNC_STATE_SYNCED, 3);
    EXPECT_EQ(dialog.SyncingList()->rowCount(), 0);
    EXPECT_FALSE(dialog.Progress()->isVisible()) << "the last task hides the progress area";
    EXPECT_EQ(dialog.StatusLabel()->text(), QStringLiteral("所有同步已完成"));

    dialog.Pages()->setCurrentIndex(1);
    EXPECT_TRUE(testing_support::Screenshot(&dialog, "detail-completed"));
    dialog.Pages()->setCurrentIndex(2);
    EXPECT_TRUE(testing_support::Screenshot(&dialog, "detail-failed"));

    QTest::mouseClick(dialog.ClearButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.CompletedList()->rowCount(), 0);
    EXPECT_EQ(dialog.CompletedCount()->text(), QStringLiteral("共0条同步记录"));
    CSyncDetailDlg reopened(dir_, MSYNC_STATE_SYNCED);
    EXPECT_EQ(reopened.CompletedList()->rowCount(), 0) << "the store's list is empty too";
    EXPECT_EQ(reopened.FailedList()->rowCount(), 2);
}

TEST_F(SyncDetailTest, SpeedStatusAndPriorityMessages) {
    CSyncDetailDlg dialog(dir_, MSYNC_STATE_SYNCING);
    Deliver(MSG_SPEED, 5000, 1000);
    EXPECT_EQ(dialog.SyncingList()->item(0, 2)->text(), QStringLiteral("5.00KB/S"));
    Deliver(MSG_SPEED, 2000, 8000);
    EXPECT_EQ(dialog.SyncingList()->item(0, 2)->text(), QStringLiteral("3.00KB/S"));
    Deliver(MSG_SPEED, 100, 100);
    EXPECT_EQ(dialog.SyncingList()->item(0, 2)->text(), QStringLiteral("3.00KB/S"))
        << "a smaller counter shows nothing new";
    dialog.Tick();
    EXPECT_EQ(dialog.SyncingList()->item(0, 2)->text(), QStringLiteral("3.00KB/S"))
        << "reading the list again keeps the speed";

    Deliver(MSG_ADJUST_PRIORITY_RESULT, 3, 3);
    EXPECT_EQ(Column(dialog.SyncingList(), 6), (QStringList{"1", "3", "2"}));
    Deliver(MSG_ADJUST_PRIORITY_RESULT, 2, 0);
    EXPECT_EQ(Column(dialog.SyncingList(), 6), (QStringList{"1", "3", "2"}));

    Deliver(MSG_SYNC_STATUS, 0, MSYNC_STATE_FIND);
    EXPECT_EQ(dialog.StatusLabel()->text(), QStringLiteral("共3个文件需要同步，需耗时 未知"));
    Deliver(MSG_SYNC_STATUS, 0, MSYNC_STATE_SYNCED);
    EXPECT_EQ(dialog.SyncingList()->rowCount(), 0);
    EXPECT_EQ(dialog.StatusLabel()->text(), QStringLiteral("所有同步已完成"));
    Deliver(MSG_SYNC_STATUS, 0, MSYNC_STATE_SYNCING);
    EXPECT_EQ(dialog.SyncingList()->rowCount(), 3) << "syncing reads the list again";
}

TEST_F(SyncDetailTest, PauseAndStartButtonsActOnTheEngine) {
    CEngineWindow engine;
    std::vector<unsigned> notices;
    int owner = 0;
    for (unsigned id : {NOTICE_DETAIL_PAUSED, NOTICE_DETAIL_RESUMED}) {
        CCommunication::Get().AddListener(
            id, [&notices, id](std::uint32_t, std::uint32_t) { notices.push_back(id); }, &owner);
    }
    CSyncDetailDlg dialog(dir_, MSYNC_STATE_SYNCING);
    dialog.show();
    ASSERT_TRUE(engine.WaitFor(MSG_GET_SPEED)) << "loading the syncing list asks for the speed";
    EXPECT_TRUE(dialog.PauseButton()->isVisible());
    EXPECT_FALSE(dialog.StartButton()->isVisible());

    QTest::mouseClick(dialog.PauseButton(), Qt::LeftButton);
    ASSERT_TRUE(engine.WaitFor(MSG_SETTING_PAUSESYNC));
    EXPECT_EQ(GetSystemConfig("Stop"), L"1");
    EXPECT_TRUE(dialog.StartButton()->isVisible());

    SetSystemConfig("NetState", L"0");
    QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
    EXPECT_EQ(GetSystemConfig("Stop"), L"1") << "offline: start does nothing";
    EXPECT_TRUE(dialog.StartButton()->isVisible());

    SetSystemConfig("NetState", L"1");
    QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
    ASSERT_TRUE(engine.WaitFor(MSG_SETTING_RESUMESYNC));
    EXPECT_EQ(engine.Last(MSG_SETTING_RESUMESYNC).wParam, 0u);
    EXPECT_EQ(GetSystemConfig("Stop"), L"0");
    EXPECT_EQ(notices, (std::vector<unsigned>{NOTICE_DETAIL_PAUSED, NOTICE_DETAIL_RESUMED}));

    dialog.Tick();
    ASSERT_TRUE(engine.WaitFor(MSG_GET_MEANSPEED)) << "the tick asks for both speeds";

    Deliver(NOTICE_TRAY_PAUSED, 0, 0);
    EXPECT_TRUE(dialog.StartButton()->isVisible());
    Deliver(NOTICE_OFFLINE, 0, 0);
    EXPECT_FALSE(dialog.StartButton()->isVisible());
    EXPECT_TRUE(dialog.PauseButton()->isVisible());
    SetSystemConfig("Stop", L"1");
    Deliver(NOTICE_ONLINE, 0, 0);
    EXPECT_TRUE(dialog.StartButton()->isVisible());

    QTest::mouseClick(
        dialog.SyncingList()->viewport(), Qt::LeftButton, {},
        dialog.SyncingList()->visualItemRect(dialog.SyncingList()->item(2, 3)).center());
    ASSERT_TRUE(engine.WaitFor(MSG_ADJUST_PRIORITY));
    EXPECT_EQ(engine.Last(MSG_ADJUST_PRIORITY).wParam, 3u);
    CCommunication::Get().RemoveListener(&owner);
}

}  // namespace
