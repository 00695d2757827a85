// The measuring window's keys, the menu items beyond files and display, the left panel's
// capture buttons and files dropped on the image area. The rules are in
// measure/KeyCommands; the commands themselves are the window's handlers.

#include "FotoView.h"
#include "MainWindow.h"
#include "capture/ui/CamViewMain.h"
#include "measure/Calibration.h"
#include "measure/ImageFileCommands.h"
#include "measure/KeyCommands.h"
#include "platform/Prompts.h"
#include "platform/ui/QuvarApplication.h"
#include "settings/MainSettings.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>

namespace {

QKeySequence SequenceOf(const QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    return QKeySequence(QKeyCombination(modifiers, Qt::Key(event->key())));
}

// Sees every key of the measuring window before its controls do, and every drop on the
// image area.
class WindowKeys final : public QObject {
public:
    explicit WindowKeys(TMain* window) : QObject(window), window_(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            // A control with the focus (the read-only Action edit takes Ctrl+C) must not
            // keep a key the window's menu has a shortcut for.
            if (InWindow(watched) && IsWindowShortcut(SequenceOf(static_cast<QKeyEvent*>(event)))) {
                event->ignore();
                return true;
            }
            return false;
        case QEvent::KeyPress:
            if (!InWindow(watched))
                return false;
            if (TakeKey(static_cast<QKeyEvent*>(event))) {
                event->accept();
                return true;
            }
            return false;
        case QEvent::KeyRelease:
            if (InWindow(watched) && !static_cast<QKeyEvent*>(event)->isAutoRepeat())
                window_->FormKeyUp();
            return false;
        case QEvent::DragEnter:
        case QEvent::DragMove:
            if (watched == window_->MeasureBox->viewport()) {
                auto* drag = static_cast<QDropEvent*>(event);
                if (drag->mimeData()->hasUrls()) {
                    drag->acceptProposedAction();
                    return true;
                }
            }
            return false;
        case QEvent::Drop:
            if (watched == window_->MeasureBox->viewport()) {
                auto* drop = static_cast<QDropEvent*>(event);
                drop->acceptProposedAction();
                window_->HandleDroppedFile(drop->mimeData()->urls());
                return true;
            }
            return false;
        default:
            return false;
        }
    }

private:
    // Keys reach a window only while it is shown; tests send them to a hidden one.
    bool InWindow(QObject* watched) const {
        auto* widget = qobject_cast<QWidget*>(watched);
        return widget && widget->window() == window_;
    }
    // An error of a command goes to the error box here, not through the toolkit's
    // delivery of the key; the key was the window's.
    bool TakeKey(QKeyEvent* event) const {
        bool taken = true;
        QuvarApplication::RunGuarded([&] { return taken = window_->FormKeyDown(event); });
        return taken;
    }
    bool IsWindowShortcut(const QKeySequence& sequence) const {
        const auto actions = window_->findChildren<QAction*>();
        return std::any_of(actions.begin(), actions.end(), [&](const QAction* action) {
            return action->isEnabled() && action->shortcuts().contains(sequence);
        });
    }

    TMain* window_;
};

} // namespace

