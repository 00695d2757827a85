#include "InputDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

TInputDialog::TInputDialog(QWidget* parent) : QDialog(parent) {
    // No caption: the caller sets one for each question.
    setObjectName(QStringLiteral("InputDialog"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    InfoLabel = new QLabel(this);
    InputText = new QLineEdit(this);
    InputText->setMinimumWidth(380);
    WordWrap = new QLineEdit(this);
    // Digits only, also for pasted text; nine digits keep the length a 32-bit number.
    WordWrap->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), this));
    WordWrap->setFixedWidth(60);
    Label2 = new QLabel(
        QStringLiteral("Wrap text after this amount of characters. 0 means no wrap."), this);
    OKbtn = new QPushButton(QStringLiteral("OK"), this);
    OKbtn->setDefault(true);
    Cancelbtn = new QPushButton(QStringLiteral("Cancel"), this);
    connect(OKbtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(Cancelbtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* wrapRow = new QHBoxLayout;
    wrapRow->addWidget(WordWrap);
    wrapRow->addWidget(Label2);
    wrapRow->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKbtn);
    buttons->addWidget(Cancelbtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(InfoLabel);
    layout->addWidget(InputText);
    layout->addLayout(wrapRow);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool TInputDialog::InputTextAndWrap(const QString& caption, const QString& prompt, QString& text,
                                    QString& wrap) {
    setWindowTitle(caption);
    InfoLabel->setText(prompt);
    InputText->setText(text);
    WordWrap->setText(wrap);
    InputText->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    text = InputText->text();
    wrap = WordWrap->text();
    return true;
}
