#pragma once
// The small window that stands in for the tray icon on a desktop without a tray service: the
// icon, the tooltip text, and a button with the tray menu. UI thread only.

#include <QWidget>

class QLabel;
class QMenu;
class QPushButton;

class CTrayWindow : public QWidget {
    Q_OBJECT
  public:
    CTrayWindow();
    void SetIcon(const QIcon& icon);
    void SetTip(const QString& tip);
    void SetMenu(QMenu* menu);

  signals:
    void iconClicked();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The window is the client's only handle: closing it minimises it (the menu's "退出" ends
    // the client).
    void closeEvent(QCloseEvent* event) override;

  private:
    QLabel* m_icon;
    QLabel* m_tip;
    QPushButton* m_menuButton;
};
