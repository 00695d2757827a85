#include "PreferencesDialog.h"

#include "settings/MainSettings.h"
#include "settings/PrefFolders.h"

#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "platform/Prompts.h"
#include "platform/ui/FormHelpers.h"
#include "platform/ui/QuvarApplication.h"
#include "settings/ui/ColourControls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int ClientWidth = 628;
constexpr int ClientHeight = 480;

} // namespace

TPrefDlg::TPrefDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PrefDlg"));
    setWindowTitle(QStringLiteral("Preferences"));
    SetFixedDialogBorder(this);
    setFixedSize(ClientWidth, ClientHeight);

    Prefs = Named(new QTabWidget(this), "Prefs");
    TabSheet2 = Named(BuildImageCapturePage(), "TabSheet2");
    TabSheet1 = Named(BuildMicroscopePage(), "TabSheet1");
    TabSheet3 = Named(BuildMeasuringPage(), "TabSheet3");
    TabSheet5 = Named(BuildLabelsPage(), "TabSheet5");
    TabSheet4 = Named(BuildMiscellaneousPage(), "TabSheet4");
    Prefs->addTab(TabSheet2, QStringLiteral("Image Capture"));
    Prefs->addTab(TabSheet1, QStringLiteral("Microscope and Camera"));
    Prefs->addTab(TabSheet3, QStringLiteral("Measuring and Tools"));
    Prefs->addTab(TabSheet5, QStringLiteral("Labels"));
    Prefs->addTab(TabSheet4, QStringLiteral("Miscellaneous"));

    OKBtn = Named(new QPushButton(QStringLiteral("OK"), this), "OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = Named(new QPushButton(QStringLiteral("Cancel"), this), "CancelBtn");
    LoadSettings = Named(new QPushButton(QStringLiteral("Load Settings"), this), "LoadSettings");
    SaveSettings = Named(new QPushButton(QStringLiteral("Save Settings"), this), "SaveSettings");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LoadSettings);
    buttons->addWidget(SaveSettings);
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Prefs);
    layout->addLayout(buttons);

    connect(Prefs, &QTabWidget::currentChanged, this, [this] { PrefsChange(); });
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(LoadSettings, &QPushButton::clicked, this, [this] { LoadSettingsClick(); });
    connect(SaveSettings, &QPushButton::clicked, this, [this] { SaveSettingsClick(); });

    connect(SelectPhotoDirBtn, &QPushButton::clicked, this, [this] { SelectPhotoDirBtnClick(2); });
    connect(CreatePhotoFolder, &QPushButton::clicked, this, [this] { SelectPhotoDirBtnClick(1); });
    connect(CreateDefaultFolder, &QPushButton::clicked, this,
            [this] { CreateDefaultFolderClick(); });
    connect(ImageTempButton, &QPushButton::clicked, this, [this] { ImageTempButtonClick(); });
    for (int i = 0; i < NamingSchemeCount; ++i)
        connect(CB[i], &QCheckBox::clicked, this, [this, i] { CBClick(i); });
    connect(ResetFileNr, &QPushButton::clicked, this, [this] { ResetFilenrClick(); });
    CaptureNrEdit->installEventFilter(this);
    FromCameraEdit->installEventFilter(this);
    PhotoDirEdit->installEventFilter(this);
    MeasureUnits->installEventFilter(this);

    connect(ScalePercentage, &QCheckBox::clicked, this, [this] { ScalePercentageClick(); });
    connect(ScaleWidthUpDown, &QSpinBox::valueChanged, this, [this] { ScaleWidthUpDownClick(); });
    connect(ScaleMarginUpDown, &QSpinBox::valueChanged, this, [this] { ScaleMarginUpDownClick(); });
    connect(ScaleTextHeightUpDown, &QSpinBox::valueChanged, this,
            [this] { ScaleTextHeightUpDownClick(); });
    connect(rbBlack, &QRadioButton::clicked, this, [this] { ScaleColorClick(); });
    connect(rbWhite, &QRadioButton::clicked, this, [this] { ScaleColorClick(); });
    connect(MeasureUnits, &QComboBox::currentTextChanged, this, [this] { MeasureUnitsChange(); });
    connect(SelectSMFont, &QPushButton::clicked, this, [this] { SelectSMFontClick(); });
    connect(SelectLabelFont, &QPushButton::clicked, this, [this] { SelectLabelFontClick(); });
    connect(SelectCopyrightFont, &QPushButton::clicked, this,
            [this] { SelectCopyrightFontClick(); });

    connect(NameBox, &QComboBox::activated, this,
            [this](int index) { Handle([index](PrefMCSystems& w) { w.NameBoxClick(index); }); });
    connect(DefaultMCsystembox, &QComboBox::activated, this, [this](int index) {
        Handle([index](PrefMCSystems& w) { w.DefaultMCsystemboxChange(index); });
    });
    connect(CamIsDSLR, &QCheckBox::clicked, this,
            [this](bool on) { Handle([on](PrefMCSystems& w) { w.CamIsDSLRClick(on); }); });
    const auto button = [this](QAbstractButton* b, void (PrefMCSystems::*handler)()) {
        connect(b, &QAbstractButton::clicked, this,
                [this, handler] { Handle([handler](PrefMCSystems& w) { (w.*handler)(); }); });
    };
    button(AddMic, &PrefMCSystems::AddMicClick);
    button(DelMic, &PrefMCSystems::DelMicClick);
    button(EditMic, &PrefMCSystems::EditMicClick);
    button(AddObj, &PrefMCSystems::AddObjClick);
    button(DelObj, &PrefMCSystems::DelObjClick);
    button(RenameObjective, &PrefMCSystems::RenameObjectiveClick);
    button(Upbtn, &PrefMCSystems::LbMoveItemUp);
    button(Downbtn, &PrefMCSystems::LbMoveItemDown);
    // A click, also on the entry already selected, and a selection by the keys.
    const auto objectiveClick = [this] {
        const int row = ObjectivesBox->currentRow();
        Handle([row](PrefMCSystems& w) { w.ObjectivesBoxClick(row); });
    };
    connect(ObjectivesBox, &QListWidget::itemClicked, this, objectiveClick);
    connect(ObjectivesBox, &QListWidget::currentRowChanged, this, objectiveClick);
}

