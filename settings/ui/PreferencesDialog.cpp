#include "PreferencesDialog.h"

#include "settings/FontAndTextDialogs.h"
#include "settings/MainSettings.h"
#include "settings/PrefFolders.h"
#include "settings/SettingsUtilities.h"

#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "platform/Prompts.h"
#include "platform/ui/QuvarApplication.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int ClientWidth = 628;
constexpr int ClientHeight = 480;

template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* BoldLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// The colour lists: the sixteen standard colours, and a colour that is none of them shown
// as "Custom" so that OK keeps it.
struct NamedColour {
    const char* Name;
    ColorRef Color;
};
constexpr NamedColour StandardColours[] = {
    {"Black", 0x000000},  {"Maroon", 0x000080},  {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000},   {"Purple", 0x800080},  {"Teal", 0x808000},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},     {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},  {"White", 0xFFFFFF}};

QIcon ColourIcon(ColorRef colour) {
    QPixmap swatch(16, 12);
    swatch.fill(ToQColor(colour));
    return QIcon(swatch);
}

QComboBox* ColourBox(QWidget* parent) {
    auto* box = new QComboBox(parent);
    for (const NamedColour& c : StandardColours)
        box->addItem(ColourIcon(c.Color), QString::fromLatin1(c.Name), uint(c.Color));
    return box;
}

void SelectColour(QComboBox* box, ColorRef colour) {
    int index = box->findData(uint(colour));
    if (index < 0) {
        box->addItem(ColourIcon(colour), QStringLiteral("Custom"), uint(colour));
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

ColorRef SelectedColour(const QComboBox* box) {
    return ColorRef(box->currentData().toUInt());
}

// A radio group whose buttons have the ids 0, 1, ...
QButtonGroup* RadioGroup(QGroupBox* box, const QStringList& items, const char* name,
                         bool vertical = true) {
    auto* group = new QButtonGroup(box);
    group->setObjectName(QString::fromLatin1(name));
    QBoxLayout* layout = vertical ? static_cast<QBoxLayout*>(new QVBoxLayout(box))
                                  : static_cast<QBoxLayout*>(new QHBoxLayout(box));
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], box);
        group->addButton(button, i);
        layout->addWidget(button);
    }
    return group;
}

// Checks button id, or none for an id outside the group.
void CheckRadio(QButtonGroup* group, int id) {
    if (QAbstractButton* button = group->button(id)) {
        button->setChecked(true);
        return;
    }
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons())
        button->setChecked(false);
    group->setExclusive(true);
}

QLineEdit* DigitsEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    return edit;
}

void ShowFontIn(QLabel* preview, const FontRecord& font) {
    preview->setFont(font.ToQFont());
    QPalette palette = preview->palette();
    palette.setColor(QPalette::WindowText, ToQColor(font.Color));
    preview->setPalette(palette);
}

// Pages as full as these need tight spacing to fit the fixed window.
void Compact(QWidget* page) {
    for (QLayout* layout : page->findChildren<QLayout*>()) {
        layout->setSpacing(3);
        layout->setContentsMargins(6, 3, 6, 3);
    }
}

void ShowItems(QComboBox* box, const QStringList& items, int index) {
    const QSignalBlocker quiet(box);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i)
        shown << box->itemText(i);
    if (shown != items) {
        box->clear();
        box->addItems(items);
    }
    box->setCurrentIndex(index);
}

} // namespace

