#include "OptionsDialog.h"

#include "CamViewMain.h"
#include "capture/RemoteCommands.h"
#include "capture/Snapshots.h"
#include "platform/Errors.h"
#include "platform/NumberFormat.h"
#include "platform/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/ui/QuvarApplication.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

int NumberBoxValue(const QString& text) {
    if (const auto value = ParseInteger(text.trimmed()))
        return *value;
    throw QuvarError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

int CaptureNrBoxValue(const QString& text) {
    const int value = NumberBoxValue(text);
    if (value < 0 || value > 99999)
        throw QuvarError(
            QStringLiteral("'%1' is not a snapshot number: enter 0 to 99999").arg(text));
    return value;
}

namespace {

// The "<Number>" box's character filter: digits and the editing keys pass.
bool NumberBoxKeyPasses(int key, const QString& text) {
    switch (key) {
    // Editing and moving keys; under X11 Delete carries the text 0x7f.
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return true;
    default:
        return text.isEmpty() || (text.size() == 1 && text[0] >= u'0' && text[0] <= u'9');
    }
}

} // namespace

TOptionsDlg::TOptionsDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Settings"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(604, 480);
    auto* layout = new QVBoxLayout(this);
    OptionsForm = new QTabWidget(this);
    layout->addWidget(OptionsForm, 1);
    BuildGeneralPage();
    BuildRemotePage();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TOptionsDlg::BuildGeneralPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);

    auto* save = new QGroupBox(QStringLiteral("Save Snapshot Image as"), page);
    auto* grid = new QGridLayout(save);
    PrefixEdit = new QLineEdit(QStringLiteral("Snapshot"), save);
    UseCurDevice = new QCheckBox(QStringLiteral("Use Current Device Name"), save);
    NumberEdit = new QLineEdit(save);
    NumberEdit->setMaxLength(5); // the counter runs to 99999
    ResetFilenr = new QCheckBox(QStringLiteral("Reset <Number> to 0 (zero)"), save);
    NameBox = new QComboBox(save);
    NameBox->addItems({"<Number>", "<Prefix> + <Number>", "<Prefix> + <Date> + <Number>",
                       "<Prefix> + <Date> + <Time> + <Number>"});
    ImageType = new QComboBox(save);
    ImageType->addItems({"bmp", "jpg", "png", "tif"});
    ExampleStr = new QLabel(QStringLiteral("Example:  "), save);
    SnapshotDirLabel = new QLabel(QStringLiteral("---"), save);
    grid->addWidget(new QLabel(QStringLiteral("<Prefix> :"), save), 0, 0);
    grid->addWidget(PrefixEdit, 0, 1);
    grid->addWidget(UseCurDevice, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("<Number>"), save), 1, 0);
    grid->addWidget(NumberEdit, 1, 1);
    grid->addWidget(ResetFilenr, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Select how images are saved with Snapshot: "), save),
                    2, 0, 1, 3);
    grid->addWidget(NameBox, 3, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Image type:"), save), 3, 2);
    grid->addWidget(ImageType, 3, 3);
    grid->addWidget(ExampleStr, 4, 0, 1, 4);
    auto* where = new QLabel(QStringLiteral("The snapshot will be saved in the QUVAR Photo Folder "
                                            "(see Preferences in the Main Window):"),
                             save);
    where->setWordWrap(true);
    where->setMinimumHeight(2 * where->fontMetrics().lineSpacing() +
                            2); // two lines, never squeezed
    grid->addWidget(where, 5, 0, 1, 4);
    grid->addWidget(SnapshotDirLabel, 6, 0, 1, 4);
    column->addWidget(save);

    SoundEnabledBox =
        new QCheckBox(QStringLiteral("Enable sound on Snapshot and ToClipboard action"), page);
    PanelRight = new QCheckBox(QStringLiteral("Show Panel on Righthand side"), page);
    column->addWidget(SoundEnabledBox);
    column->addWidget(PanelRight);

    auto* avi = new QGroupBox(QStringLiteral("AVI File Number"), page);
    avi->setObjectName(QStringLiteral("AVIFileNr"));
    auto* aviGrid = new QGridLayout(avi);
    AVIFileNrEdit = new QLineEdit(avi);
    ResetAVINr = new QCheckBox(QStringLiteral("Reset <Number> to 0 (zero)"), avi);
    AVIExampleStr = new QLabel(QStringLiteral("Example:  "), avi);
    aviGrid->addWidget(new QLabel(QStringLiteral("<Number>"), avi), 0, 0);
    aviGrid->addWidget(AVIFileNrEdit, 0, 1);
    aviGrid->addWidget(ResetAVINr, 0, 2);
    aviGrid->addWidget(AVIExampleStr, 1, 0, 1, 3);
    column->addWidget(avi);
    column->addStretch(1);
    OptionsForm->addTab(page, QStringLiteral("General Settings"));

    for (QLineEdit* edit : {PrefixEdit, NumberEdit, AVIFileNrEdit})
        edit->installEventFilter(this);
    connect(UseCurDevice, &QCheckBox::toggled, this, [this] {
        QuvarApplication::RunGuarded([this] {
            UseCurDeviceClick();
            return true;
        });
    });
    connect(ResetFilenr, &QCheckBox::toggled, this, [this] {
        QuvarApplication::RunGuarded([this] {
            ResetFilenrClick();
            return true;
        });
    });
    connect(ResetAVINr, &QCheckBox::toggled, this, [this] {
        QuvarApplication::RunGuarded([this] {
            ResetAVINrClick();
            return true;
        });
    });
    connect(ImageType, &QComboBox::currentIndexChanged, this, [this] { NameBoxChange(); });
    connect(NameBox, &QComboBox::currentIndexChanged, this, [this] { NameBoxChange(); });
    connect(NumberEdit, &QLineEdit::textChanged, this, [this] { NameBoxChange(); });
}

