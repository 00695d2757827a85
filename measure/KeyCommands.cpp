#include "KeyCommands.h"

#include "measure/DisplaySizes.h"

#include <QFileInfo>

KeyAction KeyCommandFor(int key, Qt::KeyboardModifiers modifiers, int measureMode) {
    const Qt::KeyboardModifiers held =
        modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    switch (key) {
    case Qt::Key_Escape:
        return {KeyCommand::Escape};
    case Qt::Key_Space:
        return {KeyCommand::NextImage};
    case Qt::Key_Backspace:
        return {KeyCommand::PreviousImage};
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (measureMode == ModeFreeArea)
            return {KeyCommand::ResizeCropFrame, key};
        return {};
    default:
        break;
    }
    if (held != Qt::NoModifier)
        return {};
    switch (key) {
    case Qt::Key_1:
        return {KeyCommand::Redraw, 1};
    case Qt::Key_2:
        return {KeyCommand::Redraw, 2};
    case Qt::Key_P:
        return {KeyCommand::Preview};
    case Qt::Key_D:
        return {KeyCommand::ShowLastImage};
    case Qt::Key_Q:
        // Only a fixed-size frame has an orientation to swap.
        if (measureMode == ModeCropPixels || measureMode == ModeCropUnits)
            return {KeyCommand::SwapCrop};
        return {};
    default:
        break;
    }
    // Qt's key codes of letters and digits are their upper-case characters.
    const int item = FotoSizeItemForKey(key);
    if (item >= 0)
        return {KeyCommand::DisplaySize, item};
    return {};
}

BrowseStep NextInFolder(const TFileList& list) {
    const int count = int(list.Items.size());
    BrowseStep step{list.Tag};
    if (step.Tag < count)
        ++step.Tag;
    if (step.Tag >= 0 && step.Tag < count) {
        step.Load = list.Items[step.Tag];
    } else {
        step.Message = QStringLiteral("Reached last file in folder");
        --step.Tag;
    }
    return step;
}

BrowseStep PreviousInFolder(const TFileList& list) {
    const int count = int(list.Items.size());
    BrowseStep step{list.Tag};
    if (step.Tag >= 0)
        --step.Tag;
    if (step.Tag < 0) {
        step.Message = QStringLiteral("Reached first file in folder");
        ++step.Tag;
    } else if (step.Tag < count) {
        step.Load = list.Items[step.Tag];
    } else {
        // A position beyond the list (the folder shrank) goes back to its last entry.
        step.Tag = count - 1;
        if (step.Tag >= 0)
            step.Load = list.Items[step.Tag];
    }
    return step;
}

double CropFrameKeyStep(double calibration, const QString& lengthUnit) {
    if (lengthUnit == QStringLiteral("mil"))
        return calibration / 2.54;
    if (lengthUnit == QStringLiteral("mm"))
        return calibration / 100;
    return calibration;
}

DropDecision DecideDrop(const QList<QUrl>& urls) {
    if (urls.isEmpty())
        return {};
    if (urls.size() > 1)
        return {QString(), OnlyOneDropText};
    const QUrl& url = urls.front();
    // The whole path, however long: a cut one would name another file or none.
    const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
    if (path.isEmpty() || QFileInfo(path).isDir())
        return {QString(), NotAnImageText};
    return {path, QString()};
}
