#include "MainFields.h"

QString QuvarVersionText() {
    return QStringLiteral("QUVAR version 3.0.6");
}

TMainSettings StorableSettings(const TMainSettings& settings) {
    TMainSettings stored = settings;
    for (QString* folder : {&stored.SelectedFolder, &stored.AlternativeFolder})
        if (folder->contains(u'\n') || folder->contains(u'\r'))
            folder->clear();
    return stored;
}

TMainFields::TMainFields() : VersionText(QuvarVersionText()) {
    CopyrightText = QStringLiteral("Made with ") + VersionText;
    NewSampleDate = QDate::currentDate();
}