TPrefDlg::TPrefDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PrefDlg"));
    setWindowTitle(QStringLiteral("Preferences"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
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

    connect(ScalePercentage, &QCheckBox::clicked, this, [this] { ScalePercentageClick(); });
    for (QSpinBox* box : {ScaleWidthUpDown, ScaleMarginUpDown, ScaleTextHeightUpDown})
        connect(box, &QSpinBox::valueChanged, this, [this] { ScaleSizeChanged(); });
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

QWidget* TPrefDlg::BuildImageCapturePage() {
    auto* page = new QWidget;
    auto* group = new QGroupBox(QStringLiteral("MC-System for Capture"), page);
    DefaultMCsystembox = Named(new QComboBox(group), "DefaultMCsystembox");
    DefaultMCsystembox->setMinimumWidth(240);
    auto* row = new QVBoxLayout(group);
    row->addWidget(new QLabel(QStringLiteral("Select MC-system for Capture"), group));
    row->addWidget(DefaultMCsystembox);

    auto* sample =
        new QGroupBox(QStringLiteral("Create a Folder based on Sample Location and Date  "), page);
    LocationEdit1 = Named(new QLineEdit(sample), "LocationEdit1");
    LocationEdit2 = Named(new QLineEdit(sample), "LocationEdit2");
    DateTimePicker = Named(new QDateEdit(sample), "DateTimePicker");
    DateTimePicker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    DateTimePicker->setCalendarPopup(true);
    IgnoreDate = Named(new QCheckBox(QStringLiteral("Ignore Date"), sample), "IgnoreDate");
    CreateDefaultFolder = Named(new QPushButton(QStringLiteral("Create Photo Folder Name"), sample),
                                "CreateDefaultFolder");
    DefaultPhotoFolderEdit = Named(new QLineEdit(sample), "DefaultPhotoFolderEdit");
    auto* sampleLayout = new QGridLayout(sample);
    sampleLayout->addWidget(new QLabel(QStringLiteral("Location :"), sample), 0, 0);
    sampleLayout->addWidget(LocationEdit1, 0, 1);
    sampleLayout->addWidget(new QLabel(QStringLiteral("Coordinates:"), sample), 1, 0);
    sampleLayout->addWidget(LocationEdit2, 1, 1);
    sampleLayout->addWidget(new QLabel(QStringLiteral("SampleDate (yyyy-mm-dd):"), sample), 2, 0);
    sampleLayout->addWidget(DateTimePicker, 2, 1);
    sampleLayout->addWidget(IgnoreDate, 3, 0);
    sampleLayout->addWidget(CreateDefaultFolder, 4, 0, 1, 2);
    sampleLayout->addWidget(new QLabel(QStringLiteral("(Or enter a name  below)"), sample), 5, 0, 1,
                            2);
    sampleLayout->addWidget(DefaultPhotoFolderEdit, 6, 0, 1, 2);

    auto* photo = new QGroupBox(QStringLiteral("Select or Create QUVAR Photo Folder"), page);
    PhotoDirEdit = Named(new QLineEdit(photo), "PhotoDirEdit");
    PhotoDirEdit->setReadOnly(true);
    PhotoDirEdit->setEnabled(false);
    SelectPhotoDirBtn =
        Named(new QPushButton(QStringLiteral("Select Existing Photo Folder"), photo),
              "SelectPhotoDirBtn");
    CreatePhotoFolder =
        Named(new QPushButton(QStringLiteral("Create Photo Folder using Name above"), photo),
              "CreatePhotoFolder");
    auto* photoLayout = new QGridLayout(photo);
    photoLayout->addWidget(PhotoDirEdit, 0, 0);
    photoLayout->addWidget(SelectPhotoDirBtn, 1, 0);
    photoLayout->addWidget(CreatePhotoFolder, 2, 0);

    auto* options = new QGroupBox(QStringLiteral("Default File Options"), page);
    auto* optionsLayout = new QGridLayout(options);
    for (int i = 0; i < NamingSchemeCount; ++i) {
        CB[i] = new QCheckBox(NamingSchemeCaption(i), options);
        CB[i]->setObjectName(QStringLiteral("CB%1").arg(i));
        // The first row has nothing beside its caption, which is the longest.
        optionsLayout->addWidget(CB[i], i, 0, 1, i == 0 ? 3 : 1);
    }
    CaptureNrEdit = Named(DigitsEdit(options), "CaptureNrEdit");
    ResetFileNr = Named(new QPushButton(QStringLiteral("Reset <Number> to 0 (zero)"), options),
                        "ResetFileNr");
    PrefixEdit = Named(new QLineEdit(options), "PrefixEdit");
    ImageExt = Named(new QComboBox(options), "ImageExt");
    ImageExt->setEditable(true);
    ImageExt->addItems(ImageExtensions());
    optionsLayout->addWidget(new QLabel(QStringLiteral("Number"), options), 1, 1);
    optionsLayout->addWidget(CaptureNrEdit, 1, 2);
    optionsLayout->addWidget(ResetFileNr, 2, 2);
    optionsLayout->addWidget(new QLabel(QStringLiteral("<Prefix> :"), options), 3, 1);
    optionsLayout->addWidget(PrefixEdit, 3, 2);
    optionsLayout->addWidget(new QLabel(QStringLiteral("Image type:"), options), 4, 1);
    optionsLayout->addWidget(ImageExt, 4, 2);
    optionsLayout->setColumnStretch(2, 1);

    SaveGrabbedFramesCB = Named(
        new QCheckBox(
            QStringLiteral("Save original image from camera in subfolder \"Unprocessed\""), page),
        "SaveGrabbedFramesCB");

    auto* layout = new QGridLayout(page);
    layout->addWidget(sample, 0, 0, 2, 1);
    layout->addWidget(photo, 0, 1);
    layout->addWidget(group, 1, 1);
    layout->addWidget(options, 2, 0, 1, 2);
    layout->addWidget(SaveGrabbedFramesCB, 3, 0, 1, 2);
    layout->setRowStretch(4, 1);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);
    Compact(page);
    return page;
}

QWidget* TPrefDlg::BuildMicroscopePage() {
    auto* page = new QWidget;

    auto* system = new QGroupBox(QStringLiteral("MC-System"), page);
    NameBox = Named(new QComboBox(system), "NameBox");
    NameBox->setMinimumWidth(220);
    CamIsDSLR = Named(new QCheckBox(QStringLiteral(" Camera is DSLR"), system), "CamIsDSLR");
    QFont bold = CamIsDSLR->font();
    bold.setBold(true);
    CamIsDSLR->setFont(bold);
    DefaultLabel = Named(BoldLabel(work_.DefaultLabel(), system), "DefaultLabel");
    AddMic = Named(new QPushButton(QStringLiteral("Add MC-system"), system), "AddMic");
    DelMic = Named(new QPushButton(QStringLiteral("Delete MC-system"), system), "DelMic");
    EditMic = Named(new QPushButton(QStringLiteral("Edit MC-system Name"), system), "EditMic");
    auto* systemLayout = new QGridLayout(system);
    systemLayout->addWidget(new QLabel(QStringLiteral("Name (identification )"), system), 0, 0);
    systemLayout->addWidget(NameBox, 1, 0);
    systemLayout->addWidget(CamIsDSLR, 2, 0);
    systemLayout->addWidget(DefaultLabel, 3, 0);
    systemLayout->addWidget(AddMic, 1, 1);
    systemLayout->addWidget(DelMic, 2, 1);
    systemLayout->addWidget(EditMic, 3, 1);
    systemLayout->setColumnStretch(0, 1);

    auto* objectives = new QWidget(page);
    ObjectivesBox = Named(new QListWidget(objectives), "ObjectivesBox");
    AddObj = Named(new QPushButton(QStringLiteral("Add Objective"), objectives), "AddObj");
    DelObj = Named(new QPushButton(QStringLiteral("Delete Objective"), objectives), "DelObj");
    RenameObjective =
        Named(new QPushButton(QStringLiteral("Rename Selected Objective"), objectives),
              "RenameObjective");
    Upbtn = Named(new QToolButton(objectives), "Upbtn");
    Upbtn->setArrowType(Qt::UpArrow);
    Upbtn->setToolTip(QStringLiteral("Move selected item up"));
    Downbtn = Named(new QToolButton(objectives), "Downbtn");
    Downbtn->setArrowType(Qt::DownArrow);
    Downbtn->setToolTip(QStringLiteral("Move selected item down"));
    auto* moves = new QVBoxLayout;
    moves->addStretch();
    moves->addWidget(Upbtn);
    moves->addWidget(Downbtn);
    moves->addStretch();
    auto* objectiveButtons = new QVBoxLayout;
    objectiveButtons->addWidget(AddObj);
    objectiveButtons->addWidget(DelObj);
    objectiveButtons->addWidget(RenameObjective);
    objectiveButtons->addStretch();
    auto* objectivesLayout = new QGridLayout(objectives);
    objectivesLayout->setContentsMargins(0, 0, 0, 0);
    objectivesLayout->addWidget(
        new QLabel(QStringLiteral("Objectives (click objective to set as default)"), objectives), 0,
        0, 1, 3);
    objectivesLayout->addWidget(ObjectivesBox, 1, 0);
    objectivesLayout->addLayout(moves, 1, 1);
    objectivesLayout->addLayout(objectiveButtons, 1, 2);
    objectivesLayout->setColumnStretch(0, 1);

    auto* temp = new QGroupBox(QStringLiteral("QUVAR Temp Folder"), page);
    FromCameraEdit = Named(new QLineEdit(temp), "FromCameraEdit");
    FromCameraEdit->setReadOnly(true);
    ImageTempButton =
        Named(new QPushButton(QStringLiteral("Change QUVAR Temp Folder"), temp), "ImageTempButton");
    auto* tempLayout = new QHBoxLayout(temp);
    tempLayout->addWidget(FromCameraEdit, 1);
    tempLayout->addWidget(ImageTempButton);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(system);
    layout->addWidget(objectives, 1);
    layout->addWidget(temp);
    return page;
}

QWidget* TPrefDlg::BuildMeasuringPage() {
    auto* page = new QWidget;

    auto* scale = new QGroupBox(QStringLiteral("Scale"), page);
    ScalePercentage = Named(
        new QCheckBox(
            QStringLiteral("Scale Margin and Height in promil ( 0.1 %) instead of pixels"), scale),
        "ScalePercentage");
    Scalelabel = Named(new QLabel(scale), "Scalelabel");
    ScaleWidthUpDown = Named(new QSpinBox(scale), "ScaleWidthUpDown");
    ScaleWidthUpDown->setRange(ScaleWidthRange.Min, ScaleWidthRange.Max);
    MarginLabel = Named(new QLabel(scale), "MarginLabel");
    ScaleMarginUpDown = Named(new QSpinBox(scale), "ScaleMarginUpDown");
    ScaleMarginUpDown->setRange(ScaleMarginRange.Min, ScaleMarginRange.Max);
    auto* colour = new QGroupBox(QStringLiteral("Scale Color"), scale);
    rbBlack = Named(new QRadioButton(QStringLiteral("Black"), colour), "rbBlack");
    rbWhite = Named(new QRadioButton(QStringLiteral("White"), colour), "rbWhite");
    ScaleColorShape = Named(new QFrame(colour), "ScaleColorShape");
    ScaleColorShape->setFixedSize(24, 16);
    ScaleColorShape->setFrameShape(QFrame::Box);
    ScaleColorShape->setAutoFillBackground(true);
    auto* colourLayout = new QHBoxLayout(colour);
    colourLayout->addWidget(rbBlack);
    colourLayout->addWidget(rbWhite);
    colourLayout->addWidget(ScaleColorShape);
    ShowScaleText = Named(new QCheckBox(QStringLiteral("Show Scale Text"), scale), "ShowScaleText");
    cbScaleBackground =
        Named(new QCheckBox(QStringLiteral("Transparent scale"), scale), "cbScaleBackground");
    auto* types = new QWidget(scale);
    ScaleType1 = Named(new QRadioButton(QStringLiteral("ScaleType 1"), types), "ScaleType1");
    ScaleType2 = Named(new QRadioButton(QStringLiteral("ScaleType 2"), types), "ScaleType2");
    auto* typesLayout = new QHBoxLayout(types);
    typesLayout->setContentsMargins(0, 0, 0, 0);
    typesLayout->addWidget(ScaleType1);
    typesLayout->addWidget(ScaleType2);
    ScaleDivisionsBox = Named(new QComboBox(scale), "ScaleDivisionsBox");
    auto* position = new QGroupBox(QStringLiteral("Scale  position"), scale);
    ScalePositionGroup = RadioGroup(position,
                                    {QStringLiteral("Bottom-Left"), QStringLiteral("Bottom-Center"),
                                     QStringLiteral("Bottom-Right")},
                                    "ScalePositionGroup", false);
    const char* const positionNames[] = {"SPBL", "SPBC", "SPBR"};
    for (int i = 0; i < 3; ++i)
        ScalePositionGroup->button(i)->setObjectName(QString::fromLatin1(positionNames[i]));
    auto* scaleLayout = new QGridLayout(scale);
    scaleLayout->addWidget(ScalePercentage, 0, 0, 1, 4);
    scaleLayout->addWidget(Scalelabel, 1, 0);
    scaleLayout->addWidget(ScaleWidthUpDown, 1, 1);
    scaleLayout->addWidget(MarginLabel, 2, 0);
    scaleLayout->addWidget(ScaleMarginUpDown, 2, 1);
    scaleLayout->addWidget(colour, 1, 2, 2, 2);
    scaleLayout->addWidget(ShowScaleText, 3, 0);
    scaleLayout->addWidget(cbScaleBackground, 3, 1);
    scaleLayout->addWidget(types, 3, 2, 1, 2);
    scaleLayout->addWidget(new QLabel(QStringLiteral("Scale 2 divisions"), scale), 4, 2);
    scaleLayout->addWidget(ScaleDivisionsBox, 4, 3);
    scaleLayout->addWidget(position, 4, 0, 1, 2);

    auto* measure = new QGroupBox(QStringLiteral("Measurement, Arrow, Oval and Circle"), page);
    MeasurePenWidth = Named(new QSpinBox(measure), "MeasurePenWidth");
    MeasurePenWidth->setRange(MeasurePenWidthRange.Min, MeasurePenWidthRange.Max);
    MeasureLineColorBox = Named(ColourBox(measure), "MeasureLineColorBox");
    MeasureUnits = Named(new QComboBox(measure), "MeasureUnits");
    MeasureUnits->setEditable(true);
    MeasureUnits->addItems(MeasureUnitItems());
    Addunit = Named(new QCheckBox(QStringLiteral("Add unit in measurement"), measure), "Addunit");
    BackGroundColor = Named(ColourBox(measure), "BackGroundColor");
    cbUnitTransparancy =
        Named(new QCheckBox(QStringLiteral("Unit Text Background Transparent"), measure),
              "cbUnitTransparancy");
    ArrowHeadLength = Named(DigitsEdit(measure), "ArrowHeadLength");
    ArrowHeadLength->setMaximumWidth(50);
    FillArrowBox = Named(new QCheckBox(QStringLiteral("Fill arrow head"), measure), "FillArrowBox");
    auto* measureLayout = new QGridLayout(measure);
    measureLayout->addWidget(new QLabel(QStringLiteral("Line Width"), measure), 0, 0);
    measureLayout->addWidget(MeasurePenWidth, 0, 1);
    measureLayout->addWidget(new QLabel(QStringLiteral("Line Color"), measure), 1, 0);
    measureLayout->addWidget(MeasureLineColorBox, 1, 1);
    measureLayout->addWidget(new QLabel(QStringLiteral("Units"), measure), 2, 0);
    measureLayout->addWidget(MeasureUnits, 2, 1);
    measureLayout->addWidget(Addunit, 3, 0, 1, 2);
    measureLayout->addWidget(new QLabel(QStringLiteral("Unit Text Background Color"), measure), 4,
                             0);
    measureLayout->addWidget(BackGroundColor, 4, 1);
    measureLayout->addWidget(cbUnitTransparancy, 5, 0, 1, 2);
    auto* arrowRow = new QHBoxLayout;
    arrowRow->addWidget(ArrowHeadLength);
    arrowRow->addWidget(
        new QLabel(QStringLiteral("Length arrow head in pixels. 0 is autosize"), measure), 1);
    measureLayout->addLayout(arrowRow, 6, 0, 1, 2);
    measureLayout->addWidget(FillArrowBox, 7, 0, 1, 2);

    auto* font = new QGroupBox(QStringLiteral("Scale and Measurement Font"), page);
    TextBackground = Named(new QFrame(font), "TextBackground");
    TextBackground->setAutoFillBackground(true);
    TextBackground->setMinimumHeight(60);
    ScaleFontDemo =
        Named(new QLabel(QString::fromUtf8("Example 50 µm 40X"), TextBackground), "ScaleFontDemo");
    ScaleFontDemo->setAlignment(Qt::AlignCenter);
    auto* demoLayout = new QVBoxLayout(TextBackground);
    demoLayout->addWidget(ScaleFontDemo);
    SelectSMFont =
        Named(new QPushButton(QStringLiteral("Select Scale Font, Style and Color"), font),
              "SelectSMFont");
    ScaleTextHeightUpDown = Named(new QSpinBox(font), "ScaleTextHeightUpDown");
    ScaleTextHeightUpDown->setRange(ScaleTextHeightRange.Min, ScaleTextHeightRange.Max);
    TextHeightBox = Named(new QGroupBox(font), "TextHeightBox");
    ScaleTextHeightEdit = Named(new QLineEdit(TextHeightBox), "ScaleTextHeightEdit");
    ScaleTextHeightEdit->setReadOnly(true);
    ScaleTextHeightEdit->setMaximumWidth(50);
    MeasurementTextHeightEdit = Named(new QLineEdit(TextHeightBox), "MeasurementTextHeightEdit");
    MeasurementTextHeightEdit->setReadOnly(true);
    MeasurementTextHeightEdit->setMaximumWidth(50);
    auto* heightLayout = new QGridLayout(TextHeightBox);
    heightLayout->addWidget(new QLabel(QStringLiteral("ScaleText Height"), TextHeightBox), 0, 0);
    heightLayout->addWidget(ScaleTextHeightEdit, 0, 1);
    heightLayout->addWidget(new QLabel(QStringLiteral("Measurement Text Height"), TextHeightBox), 1,
                            0);
    heightLayout->addWidget(MeasurementTextHeightEdit, 1, 1);
    heightLayout->addWidget(
        new QLabel(QStringLiteral("(= 70 % of Scale Text Height)"), TextHeightBox), 2, 0, 1, 2);
    auto* fontLayout = new QGridLayout(font);
    fontLayout->addWidget(TextBackground, 0, 0, 1, 2);
    fontLayout->addWidget(SelectSMFont, 1, 0, 1, 2);
    fontLayout->addWidget(new QLabel(QStringLiteral("Change Text Height"), font), 2, 0);
    fontLayout->addWidget(ScaleTextHeightUpDown, 2, 1);
    fontLayout->addWidget(TextHeightBox, 3, 0, 1, 2);
    fontLayout->setRowStretch(4, 1);

    auto* layout = new QGridLayout(page);
    layout->addWidget(scale, 0, 0, 1, 2);
    layout->addWidget(measure, 1, 0);
    layout->addWidget(font, 1, 1);
    Compact(page);
    return page;
}

QWidget* TPrefDlg::BuildLabelsPage() {
    auto* page = new QWidget;
    const auto fontGroup = [page](const QString& caption, const QString& preview,
                                  QLabel*& previewLabel, QPushButton*& select) {
        auto* group = new QGroupBox(caption, page);
        previewLabel = new QLabel(preview, group);
        select = new QPushButton(QStringLiteral("Select Font"), group);
        auto* layout = new QGridLayout(group);
        layout->addWidget(previewLabel, 0, 0);
        layout->addWidget(select, 0, 1, Qt::AlignRight);
        return std::pair{group, layout};
    };
    auto [label, labelLayout] = fontGroup(QStringLiteral("Label"), QStringLiteral("Label Font"),
                                          LabelFont, SelectLabelFont);
    Named(LabelFont, "LabelFont");
    Named(SelectLabelFont, "SelectLabelFont");
    auto* labelPosition = new QGroupBox(QStringLiteral("Position"), label);
    LabelBox = RadioGroup(labelPosition, PositionItems(), "LabelBox", false);
    WLEdit = Named(DigitsEdit(label), "WLEdit");
    WLEdit->setMaximumWidth(50);
    labelLayout->addWidget(labelPosition, 1, 0, 1, 2);
    auto* wrapRow = new QHBoxLayout;
    wrapRow->addWidget(WLEdit);
    wrapRow->addWidget(new QLabel(QStringLiteral("Wrap label text after this amount of "
                                                 "characters. 0 (zero) means no wrapping "),
                                  label),
                       1);
    labelLayout->addLayout(wrapRow, 2, 0, 1, 2);

    auto [copyright, copyrightLayout] =
        fontGroup(QStringLiteral("Copyright Label"), QStringLiteral("Copyright  Font"),
                  CopyrightFont, SelectCopyrightFont);
    Named(CopyrightFont, "CopyrightFont");
    Named(SelectCopyrightFont, "SelectCopyrightFont");
    Copyrightstr = Named(new QLineEdit(copyright), "Copyrightstr");
    auto* copyrightPosition = new QGroupBox(QStringLiteral("Position"), copyright);
    CopyrightBox = RadioGroup(copyrightPosition, PositionItems(), "CopyrightBox", false);
    auto* textRow = new QHBoxLayout;
    textRow->addWidget(new QLabel(QStringLiteral("Copyrightstring:"), copyright));
    textRow->addWidget(Copyrightstr, 1);
    copyrightLayout->addLayout(textRow, 1, 0, 1, 2);
    copyrightLayout->addWidget(copyrightPosition, 2, 0, 1, 2);

    auto* objective = new QGroupBox(QStringLiteral("Current Objective Label Position"), page);
    ObjectivePosBox = RadioGroup(objective, ObjectivePositionItems(), "ObjectivePosBox", false);
    auto* note = new QLabel(QStringLiteral("Note:\nCurrent Objective Label uses Scale Font"), page);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(label);
    layout->addWidget(copyright);
    layout->addWidget(objective);
    layout->addWidget(note);
    layout->addStretch();
    Compact(page);
    return page;
}

QWidget* TPrefDlg::BuildMiscellaneousPage() {
    auto* page = new QWidget;
    BMPComment = Named(
        new QCheckBox(QStringLiteral("Save Comment for BMP images (in a separate file)"), page),
        "BMPComment");
    auto* warnings = new QGroupBox(QStringLiteral("Warnings"), page);
    ResizeWarning =
        Named(new QCheckBox(QStringLiteral("Warn on Resize in Measurement Window"), warnings),
              "ResizeWarning");
    ExternalFileWarning =
        Named(new QCheckBox(QStringLiteral("Warn for Missing Calibration in File"), warnings),
              "ExternalFileWarning");
    auto* warningsLayout = new QVBoxLayout(warnings);
    warningsLayout->addWidget(ResizeWarning);
    warningsLayout->addWidget(ExternalFileWarning);
    auto* dimensions = new QGroupBox(QStringLiteral("Set Dimensions (Width and Height)"), page);
    SetDimensions = RadioGroup(dimensions, SetDimensionsItems(), "SetDimensions");

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(BMPComment);
    layout->addWidget(warnings);
    layout->addWidget(dimensions);
    layout->addStretch();
    return page;
}

void TPrefDlg::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TPrefDlg::FormShow() {
    PrefsChange();
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
        const int unit = MeasureUnits->findText(v.LengthUnit);
        if (unit >= 0)
            MeasureUnits->setCurrentIndex(unit);
        MeasureUnits->setEditText(v.LengthUnit);
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
    }
    return QDialog::eventFilter(watched, event);
}