void TOptionsDlg::BuildRemotePage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    auto* warning = new QLabel(
        QStringLiteral("Do NOT change the settings if you don't know what you are doing!"), page);
    QFont bold = warning->font();
    bold.setBold(true);
    warning->setFont(bold);
    column->addWidget(warning);

    auto* hardware =
        new QGroupBox(QStringLiteral("Hardware triggered snapshot via COM-port"), page);
    auto* hw = new QGridLayout(hardware);
    UseTrigger = new QCheckBox(QStringLiteral("Use Hardware Trigger"), hardware);
    COMEdit = new QLineEdit(QStringLiteral("1"), hardware);
    COMEdit->setMaximumWidth(50);
    auto* lines = new QGroupBox(QStringLiteral("COM port input"), hardware);
    // Both rows always show: the fixed dialog squeezes what may shrink, never this group.
    lines->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* linesLayout = new QGridLayout(lines);
    COMGroup = new QButtonGroup(this);
    const QStringList items = {"CTS (pin 8)", "DSR (pin 6)", "DCD (pin 1)", "RI (pin 9)"};
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], lines);
        COMGroup->addButton(radio, i);
        linesLayout->addWidget(radio, i / 2, i % 2); // two by two: the page is not tall
    }
    DTRbox = new QCheckBox(QStringLiteral("Set DTR high"), hardware);
    RTSbox = new QCheckBox(QStringLiteral("Set RTS high"), hardware);
    auto* help =
        new QLabel(QStringList{"When you want to trigger the Snapshot",
                               "function with remote hardware, you can",
                               "use the COM port (even a version you", "can plug into a USB-port).",
                               "Select the input line you want to use.",
                               "Pin numbers refer to the D-connectors", "(9pin) commonly used.",
                               "The current level on the selected input ",
                               "will be assumed to be the non-active ", "level.",
                               "If you need it you can set DTR and/or ", "RTS."}
                       .join(QLatin1Char('\n')),
                   hardware);
    hw->addWidget(UseTrigger, 0, 0, 1, 2);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(COMEdit);
    portRow->addWidget(new QLabel(QStringLiteral("COM port number"), hardware), 1);
    hw->addLayout(portRow, 1, 0, 1, 2);
    hw->addWidget(lines, 2, 0, 1, 2);
    hw->addWidget(DTRbox, 3, 0);
    hw->addWidget(RTSbox, 3, 1);
    hw->addWidget(help, 0, 2, 5, 1);
    column->addWidget(hardware);

    auto* server =
        new QGroupBox(QStringLiteral("TCP/IP Server Settings to trigger a snapshot"), page);
    auto* sv = new QGridLayout(server);
    RunServer = new QCheckBox(QStringLiteral("Run Server"), server);
    TCPIPAddress = new QLabel(QStringLiteral("Server not running"), server);
    TCPIPport = new QLineEdit(QStringLiteral("2500"), server);
    TCPIPCommand = new QLineEdit(QStringLiteral("QUVAR_SNAP"), server);
    sv->addWidget(RunServer, 0, 0);
    sv->addWidget(TCPIPAddress, 0, 1, 1, 2);
    sv->addWidget(new QLabel(QStringLiteral("Port"), server), 1, 0);
    sv->addWidget(TCPIPport, 1, 1);
    sv->addWidget(
        new QLabel(QStringLiteral("Command that triggers a Snapshot (case sensitive!)"), server), 2,
        0, 1, 2);
    sv->addWidget(TCPIPCommand, 2, 2);
    sv->addWidget(
        new QLabel(QStringLiteral("The Server returns  the filename of the snapshot "), server), 3,
        0, 1, 3);
    column->addWidget(server);
    column->addStretch(1);
    OptionsForm->addTab(page, QStringLiteral("Remote"));
    connect(RunServer, &QCheckBox::toggled, this, [this] { RunServerClick(); });
}

