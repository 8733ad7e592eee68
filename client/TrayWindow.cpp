#include "client/TrayWindow.h"

#include <QCloseEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

CTrayWindow::CTrayWindow()
    : m_icon(new QLabel(this)), m_tip(new QLabel(this)), m_menuButton(new QPushButton(this)) {
    setWindowTitle(QStringLiteral("Corvena"));
    setWindowIcon(QIcon(QStringLiteral(":/img/icon128.svg")));
    auto* layout = new QHBoxLayout(this);
    m_icon->setFixedSize(32, 32);
    m_icon->installEventFilter(this);
    m_icon->setCursor(Qt::PointingHandCursor);
    layout->addWidget(m_icon, 0, Qt::AlignTop);
    layout->addWidget(m_tip, 1);
    m_menuButton->setText(QStringLiteral("菜单"));
    layout->addWidget(m_menuButton, 0, Qt::AlignTop);
    m_tip->setMinimumWidth(220);
    m_tip->setWordWrap(true);
}

void CTrayWindow::SetIcon(const QIcon& icon) {
    m_icon->setPixmap(icon.pixmap(32, 32));
}

void CTrayWindow::SetTip(const QString& tip) {
    m_tip->setText(tip);
    adjustSize();
}

void CTrayWindow::SetMenu(QMenu* menu) {
    m_menuButton->setMenu(menu);
}

bool CTrayWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_icon && event->type() == QEvent::MouseButtonRelease) {
        emit iconClicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CTrayWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    showMinimized();
}
