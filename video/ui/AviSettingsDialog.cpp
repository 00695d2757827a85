#include "AviSettingsDialog.h"

#include "platform/Prompts.h"
#include "settings/SettingsUtilities.h"
#include "video/AviWriter.h"
#include "video/RecordingPlan.h"
#include "video/RecordingSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <exception>

namespace {

QComboBox* EditableBox(const QStringList& items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    return box;
}

// An index outside the list leaves the box without selection.
void SelectByIndex(QComboBox* box, int index) {
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    if (box->currentIndex() < 0 && box->lineEdit())
        box->lineEdit()->clear();
}

// The integer of an edit, or the conversion error the user sees.
bool ReadInteger(const QLineEdit* edit, int& value) {
    bool ok = false;
    const int read = edit->text().trimmed().toInt(&ok);
    if (!ok) {
        AppPrompts().Message(QStringLiteral("QUVAR"),
                             QStringLiteral("'%1' is not a valid integer value").arg(edit->text()),
                             MessageIcon::Error);
        return false;
    }
    value = read;
    return true;
}

// A time limit or frame count: below 1 the recording would end at its first tick with a
// file of nothing, reported as made.
bool ReadCount(const QLineEdit* edit, int& value) {
    int read = 0;
    if (!ReadInteger(edit, read))
        return false;
    if (read < 1) {
        AppPrompts().Message(QStringLiteral("QUVAR"),
                             QStringLiteral("'%1' is too small: enter 1 or more").arg(edit->text()),
                             MessageIcon::Error);
        return false;
    }
    value = read;
    return true;
}

} // namespace

TAVIDialog::TAVIDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("AVI -Capture Settings "));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    VideoMode = new QTabWidget(this);
    NormalVideo = new QWidget(VideoMode);
    TimeLapse = new QWidget(VideoMode);
    VideoMode->addTab(NormalVideo, QStringLiteral("Normal Video"));
    VideoMode->addTab(TimeLapse, QStringLiteral("Time Lapse"));

    FPSBox = EditableBox(recording::FPSItems(), NormalVideo);
    NVTimeLimit = new QLineEdit(QStringLiteral("20"), NormalVideo);
    auto* normal = new QFormLayout(NormalVideo);
    normal->addRow(QStringLiteral("Frames per Second"), FPSBox);
    normal->addRow(QStringLiteral("Time limit in seconds"), NVTimeLimit);

    IntervalBox = EditableBox(recording::IntervalItems(), TimeLapse);
    TimeBox = EditableBox(recording::TimeUnitItems(), TimeLapse);
    TLTimeLimit = new QLineEdit(QStringLiteral("20"), TimeLapse);
    TLFPSBox = EditableBox(recording::TLFPSItems(), TimeLapse);
    auto* interval = new QHBoxLayout;
    interval->addWidget(IntervalBox);
    interval->addWidget(TimeBox);
    auto* playback = new QHBoxLayout;
    playback->addWidget(TLFPSBox);
    playback->addWidget(new QLabel(QStringLiteral("Frames per Second"), TimeLapse));
    auto* lapse = new QFormLayout(TimeLapse);
    lapse->addRow(QStringLiteral("Capture interval"), interval);
    lapse->addRow(QStringLiteral("Total number of frames to capture"), TLTimeLimit);
    lapse->addRow(QStringLiteral("Playback"), playback);

    Compressorbox = EditableBox({recording::NoCompressionItem()}, this);
    OpenCompressorDialog =
        new QPushButton(QStringLiteral("Open compressor dialog (when available)"), this);
    OnTheFlyCB = new QCheckBox(QStringLiteral("On-the-fly Compression"), this);
    SizeBox = EditableBox(recording::SizeItems(), this);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setPlainText(QStringLiteral("The routines used are not very suitable for recording\n"
                                       "video's with large frames and high frame rates.\n"
                                       "So, select a low framerate when recording a video\n"
                                       "with frames larger than 640x480"));
    Memo1->setFixedHeight(Memo1->fontMetrics().lineSpacing() * 5 + 8);
    AVIDirEdit = new QLineEdit(this);
    // Room for a folder of usual depth, such as the default under the home folder.
    AVIDirEdit->setMinimumWidth(AVIDirEdit->fontMetrics().averageCharWidth() * 60);
    SelectAVIDir = new QPushButton(QStringLiteral("..."), this);
    SelectAVIDir->setFixedWidth(
        SelectAVIDir->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
    FileNameEdit = new QLineEdit(this);
    FileNameEdit->setReadOnly(true);
    Startbtn = new QPushButton(QStringLiteral("Start Capturing"), this);
    Cancelbtn = new QPushButton(QStringLiteral("Cancel"), this);
    Startbtn->setDefault(true);

    auto* folder = new QHBoxLayout;
    folder->addWidget(AVIDirEdit);
    folder->addWidget(SelectAVIDir);
    auto* settings = new QFormLayout;
    settings->addRow(Compressorbox);
    settings->addRow(OpenCompressorDialog);
    settings->addRow(OnTheFlyCB);
    settings->addRow(QStringLiteral("Video Size"), SizeBox);
    settings->addRow(Memo1);
    settings->addRow(QStringLiteral("AVI Directory"), folder);
    settings->addRow(QStringLiteral("Filename"), FileNameEdit);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Startbtn);
    buttons->addWidget(Cancelbtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(VideoMode);
    layout->addLayout(settings);
    layout->addLayout(buttons);

    connect(Compressorbox, &QComboBox::activated, this, [this] {
        try {
            CompressorboxChange();
        } catch (const std::exception& e) {
            AppPrompts().Message(QStringLiteral("QUVAR"), QString::fromUtf8(e.what()),
                                 MessageIcon::Error);
        }
    });
    connect(OpenCompressorDialog, &QPushButton::clicked, this,
            &TAVIDialog::OpenCompressorDialogClick);
    connect(Startbtn, &QPushButton::clicked, this, &TAVIDialog::StartbtnClick);
    connect(Cancelbtn, &QPushButton::clicked, this, &TAVIDialog::CancelbtnClick);
    connect(SelectAVIDir, &QPushButton::clicked, this, &TAVIDialog::SelectAVIDirClick);
    connect(VideoMode, &QTabWidget::tabBarClicked, this, &TAVIDialog::NormalVideoClick);
}

