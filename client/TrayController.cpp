#include "client/TrayController.h"

#include <QMenu>
#include <QMetaObject>
#include <cstdlib>

#include "client/ClientSession.h"
#include "client/ClientStore.h"
#include "client/Communication.h"
#include "client/EngineLink.h"
#include "client/MessageBox.h"
#include "common/AfLog.h"
#include "store/SyncCodes.h"

CTrayController::CTrayController(std::function<bool()> trayPresent, int trayWaitMs, QObject* parent)
    : QObject(parent),
      m_icon(std::make_unique<CMyIcon>(std::move(trayPresent), trayWaitMs)),
      m_state([this](const TrayIconInfo& look) { ApplyLook(look); }),
      m_menu(&IsEngineWindowPresent),
      m_popup(new QMenu()) {
    m_icon->SetMenu(m_popup);
    connect(m_popup, &QMenu::aboutToShow, this, &CTrayController::RebuildPopup);
    connect(m_icon.get(), &CMyIcon::activated, this, &CTrayController::OnActivated);
    m_menu.SetHandler(ROW_PAUSE, [this] { PauseOrResume(); });
    m_menu.SetHandler(ROW_HELD_DELETIONS, [this] { m_prompt.Reopen(); });
    m_longPathTimer.setSingleShot(true);
    m_longPathTimer.setInterval(1000);
    connect(&m_longPathTimer, &QTimer::timeout, this, &CTrayController::ShowLongPathNotice);
    RebuildPopup();
}

CTrayController::~CTrayController() {
    CCommunication::Get().RemoveListener(this);
    m_icon->SetMenu(nullptr);
    delete m_popup;
}

void CTrayController::ApplyLook(const TrayIconInfo& look) {
    QMetaObject::invokeMethod(
        m_icon.get(), [icon = m_icon.get(), look] { icon->Update(look); }, Qt::AutoConnection);
}

void CTrayController::Listen() {
    CCommunication& comm = CCommunication::Get();
    comm.AddListener(
        MSG_SYNC_STATUS,
        [this](std::uint32_t flags, std::uint32_t state) {
            m_state.OnSyncStateChange(flags, static_cast<int>(state));
        },
        this);
    comm.AddListener(
        NOTICE_DETAIL_PAUSED, [this](std::uint32_t, std::uint32_t) { m_state.SetStopIcon(); },
        this);
    comm.AddListener(
        NOTICE_DETAIL_RESUMED, [this](std::uint32_t, std::uint32_t) { m_state.SetResuIcon(); },
        this);
    comm.AddListener(
        MSG_ERR_SPACE_FULL, [this](std::uint32_t, std::uint32_t) { m_state.OnSpaceFull(); }, this);
    comm.AddListener(
        MSG_ERR_FILE4G, [this](std::uint32_t, std::uint32_t) { m_state.OnFile4G(); }, this);
    comm.AddListener(
        MSG_DELETIONS_HELD,
        [this](std::uint32_t count, std::uint32_t) {
            QMetaObject::invokeMethod(
                this, [this, count] { m_prompt.OnDeletionsHeld(static_cast<int>(count)); },
                Qt::QueuedConnection);
        },
        this);
    comm.AddListener(
        MSG_ERR_SYNCDIR_REFUSED,
        [this](std::uint32_t, std::uint32_t) {
            QMetaObject::invokeMethod(
                this, [this] { m_prompt.OnSyncDirRefused(); }, Qt::QueuedConnection);
        },
        this);
    comm.AddListener(
        MSG_ERR_FILEPATH_TOOLONG,
        [this](std::uint32_t, std::uint32_t) {
            QMetaObject::invokeMethod(
                this, [this] { OnLongPath(); }, Qt::QueuedConnection);
        },
        this);
}

void CTrayController::ShowConnecting() {
    TrayIconInfo look;
    look.tooltip = TIP_CONNECTING;
    look.icon = ICON_CONNECTING;
    look.callbackMessage = TRAY_MSG_NO_SYNCDIR;
    m_state.SetOnline(true);
    m_icon->Create(look);
    m_state.Show(look);
}

void CTrayController::SyncDirAdopted() {
    m_bAdopted = true;
    TrayIconInfo look;
    look.tooltip = L"Corvena";
    look.icon = ICON_MAIN;
    look.callbackMessage = TRAY_MSG_SYNCDIR_SET;
    m_state.Show(look);
    RebuildPopup();
}

void CTrayController::SetSpaceText(const std::wstring& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_spaceText = text;
}

std::wstring CTrayController::SpaceText() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_spaceText;
}

ETrayPopup CTrayController::PopupInUse() const {
    if (!m_bAdopted) {
        return POPUP_NO_SYNCDIR;
    }
    return m_state.IsOnline() ? POPUP_FULL : POPUP_OFFLINE;
}

void CTrayController::RebuildPopup() {
    ETrayPopup popup = PopupInUse();
    m_popup->clear();
    for (const TrayMenuRow& row :
         CTrayMenu::Rows(popup, m_state.IsPaused(), SpaceText(), m_prompt.WaitingCount())) {
        if (row.separator) {
            m_popup->addSeparator();
            continue;
        }
        QAction* action = m_popup->addAction(QString::fromStdWString(row.text));
        if (row.withIcon) {
            action->setIcon(CMyIcon::IconFor(ICON_MAIN));
            action->setEnabled(false);
        }
        int id = row.commandId;
        connect(action, &QAction::triggered, this,
                [this, popup, id] { m_menu.OnCommand(popup, id); });
    }
}

void CTrayController::PauseOrResume() {
    if (!IsEngineWindowPresent()) {
        ShowMessage(nullptr, QStringLiteral("同步程序未正常运行，无法继续此操作"),
                    QString::fromUtf8(kCaption));
        return;
    }
    if (!m_state.IsPaused()) {
        m_state.SetStopIcon();
        PostToEngine(MSG_SETTING_PAUSESYNC, 0, 0);
        SetSystemConfig("Stop", L"1");
        CCommunication::Get().Dispatch(NOTICE_TRAY_PAUSED, 0, 0);
        m_state.SetIconState(ICONSTATE_PAUSED);
    } else {
        m_state.SetResuIcon();
        int upload = std::atoi(CClientSession::Get().UploadLimit().c_str());
        PostToEngine(MSG_SETTING_RESUMESYNC, static_cast<plat::WPARAM>(upload), 0);
        SetSystemConfig("Stop", L"0");
        CCommunication::Get().Dispatch(NOTICE_TRAY_RESUMED, 0, 0);
        m_state.SetIconState(ICONSTATE_IDLE);
    }
    RebuildPopup();
}

void CTrayController::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) {
        return;
    }
    if (!m_bAdopted) {
        emit showMainWindowRequested();
    } else if (m_debounce.Click()) {
        emit openSyncDirRequested();
    }
}

void CTrayController::OnLongPath() {
    ++m_longPaths;
    m_longPathTimer.start();
}

void CTrayController::ShowLongPathNotice() {
    int count = m_longPaths;
    m_longPaths = 0;
    AfLog(1, "CorvenaDlg", "CTrayController::ShowLongPathNotice", 0,
          "%d paths too long were left out", count);
    if (m_icon->Tray() != nullptr) {
        m_icon->Tray()->showMessage(QStringLiteral("Corvena"),
                                    QStringLiteral("%1 个文件的路径过长，未同步").arg(count),
                                    QSystemTrayIcon::Information, 5000);
    }
}
