#include "PreferencesDialog.h"

#include "platform/ui/FormHelpers.h"
#include "settings/ui/ColourControls.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

// The five pages, one builder per page and per group box of the fullest page.

namespace {

// Pages as full as these need tight spacing to fit the fixed window.
void Compact(QWidget* page) {
    for (QLayout* layout : page->findChildren<QLayout*>()) {
        layout->setSpacing(3);
        layout->setContentsMargins(6, 3, 6, 3);
    }
}

} // namespace

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
    auto* layout = new QGridLayout(page);
    layout->addWidget(BuildScaleGroup(page), 0, 0, 1, 2);
    layout->addWidget(BuildMeasureGroup(page), 1, 0);
    layout->addWidget(BuildScaleFontGroup(page), 1, 1);
    // The measuring group has the longest captions; the font group takes what it needs.
    layout->setColumnStretch(0, 1);
    layout->setRowStretch(1, 1);
    Compact(page);
    return page;
}

QGroupBox* TPrefDlg::BuildScaleGroup(QWidget* page) {
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
    for (QSpinBox* box : {ScaleWidthUpDown, ScaleMarginUpDown})
        box->setMaximumWidth(64);
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
    auto* divisions = new QHBoxLayout;
    divisions->addWidget(new QLabel(QStringLiteral("Scale 2 divisions"), scale));
    divisions->addWidget(ScaleDivisionsBox, 1);
    // Three rows of fields beside the two groups, so the page keeps room below.
    auto* scaleLayout = new QGridLayout(scale);
    scaleLayout->addWidget(ScalePercentage, 0, 0, 1, 4);
    scaleLayout->addWidget(Scalelabel, 1, 0);
    scaleLayout->addWidget(ScaleWidthUpDown, 1, 1);
    scaleLayout->addWidget(cbScaleBackground, 1, 2);
    scaleLayout->addWidget(types, 1, 3);
    scaleLayout->addWidget(MarginLabel, 2, 0);
    scaleLayout->addWidget(ScaleMarginUpDown, 2, 1);
    scaleLayout->addWidget(ShowScaleText, 2, 2);
    scaleLayout->addLayout(divisions, 2, 3);
    scaleLayout->addWidget(BuildScalePositionGroup(scale), 3, 0, 1, 3);
    scaleLayout->addWidget(BuildScaleColourGroup(scale), 3, 3);
    scaleLayout->setColumnStretch(0, 1);
    return scale;
}

QGroupBox* TPrefDlg::BuildScaleColourGroup(QWidget* parent) {
    auto* colour = new QGroupBox(QStringLiteral("Scale Color"), parent);
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
    return colour;
}

QGroupBox* TPrefDlg::BuildScalePositionGroup(QWidget* parent) {
    auto* position = new QGroupBox(QStringLiteral("Scale  position"), parent);
    ScalePositionGroup = RadioGroup(position,
                                    {QStringLiteral("Bottom-Left"), QStringLiteral("Bottom-Center"),
                                     QStringLiteral("Bottom-Right")},
                                    "ScalePositionGroup", false);
    const char* const positionNames[] = {"SPBL", "SPBC", "SPBR"};
    for (int i = 0; i < 3; ++i)
        ScalePositionGroup->button(i)->setObjectName(QString::fromLatin1(positionNames[i]));
    return position;
}

QGroupBox* TPrefDlg::BuildMeasureGroup(QWidget* page) {
    auto* measure = new QGroupBox(QStringLiteral("Measurement, Arrow, Oval and Circle"), page);
    MeasurePenWidth = Named(new QSpinBox(measure), "MeasurePenWidth");
    MeasurePenWidth->setRange(MeasurePenWidthRange.Min, MeasurePenWidthRange.Max);
    MeasureLineColorBox = Named(ColourBox(measure), "MeasureLineColorBox");
    MeasureUnits = Named(new QComboBox(measure), "MeasureUnits");
    // Only the three units the lengths are converted to; a typed one would label
    // micrometre numbers with another unit.
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
    return measure;
}

QGroupBox* TPrefDlg::BuildScaleFontGroup(QWidget* page) {
    auto* font = new QGroupBox(QStringLiteral("Scale and Measurement Font"), page);
    TextBackground = Named(new QFrame(font), "TextBackground");
    TextBackground->setAutoFillBackground(true);
    TextBackground->setFixedHeight(46);
    ScaleFontDemo =
        Named(new QLabel(QString::fromUtf8("Example 50 µm 40X"), TextBackground), "ScaleFontDemo");
    ScaleFontDemo->setAlignment(Qt::AlignCenter);
    // A large font shows in part rather than pushing the other groups aside.
    ScaleFontDemo->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto* demoLayout = new QVBoxLayout(TextBackground);
    demoLayout->addWidget(ScaleFontDemo);
    SelectSMFont =
        Named(new QPushButton(QStringLiteral("Select Scale Font, Style and Color"), font),
              "SelectSMFont");
    ScaleTextHeightUpDown = Named(new QSpinBox(font), "ScaleTextHeightUpDown");
    ScaleTextHeightUpDown->setRange(ScaleTextHeightRange.Min, ScaleTextHeightRange.Max);
    auto* fontLayout = new QGridLayout(font);
    fontLayout->addWidget(TextBackground, 0, 0, 1, 2);
    fontLayout->addWidget(SelectSMFont, 1, 0, 1, 2);
    fontLayout->addWidget(new QLabel(QStringLiteral("Change Text Height"), font), 2, 0);
    fontLayout->addWidget(ScaleTextHeightUpDown, 2, 1);
    fontLayout->addWidget(BuildTextHeightGroup(font), 3, 0, 1, 2);
    fontLayout->setRowStretch(4, 1);
    return font;
}

QGroupBox* TPrefDlg::BuildTextHeightGroup(QWidget* parent) {
    TextHeightBox = Named(new QGroupBox(parent), "TextHeightBox");
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
    return TextHeightBox;
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
