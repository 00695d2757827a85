#pragma once
// The about box: title, author, version and the program's web page.

#include "platform/ui/WindowOnFirstUse.h"

#include <QDialog>

class QLabel;

class TAboutDlg : public QDialog {
public:
    explicit TAboutDlg(QWidget* parent = nullptr);

    QLabel* VersionLabel;
    QLabel* CreationLabel;
    QLabel* WebLabel;

private:
    void FormCreate();
    void WebLabelClick();
};

inline TWindowOnFirstUse<TAboutDlg> AboutDlg;
