#include "AboutDialog.h"

#include "measure/MainFields.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {
const char* const kWebPage = "https://quvar.org";
}

TAboutDlg::TAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About"));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("<b>QUVAR</b><br>Photography and measurement "
                                            "through the microscope"));
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    auto* authors = new QLabel(QStringLiteral("Written by the QUVAR developers"));
    authors->setAlignment(Qt::AlignCenter);
    layout->addWidget(authors);
    VersionLabel = new QLabel;
    VersionLabel->setObjectName("VersionLabel");
    CreationLabel = new QLabel;
    CreationLabel->setObjectName("CreationLabel");
    WebLabel = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(kWebPage));
    WebLabel->setObjectName("WebLabel");
    WebLabel->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    for (QLabel* label : {VersionLabel, CreationLabel, WebLabel}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    connect(WebLabel, &QLabel::linkActivated, this, [this] { WebLabelClick(); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    FormCreate();
}

void TAboutDlg::FormCreate() {
    VersionLabel->setText(QuvarVersionText());
    CreationLabel->setText(QStringLiteral("April 2023"));
}

void TAboutDlg::WebLabelClick() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebPage)));
}