void TPrefDlg::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TPrefDlg::FormShow() {
    PrefsChange();
    lastApply_.reset();
    const TMainSettings none;
    const TMainSettings& main = Settings ? *Settings : none;
    work_.FormShow(main, PanelSystemName);
    ShowWork();
    ShowPageValues(PageValuesFrom(main));
}

void TPrefDlg::ShowPageValues(const PrefPageValues& v) {
    filling_ = true;
    DefaultPhotoFolderEdit->clear();
    FromCameraEdit->setText(v.WatchFolder);
    SaveGrabbedFramesCB->setChecked(v.SaveGrabbedFrames);
    // An extension outside the list is shown as stored, so that OK keeps it.
    ImageExt->setCurrentIndex(ImageExt->findText(v.SaveExtension));
    ImageExt->setEditText(v.SaveExtension);
    PhotoDirEdit->setText(v.PhotoFolder);
    DateTimePicker->setDate(v.SampleDate.isValid() ? v.SampleDate : QDate::currentDate());
    LocationEdit1->setText(v.Location);
    LocationEdit2->setText(v.Coordinates);
    PrefixEdit->setText(v.Prefix);
    CaptureNrEdit->setText(v.CounterText);
    checkedScheme_ = v.CheckedScheme;
    for (int i = 0; i < NamingSchemeCount; ++i)
        CB[i]->setChecked(i == v.CheckedScheme);
    ShowSchemeEnables(v.CheckedScheme);
    PopulateMeasuringAndLabels(v);
    CheckRadio(SetDimensions, v.UseWidth ? 0 : 1);
    Copyrightstr->setText(v.CopyrightText);
    BMPComment->setChecked(v.WriteBmpComment);
    ResizeWarning->setChecked(v.WarningOnResize);
    ExternalFileWarning->setChecked(v.WarningOnExternalFile);
    filling_ = false;
}

void TPrefDlg::PopulateMeasuringAndLabels(const PrefPageValues& v) {
    const bool wasFilling = filling_;
    filling_ = true;
    sizes_ = v.Sizes;
    ScalePercentage->setChecked(v.ScaleAsPercentage);
    ScalePercentageClick();
    (v.ScaleBlack ? rbBlack : rbWhite)->setChecked(true);
    ScaleColorClick();
    scaleFont_ = v.ScaleFont;
    ShowFontIn(ScaleFontDemo, scaleFont_);
    ShowScaleFontDemo();
    AdjustColor();
    ShowScaleText->setChecked(v.ShowScaleText);
    cbScaleBackground->setChecked(v.ScaleTransparent);
    CheckRadio(ScalePositionGroup, v.ScalePosition);
    (v.ScaleType2 ? ScaleType2 : ScaleType1)->setChecked(true);
    MeasurePenWidth->setValue(v.MeasurePenWidth);
    SelectColour(MeasureLineColorBox, v.MeasurePenColor);
    SelectColour(BackGroundColor, v.UnitBackColor);
    {
        const QSignalBlocker quiet(MeasureUnits);
        MeasureUnits->setCurrentIndex(std::max(MeasureUnits->findText(v.LengthUnit), 0));
    }
    ScaleDivisionsBox->clear();
    ScaleDivisionsBox->addItems(ScaleDivisionItems(MeasureUnits->currentText()));
    ScaleDivisionsBox->setCurrentIndex(
        DivisionsPositionForUnit(v.ScaleDivisions, MeasureUnits->currentText()));
    Addunit->setChecked(v.AddUnit);
    FillArrowBox->setChecked(v.FillArrow);
    ArrowHeadLength->setText(v.ArrowHeadText);
    cbUnitTransparancy->setChecked(v.UnitTransparancy);
    labelFont_ = v.LabelFont;
    ShowFontIn(LabelFont, labelFont_);
    CheckRadio(LabelBox, v.LabelPosition);
    copyrightFont_ = v.CopyrightFont;
    ShowFontIn(CopyrightFont, copyrightFont_);
    CheckRadio(CopyrightBox, v.CopyrightPosition);
    CheckRadio(ObjectivePosBox, v.ObjectiveLabelPosition);
    WLEdit->setText(v.WrapText);
    filling_ = wasFilling;
}