void TMain::BuildKeyCommands() {
    const auto addItem = [this](QMenu* menu, const QString& caption, const char* name,
                                const QKeySequence& key, auto handler) {
        auto* item = new QAction(caption, menu);
        item->setObjectName(QString::fromLatin1(name));
        item->setShortcut(key);
        connect(item, &QAction::triggered, this, handler);
        return item;
    };

    auto* measurement = menuBar()->findChild<QMenu*>(QStringLiteral("MeasurementMenu"));
    static const int scaleTags[] = {5, 10, 20, 50, 100, 200, 500};
    for (int i = 0; i < 7; ++i) {
        const QByteArray name = "InsertScale" + QByteArray::number(i);
        const int tag = scaleTags[i];
        measurement->addAction(addItem(measurement, QString(), name.constData(),
                                       QKeySequence(Qt::Key(Qt::Key_F1 + i)),
                                       [this, tag] { InsertScaleClick(tag); }));
    }

    auto* tools = menuBar()->findChild<QMenu*>(QStringLiteral("ToolsMenu"));
    QAction* rotateLeft = tools->findChild<QAction*>(QStringLiteral("Rotate270"));
    struct Label {
        const char* caption;
        const char* name;
        Qt::Key key;
        int tag;
    };
    for (const Label& label :
         {Label{"Insert Label", "InsertLabel", Qt::Key_L, 4},
          Label{"Insert Current Objective Label", "InsertObjectiveLabel", Qt::Key_M, 6},
          Label{"Insert &Copyright", "InsertCopyright", Qt::Key_R, 2}}) {
        const int tag = label.tag;
        tools->insertAction(rotateLeft,
                            addItem(tools, QString::fromLatin1(label.caption), label.name,
                                    Qt::CTRL | label.key, [this, tag] { InsertLabelClick(tag); }));
    }

    auto* cropping = new QMenu(QStringLiteral("C&ropping"), menuBar());
    cropping->setObjectName(QStringLiteral("CroppingMenu"));
    // One action in both menus: two with the same shortcut would cancel each other.
    cropping->addAction(tools->findChild<QAction*>(QStringLiteral("UndoSelectArea1")));
    cropping->addAction(addItem(cropping, QStringLiteral("Select Free Crop Area"), "SelectFreeArea",
                                Qt::Key_A, &TMain::SelectFreeAreaClick));
    QMenu* pixels = cropping->addMenu(QStringLiteral("Select Crop Area (pixels)"));
    pixels->setObjectName(QStringLiteral("CropPixelsMenu"));
    QMenu* units = cropping->addMenu(SelectCropAreaCaption(LengthUnit));
    units->setObjectName(QStringLiteral("CropUnitsMenu"));
    BuildCropMenus(pixels, units);
    cropping->addAction(addItem(cropping, QStringLiteral("Toggle Crop Area Label Color"),
                                "ToggleCropColor", Qt::Key_K, &TMain::ToggleCropColorClick));
    const char* formats[] = {"3:2", "4:3", "16:9", "1:1"};
    for (int tag = 1; tag <= 4; ++tag) {
        const QByteArray name = "PictureFormat" + QByteArray::number(tag);
        cropping->addAction(addItem(
            cropping,
            QStringLiteral("Set Selection Format   ") + QString::fromLatin1(formats[tag - 1]),
            name.constData(), QKeySequence(), [this, tag] { PictureFormatClick(tag); }));
    }
    QAction* rotateCut = cropping->addAction(QStringLiteral("Rotate Cut Area"));
    rotateCut->setObjectName(QStringLiteral("RotateCutArea"));
    rotateCut->setVisible(false);
    menuBar()->insertMenu(menuBar()->findChild<QAction*>(QStringLiteral("ColorAdjustment")),
                          cropping);
    UpdateMenuUnitCaptions();

    connect(Preview, &QPushButton::clicked, this, [this] { PreviewClick(); });
    connect(ShowLastImage, &QPushButton::clicked, this, [this] { ShowLastImageClick(); });
    connect(SearchUnprocessed, &QPushButton::clicked, this, [this] { SearchUnprocessedClick(); });
    connect(AsFromDevice, &QPushButton::clicked, this, [this] { AsFromDeviceClick(); });

    // Once per press: a held key repeats nothing.
    for (QAction* action : findChildren<QAction*>())
        action->setAutoRepeat(false);
    MeasureBox->viewport()->setAcceptDrops(true);
    auto* keys = new WindowKeys(this);
    MeasureBox->viewport()->installEventFilter(keys);
    qApp->installEventFilter(keys);
}

void TMain::UpdateMenuUnitCaptions() {
    const std::array<QString, 7> captions = InsertScaleCaptions(LengthUnit);
    for (int i = 0; i < 7; ++i)
        if (auto* item = findChild<QAction*>(QStringLiteral("InsertScale%1").arg(i)))
            item->setText(captions[size_t(i)]);
    if (auto* units = findChild<QMenu*>(QStringLiteral("CropUnitsMenu")))
        units->setTitle(SelectCropAreaCaption(LengthUnit));
    UpdateCropMenuCaptions();
}