void TPrefDlg::SelectPhotoDirBtnClick(int tag) {
    const QString oldFolder = Settings ? Settings->PhotoFolder : QString();
    const QString oldWatch = Settings ? Settings->WatchFolder : QString();
    const QString start = PhotoFolderBrowseStart(oldFolder);
    const QString title = tag == 2 ? QStringLiteral("Select an existing folder to store the images")
                                   : QStringLiteral("Select where to create the new folder");
    const QString chosen = BrowseForFolder(title, start, false);
    // A cancelled choice keeps the folder shown.
    if (chosen.isEmpty())
        return;
    const QString target =
        tag == 2 ? chosen : NewFolderPath(chosen, DefaultPhotoFolderEdit->text());
    if (SameOrNestedFolders(target, oldWatch) ||
        SameOrNestedFolders(target, FromCameraEdit->text())) {
        AppPrompts().Message(QString(), PhotoFolderIsCameraFolderWarning(), MessageIcon::Warning);
        PhotoDirEdit->setText(oldFolder);
        return;
    }
    if (tag == 1) {
        const auto created = ::CreatePhotoFolder(chosen, DefaultPhotoFolderEdit->text());
        if (!created) {
            AppPrompts().Message(QString(), QStringLiteral("Unable to create folder ") + target,
                                 MessageIcon::Error);
            return;
        }
        PhotoDirEdit->setText(*created);
        DefaultPhotoFolderEdit->clear();
        return;
    }
    PhotoDirEdit->setText(chosen);
    const PhotoFolderNameParts parts = ParsePhotoFolderName(chosen);
    if (parts.HasDate) {
        if (!parts.Date) {
            AppPrompts().Message(QString(), NotADateMessage(parts.DateText), MessageIcon::Error);
            return;
        }
        DateTimePicker->setDate(*parts.Date);
    }
    LocationEdit1->setText(parts.Location);
    LocationEdit2->setText(parts.Coordinates);
}

