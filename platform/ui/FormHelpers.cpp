#include "FormHelpers.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QVBoxLayout>

QLabel* BoldLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

void SetTextRed(QWidget* widget, bool red) {
    // A palette that sets no role of its own makes the widget inherit its parent's again.
    QPalette own;
    if (red)
        own.setColor(QPalette::WindowText, Qt::red);
    widget->setPalette(own);
}

QButtonGroup* RadioGroup(QGroupBox* box, const QStringList& items, const char* name,
                         bool vertical) {
    auto* group = new QButtonGroup(box);
    group->setObjectName(QString::fromLatin1(name));
    QBoxLayout* layout = vertical ? static_cast<QBoxLayout*>(new QVBoxLayout(box))
                                  : static_cast<QBoxLayout*>(new QHBoxLayout(box));
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], box);
        group->addButton(button, i);
        layout->addWidget(button);
    }
    return group;
}

void CheckRadio(QButtonGroup* group, int id) {
    if (QAbstractButton* button = group->button(id)) {
        button->setChecked(true);
        return;
    }
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons())
        button->setChecked(false);
    group->setExclusive(true);
}

QLineEdit* DigitsEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    return edit;
}

void ShowItems(QComboBox* box, const QStringList& items, int index) {
    const QSignalBlocker quiet(box);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i)
        shown << box->itemText(i);
    if (shown != items) {
        box->clear();
        box->addItems(items);
    }
    box->setCurrentIndex(index);
}

void SetFixedDialogBorder(QWidget* window) {
    const Qt::WindowFlags kind = window->windowFlags() & Qt::WindowType_Mask;
    const Qt::WindowFlags keep = window->windowFlags() & Qt::WindowStaysOnTopHint;
    window->setWindowFlags(kind | keep | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
}
