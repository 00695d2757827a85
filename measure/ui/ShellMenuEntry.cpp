#include "ShellMenuEntry.h"

#include "platform/RegularFile.h"
#include "platform/SafeFile.h"

#include <QFile>

#include <exception>

namespace {

// Exec holds a quoted argument inside a string value: the quoting rule puts a backslash
// before each of " ` $ and the backslash itself, then the string rule escapes every
// backslash again and the control characters; a literal "$" reads "\\$" in the file.
QString QuoteExecArgument(const QString& argument) {
    QString quoted;
    for (QChar ch : argument) {
        if (ch == u'"' || ch == u'`' || ch == u'$' || ch == u'\\')
            quoted += u'\\';
        quoted += ch;
    }
    QString escaped;
    for (QChar ch : quoted) {
        if (ch == u'\\')
            escaped += QStringLiteral("\\\\");
        else if (ch == u'\n')
            escaped += QStringLiteral("\\n");
        else if (ch == u'\t')
            escaped += QStringLiteral("\\t");
        else if (ch == u'\r')
            escaped += QStringLiteral("\\r");
        else
            escaped += ch;
    }
    // A literal "%" in Exec is written "%%".
    escaped.replace(u'%', QStringLiteral("%%"));
    return u'"' + escaped + u'"';
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

namespace {

// The entry is there with these bytes.
bool AlreadyWritten(const QString& path, const QByteArray& bytes) {
    QFile file;
    return OpenRegularFile(file, path) && file.size() == bytes.size() && file.readAll() == bytes;
}

} // namespace

bool WriteShellMenuEntry(const QString& programFolder, const QString& executablePath) {
    const QString path = programFolder + ShellMenuEntryFileName();
    const QByteArray bytes = ShellMenuEntryText(executablePath).toUtf8();
    // Most starts find it as the last one left it: writing it again would only cost time.
    if (AlreadyWritten(path, bytes))
        return true;
    try {
        WriteFileSafely(path, bytes);
        return true;
    } catch (const std::exception&) {
        return false; // a read-only program folder is not an error
    }
}
