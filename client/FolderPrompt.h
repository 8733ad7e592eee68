#pragma once
// The choices of a proposed sync directory shared by the first-run page and the settings
// dialog: the folder browser ("选择你要同步的路径") and the prompt shown when the proposed
// folder exists already. Tests replace both with answers of their own. UI thread only.

#include <QString>
#include <functional>

class QWidget;

struct FolderPrompts {
    // The chosen folder, or empty when the browser was cancelled.
    std::function<QString(QWidget* parent)> chooseFolder;
    // The proposed folder exists: true to use it anyway, false to choose again.
    std::function<bool(QWidget* parent, const QString& folder)> useExisting;

    // The file dialog and a question box.
    static FolderPrompts Desktop();
};