PrefPageValues TPrefDlg::PageValues() const {
    PrefPageValues v;
    v.WatchFolder = FromCameraEdit->text();
    v.SaveGrabbedFrames = SaveGrabbedFramesCB->isChecked();
    v.PhotoFolder = PhotoDirEdit->text();
    v.SaveExtension = ImageExt->currentText();
    v.SampleDate = DateTimePicker->date();
    v.Location = LocationEdit1->text();
    v.Coordinates = LocationEdit2->text();
    v.CheckedScheme = -1;
    for (int i = 0; i < NamingSchemeCount; ++i)
        if (CB[i]->isChecked())
            v.CheckedScheme = i;
    v.CounterText = CaptureNrEdit->text();
    v.Prefix = PrefixEdit->text();

    v.ScaleAsPercentage = ScalePercentage->isChecked();
    v.Sizes = sizes_;
    v.ScaleBlack = rbBlack->isChecked();
    v.ShowScaleText = ShowScaleText->isChecked();
    v.ScaleTransparent = cbScaleBackground->isChecked();
    v.ScalePosition = ScalePositionGroup->checkedId();
    v.ScaleType2 = ScaleType2->isChecked();
    v.ScaleDivisions = std::max(ScaleDivisionsBox->currentIndex(), 0);
    v.MeasurePenWidth = MeasurePenWidth->value();
    v.MeasurePenColor = SelectedColour(MeasureLineColorBox);
    v.UnitBackColor = SelectedColour(BackGroundColor);
    v.LengthUnit = MeasureUnits->currentText();
    v.AddUnit = Addunit->isChecked();
    v.UnitTransparancy = cbUnitTransparancy->isChecked();
    v.ArrowHeadText = ArrowHeadLength->text();
    v.FillArrow = FillArrowBox->isChecked();
    v.ScaleFont = scaleFont_;
    // The font the preview shows, its height included: the objective label is drawn in it.
    v.ScaleFont.Size = FontPointsForPixelHeight(ScalePreviewPixelHeight(
        ScalePercentage->isChecked(), ScaleTextHeightUpDown->value(), WorkImageHeight));

    v.LabelFont = labelFont_;
    v.LabelPosition = std::max(LabelBox->checkedId(), 0);
    v.WrapText = WLEdit->text();
    v.CopyrightFont = copyrightFont_;
    v.CopyrightText = Copyrightstr->text();
    v.CopyrightPosition = std::max(CopyrightBox->checkedId(), 0);
    v.ObjectiveLabelPosition = std::max(ObjectivePosBox->checkedId(), 0);

    v.UseWidth = SetDimensions->checkedId() != 1;
    v.WriteBmpComment = BMPComment->isChecked();
    v.WarningOnResize = ResizeWarning->isChecked();
    v.WarningOnExternalFile = ExternalFileWarning->isChecked();
    return v;
}

