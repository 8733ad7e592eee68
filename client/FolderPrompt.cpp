#include "client/FolderPrompt.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

FolderPrompts FolderPrompts::Desktop() {
    FolderPrompts prompts;
    prompts.chooseFolder = [](QWidget* parent) {
        return QFileDialog::getExistingDirectory(parent, QStringLiteral("选择你要同步的路径"));
    };
    prompts.useExisting = [](QWidget* parent, const QString& folder) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Corvena同步盘"),
                        QStringLiteral("文件夹 %1 已经存在，其中的文件将一起同步。").arg(folder),
                        QMessageBox::NoButton, parent);
        QPushButton* again = box.addButton(QStringLiteral("重新选择"), QMessageBox::AcceptRole);
        box.addButton(QStringLiteral("继续使用"), QMessageBox::RejectRole);
        box.exec();
        return box.clickedButton() != again && box.clickedButton() != nullptr;
    };
    return prompts;
}
