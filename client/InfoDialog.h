#pragma once
// The two small information windows: the about window (object name "Corvenaaboutme2014",
// "版本号:V2.0.1") and the up-to-date window ("Corvena警告错误2014", "当前已是最新版本V2.0.1").
// UI thread.

#include <QDialog>

class QLabel;

class CInfoDlg : public QDialog {
    Q_OBJECT
  public:
    static CInfoDlg* About(QWidget* parent = nullptr);
    static CInfoDlg* UpToDate(QWidget* parent = nullptr);

    QLabel* Text() const { return m_text; }

  private:
    CInfoDlg(const QString& objectName, const QString& title, const QString& text, QWidget* parent);
    QLabel* m_text;
};