bool TPrefDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == CaptureNrEdit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool control = text.isEmpty() || key->key() == Qt::Key_Backspace ||
                             key->matches(QKeySequence::Paste) ||
                             text[0].category() == QChar::Other_Control;
        if (!control && !(text.size() == 1 && text[0] >= u'0' && text[0] <= u'9')) {
            AppPrompts().Message(QString(), QStringLiteral("Numbers only"), MessageIcon::None);
            return true;
        }
    } else if (watched == FromCameraEdit && event->type() == QEvent::MouseButtonPress) {
        ImageTempButtonClick();
        return true;
    } else if (watched == PhotoDirEdit && event->type() == QEvent::ToolTip) {
        PhotoDirEdit->setToolTip(PhotoDirEdit->text());
    } else if (watched == MeasureUnits && event->type() == QEvent::KeyPress) {
        // Return picks nothing in a closed list, and must not close the dialog with OK.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

namespace {

FileDialogRequest SettingsFileRequest(const QString& caption, const TMainSettings* main) {
    FileDialogRequest request;
    request.caption = caption;
    request.folder = main ? main->ProgramFolder : QString();
    request.fileName = QStringLiteral("*.ini");
    request.filters = {QStringLiteral("ini-files (*.ini)")};
    request.defaultSuffix = QStringLiteral("ini");
    return request;
}

} // namespace

void TPrefDlg::LoadSettingsClick() {
    const auto chosen =
        AppPrompts().OpenFile(SettingsFileRequest(QStringLiteral("Load Settings"), Settings));
    if (!chosen || chosen->path.isEmpty() || !Settings)
        return;
    try {
        // In force at once, also when the dialog is cancelled afterwards; the measuring
        // window writes it to its settings file when the dialog closes. A file that cannot
        // be read changes nothing.
        TMainSettings loaded = *Settings;
        ReadMeasuringSettings(IniFile(chosen->path), loaded);
        *Settings = loaded;
        PrefPageValues values = PageValues();
        TakeAppearanceFrom(*Settings, values);
        PopulateMeasuringAndLabels(values);
        Copyrightstr->setText(values.CopyrightText);
        if (ShowAppearanceInMainWindow)
            ShowAppearanceInMainWindow();
    } catch (const std::exception& error) {
        QuvarApplication::ShowError(error);
    }
}

void TPrefDlg::SaveSettingsClick() {
    const auto chosen =
        AppPrompts().SaveFile(SettingsFileRequest(QStringLiteral("Save Settings"), Settings));
    if (!chosen || chosen->path.isEmpty() || !Settings)
        return;
    try {
        if (!ApplyPreferences())
            return;
        IniFile ini(chosen->path);
        WriteMeasuringSettings(ini, *Settings);
        ini.Save();
    } catch (const std::exception& error) {
        QuvarApplication::ShowError(error);
    }
}

void TPrefDlg::PrefsChange() {
    const bool appearance =
        Prefs->currentWidget() == TabSheet3 || Prefs->currentWidget() == TabSheet5;
    LoadSettings->setVisible(appearance);
    SaveSettings->setVisible(appearance);
}

void TPrefDlg::Handle(const std::function<void(PrefMCSystems&)>& handler) {
    handler(work_);
    ShowWork();
}

void TPrefDlg::ShowWork() {
    ShowItems(NameBox, work_.Names(), work_.NameIndex());
    ShowItems(DefaultMCsystembox, work_.Names(), work_.CaptureIndex());
    {
        const QSignalBlocker quiet(ObjectivesBox);
        const QStringList labels = work_.ObjectiveLabels();
        QStringList shown;
        for (int i = 0; i < ObjectivesBox->count(); ++i)
            shown << ObjectivesBox->item(i)->text();
        if (shown != labels) {
            ObjectivesBox->clear();
            ObjectivesBox->addItems(labels);
        }
        ObjectivesBox->setCurrentRow(work_.ObjectiveIndex());
        if (work_.ObjectiveIndex() < 0)
            ObjectivesBox->clearSelection();
    }
    DefaultLabel->setText(work_.DefaultLabel());
    CamIsDSLR->setChecked(work_.CamIsDSLR());
}

bool TPrefDlg::ApplyPreferences() {
    if (!Settings)
        return false;
    // Every field is checked before anything is taken over, so a refusal changes nothing.
    const PrefPageValues values = PageValues();
    if (const QString error = PageValuesError(values, Settings->NamingScheme); !error.isEmpty())
        throw QuvarError(error);
    if (FoldersConflict(values)) {
        AppPrompts().Message(QString(), PhotoFolderIsCameraFolderWarning(), MessageIcon::Warning);
        PhotoDirEdit->setText(Settings->PhotoFolder);
        return false;
    }
    const std::optional<bool> useDSLR = work_.ApplyMCSystems(*Settings);
    lastApply_ = AppliedCapture{CaptureChangedTag(),
                                Settings->NrOfMCSystems > 0 ? Settings->DefaultMCSystem : -1};
    if (ShowAppliedInMainWindow)
        ShowAppliedInMainWindow(useDSLR);
    ApplyPageValues(values, *Settings);
    if (SetIncludeMag)
        SetIncludeMag(IncludeMagForScheme(Settings->NamingScheme));
    if (ShowAppearanceInMainWindow)
        ShowAppearanceInMainWindow();
    return true;
}

void TPrefDlg::OKBtnClick() {
    // A refused apply leaves the dialog open with every setting as it was.
    setResult(0);
    try {
        if (ApplyPreferences())
            accept();
    } catch (const std::exception& error) {
        QuvarApplication::ShowError(error);
    }
}
