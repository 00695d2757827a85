#pragma once
// Small helpers that the windows share for building their forms: named widgets, radio
// groups with ids 0, 1, ..., digits-only edits and lists refilled without signals.

#include <QString>
#include <QStringList>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;

// Gives widget its object name, by which tests and the window's code find it.
template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* BoldLabel(const QString& text, QWidget* parent);

// Red text, or again the text colour the widget inherits. A palette rather than a style
// sheet: the first style sheet brings the whole style sheet engine into the window.
void SetTextRed(QWidget* widget, bool red);

// A radio group laid out in box, whose buttons have the ids 0, 1, ...
QButtonGroup* RadioGroup(QGroupBox* box, const QStringList& items, const char* name,
                         bool vertical = true);
// Checks button id, or none for an id outside the group.
void CheckRadio(QButtonGroup* group, int id);

// An edit that takes the digits 0 to 9 only.
QLineEdit* DigitsEdit(QWidget* parent);

// A fixed dialog border: title and close button, no minimise or maximise button, whatever
// the window manager would add by default.
void SetFixedDialogBorder(QWidget* window);

// Shows items in box (refilled only when they differ) and selects index, without signals.
void ShowItems(QComboBox* box, const QStringList& items, int index);
