#include "client/MessageBox.h"

#include <QMessageBox>

const char* const kCaption = "Corvena同步盘";

void ShowMessage(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}
