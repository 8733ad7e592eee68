#pragma once
// Qt for the client's tests: one QApplication on the offscreen platform, the answer to the
// next message box (its text and caption recorded, then closed with OK), and screenshots of
// windows as PNG files under the build tree.

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <memory>

namespace testing_support {

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "corvena-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QApplication(argc, argv);
    }();
    return *app;
}

struct TBoxSeen {
    bool seen = false;
    QString text;
    QString caption;
};

// Looks every 5 ms for a message box, records it and presses OK, then stops looking; it also
// stops once the caller drops the result. Meant for a box opened by a click that the test
// makes right after this call.
inline std::shared_ptr<TBoxSeen> AnswerNextMessageBox() {
    auto result = std::make_shared<TBoxSeen>();
    std::weak_ptr<TBoxSeen> weak = result;
    auto* timer = new QTimer();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [weak, timer] {
        std::shared_ptr<TBoxSeen> seen = weak.lock();
        if (!seen) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box != nullptr && box->isVisible()) {
                seen->seen = true;
                seen->text = box->text();
                seen->caption = box->windowTitle();
                box->accept();
                timer->stop();
                timer->deleteLater();
                return;
            }
        }
    });
    timer->start();
    return result;
}

// Writes the window's picture to SCREENSHOT_DIR/name.png; true when written.
inline bool Screenshot(QWidget* widget, const QString& name) {
    QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
    widget->show();
    QApplication::processEvents();
    return widget->grab().save(QStringLiteral(SCREENSHOT_DIR "/") + name + ".png");
}

}  // namespace testing_support