void TPrefDlg::CreateDefaultFolderClick() {
    DefaultPhotoFolderEdit->setText(
        BuildPhotoFolderName(LocationEdit1->text(), LocationEdit2->text(), DateTimePicker->date(),
                             IgnoreDate->isChecked()));
}

void TPrefDlg::ImageTempButtonClick() {
    const QString start = CameraFolderBrowseStart(Settings ? Settings->WatchFolder : QString());
    const QString chosen =
        BrowseForFolder(QStringLiteral("Select a Folder for Images from Camera"), start, false);
    if (chosen.isEmpty())
        return;
    if (!CameraFolderIsEmpty(chosen)) {
        AppPrompts().Message(QString(), CameraFolderNotEmptyWarning(), MessageIcon::Warning);
        return;
    }
    FromCameraEdit->setText(chosen);
}

void TPrefDlg::CBClick(int scheme) {
    if (!CB[scheme]->isChecked()) {
        checkedScheme_ = -1;
        return;
    }
    checkedScheme_ = scheme;
    for (int i = 0; i < NamingSchemeCount; ++i)
        if (i != scheme)
            CB[i]->setChecked(false);
    ShowSchemeEnables(scheme);
}

void TPrefDlg::ShowSchemeEnables(int scheme) {
    if (scheme < 0)
        return;
    PrefixEdit->setEnabled(SchemeUsesPrefix(scheme));
    CaptureNrEdit->setEnabled(SchemeUsesCounter(scheme));
    ResetFileNr->setEnabled(SchemeUsesCounter(scheme));
}

