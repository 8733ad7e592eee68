#include "client/TrayIcon.h"

#include <QMenu>

#include "client/TrayWindow.h"
#include "common/AfLog.h"

namespace {
constexpr int kLookIntervalMs = 250;
constexpr int kFrameIntervalMs = 300;
// The frame counter is process-wide, as the animation of a recreated icon carries on.
int g_frame = ICON_FRAME_1;
}  // namespace

CMyIcon::CMyIcon(std::function<bool()> trayPresent, int maxWaitMs, QObject* parent)
    : QObject(parent), m_trayPresent(std::move(trayPresent)), m_maxWaitMs(maxWaitMs) {
    m_frameTimer.setInterval(kFrameIntervalMs);
    connect(&m_frameTimer, &QTimer::timeout, this, &CMyIcon::NextFrame);
    m_waitTimer.setInterval(kLookIntervalMs);
    connect(&m_waitTimer, &QTimer::timeout, this, &CMyIcon::LookForTray);
    LookForTray();
}

CMyIcon::~CMyIcon() {
    delete m_window;
}

// The images live in ClientCore, a static library, whose resource initialiser the linker
// leaves out unless something calls it.
static void LoadImages() {
    Q_INIT_RESOURCE(img);
}

QIcon CMyIcon::IconFor(int number) {
    static const bool loaded = (LoadImages(), true);
    (void)loaded;
    return QIcon(QStringLiteral(":/img/icon%1.svg").arg(number));
}

QString CMyIcon::TipText(const std::wstring& tooltip) {
    QString text = QString::fromStdWString(tooltip);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

QWidget* CMyIcon::FallbackWindow() const {
    return m_window;
}

void CMyIcon::LookForTray() {
    if (m_tray != nullptr || m_window != nullptr) {
        m_waitTimer.stop();
        return;
    }
    if (m_trayPresent()) {
        m_waitTimer.stop();
        m_tray = new QSystemTrayIcon(this);
        connect(m_tray, &QSystemTrayIcon::activated, this, &CMyIcon::activated);
    } else if (m_waitedMs >= m_maxWaitMs) {
        m_waitTimer.stop();
        AfLog(4, "CorvenaDlg", "CMyIcon::LookForTray", 0,
              "no tray service after %d ms: showing a window instead", m_waitedMs);
        m_window = new CTrayWindow();
        connect(m_window, &CTrayWindow::iconClicked, this,
                [this] { emit activated(QSystemTrayIcon::Trigger); });
    } else {
        m_waitedMs += kLookIntervalMs;
        if (!m_waitTimer.isActive()) {
            m_waitTimer.start();
        }
        return;
    }
    if (m_menu) {
        SetMenu(m_menu);
    }
    if (!m_removed && m_shownIcon != 0) {
        ShowIcon(m_shownIcon);
        ShowTip(m_shownTip);
        if (m_tray != nullptr) {
            m_tray->show();
        } else {
            m_window->show();
        }
    }
}

void CMyIcon::ShowIcon(int number) {
    m_shownIcon = number;
    if (m_tray != nullptr) {
        m_tray->setIcon(IconFor(number));
    } else if (m_window != nullptr) {
        m_window->SetIcon(IconFor(number));
    }
}

void CMyIcon::ShowTip(const QString& tip) {
    m_shownTip = tip;
    if (m_tray != nullptr) {
        m_tray->setToolTip(tip);
    } else if (m_window != nullptr) {
        m_window->SetTip(tip);
    }
    emit tipShown(tip);
}

void CMyIcon::Create(const TrayIconInfo& look) {
    m_removed = false;
    if (look.callbackMessage != 0) {
        m_callbackMessage = look.callbackMessage;
    }
    ShowTip(TipText(look.tooltip));
    ShowIcon(look.icon);
    if (m_tray != nullptr) {
        m_tray->show();
    } else if (m_window != nullptr) {
        m_window->show();
    }
    m_last = look;
    if (look.animation == 1) {
        OnStart();
    }
}

void CMyIcon::Update(const TrayIconInfo& look) {
    ShowTip(TipText(look.tooltip));
    if (look.callbackMessage != 0) {
        m_callbackMessage = look.callbackMessage;
    }
    if (look.animation == 1) {
        OnStart();
    } else if (look.animation == 0) {
        OnStop();
        ShowIcon(look.icon);
    } else {
        OnStop();
    }
    m_last = look;
}

void CMyIcon::SetMenu(QMenu* menu) {
    m_menu = menu;
    if (m_tray != nullptr) {
        m_tray->setContextMenu(menu);
    } else if (m_window != nullptr) {
        m_window->SetMenu(menu);
    }
}

void CMyIcon::Remove() {
    OnStop();
    m_removed = true;
    if (m_tray != nullptr) {
        m_tray->hide();
    }
    if (m_window != nullptr) {
        m_window->hide();
    }
}

void CMyIcon::OnStart() {
    if (m_animating) {
        return;
    }
    AfLog(0, "MyIcon", "CMyIcon::OnStart", 0, "开启定时器");
    m_animating = true;
    m_frameTimer.start();
}

void CMyIcon::OnStop() {
    if (m_animating) {
        AfLog(0, "MyIcon", "CMyIcon::OnStop", 0, "结束定时器");
    }
    m_frameTimer.stop();
    m_animating = false;
}

void CMyIcon::NextFrame() {
    if (!m_animating) {
        return;
    }
    ShowIcon(g_frame);
    g_frame = g_frame == ICON_FRAME_3 ? ICON_FRAME_1 : g_frame + 1;
}