void TAVIDialog::showEvent(QShowEvent* event) {
    FormShow();
    FixSize();
    if (parentWidget())
        move(parentWidget()->window()->frameGeometry().center() - rect().center());
    QDialog::showEvent(event);
}

void TAVIDialog::FixSize() {
    if (sizeFixed_)
        return;
    // A fixed dialog border, sized once for the larger page: a page not yet shown reports
    // another size until it is polished, and a size that followed the pages changed at the
    // first switch between them.
    for (QWidget* child : findChildren<QWidget*>())
        child->ensurePolished();
    layout()->activate();
    setFixedSize(sizeHint().expandedTo(minimumSizeHint()));
    sizeFixed_ = true;
}

int TAVIDialog::SelectedIndex(const QComboBox* box) {
    const int index = box->currentIndex();
    return index >= 0 && box->currentText() == box->itemText(index) ? index : -1;
}

void TAVIDialog::UpdateCompressorList() {
    const int remembered = Compressorbox->currentIndex();
    QStringList list;
    if (AVIWriter)
        AVIWriter->GetCompressorList(list);
    else
        list << recording::NoCompressionItem();
    const QSignalBlocker quiet(Compressorbox);
    Compressorbox->clear();
    Compressorbox->addItems(list);
    SelectByIndex(Compressorbox, remembered >= 0 && remembered < list.size() ? remembered : 1);
}