bool TMain::FormKeyDown(QKeyEvent* event) {
    const KeyAction action = KeyCommandFor(event->key(), event->modifiers(), MeasureMode);
    if (action.Command == KeyCommand::None)
        return false;
    if (event->isAutoRepeat())
        return true;
    switch (action.Command) {
    case KeyCommand::None:
        break;
    case KeyCommand::DisplaySize:
        FotoSize->setCurrentIndex(action.Item);
        ResizeImageClick();
        break;
    case KeyCommand::Redraw:
        FormUpdate(action.Item);
        break;
    case KeyCommand::Preview:
        PreviewClick();
        break;
    case KeyCommand::ShowLastImage:
        ShowLastImageClick();
        break;
    case KeyCommand::SwapCrop: {
        // A frame still being redrawn keeps its orientation.
        if (Busy)
            break;
        Busy = true;
        const struct Clear {
            bool& busy;
            ~Clear() { busy = false; }
        } clear{Busy};
        SwapCropOrientation();
        break;
    }
    case KeyCommand::ResizeCropFrame:
        KeyResizeCropFrame(
            action.Item,
            CropFrameKeyStep(EffectiveCalibration(*this).MicrometresPerPixel, LengthUnit));
        Foto->update();
        ShowFreeAreaSize();
        break;
    case KeyCommand::Escape:
        // A mode ends; so does a drag of the measuring tools, with its band.
        if (MeasureMode != ModeTools || MouseIsDown)
            CancelMode();
        Foto->unsetCursor();
        Foto->update();
        break;
    case KeyCommand::NextImage:
        BrowseFolder(NextInFolder(ListBox1));
        break;
    case KeyCommand::PreviousImage:
        BrowseFolder(PreviousInFolder(ListBox1));
        break;
    }
    return true;
}

void TMain::FormKeyUp() {
    Busy = false;
}

void TMain::BrowseFolder(const BrowseStep& step) {
    // A crop frame or label waiting for its place belongs to the image on display.
    if (MeasureMode != ModeTools)
        CancelMode();
    ListBox1.Tag = step.Tag;
    if (step.Load.isEmpty()) {
        AppPrompts().Message(QStringLiteral("QUVAR"), step.Message, MessageIcon::Information);
        return;
    }
    BrowsingFolder = true;
    const struct Clear {
        bool& browsing;
        ~Clear() { browsing = false; }
    } clear{BrowsingFolder};
    LoadImageFile(step.Load);
}

void TMain::HandleDroppedFile(const QList<QUrl>& urls) {
    const DropDecision drop = DecideDrop(urls);
    if (!drop.Refusal.isEmpty()) {
        AppPrompts().Message(QStringLiteral("QUVAR"), drop.Refusal, MessageIcon::Warning);
        return;
    }
    if (drop.Path.isEmpty())
        return;
    // Refused before anything changes: the image on display keeps its system.
    try {
        ReadImageFile(drop.Path);
    } catch (const std::exception&) {
        AppPrompts().Message(QStringLiteral("QUVAR"), NotAnImageText, MessageIcon::Warning);
        return;
    }
    try {
        UnknownSystemClick();
        // Before loading: the comment's location lines come from the image's own folder.
        SelectedFolder = QDir::cleanPath(QFileInfo(drop.Path).absolutePath());
        LoadImageFile(drop.Path);
    } catch (const std::exception& error) {
        QuvarApplication::ShowError(error);
    }
}

// Commands whose windows and tools are not built yet: each says so in the status bar.
void TMain::ShowNotAvailable(const QString& command) {
    statusBar()->showMessage(command + QStringLiteral(" is not available yet"), 5000);
}

void TMain::PreviewClick() {
    // With a DSLR its own software takes the pictures: clear its folder and step aside.
    if (UseDSLR) {
        EmptyWatchFolderAndMinimise();
        return;
    }
    if (!CamViewMain) {
        ShowNotAvailable(QStringLiteral("Preview"));
        return;
    }
    // The preview takes this window's place until it hands back.
    if (isMaximized()) {
        CamViewMain->showMaximized();
    } else {
        CamViewMain->setWindowState(Qt::WindowNoState);
        CamViewMain->setGeometry(geometry());
        CamViewMain->show();
    }
    CamViewMain->raise();
    CamViewMain->activateWindow();
    setEnabled(false);
}
