#pragma once
// The tray icon (CMyIcon): shows a TrayIconInfo as a QSystemTrayIcon, with the three-frame
// animation while syncing. The QSystemTrayIcon is made only once the desktop's tray service is
// present (Qt would otherwise settle on "no tray" for the whole process): the icon waits for
// it, looking every 250 ms, and after the wait shows a small window with the same icon,
// tooltip and menu instead.
//
// Threads: UI thread only (the tray state reaches it through a queued call).

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>

#include "client/TrayState.h"

class QMenu;
class QLabel;
class QWidget;

class CMyIcon : public QObject {
    Q_OBJECT
  public:
    // trayPresent: whether the tray service is there (QSystemTrayIcon::isSystemTrayAvailable in
    // the program); maxWaitMs: how long to wait for it before the window is shown.
    CMyIcon(std::function<bool()> trayPresent, int maxWaitMs, QObject* parent = nullptr);
    ~CMyIcon() override;

    // The icon of a look's number, from the compiled-in resource.
    static QIcon IconFor(int number);
    // The tooltip as the desktop shows it (line breaks as "\n").
    static QString TipText(const std::wstring& tooltip);

    // Shows the look afresh (start-up, and when the tray service comes back).
    void Create(const TrayIconInfo& look);
    // Every other change: tooltip, callback message, then the animation field.
    void Update(const TrayIconInfo& look);
    // The popup menu of the icon or of the window.
    void SetMenu(QMenu* menu);
    // Removes the icon (close sequence).
    void Remove();

    TrayIconInfo Last() const { return m_last; }
    unsigned CallbackMessage() const { return m_callbackMessage; }
    bool IsAnimating() const { return m_animating; }
    int ShownIcon() const { return m_shownIcon; }
    QString ShownTip() const { return m_shownTip; }
    // The tray icon once the service is present, the window after the wait; null before.
    QSystemTrayIcon* Tray() const { return m_tray; }
    QWidget* FallbackWindow() const;

  signals:
    // A click on the icon (or on the window's icon).
    void activated(QSystemTrayIcon::ActivationReason reason);
    // Each tooltip as it is handed to the tray icon or the window, in order.
    void tipShown(const QString& tip);

  private:
    void LookForTray();
    void ShowIcon(int number);
    void ShowTip(const QString& tip);
    void OnStart();
    void OnStop();
    void NextFrame();

    std::function<bool()> m_trayPresent;
    int m_maxWaitMs;
    int m_waitedMs = 0;
    QTimer m_waitTimer;
    QTimer m_frameTimer;
    QSystemTrayIcon* m_tray = nullptr;
    class CTrayWindow* m_window = nullptr;
    QPointer<QMenu> m_menu;
    TrayIconInfo m_last;
    unsigned m_callbackMessage = 0;
    bool m_animating = false;
    bool m_removed = false;
    int m_shownIcon = 0;
    QString m_shownTip;
};
