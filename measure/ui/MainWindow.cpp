#include "MainWindow.h"

#include "AboutDialog.h"
#include "FotoView.h"
#include "SaveWithOptionsDialog.h"
#include "ShellMenuEntry.h"
#include "capture/FolderMon.h"
#include "capture/ui/CamViewMain.h"
#include "imaging/ImageFiles.h"
#include "imaging/ui/ExposureDialog.h"
#include "measure/Calibration.h"
#include "measure/DisplaySizes.h"
#include "measure/ImageCalibrationState.h"
#include "measure/WindowPlacement.h"
#include "measure/WorkImageRebuild.h"
#include "platform/Errors.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompts.h"
#include "platform/ui/FormHelpers.h"
#include "platform/ui/LeftAlignedButton.h"
#include "platform/ui/QtPrompts.h"
#include "platform/ui/QuvarApplication.h"
#include "settings/MCSystems.h"
#include "settings/MainSettings.h"
#include "settings/SettingsUtilities.h"
#include "settings/ui/PreferencesDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <exception>

namespace {

constexpr int kLeftPanelWidth = 340;
constexpr int kCommentPanelWidth = 320;
constexpr int kObjectiveButtonCount = 20;

// The margins and spacing of the left panel's groups.
void Compact(QLayout* layout) {
    layout->setContentsMargins(6, 2, 6, 4);
    layout->setSpacing(2);
}

QPushButton* NamedButton(const char* name, const QString& text) {
    return Named(new QPushButton(text), name);
}

QToolButton* ToolButton(const char* name, const QString& text, const QString& tip) {
    auto* button = Named(new QToolButton, name);
    button->setText(text);
    button->setToolTip(tip);
    button->setCheckable(true);
    button->setAutoExclusive(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setMinimumSize(36, 32);
    // Tool buttons are chosen with the mouse only: a focused one would toggle on Space
    // without choosing its tool.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

TMain::TMain(const QStringList& arguments, QWidget* parent) : QMainWindow(parent) {
    Main = this;
    BuildLayout();
    BuildTools();
    BuildOverlays();
    BuildMenus();
    BuildKeyCommands();
    FormCreate(arguments);
}

TMain::~TMain() {
    if (FolderMonitor) {
        FolderMonitor->OnDeactivated = nullptr;
        FolderMonitor->Deactivate();
    }
    if (Main == this)
        Main = nullptr;
    if (TCamViewMain* preview = CamViewMain.IfMade(); preview && preview->CaptureTaker() == this)
        preview->SetCaptureTaker(nullptr);
}

QWidget* TMain::BuildLeftPanel() {
    LeftPanel = Named(new QWidget, "LeftPanel");
    LeftPanel->setFixedWidth(kLeftPanelWidth);
    // Compact, as a fixed layout: at the minimum window height the objective group below
    // must still hold the buttons of a system with several objectives.
    auto* column = new QVBoxLayout(LeftPanel);
    column->setContentsMargins(4, 2, 4, 2);
    column->setSpacing(2);
    column->addWidget(BuildMCGroupBox());
    column->addWidget(BuildFilesBox());
    column->addWidget(BuildCapturedBox());
    column->addWidget(BuildCalibrationBox());
    MicCamLabel = Named(new QLabel, "MicCamLabel");
    column->addWidget(MicCamLabel);
    column->addWidget(BuildObjectiveBox());
    column->addStretch(1);
    LeftPanel->installEventFilter(this);
    return LeftPanel;
}

QGroupBox* TMain::BuildMCGroupBox() {
    MCGroupBox = Named(new QGroupBox(QStringLiteral("Microscope and Camera")), "MCGroupBox");
    auto* grid = new QGridLayout(MCGroupBox);
    Compact(grid);
    Preview = NamedButton("Preview", QStringLiteral("Preview (P)"));
    MCLabel = Named(new QLabel, "MCLabel");
    MCSobjectivelabel = Named(new QLabel, "MCSobjectivelabel");
    CBUseDSLR = Named(new QCheckBox(QStringLiteral("DSLR Camera")), "CBUseDSLR");
    SDLRIndicator = Named(new QFrame, "SDLRIndicator");
    SDLRIndicator->setFixedSize(14, 14);
    SDLRIndicator->setFrameShape(QFrame::Box);
    grid->addWidget(Preview, 0, 0);
    grid->addWidget(CBUseDSLR, 0, 1);
    grid->addWidget(SDLRIndicator, 0, 2, Qt::AlignRight);
    grid->addWidget(MCLabel, 1, 0);
    grid->addWidget(MCSobjectivelabel, 1, 1, 1, 2);
    // The red bar: the capture system's objective is not its default one.
    NonDefaultObjectiveIndicator = Named(new QLabel, "NonDefaultObjectiveIndicator");
    NonDefaultObjectiveIndicator->setFixedHeight(5);
    NonDefaultObjectiveIndicator->setAutoFillBackground(true);
    grid->addWidget(NonDefaultObjectiveIndicator, 2, 0, 1, 3);
    return MCGroupBox;
}

QGroupBox* TMain::BuildFilesBox() {
    auto* files = Named(new QGroupBox(QStringLiteral("Open and Save Image")), "FilesBox");
    auto* row = new QHBoxLayout(files);
    Compact(row);
    OpenImage = NamedButton("OpenImage", QStringLiteral("Open"));
    SaveImageAs = NamedButton("SaveImageAs", QStringLiteral("Save"));
    SaveOptions = NamedButton("SaveOptions", QStringLiteral("Options"));
    row->addWidget(OpenImage);
    row->addWidget(SaveImageAs);
    row->addWidget(SaveOptions);
    return files;
}

QGroupBox* TMain::BuildCapturedBox() {
    auto* captured =
        Named(new QGroupBox(QStringLiteral("Captured Images from Camera")), "CapturedBox");
    auto* grid = new QGridLayout(captured);
    Compact(grid);
    ShowLastImage = NamedButton("ShowLastImage", QStringLiteral("Last Image"));
    SearchUnprocessed = NamedButton("SearchUnprocessed", QStringLiteral("Unprocessed"));
    AsFromDevice = NamedButton("AsFromDevice", QStringLiteral("As From Device"));
    CaptureWidth = Named(new LeftAlignedButton, "CaptureWidth");
    CaptureWidthLabel = Named(new QLabel, "CaptureWidthLabel");
    grid->addWidget(ShowLastImage, 0, 0);
    grid->addWidget(SearchUnprocessed, 0, 1);
    grid->addWidget(AsFromDevice, 0, 2);
    grid->addWidget(CaptureWidthLabel, 1, 0, 1, 3);
    grid->addWidget(CaptureWidth, 2, 0, 1, 3);
    return captured;
}

QGroupBox* TMain::BuildCalibrationBox() {
    CalibrationBox =
        Named(new QGroupBox(QStringLiteral("Calibration / Measurement")), "CalibrationBox");
    auto* grid = new QGridLayout(CalibrationBox);
    Compact(grid);
    auto* tools = new QHBoxLayout;
    Calibrate = ToolButton("Calibrate", QStringLiteral("Cal"), QStringLiteral("Calibrate"));
    Measure = ToolButton("Measure", QStringLiteral("|-|"), QStringLiteral("Measure"));
    Closteriometer =
        ToolButton("Closteriometer", QStringLiteral("( )"), QStringLiteral("Measure curvature"));
    ArrowButton = ToolButton("ArrowButton", QStringLiteral("->"), QString());
    CircleButton = ToolButton("CircleButton", QStringLiteral("O"), QString());
    MakeListButton = ToolButton("MakeListButton", QStringLiteral("List"),
                                QStringLiteral("Initialise or show a list of  measurements"));
    MakeListButton->setAutoExclusive(false);
    for (QToolButton* b :
         {Calibrate, Measure, Closteriometer, ArrowButton, CircleButton, MakeListButton})
        tools->addWidget(b);
    Measure->setChecked(true);
    Action = Named(new QLineEdit, "Action");
    Action->setReadOnly(true);
    Calibration = Named(new QLineEdit, "Calibration");
    Calibration->setReadOnly(true);
    CalLabel = Named(new QLabel, "CalLabel");
    NotCalibrated = Named(new QLabel(QStringLiteral("Not Calibrated!")), "NotCalibrated");
    SetTextRed(NotCalibrated, true);
    QFont bold = NotCalibrated->font();
    bold.setBold(true);
    NotCalibrated->setFont(bold);
    // Hidden, it keeps its place: nothing below may move when it shows.
    QSizePolicy keepsPlace = NotCalibrated->sizePolicy();
    keepsPlace.setRetainSizeWhenHidden(true);
    NotCalibrated->setSizePolicy(keepsPlace);
    NotCalibrated->hide();
    ImgWidthLabel = Named(new QLabel, "ImgWidthLabel");
    FotoSize = Named(new QComboBox, "FotoSize");
    FotoSize->setMaxVisibleItems(FotoSizeItemCount);
    OrgSizeLabel = Named(new QLabel, "OrgSizeLabel");
    CurrentSizeLabel = Named(new QLabel, "CurrentSizeLabel");
    auto* value = new QHBoxLayout;
    Calibration->setFixedWidth(100);
    value->addWidget(Calibration);
    value->addWidget(CalLabel);
    value->addStretch(1);
    value->addWidget(NotCalibrated);
    grid->addLayout(tools, 0, 0, 1, 2);
    grid->addWidget(Action, 1, 0, 1, 2);
    grid->addLayout(value, 2, 0, 1, 2);
    // "Set Image Height in pixels:" and "Height in pixels = 4608" do not fit one row.
    grid->addWidget(ImgWidthLabel, 3, 0, 1, 2);
    grid->addWidget(FotoSize, 4, 0, 1, 2);
    grid->addWidget(OrgSizeLabel, 5, 0, 1, 2);
    grid->addWidget(CurrentSizeLabel, 6, 0, 1, 2);
    return CalibrationBox;
}

QGroupBox* TMain::BuildObjectiveBox() {
    ObjectiveRBox = Named(new QGroupBox(QStringLiteral("Objectives")), "ObjectiveRBox");
    auto* list = new QVBoxLayout(ObjectiveRBox);
    Compact(list);
    list->setSpacing(3); // the button pitch the count of fitting buttons assumes
    for (int i = 0; i < kObjectiveButtonCount; ++i) {
        auto* button = new QRadioButton;
        button->setObjectName(QStringLiteral("RB%1").arg(i + 1));
        button->setProperty("Tag", i);
        button->hide();
        list->addWidget(button);
    }
    ObjectivesBox = Named(new QComboBox, "ObjectivesBox");
    ObjectivesBox->setMaxVisibleItems(MaxObjectives);
    ObjectivesBox->hide();
    ObjInfo = Named(new QLabel, "ObjInfo");
    list->addWidget(ObjectivesBox);
    list->addWidget(ObjInfo);
    return ObjectiveRBox;
}

void TMain::BuildLayout() {
    setObjectName(QStringLiteral("Main"));
    auto* central = new QWidget;
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(BuildLeftPanel());

    Panel1 = Named(new QWidget, "Panel1");
    auto* client = new QVBoxLayout(Panel1);
    client->setContentsMargins(0, 0, 0, 0);
    MeasureBox = Named(new QScrollArea, "MeasureBox");
    MeasureBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    MeasureBox->setBackgroundRole(QPalette::Dark);
    Foto = Named(new FotoView(WorkImage), "Foto");
    Foto->resize(0, 0);
    MeasureBox->setWidget(Foto);
    MeasureBox->setWidgetResizable(false);
    client->addWidget(MeasureBox);
    row->addWidget(Panel1, 1);

    CommentPanel = Named(new QFrame(Panel1), "CommentPanel");
    CommentPanel->setFrameShape(QFrame::StyledPanel);
    CommentPanel->setAutoFillBackground(true);
    {
        auto* layout = new QVBoxLayout(CommentPanel);
        CommentMemo = Named(new QPlainTextEdit, "CommentMemo");
        CommentMemo->setReadOnly(true);
        CommentPanelClose = NamedButton("CommentPanelClose", QStringLiteral("Close"));
        layout->addWidget(CommentMemo);
        layout->addWidget(CommentPanelClose, 0, Qt::AlignRight);
    }
    CommentPanel->hide();

    setCentralWidget(central);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    setMinimumSize(1146, 768);

    connect(CaptureWidth, &QPushButton::clicked, this, [this] {
        CaptureWidthLabel->setText(
            CaptureWidthClick(*this, FotoSize->currentIndex(), FotoSize->currentText()));
    });
    connect(OpenImage, &QPushButton::clicked, this, [this] { OpenImageClick(0); });
    connect(SaveImageAs, &QPushButton::clicked, this, [this] { SaveImageAsClick(0); });
    connect(SaveOptions, &QPushButton::clicked, this, [this] { SaveUseOptionsClick(); });
    connect(CommentPanelClose, &QPushButton::clicked, this, [this] { CommentPanelCloseClick(); });
    connect(CBUseDSLR, &QCheckBox::clicked, this, [this] { CBUseDSLRClick(); });
    // Only a choice by the user rebuilds: start-up sets the item without one.
    connect(FotoSize, &QComboBox::activated, this, [this] { ResizeImageClick(); });
}

void TMain::BuildMenus() {
    // handler: a member function of the window or any callable without arguments.
    const auto addItem = [this](QMenu* menu, const QString& caption, const char* name,
                                const QKeySequence& key, auto handler) {
        QAction* item = menu->addAction(caption);
        item->setObjectName(QString::fromLatin1(name));
        item->setShortcut(key);
        connect(item, &QAction::triggered, this, handler);
        return item;
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    addItem(file, QStringLiteral("Open (from Photo Folder)"), "OpenPhotoFolder", Qt::Key_O,
            [this] { OpenImageClick(0); });
    addItem(file, QStringLiteral("Open (from Selected Folder)"), "OpenSelectedFolder",
            Qt::CTRL | Qt::Key_O, [this] { OpenImageClick(1); });
    // "Reopen" is not shown; its shortcut works from anywhere in the window.
    QAction* reopen = addItem(file, QStringLiteral("Reopen"), "Reopen", Qt::ALT | Qt::Key_O,
                              [this] { OpenImageClick(2); });
    file->removeAction(reopen);
    addAction(reopen);
    file->addSeparator();
    addItem(file, QStringLiteral("Save (in Photo Folder)"), "SavePhotoFolder", Qt::Key_S,
            [this] { SaveImageAsClick(0); });
    addItem(file, QStringLiteral("Save (in Selected Folder)"), "SaveSelectedFolder",
            Qt::CTRL | Qt::Key_S, [this] { SaveImageAsClick(1); });
    addItem(file, QStringLiteral("Save (in Alternative Folder)"), "SaveAlternativeFolder",
            Qt::ALT | Qt::Key_S, [this] { SaveImageAsClick(2); });
    addItem(file, QStringLiteral("Save Image With Options"), "SaveUseOptions", Qt::Key_W,
            [this] { SaveUseOptionsClick(); });
    file->addSeparator();
    QAction* exit = file->addAction(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, [this] { Exit1Click(); });

    MCSystemMenu = menuBar()->addMenu(QStringLiteral("Microscope and &Camera"));
    MCSystemMenu->setObjectName(QStringLiteral("MCSystemMenu"));

    QAction* preferences = menuBar()->addAction(QStringLiteral("&Preferences"));
    preferences->setObjectName(QStringLiteral("Preferences"));
    connect(preferences, &QAction::triggered, this, [this] { PreferencesClick(0); });

    QMenu* measurement = menuBar()->addMenu(QStringLiteral("&Measurement"));
    measurement->setObjectName(QStringLiteral("MeasurementMenu"));
    QAction* tools = measurement->addAction(QStringLiteral("Show Measurement Tools"));
    tools->setObjectName(QStringLiteral("ShowMeasurementTools"));
    tools->setShortcut(QKeySequence(Qt::Key_T));
    connect(tools, &QAction::triggered, this, [this] { PreferencesClick(1); });
    addItem(measurement, QStringLiteral("&Clear"), "Clear", Qt::Key_C, &TMain::ClearClick);

    QMenu* toolsMenu = menuBar()->addMenu(QStringLiteral("&Tools"));
    toolsMenu->setObjectName(QStringLiteral("ToolsMenu"));
    addItem(toolsMenu, QStringLiteral("Undo"), "Undo1", Qt::CTRL | Qt::Key_Z, &TMain::Undo1Click);
    addItem(toolsMenu, QStringLiteral("Redo"), "Redo1", Qt::CTRL | Qt::Key_Y, &TMain::Redo1Click);
    addItem(toolsMenu, QStringLiteral("Undo Crop Area and Exposure Correction"), "UndoSelectArea1",
            Qt::CTRL | Qt::Key_U, &TMain::UndoSelectArea1Click);
    addItem(toolsMenu, QStringLiteral("Copy"), "Copy1", Qt::CTRL | Qt::Key_C, &TMain::Copy1Click);
    addItem(toolsMenu, QStringLiteral("Paste"), "Paste1", Qt::CTRL | Qt::Key_V,
            &TMain::Paste1Click);
    addItem(toolsMenu, QStringLiteral("Rotate Left"), "Rotate270", Qt::Key_L,
            &TMain::Rotate270Click);
    addItem(toolsMenu, QStringLiteral("Rotate Right"), "Rotate90", Qt::Key_R,
            &TMain::Rotate90Click);
    addItem(toolsMenu, QStringLiteral("Make Current Image Permanent"), "FixImage", Qt::Key_I,
            &TMain::FixImageClick);
    addItem(toolsMenu, QStringLiteral("Show Immage Comment (toggle)"), "ShowSystemComment",
            Qt::Key_Y, &TMain::ShowSystemCommentClick);

    // Like "&Preferences", a title of the menu bar that is the command itself.
    QAction* exposure = menuBar()->addAction(QStringLiteral("&Exposure Correction (key  E)"));
    exposure->setObjectName(QStringLiteral("ColorAdjustment"));
    exposure->setShortcut(QKeySequence(Qt::Key_E));
    connect(exposure, &QAction::triggered, this, &TMain::ExposureCorrectionClick);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* manual = help->addAction(QStringLiteral("&Help"));
    connect(manual, &QAction::triggered, this, [this] { Help2Click(); });
    QAction* about = help->addAction(QStringLiteral("&About..."));
    about->setObjectName(QStringLiteral("About1"));
    connect(about, &QAction::triggered, this, [this] { About1Click(); });
}

void TMain::FormCreate(const QStringList& arguments) {
    // Decimal separator and version text are process-wide constants here: numbers never
    // go through the C locale, and the version comes from MainFields.
    Action->setText(QStringLiteral("Measure"));
    Action->setToolTip(Action->text());
    MeasureMode = ModeTools;
    NewSampleDate = QDate::currentDate();
    CopyrightText = QStringLiteral("Made with ") + VersionText;

    MeasureBox->setAcceptDrops(true);

    OpenImage->setToolTip(ForDisplay(QStringLiteral("(O): Open file in Photo Folder\n\r(CTRL + "
                                                    "O): Open file in Selected Folder")));
    SaveImageAs->setToolTip(ForDisplay(QStringLiteral(
        "(S): Save photo in Photo Folder\n\r(CTRL + S): Save photo in Selected Folder\n\r(ALT + "
        "S): Save in Alternative Folder")));
    SaveOptions->setToolTip(QStringLiteral("Save With Options (W)"));
    CircleButton->setToolTip(
        QStringLiteral(" Draw Circle or Oval. Click again to cycle through options"));
    ArrowButton->setToolTip(
        QStringLiteral("Draw Arrow or Dot. Click again to cycle through options"));

    ActiveTool = ToolMeasure;
    MCSystems.Reset();

    OriginalImage = QImage();
    WorkImage = QImage();
    ExposureImage = QImage();

    CommentLines.clear();
    UserCommentLines.clear();
    SystemCommentLines.clear();
    MCSystemCommentLines.clear();
    ImageLocation.clear();
    ImageCoordinates.clear();
    SaveExtension = OpenedExtension = QStringLiteral("jpg");
    SelectedFolder.clear();
    AlternativeFolder.clear();
    ScaleType = 1;
    WriteBmpComment = true;
    PositionsInPixels = true;

    ProgramFolder = ::ProgramFolder();
    WriteShellMenuRegFile();
    BuildObjectiveButtonArray();

    const FolderLocation location = LoadMainSettings(*this);
    ImageLocation = location.Location;
    ImageCoordinates = location.Coordinates;
    ApplyLoadedPlacement();
    UpdateUnitCaptions();
    NrOfMCSystems = LoadCalibration(MCSystems, ProgramFolder);
    BoundMCSystemChoice(*this);

    FotoSize->clear();
    FotoSize->addItems(FotoSizeItems(UseWidth));
    ApplySizeWording();

    if (DefaultMCSystem >= 0 && DefaultMCSystem < MaxMCSystems) {
        const TMCsystem& system = MCSystems[DefaultMCSystem];
        MCLabel->setText(system.Name);
        MCSobjectivelabel->setText(
            system.Objectives[size_t(std::clamp(system.CurrentObjective, 0, MaxObjectives - 1))]
                .ObjStr);
    }
    setWindowTitle(PhotoFolder.isEmpty() ? QStringLiteral("QUVAR") : PhotoFolder);

    ShowObjectivePanel(CurrentMCSystem);
    SizeMenusSwapped = false;
    FreeAreaDrawing = false;

    CreateFolderMonitor();
    EmptyWatchFolderAtStart();

    CBUseDSLR->setChecked(CurrentMCSystem >= 0 && CurrentMCSystem < MaxMCSystems &&
                          MCSystems[CurrentMCSystem].CamIsDSLR);
    CBUseDSLRClick();
    BuildMCSystemMenu();

    if (!arguments.isEmpty()) {
        // Start-up is complete here: a file that cannot be opened gets the error box and
        // the window opens empty. Further arguments are ignored.
        try {
            OpenPassedFile(arguments.front());
        } catch (const std::exception& error) {
            QuvarApplication::ShowError(error);
        }
    }
}

void TMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        // After the first paint, so the warning stands over the window, not over nothing.
        QTimer::singleShot(0, this, [this] {
            // An image opened during start-up was fitted before the window had its size.
            if (!OriginalImage.isNull() && FotoSize->currentIndex() == FotoSizeFitToWindow)
                FormUpdate(RebuildRedraw);
            FormShow();
        });
    }
}

void TMain::FormShow() {
    CBUseDSLR->setChecked(UseDSLR);
    if (NrOfMCSystems == 0)
        AppPrompts().Message(
            QStringLiteral("Warning"),
            QStringLiteral("You have to create at least ONE MC-system in preferences\n\rand "
                           "calibrate it first for proper operation of the program!"),
            MessageIcon::Warning);
}

void TMain::BuildObjectiveButtonArray() {
    ObjectiveButtons.clear();
    for (int i = 0; i < kObjectiveButtonCount; ++i)
        ObjectiveButtons.push_back(
            ObjectiveRBox->findChild<QRadioButton*>(QStringLiteral("RB%1").arg(i + 1)));
    for (int i = 0; i < kObjectiveButtonCount; ++i)
        connect(ObjectiveButtons[size_t(i)], &QRadioButton::clicked, this, [this, i] {
            RenderPanel(ObjectiveClick(*this, i));
            ShowCalibration();
        });
    connect(ObjectivesBox, &QComboBox::activated, this, [this](int index) {
        RenderPanel(ObjectivesBoxClick(*this, index));
        ShowCalibration();
    });
}

void TMain::CBUseDSLRClick() {
    UseDSLR = CBUseDSLR->isChecked();
    UpdateDSLRMode();
}

void TMain::EmptyWatchFolderAtStart() {
    const WatchFolderPurge purge = EmptyWatchFolder(WatchFolder, PhotoFolder, ProgramFolder);
    if (!purge.Refusal.isEmpty())
        AppPrompts().Message(QStringLiteral("QUVAR"), purge.Refusal, MessageIcon::Warning);
}

void TMain::ApplyLoadedPlacement() {
    // Top and Left place the frame, so the title bar is where the settings say; move()
    // does that for a window not shown yet. Its frame's size is not known before it is
    // shown: the client size stands for it.
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->availableGeometry());
    const QRect placed = KeepOnScreen({Placement.Left, Placement.Top},
                                      {Placement.Width, Placement.Height}, screens, minimumSize());
    resize(placed.size());
    move(placed.topLeft());
}

void TMain::ShowAsPlaced() {
    // A window saved maximised opens maximised over its normal rectangle. The file never
    // holds 2 for a minimised window, but a state 2 written by hand opens minimised.
    if (Placement.State == 1)
        showMaximized();
    else if (Placement.State == 2)
        showMinimized();
    else
        show();
}

void TMain::UpdateUnitCaptions() {
    CalLabel->setText(CalLabelCaption(LengthUnit));
    UpdateMenuUnitCaptions();
}

void TMain::closeEvent(QCloseEvent* event) {
    // A close from the window manager (title bar, Alt+F4) is the system menu's close
    // command and saves the settings; closes by the program (Exit saves first) do not.
    if (event->spontaneous() && !closingFromSystemMenu_) {
        try {
            SaveMainSettingsNow();
        } catch (const std::exception& error) {
            QuvarApplication::ShowError(error);
        }
    }
    closingFromSystemMenu_ = false;
    FormClose();
    event->accept();
    // The program ends with its measuring window, whatever other windows are still open;
    // they are destroyed after the loop. Without a running loop there is nothing to end.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

void TMain::Exit1Click() {
    // As the close from the title bar: a settings file that cannot be written is reported,
    // and the program still ends.
    try {
        SaveMainSettingsNow();
    } catch (const std::exception& error) {
        QuvarApplication::ShowError(error);
    }
    closingFromSystemMenu_ = true;
    close();
}

void TMain::FormClose() {
    // The preview window's counters and settings first, at every close: without them the
    // next start would propose the names of files already taken. A preview window never
    // made has changed nothing.
    TCamViewMain* preview = CamViewMain.IfMade();
    if (preview)
        QuvarApplication::RunGuarded([preview] {
            preview->SaveSettings();
            return true;
        });
    StopFolderMonitor();
    if (preview)
        preview->close();
}

void TMain::SaveMainSettingsNow() {
    const QRect normal = GetNormalWindowBounds();
    Placement = {normal.top(), normal.left(), normal.width(), normal.height(),
                 isMaximized() ? 1 : 0};
    FotoSizeIndex = FotoSize->currentIndex();
    if (NrOfMCSystems == 1)
        DefaultMCSystem = 0;
    SaveMainSettings(StorableSettings(*this));
}

void TMain::PreferencesClick(int tag) {
    const double rememberedCalibration = CurrentCalibration;
    const int rememberedSystem = CurrentMCSystem;
    // The watch folder may change in the dialog: watching restarts afterwards.
    StopFolderMonitor();
    if (PrefDlg) {
        PrefDlg->Settings = this;
        PrefDlg->PanelSystemName = MicCamLabel->text();
        PrefDlg->WorkImageHeight = WorkImage.height();
        PrefDlg->SetIncludeMag = [](bool on) {
            if (SaveWithOptions)
                SaveWithOptions->IncludeMag->setChecked(on);
        };
        PrefDlg->ShowAppearanceInMainWindow = [this] {
            UpdateUnitCaptions();
            ApplySizeWording();
        };
        PrefDlg->ShowAppliedInMainWindow = [this](std::optional<bool> useDSLR) {
            if (useDSLR) {
                UseDSLR = *useDSLR;
                CBUseDSLR->setChecked(UseDSLR);
            }
            QPalette palette = ObjectiveRBox->palette();
            palette.setColor(QPalette::WindowText, Qt::black);
            ObjectiveRBox->setPalette(palette);
            if (NrOfMCSystems > 0) {
                const TMCsystem& capture = MCSystems[DefaultMCSystem];
                MCLabel->setText(capture.Name);
                const int objective = std::clamp(capture.CurrentObjective, 0, MaxObjectives - 1);
                MCSobjectivelabel->setText(capture.Objectives[size_t(objective)].ObjStr);
            }
        };
        PrefDlg->Prefs->setCurrentWidget(tag == 1 ? PrefDlg->TabSheet3 : PrefDlg->TabSheet2);
        PrefDlg->exec();
    }
    // A settings file that cannot be written must not leave the window half updated (the
    // camera folder unwatched, the menu stale): its error comes after the steps below.
    std::exception_ptr saveError;
    const auto save = [&saveError](auto write) {
        try {
            write();
        } catch (const std::exception&) {
            if (!saveError)
                saveError = std::current_exception();
        }
    };
    save([this] { SaveMainSettingsNow(); });
    save([this] { SaveCalibration(MCSystems, NrOfMCSystems, ProgramFolder); });
    UpdateUnitCaptions();
    ApplySizeWording();
    BuildMCSystemMenu();
    // The capture choice counts as the last apply took it over (OK, or "Save Settings"
    // before a Cancel); without an apply it refers to a table that was dropped.
    const auto applied = PrefDlg ? PrefDlg->LastApply() : std::nullopt;
    if (applied && applied->CaptureChanged != 0 && applied->System >= 0 &&
        applied->System < NrOfMCSystems) {
        CurrentMCSystem = applied->System;
        ShowObjectivePanel(CurrentMCSystem);
        CurrentCalibration = EffectiveCalibration(*this).MicrometresPerPixel;
    } else {
        CurrentMCSystem = rememberedSystem;
        CurrentCalibration = rememberedCalibration;
    }
    setWindowTitle(PhotoFolder.isEmpty() ? QStringLiteral("QUVAR") : PhotoFolder);
    CBUseDSLR->setChecked(UseDSLR);
    ShowObjectivePanel(CurrentMCSystem);
    ShowCalibration();
    RefillSystemComment();
    UpdateDSLRMode();
    if (saveError)
        std::rethrow_exception(saveError);
}

void TMain::OpenPassedFile(const QString& path) {
    SelectedFolder = QDir::cleanPath(QFileInfo(path).absolutePath());
    LoadImageFile(path);
}

void TMain::WriteShellMenuRegFile() {
    WriteShellMenuEntry(ProgramFolder, ExecutablePath());
}

QRect TMain::GetNormalWindowBounds() const {
    // Left and Top of the frame, Width and Height of the client area, as they are applied.
    const QPoint frameOffset = geometry().topLeft() - frameGeometry().topLeft();
    QRect normal = normalGeometry();
    normal.moveTopLeft(normal.topLeft() - frameOffset);
    return normal;
}

void TMain::Help2Click() {
    // Silent on failure, as a missing manual is no error worth a box.
    QDesktopServices::openUrl(
        QUrl::fromLocalFile(ProgramFolder + QStringLiteral("QUVAR Manual.pdf")));
}

void TMain::About1Click() {
    auto* about = new TAboutDlg(this);
    AboutDlg = about;
    about->exec();
    AboutDlg = nullptr;
    delete about;
}

void TMain::ShowSystemCommentClick() {
    CommentPanel->setVisible(!CommentPanel->isVisible());
    FormResize();
    CommentPanel->raise();
}

void TMain::CommentPanelCloseClick() {
    CommentPanel->hide();
}

void TMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TMain::FormResize() {
    // The comment panel stays at the right edge of the client area, full height.
    const int left = std::max(0, Panel1->width() - kCommentPanelWidth);
    CommentPanel->setGeometry(left, 0, std::min(kCommentPanelWidth, Panel1->width()),
                              Panel1->height());
}

void TMain::NamePastedImage() {
    CurrentFileName = MakeAutoFileName(0);
    Display(CurrentFileName);
}

bool TMain::RunExposureDialog() {
    if (!BCSForm)
        return false;
    // The dialog previews on the work image and, on OK, stores into the original.
    BCSForm->SetTarget(
        {&WorkImage, &OriginalImage, &ColorAdjustmentTag, [this] { Foto->ImageChanged(); }});
    BCSForm->exec();
    return true;
}

void TMain::changeEvent(QEvent* event) {
    // A drag whose mouse went to another window never sees its release: end it here, so
    // its band does not stay in the image.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && MouseIsDown)
        CancelMode();
    QMainWindow::changeEvent(event);
}