TCamViewMain* TOptionsDlg::Owner() const {
    if (auto* owner = dynamic_cast<TCamViewMain*>(parentWidget()))
        return owner;
    return CamViewMain;
}

void TOptionsDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        QuvarApplication::RunGuarded([this] {
            FormShow();
            return true;
        });
}

void TOptionsDlg::FormShow() {
    TCamViewMain* owner = Owner();
    if (!owner)
        return;
    OptionsForm->setCurrentIndex(0);
    ImageType->setCurrentIndex(owner->ImageExtention);
    NumberEdit->setText(QString::number(owner->CaptureNr));
    NameBox->setCurrentIndex(owner->NameBoxIndex);
    PrefixEdit->setText(owner->Prefix);
    ExampleStr->setText(QStringLiteral("Example filename: ") + owner->Prefix + "_" +
                        FiveDigits(owner->CaptureNr) + ".jpg");
    SnapshotDirLabel->setText(owner->SnapshotFolder);
    UseCurDevice->setChecked(owner->UseDeviceName);
    AVIFileNrEdit->setText(QString::number(owner->AVINr));
    AVIExampleStr->setText(QStringLiteral("Example filename: Video_") + FiveDigits(owner->AVINr) +
                           ".avi");
    SoundEnabledBox->setChecked(owner->SoundEnabled);
    PanelRight->setChecked(owner->ShowPanelRight);
    CloseComPort(); // opened again only by OK with the trigger on
    UseTrigger->setChecked(owner->UseHardwareTrigger);
    COMEdit->setText(QString::number(owner->PortNumber));
    if (QAbstractButton* line = COMGroup->button(owner->PortLine))
        line->setChecked(true);
    RTSbox->setChecked(owner->PortHigh & 1);
    DTRbox->setChecked(owner->PortHigh & 2);
    {
        const QSignalBlocker once(RunServer); // the handler runs once, just below
        RunServer->setChecked(owner->ServerRunning);
    }
    RunServerClick();
    TCPIPport->setText(QString::number(owner->TCPIPPort));
    TCPIPCommand->setText(owner->TCPIPCommand);
}

void TOptionsDlg::UpdateExample() {
    ExampleStr->setText(QStringLiteral("Example filename: ") + PrefixEdit->text() + "_" +
                        FiveDigits(NumberBoxValue(NumberEdit->text())) + "." +
                        ImageType->currentText());
}

void TOptionsDlg::UpdateAviExample() {
    AVIExampleStr->setText(QStringLiteral("Example filename: Video_") +
                           FiveDigits(NumberBoxValue(AVIFileNrEdit->text())) + ".avi");
}

void TOptionsDlg::PrefixEditKeyUp() {
    UpdateExample();
}

void TOptionsDlg::NumberEditKeyUp() {
    if (!NumberEdit->text().isEmpty())
        UpdateExample();
}

void TOptionsDlg::AVIFileNrEditKeyUp() {
    UpdateAviExample();
}

