#pragma once
// The client's message boxes: one text, a caption, an OK button, modal. UI thread only.

#include <QString>

class QWidget;

void ShowMessage(QWidget* parent, const QString& text, const QString& caption = QString());

// The caption of most of the client's boxes.
extern const char* const kCaption;  // "Corvena同步盘"
