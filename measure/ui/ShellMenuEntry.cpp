#include "ShellMenuEntry.h"

#include "platform/SafeFile.h"

#include <exception>

namespace {

// Exec arguments are quoted; inside quotes the desktop-entry format escapes these four.
QString QuoteExecArgument(const QString& argument) {
    QString quoted;
    for (QChar ch : argument) {
        if (ch == u'"' || ch == u'`' || ch == u'$' || ch == u'\\')
            quoted += u'\\';
        quoted += ch;
    }
    // A literal "%" in Exec is written "%%".
    quoted.replace(u'%', QStringLiteral("%%"));
    return u'"' + quoted + u'"';
}

} // namespace

QString ShellMenuEntryFileName() {
    return QStringLiteral("quvar-edit-with.desktop");
}

QString ShellMenuEntryText(const QString& executablePath) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Edit with QUVAR\n"
                          "Exec=%1 %f\n"
                          "MimeType=image/jpeg;image/png;image/bmp;image/tiff;\n"
                          "NoDisplay=true\n"
                          "Terminal=false\n")
        .arg(QuoteExecArgument(executablePath));
}

bool WriteShellMenuEntry(const QString& programFolder, const QString& executablePath) {
    try {
        WriteFileSafely(programFolder + ShellMenuEntryFileName(),
                        ShellMenuEntryText(executablePath).toUtf8());
        return true;
    } catch (const std::exception&) {
        return false; // a read-only program folder is not an error
    }
}
