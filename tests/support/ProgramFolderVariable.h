#pragma once
// The program folder a test's windows read their settings from and write them to: while a
// ScopedProgramFolder lives, QUVAR_PROGRAM_FOLDER names its folder; afterwards the variable
// is as it was before, set or not.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

class ScopedProgramFolder {
public:
    explicit ScopedProgramFolder(const QString& folder)
        : wasSet_(qEnvironmentVariableIsSet(kVariable)), previous_(qgetenv(kVariable)) {
        qputenv(kVariable, QFile::encodeName(folder));
    }
    ~ScopedProgramFolder() {
        if (wasSet_)
            qputenv(kVariable, previous_);
        else
            qunsetenv(kVariable);
    }
    ScopedProgramFolder(const ScopedProgramFolder&) = delete;
    ScopedProgramFolder& operator=(const ScopedProgramFolder&) = delete;

private:
    static constexpr const char* kVariable = "QUVAR_PROGRAM_FOLDER";
    bool wasSet_;
    QByteArray previous_;
};
