#include "client/TrayState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/SyncCodes.h"
#include "testing/TempHome.h"

namespace {

struct Tray {
    std::vector<TrayIconInfo> applied;
    CTrayState state{[this](const TrayIconInfo& look) { applied.push_back(look); }};
    Tray() {
        state.SetOnline(true);
        TrayIconInfo adopted;
        adopted.tooltip = L"Corvena";
        state.Show(adopted);
    }
};

TrayIconInfo Look(const std::wstring& tip, int icon, int animation = 0) {
    TrayIconInfo look;
    look.tooltip = tip;
    look.icon = icon;
    look.animation = animation;
    return look;
}

struct StateRow {
    const char* why;
    unsigned flags;
    int state;
    bool applies;
    TrayIconInfo look;
    int iconState;
};

TEST(TrayStateTest, EachStatusMessageGivesItsLook) {
    testing_support::TempHome home;
    const std::wstring full = L"\r\n空间已满，请释放空间，\r\n或联系企业管理员扩大空间容量";
    const std::wstring big = L"\r\n大于4G的文件未同步";
    const StateRow rows[] = {
        {"idle", 0x2, MSYNC_STATE_IDLE, true, Look(L"Corvena", ICON_MAIN), ICONSTATE_IDLE},
        {"idle, space full", 0x12, MSYNC_STATE_IDLE, true, Look(L"Corvena" + full, ICON_SPACE_FULL),
         ICONSTATE_IDLE},
        {"idle, file over 4 GB", 0x22, MSYNC_STATE_IDLE, true, Look(L"Corvena" + big, ICON_FILE4G),
         ICONSTATE_IDLE},
        {"idle, both: space text first, 4 GB icon", 48, MSYNC_STATE_IDLE, true,
         Look(L"Corvena" + full + big, ICON_FILE4G), ICONSTATE_IDLE},
        {"finding changes leaves the look", 0, MSYNC_STATE_FIND, false, {}, ICONSTATE_IDLE},
        {"syncing animates", 0, MSYNC_STATE_SYNCING, true,
         Look(L"Corvena\r\n正在同步...", ICON_MAIN, 1), ICONSTATE_SYNCING},
        {"synced", 0x2, MSYNC_STATE_SYNCED, true, Look(L"Corvena", ICON_MAIN), ICONSTATE_IDLE},
        {"synced, space full", 0x10, MSYNC_STATE_SYNCED, true,
         Look(L"Corvena" + full, ICON_SPACE_FULL), ICONSTATE_IDLE},
    };
    for (const StateRow& row : rows) {
        SCOPED_TRACE(row.why);
        Tray tray;
        tray.applied.clear();
        tray.state.OnSyncStateChange(row.flags, row.state);
        if (row.applies) {
            ASSERT_EQ(tray.applied.size(), 1u);
            EXPECT_EQ(tray.applied[0], row.look);
            EXPECT_EQ(tray.state.Current(), row.look);
        } else {
            EXPECT_TRUE(tray.applied.empty());
            EXPECT_EQ(tray.state.Current().tooltip, L"Corvena");
        }
        EXPECT_EQ(tray.state.IconState(), row.iconState);
    }
}

TEST(TrayStateTest, AnUnknownStateShowsThePlainLookWithoutMakingItCurrent) {
    testing_support::TempHome home;
    Tray tray;
    tray.state.OnSyncStateChange(0, MSYNC_STATE_SYNCING);
    tray.applied.clear();
    tray.state.OnSyncStateChange(0, 9);
    ASSERT_EQ(tray.applied.size(), 1u);
    EXPECT_EQ(tray.applied[0], Look(L"", ICON_MAIN));
    EXPECT_EQ(tray.state.Current().tooltip, L"Corvena\r\n正在同步...");
}

TEST(TrayStateTest, PauseHoldsTheLookAndResumeRestoresTheOneBeforeIt) {
    testing_support::TempHome home;
    Tray tray;
    tray.state.OnSyncStateChange(0, MSYNC_STATE_SYNCING);
    TrayIconInfo before = tray.state.Current();
    tray.state.SetStopIcon();
    EXPECT_EQ(tray.applied.back(), Look(L"Corvena\r\n同步已暂停", ICON_PAUSED));
    EXPECT_TRUE(tray.state.IsPaused());

    size_t count = tray.applied.size();
    tray.state.OnSyncStateChange(0, MSYNC_STATE_SYNCING);
    tray.state.OnSyncStateChange(0, MSYNC_STATE_SYNCED);
    tray.state.OnFile4G();
    EXPECT_EQ(tray.applied.size(), count) << "paused: status messages change nothing";

    tray.state.SetResuIcon();
    EXPECT_FALSE(tray.state.IsPaused());
    EXPECT_EQ(tray.applied.back(), before);
    EXPECT_EQ(tray.state.Current(), before);
}

TEST(TrayStateTest, NoticesShowOnlyOverAnIdleLook) {
    testing_support::TempHome home;
    Tray tray;
    tray.state.OnFile4G();
    EXPECT_EQ(tray.applied.back(), Look(L"Corvena\r\n大于4G的文件未同步", ICON_FILE4G));
    tray.state.OnSpaceFull();
    EXPECT_EQ(tray.applied.back().icon, ICON_SPACE_FULL);

    tray.state.OnSyncStateChange(0, MSYNC_STATE_SYNCING);
    size_t count = tray.applied.size();
    tray.state.OnFile4G();
    tray.state.OnSpaceFull();
    EXPECT_EQ(tray.applied.size(), count) << "syncing: the notices wait for the idle look";
}

TEST(TrayStateTest, OfflineHoldsTheLookAndComingBackRestoresTheOneAtTheFault) {
    testing_support::TempHome home;
    Tray tray;
    tray.state.OnSyncStateChange(0, MSYNC_STATE_SYNCING);
    TrayIconInfo before = tray.state.Current();
    TrayIconInfo fault = Look(L"Corvena\r\n网络已断开...", ICON_CONNECTING);
    tray.state.ShowFault(fault);
    tray.state.ShowFault(fault);
    EXPECT_FALSE(tray.state.IsOnline());
    EXPECT_EQ(tray.state.IconState(), ICONSTATE_FAULT);
    EXPECT_EQ(tray.applied.back(), fault);
    tray.state.OnSyncStateChange(0, MSYNC_STATE_SYNCED);
    EXPECT_EQ(tray.applied.back(), fault);

    EXPECT_TRUE(tray.state.BackOnline());
    EXPECT_EQ(tray.applied.back(), before) << "the second fault did not overwrite the saved look";
    EXPECT_EQ(tray.state.IconState(), ICONSTATE_IDLE);
    size_t count = tray.applied.size();
    EXPECT_FALSE(tray.state.BackOnline());
    EXPECT_EQ(tray.applied.size(), count);
}

}  // namespace