void TPrefDlg::ResetFilenrClick() {
    CaptureNrEdit->setText(QStringLiteral("0"));
}

void TPrefDlg::ScalePercentageClick() {
    const bool promil = ScalePercentage->isChecked();
    const ScaleSizeCaptions captions = ScaleCaptions(promil);
    Scalelabel->setText(captions.Width);
    MarginLabel->setText(captions.Margin);
    TextHeightBox->setTitle(captions.TextHeight);
    {
        const QSignalBlocker a(ScaleWidthUpDown), b(ScaleMarginUpDown), c(ScaleTextHeightUpDown);
        ScaleWidthUpDown->setValue(sizes_.Width(promil));
        ScaleMarginUpDown->setValue(sizes_.Margin(promil));
        ScaleTextHeightUpDown->setValue(sizes_.TextHeight(promil));
    }
    ShowTextHeights();
    ShowScaleFontDemo();
}

void TPrefDlg::ScaleSizeChanged() {
    const bool promil = ScalePercentage->isChecked();
    sizes_.SetWidth(promil, ScaleWidthUpDown->value());
    sizes_.SetMargin(promil, ScaleMarginUpDown->value());
    sizes_.SetTextHeight(promil, ScaleTextHeightUpDown->value());
    ShowTextHeights();
    ShowScaleFontDemo();
}