void TAVIDialog::FormShow() {
    UpdateCompressorList();
    if (!Fields)
        return;
    VideoMode->setCurrentWidget(Fields->UseNormalVideo ? NormalVideo : TimeLapse);
    const QSignalBlocker quiet(Compressorbox);
    SelectByIndex(TimeBox, Fields->TimeUnits);
    SelectByIndex(Compressorbox, Fields->CompressorInUse);
    SelectByIndex(SizeBox, Fields->VideoSize);
    SelectByIndex(FPSBox, Fields->NVFPS);
    SelectByIndex(TLFPSBox, Fields->TLFPS);
    SelectByIndex(IntervalBox, Fields->TLInterval);
    OnTheFlyCB->setChecked(OnTheFly);
    NVTimeLimit->setText(QString::number(Fields->NVTimeLimit));
    TLTimeLimit->setText(QString::number(Fields->TLTimeLimit));
    AVIDirEdit->setText(Fields->AVIDir);
    AVIDirEdit->setCursorPosition(0); // a folder too long for the box shows its start
    // A name already taken in the folder moves on to the next free number.
    proposalDate_ = Today();
    proposedAVINr_ = FreeAVINr(Fields->AVIDir, proposalDate_, Fields->AVINr);
    FileNameEdit->setText(ProposedVideoName(proposalDate_, proposedAVINr_));
}

void TAVIDialog::CompressorboxChange() {
    if (!AVIWriter)
        return;
    const int index = SelectedIndex(Compressorbox);
    AVIWriter->SetCompressor(index < 1 ? QString() : Compressorbox->itemText(index).left(4));
}

void TAVIDialog::OpenCompressorDialogClick() {
    if (AVIWriter && SelectedIndex(Compressorbox) > 0)
        AVIWriter->ShowCompressorDialog(this);
}

void TAVIDialog::StartbtnClick() {
    if (!Fields)
        return;
    Fields->UseNormalVideo = VideoMode->currentWidget() == NormalVideo;
    Fields->TimeUnits = SelectedIndex(TimeBox);
    Fields->CompressorInUse = SelectedIndex(Compressorbox);
    OnTheFly = OnTheFlyCB->isChecked();
    Fields->VideoSize = SelectedIndex(SizeBox);
    const QSize size = AviSizeForIndex(Fields->VideoSize);
    AVIWidth = size.width();
    AVIHeight = size.height();
    Fields->NVFPS = SelectedIndex(FPSBox);
    Fields->TLFPS = SelectedIndex(TLFPSBox);
    // A bad number leaves the fields so far written and the dialog open.
    if (!ReadCount(NVTimeLimit, Fields->NVTimeLimit) ||
        !ReadCount(TLTimeLimit, Fields->TLTimeLimit))
        return;
    Fields->TLInterval = SelectedIndex(IntervalBox);
    // An empty folder would put the frame folder at the root of the file system.
    QString folder = AVIDirEdit->text().trimmed();
    if (folder.isEmpty()) {
        folder = DefaultAviFolder();
        if (folder.isEmpty()) {
            AppPrompts().Message(QStringLiteral("QUVAR"),
                                 QStringLiteral("Choose a folder to store your videos."),
                                 MessageIcon::Error);
            return;
        }
        AVIDirEdit->setText(folder);
    }
    Fields->AVIDir = folder;
    if (!proposalDate_.isValid()) { // started without having been shown
        proposalDate_ = Today();
        proposedAVINr_ = Fields->AVINr;
    }
    // The folder may have changed since the proposal: it must name no file there either.
    proposedAVINr_ = FreeAVINr(folder, proposalDate_, proposedAVINr_);
    FileNameEdit->setText(ProposedVideoName(proposalDate_, proposedAVINr_));
    Fields->AVINr = NextAVINr(proposedAVINr_);
    StartStopTag = 1;
    accept();
}

void TAVIDialog::CancelbtnClick() {
    StartStopTag = 0;
    reject();
}

void TAVIDialog::SelectAVIDirClick() {
    QString start = Fields ? Fields->AVIDir : QString();
    if (start.isEmpty() || !QFileInfo(start).isDir()) {
        const QString pictures = GetSpecialFolder(SpecialFolderMyPictures, true);
        start = QString();
        if (!pictures.isEmpty() && QDir(pictures).mkpath(QStringLiteral("QUVAR Videos")))
            start = QDir(pictures).filePath(QStringLiteral("QUVAR Videos"));
    }
    const QString chosen =
        BrowseForFolder(QStringLiteral("Select a directory to store your videos"), start, true);
    // A cancelled chooser keeps the folder shown.
    if (!chosen.isEmpty()) {
        AVIDirEdit->setText(chosen);
        AVIDirEdit->setCursorPosition(0);
    }
}