void TOptionsDlg::ResetFilenrClick() {
    if (ResetFilenr->isChecked())
        NumberEdit->setText(QStringLiteral("0"));
    UpdateExample();
}

void TOptionsDlg::ResetAVINrClick() {
    if (ResetAVINr->isChecked())
        AVIFileNrEdit->setText(QStringLiteral("0"));
    UpdateAviExample();
}

void TOptionsDlg::UseCurDeviceClick() {
    TCamViewMain* owner = Owner();
    PrefixEdit->setText(owner ? owner->CurrentDevice : QString());
    UpdateExample();
}

void TOptionsDlg::RunServerClick() {
    if (!RunServer->isChecked()) {
        TCPIPAddress->setText(ServerAddressLabel(false, QString(), QString()));
        return;
    }
    QString hostName;
    QString address;
    QString error;
    if (!GetLocalHostAddress(hostName, address, error)) {
        QuvarApplication::ShowError(QuvarError(error));
        return;
    }
    TCPIPAddress->setText(ServerAddressLabel(true, address, hostName));
}

bool TOptionsDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched == NumberEdit) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!NumberBoxKeyPasses(key->key(), key->text())) {
            AppPrompts().Message(QStringLiteral("QUVAR"), QStringLiteral("Numbers only"),
                                 MessageIcon::Warning);
            return true; // dropped
        }
    }
    if (event->type() == QEvent::KeyRelease) {
        if (watched == PrefixEdit)
            QuvarApplication::RunGuarded([this] {
                PrefixEditKeyUp();
                return true;
            });
        else if (watched == NumberEdit)
            QuvarApplication::RunGuarded([this] {
                NumberEditKeyUp();
                return true;
            });
        else if (watched == AVIFileNrEdit)
            QuvarApplication::RunGuarded([this] {
                AVIFileNrEditKeyUp();
                return true;
            });
    }
    return QDialog::eventFilter(watched, event);
}

void TOptionsDlg::OKBtnClick() {
    setResult(0);
    try {
        ApplySettings();
    } catch (const std::exception& error) {
        QuvarApplication::ShowError(error); // the dialog stays open
        return;
    }
    accept();
}

void TOptionsDlg::ApplySettings() {
    TCamViewMain* owner = Owner();
    if (!owner)
        return;
    owner->ImageExtention = ImageType->currentIndex();
    owner->CaptureNr = ResetFilenr->isChecked() ? 0 : CaptureNrBoxValue(NumberEdit->text());
    owner->NameBoxIndex = NameBox->currentIndex();
    owner->Prefix = PrefixEdit->text();
    owner->UseDeviceName = UseCurDevice->isChecked();
    if (ResetAVINr->isChecked())
        owner->AVINr = 0;
    owner->SoundEnabled = SoundEnabledBox->isChecked();
    owner->ShowPanelRight = PanelRight->isChecked();
    owner->UseDeviceDefaultSettings = false;
    owner->PlaceLeftPanel();
    // The hardware trigger: the chosen line's level now counts as its idle level. Nothing
    // watches the line afterwards, and RTS and DTR are only stored.
    owner->UseHardwareTrigger = UseTrigger->isChecked();
    if (owner->UseHardwareTrigger) {
        owner->PortNumber = NumberBoxValue(COMEdit->text());
        owner->PortLine = std::max(0, COMGroup->checkedId());
        if (!OpenComPort(owner->PortNumber))
            AppPrompts().Message(QStringLiteral("QUVAR"),
                                 QStringLiteral("Cannot open port COM") +
                                     QString::number(owner->PortNumber),
                                 MessageIcon::Warning);
        owner->PortActive = !ReadPortLine(owner->PortLine);
        owner->PortHigh = (RTSbox->isChecked() ? 1 : 0) | (DTRbox->isChecked() ? 2 : 0);
    } else {
        CloseComPort();
    }
    // The server: a port box without a TCP port (1 to 65535) keeps the old port.
    owner->TCPIPCommand = TCPIPCommand->text();
    const auto port = ParseInteger(TCPIPport->text().trimmed());
    if (port && *port >= 1 && *port <= 65535)
        owner->TCPIPPort = *port;
    else
        TCPIPport->setText(QString::number(owner->TCPIPPort));
    owner->ServerRunning = RunServer->isChecked();
    owner->RestartServer();
}
