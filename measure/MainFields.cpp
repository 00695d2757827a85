#include "MainFields.h"

QString QuvarVersionText() {
    return QStringLiteral("QUVAR version 3.0.6");
}

TMainFields::TMainFields() : VersionText(QuvarVersionText()) {
    CopyrightText = QStringLiteral("Made with ") + VersionText;
    NewSampleDate = QDate::currentDate();
}