void TPrefDlg::ShowTextHeights() {
    const int height = ScaleTextHeightUpDown->value();
    ScaleTextHeightEdit->setText(QString::number(height));
    MeasurementTextHeightEdit->setText(QString::number(MeasurementTextHeight(height)));
}

void TPrefDlg::ShowScaleFontDemo() {
    QFont font = ScaleFontDemo->font();
    font.setPixelSize(ScalePreviewPixelHeight(ScalePercentage->isChecked(),
                                              ScaleTextHeightUpDown->value(), WorkImageHeight));
    ScaleFontDemo->setFont(font);
}

void TPrefDlg::AdjustColor() {
    QPalette palette = TextBackground->palette();
    const QPalette system = QApplication::palette();
    palette.setColor(QPalette::Window, IsLightText(scaleFont_.Color)
                                           ? system.color(QPalette::Dark)
                                           : system.color(QPalette::Button));
    TextBackground->setPalette(palette);
}

void TPrefDlg::ScaleColorClick() {
    QPalette palette = ScaleColorShape->palette();
    palette.setColor(QPalette::Window, rbBlack->isChecked() ? Qt::black : Qt::white);
    ScaleColorShape->setPalette(palette);
}

void TPrefDlg::MeasureUnitsChange() {
    if (filling_)
        return;
    const int position = ScaleDivisionsBox->currentIndex();
    const QString unit = MeasureUnits->currentText();
    const QStringList items = ScaleDivisionItems(unit);
    QStringList shown;
    for (int i = 0; i < ScaleDivisionsBox->count(); ++i)
        shown << ScaleDivisionsBox->itemText(i);
    if (shown == items)
        return;
    ScaleDivisionsBox->clear();
    ScaleDivisionsBox->addItems(items);
    ScaleDivisionsBox->setCurrentIndex(DivisionsPositionForUnit(position, unit));
}

