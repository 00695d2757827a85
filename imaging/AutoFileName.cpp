#include "AutoFileName.h"

#include "platform/DateFormat.h"
#include "platform/NumberFormat.h"
#include "settings/SettingsUtilities.h"

#include <QSet>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <iterator>

namespace {

// The extensions of save filters 2 to 6.
constexpr QLatin1String SaveFilterExtensions[] = {QLatin1String("bmp"), QLatin1String("jpg"),
                                                  QLatin1String("png"), QLatin1String("tif"),
                                                  QLatin1String("tiff")};
constexpr int FirstTypedSaveFilter = 2;

// Adds every number that name holds as "_" + the number with at least four digits. Such a
// text is the start of the digit run after an underscore: its first four digits, or a
// longer start that has no leading zero (10000 and up are written without one). Collecting
// them once keeps the search linear in the names however many numbers are taken.
void AddTakenNumbers(const QString& name, QSet<int>& taken) {
    for (qsizetype underscore = name.indexOf(u'_'); underscore >= 0;
         underscore = name.indexOf(u'_', underscore + 1)) {
        const qsizetype first = underscore + 1;
        int64_t value = 0;
        for (qsizetype i = first; i < name.size(); ++i) {
            const char16_t c = name[i].unicode();
            if (c < u'0' || c > u'9')
                break;
            value = value * 10 + (c - u'0');
            if (value > INT_MAX)
                break;
            const qsizetype digits = i - first + 1;
            if (digits == 4 || (digits > 4 && name[first] != u'0'))
                taken.insert(int(value));
        }
    }
}

QString AtLeastFourDigits(int number) {
    return QStringLiteral("%1").arg(std::max(number, 0), 4, 10, QChar(u'0'));
}

QString Sanitized(QString text) {
    SanitizeFileName(text);
    return text;
}

QString InFolder(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QString FileNamePart(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

int NextFreeFileNumber(const QString& folder) {
    QStringList names;
    ListFileNames(folder, names);
    QSet<int> taken;
    for (const QString& name : names)
        AddTakenNumbers(name, taken);
    int number = int(names.size());
    do
        ++number;
    while (taken.contains(number));
    return number;
}

QString MakeAutoFileName(const AutoNameInputs& inputs) {
    // Same text as the comment's SampleDate line, so a name and its comment agree.
    const auto date = [&] {
        return FormatDate(inputs.SampleDate.isValid() ? inputs.SampleDate : QDate(1899, 12, 30));
    };
    const QString counter = AtLeastFourDigits(inputs.FileCounter);
    const QString ext = u'.' + Sanitized(inputs.Extension);
    const QString sampleName = Sanitized(inputs.SampleName);

    QString name;
    switch (inputs.NamingScheme) {
    case 1:
        name = date() + u'_' + AtLeastFourDigits(NextFreeFileNumber(inputs.Folder));
        break;
    case 2:
        name = counter;
        break;
    case 3:
        name = sampleName + u'_' + counter;
        break;
    case 4:
        name = sampleName + u'_' + Sanitized(inputs.ObjectiveLabel) + u'_' + counter;
        break;
    default:
        name = date() + u'_' + Sanitized(FormatGeneral(inputs.Magnification)) +
               QStringLiteral("X_") + AtLeastFourDigits(NextFreeFileNumber(inputs.Folder));
        break;
    }
    return InFolder(inputs.Folder, name + ext);
}

int NextFileCounter(int counter) {
    if (counter == INT_MAX)
        return 0;
    return std::max(counter, 0) + 1;
}

int OpenFolderChoice(int tag, bool ctrl, bool alt) {
    if (tag == 1)
        return 1;
    if (tag == 2)
        return 2;
    if (ctrl)
        return 1;
    if (alt)
        return 2;
    return 0;
}

int SaveFolderChoice(int tag, bool ctrl, bool alt) {
    if (tag == 1 || tag == 2)
        return tag;
    if (alt)
        return 2;
    if (ctrl)
        return 1;
    return 0;
}

int NamingKindForChoice(int choice) {
    switch (choice) {
    case 1:
        return 2;
    case 2:
        return 3;
    default:
        return 0;
    }
}

QString NamingFolder(int kind, const QString& photoFolder, const QString& selectedFolder,
                     const QString& alternativeFolder) {
    if (kind == 2)
        return selectedFolder;
    if (kind == 3)
        return alternativeFolder.isEmpty() ? selectedFolder : alternativeFolder;
    return photoFolder;
}

bool NeedsNewAutoName(const QString& currentFileName, int imageState) {
    return currentFileName.isEmpty() || imageState == 1;
}

SaveProposal ProposeSave(int choice, int imageState, const QString& photoFolder,
                         const QString& selectedFolder, const QString& alternativeFolder) {
    // States 3 and 4 are images read from a file with a comment.
    const bool fromFile = imageState == 3 || imageState == 4;
    switch (choice) {
    case 1:
        return {ProposalKind::FolderAndName, 0, selectedFolder};
    case 2:
        if (fromFile)
            return {ProposalKind::FolderAndName, 0, alternativeFolder};
        return {ProposalKind::AutoName, 3, {}};
    default:
        if (fromFile)
            return {ProposalKind::AutoName, 0, {}};
        return {ProposalKind::FolderAndName, 0, photoFolder};
    }
}

QString ProposedSavePath(int choice, int imageState, const QString& currentFileName,
                         const QString& photoFolder, const QString& selectedFolder,
                         const QString& alternativeFolder,
                         const std::function<QString(int kind)>& makeAutoName) {
    const SaveProposal proposal =
        ProposeSave(choice, imageState, photoFolder, selectedFolder, alternativeFolder);
    if (proposal.Kind == ProposalKind::AutoName)
        return makeAutoName(proposal.NamingKind);
    return InFolder(proposal.Folder, FileNamePart(currentFileName));
}

QStringList OpenDialogFilters() {
    // Qt reads the patterns from the last parentheses, split at blanks: the original
    // captions' commas and "or" would become patterns of their own.
    return {
        QStringLiteral("All (*.jpg *.jpeg *.bmp *.png *.tif *.tiff)"),
        QStringLiteral("JPEG Image File (*.jpg *.jpeg)"),
        QStringLiteral("Bitmaps (*.bmp)"),
        QStringLiteral("Portable Network Graphics (*.png)"),
        QStringLiteral("TIF Image File (*.tif *.tiff)"),
    };
}

QStringList SaveDialogFilters() {
    return {
        QStringLiteral("All Files (*)"),
        QStringLiteral("Bitmap (*.bmp)"),
        QStringLiteral("JPG Image File (*.jpg)"),
        QStringLiteral("Portable Network Graphics (*.png)"),
        QStringLiteral("TIF Image file (*.tif)"),
        QStringLiteral("TIFF Image file (*.tiff)"),
    };
}

int SaveFilterIndexForExtension(const QString& extension, int current) {
    for (int i = 0; i < int(std::size(SaveFilterExtensions)); ++i)
        if (extension == SaveFilterExtensions[i])
            return FirstTypedSaveFilter + i;
    return current;
}

QString NameForSaveFilter(const QString& name, int filterIndex) {
    const int i = filterIndex - FirstTypedSaveFilter;
    if (i < 0 || i >= int(std::size(SaveFilterExtensions)))
        return name;
    const qsizetype nameStart = name.lastIndexOf(u'/') + 1;
    if (nameStart == name.size())
        return name; // no file name to give an extension
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString stem = dot > nameStart ? name.left(dot) : name;
    return stem + u'.' + SaveFilterExtensions[i];
}
