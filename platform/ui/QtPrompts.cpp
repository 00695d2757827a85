#include "QtPrompts.h"

#include "platform/RegularFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QStyle>
#include <QVBoxLayout>

QString ForDisplay(QString text) {
    return text.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
}

namespace {

QWidget* Owner() {
    return QApplication::activeWindow();
}

QMessageBox::Icon ToQt(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// A preview of the image under the cursor, beside the file list; read scaled, so a large
// picture costs little.
void AddImagePreview(QFileDialog& dialog) {
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid)
        return;
    constexpr int side = 200;
    auto* preview = new QLabel(&dialog);
    preview->setFixedSize(side, side);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameShape(QFrame::StyledPanel);
    grid->addWidget(preview, 1, grid->columnCount(), 1, 1);
    const auto show = [preview](const QString& path) {
        // A FIFO or device under the cursor would stop the dialog in the reader.
        QFile file;
        if (!OpenRegularFile(file, path)) {
            preview->setPixmap(QPixmap());
            return;
        }
        QImageReader reader(&file); // the format told by the content
        const QSize size = reader.size();
        if (size.isValid())
            reader.setScaledSize(size.scaled(side, side, Qt::KeepAspectRatio));
        const QImage image = reader.read();
        preview->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
    };
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview, show);
    // The proposed file shows at once, before the user moves in the list.
    if (const QStringList chosen = dialog.selectedFiles(); !chosen.isEmpty())
        show(chosen.front());
}

// Our file dialogs are Qt's own, so that the name box and the filter behave the same on
// every desktop.
std::optional<FileDialogResult> RunFileDialog(const FileDialogRequest& request,
                                              QFileDialog::AcceptMode mode) {
    QFileDialog dialog(Owner(), request.caption, request.folder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    if (!request.filters.isEmpty()) {
        dialog.setNameFilters(request.filters);
        if (request.filterIndex >= 0 && request.filterIndex < request.filters.size())
            dialog.selectNameFilter(request.filters[request.filterIndex]);
    }
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    // The name box of Qt's own dialog, to rewrite the typed name when the filter changes.
    auto* nameBox = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (request.onFilterChange && nameBox)
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&request, nameBox](const QString& filter) {
                             nameBox->setText(request.onFilterChange(
                                 nameBox->text(), int(request.filters.indexOf(filter))));
                         });
    if (request.imagePreview)
        AddImagePreview(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return FileDialogResult{dialog.selectedFiles().front(),
                            int(request.filters.indexOf(dialog.selectedNameFilter()))};
}

} // namespace

void QtPrompts::Message(const QString& caption, const QString& text, MessageIcon icon) {
    QMessageBox box(ToQt(icon), caption, ForDisplay(text), QMessageBox::Ok, Owner());
    box.exec();
}

Answer QtPrompts::Ask(const QString& caption, const QString& text, AskButtons buttons) {
    QMessageBox::StandardButtons qtButtons = QMessageBox::Yes | QMessageBox::No;
    if (buttons == AskButtons::YesNoCancel)
        qtButtons |= QMessageBox::Cancel;
    if (buttons == AskButtons::OkCancel)
        qtButtons = QMessageBox::Ok | QMessageBox::Cancel;
    if (buttons == AskButtons::YesCancel)
        qtButtons = QMessageBox::Yes | QMessageBox::Cancel;
    QMessageBox box(QMessageBox::Question, caption, ForDisplay(text), qtButtons, Owner());
    switch (box.exec()) {
    case QMessageBox::Yes:
    case QMessageBox::Ok:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return buttons == AskButtons::YesNo ? Answer::No : Answer::Cancel;
    }
}

std::optional<QString> QtPrompts::Input(const QString& caption, const QString& prompt,
                                        const QString& value) {
    QInputDialog dialog(Owner());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(value);
    // The window manager cuts a caption wider than the window: leave room for it in bold
    // beside the title bar's icon and buttons.
    QFont bold = dialog.font();
    bold.setBold(true);
    constexpr int titleBarButtons_px = 120;
    int width_px = QFontMetrics(bold).horizontalAdvance(caption) + titleBarButtons_px;
    // The dialog's layout sets its size from its contents, so the text field carries it.
    if (const QLayout* layout = dialog.layout()) {
        const QMargins margins = layout->contentsMargins();
        width_px -= margins.left() + margins.right();
    }
    if (auto* edit = dialog.findChild<QLineEdit*>())
        edit->setMinimumWidth(width_px);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<FileDialogResult> QtPrompts::OpenFile(const FileDialogRequest& request) {
    return RunFileDialog(request, QFileDialog::AcceptOpen);
}

std::optional<FileDialogResult> QtPrompts::SaveFile(const FileDialogRequest& request) {
    return RunFileDialog(request, QFileDialog::AcceptSave);
}

QString QtPrompts::ChooseFolder(const QString& title, const QString& start, bool allowNewFolder) {
    QFileDialog dialog(Owner(), title, start);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::ReadOnly, !allowNewFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

bool QtPrompts::WarnWithDontShowAgain(const QString& text) {
    // A dialog of our own: a message box with a single OK button reports closing from
    // the title bar as OK, and that must not count.
    QDialog dialog(Owner());
    dialog.setWindowTitle(QStringLiteral("QUVAR Warning"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel;
    const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(new QLabel(ForDisplay(text)), 1);
    layout->addLayout(row);
    auto* check = new QCheckBox(QStringLiteral("Don't show this window again"));
    layout->addWidget(check);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    return dialog.exec() == QDialog::Accepted && check->isChecked();
}