void TPrefDlg::SelectSMFontClick() {
    FontRecord font = scaleFont_;
    if (!AppFontAndTextDialogs().SelectFont(font))
        return;
    scaleFont_.Name = font.Name;
    scaleFont_.Style = font.Style;
    scaleFont_.Color = font.Color;
    ShowFontIn(ScaleFontDemo, scaleFont_);
    AdjustColor();
    const int dpi = screen() ? int(screen()->logicalDotsPerInch()) : 96;
    {
        const QSignalBlocker quiet(ScaleTextHeightUpDown);
        ScaleTextHeightUpDown->setValue(FontPixelHeight(scaleFont_.Size, dpi));
    }
    sizes_.TextHeightPx = ScaleTextHeightUpDown->value();
    ShowTextHeights();
    ShowScaleFontDemo();
}

void TPrefDlg::SelectLabelFontClick() {
    if (AppFontAndTextDialogs().SelectStandardFont(labelFont_))
        ShowFontIn(LabelFont, labelFont_);
}

void TPrefDlg::SelectCopyrightFontClick() {
    if (AppFontAndTextDialogs().SelectStandardFont(copyrightFont_))
        ShowFontIn(CopyrightFont, copyrightFont_);
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
    if (!chosen || chosen->path.isEmpty())
        return;
    try {
        // Into the pages only: like every other change, it takes effect with OK.
        TMainSettings loaded = Settings ? *Settings : TMainSettings{};
        ReadMeasuringSettings(IniFile(chosen->path), loaded);
        PrefPageValues values = PageValues();
        TakeAppearanceFrom(loaded, values);
        PopulateMeasuringAndLabels(values);
        Copyrightstr->setText(values.CopyrightText);
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
