#pragma once
// The measuring window: the application's main window. It holds the state of the whole
// application besides the camera (TMainFields) and shows what the core computes.

#include "capture/ui/CaptureTaker.h"
#include "measure/CropFrame.h"
#include "measure/MainFields.h"
#include "measure/ObjectivePanel.h"
#include "measure/ToolGeometry.h"
#include "measure/XorDraw.h"

#include <QMainWindow>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QToolButton;
class FotoView;
class QKeyEvent;
class QUrl;
class TFolderMon;
struct TFolderItemInfo;
struct BrowseStep;

class TMain : public QMainWindow, public TMainFields, public McPanelView, public TCaptureTaker {
public:
    // arguments: the command-line arguments after the program name.
    explicit TMain(const QStringList& arguments = {}, QWidget* parent = nullptr);
    ~TMain() override;

    // The preview window's captures: they go to PhotoFolder, named with NewSampleDate, or
    // come in through WatchFolder as OriginalImage.
    QString CapturePhotoFolder() const override { return PhotoFolder; }
    QDate CaptureSampleDate() const override { return NewSampleDate; }
    QString CaptureWatchFolder() const override { return WatchFolder; }
    void HoldFrame(const QImage& frame) override;
    void ShowInPlaceOf(const QWidget& preview) override;

    // Window commands.
    void FormShow();
    void Exit1Click();
    void PreferencesClick(int tag);
    void OpenPassedFile(const QString& path);
    // Takes OriginalImage as a new capture; arrivedName is its file in the watch folder (the
    // file reported, or the preview window's "FromCamera.jpg"), which alone is then moved
    // into "Unprocessed" or, with saving off, deleted. Empty: there is no file to take.
    void LoadFrame(const QString& arrivedName) override;
    void Help2Click();
    void About1Click();
    void ShowSystemCommentClick();
    void CommentPanelCloseClick();

    // The objective panel and the calibration display.
    void ShowObjectivePanel(int system) override;
    void SetMCLabelWarning(bool on) override;
    void UnknownSystemClick() override;
    void ShowComment(const QString& text) override;
    void RenderPanel(const ObjectivePanel& panel);
    // How many objective buttons fit the left panel's height below the objective group.
    int ObjectiveButtonsThatFit() const;
    QComboBox* ObjectivesBox;
    QLabel* ObjInfo;

    // Image display and whole-image edits.
    void FormUpdate(int mode);
    void ClearClick();
    void ResizeImageClick();
    void Copy1Click();
    void Paste1Click();
    void Rotate90Click();
    void Rotate270Click();
    void ExposureCorrectionClick();
    void FixImageClick();
    void Undo1Click();
    void Redo1Click();
    void UndoSelectArea1Click();
    // Removes whatever a tool has drawn by inverting pixels; called before every rebuild,
    // undo, redo, copy and new image.
    void CancelMode();
    // The drawing tools register how to erase their band or frame, and how to burn in a
    // floating label or scale bar.
    void SetCancelDrawing(std::function<void()> cancel) { cancelDrawing_ = std::move(cancel); }
    void SetBurnInOverlays(std::function<void()> burnIn) { burnInOverlays_ = std::move(burnIn); }
    void SetDiscardOverlays(std::function<void()> discard) {
        discardOverlays_ = std::move(discard);
    }
    // The image area's size as with the scroll bars off.
    QSize ImageAreaSize() const;

    // Measuring tools: the mouse over the image (work-image pixels, shift the keys held at
    // that moment), the tool buttons and the results.
    void FotoMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y);
    void FotoMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int X, int Y);
    void FotoMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int X, int Y);
    void SpeedButtonMouseDown(QToolButton* button, Qt::MouseButton mouseButton);
    void ProcessArrowButton();
    void ProcessCircleButton();
    void CalibrateClick();
    // The measurement list: activated and shown beside this window.
    void MakeListButtonClick();
    // The list button's glyph as the list is active or not.
    void UpdateListButtonGlyph();
    void StartMeasurement(int X, int Y);
    void FinishLengthMeasurement();
    void DrawArrow(bool ctrl);
    void DrawDot();
    void DrawChordBisector();
    void MeasureCurvature(int X, int Y);
    void DrawLineRubberBand(int X, int Y, bool ctrl);
    void DrawEllipseRubberBand(int X, int Y);
    void ShowLiveValue(const QString& text);
    void ShowResultLabel(const QString& text);
    // Burns a floating result label into the work image and records the state.
    void CommitLabel();
    QLabel* MLabel;      // the live value beside the mouse
    QLabel* ImgLabel;    // the floating result label
    int ImgLabelTag = 0; // 1 while a result label floats
    int LabelKind = 0;
    int OverlayPlacement = 0;
    int ClosteriometerTag = 0;  // 0 none, 1 chord drawn, 2 third point pressed
    int CircleButtonTag = 0;    // 0 circle, 1 oval
    int ArrowButtonTag = 0;     // number of the next arrow or dot
    int ArrowpxImageTag = 0;    // 0 arrow px, 1 arrow in the unit, 2 dot px, 3 dot in the unit
    int ImageSizeTag = 0;       // the work image's width after every rebuild
    int ColorAdjustmentTag = 0; // 1 when the exposure dialog stored a correction

    // Opening and saving. tag: the menu item's Tag (0 for a key or a button); the held
    // Ctrl and Alt keys choose the folder as well.
    void OpenImageClick(int tag);
    void LoadImageFile(const QString& path);
    void SaveImageAsClick(int tag);
    void SaveUseOptionsClick();
    // The name to show in the save dialog's name box after the user chose filter
    // filterIndex (counted from 1).
    QString SaveDialogTypeChange(const QString& typedName, int filterIndex) const;
    void Display(const QString& text);
    QString MakeAutoFileName(int kind) const;
    int SaveFilterIndex = 3; // of the save dialog, counted from 1; kept between saves
    void WriteShellMenuRegFile();
    void SaveMainSettingsNow();
    // Shows the window with the placement read from the settings file.
    void ShowAsPlaced();
    void UpdateUnitCaptions();
    // "Set Image Width in pixels:" and the display sizes from the third on reworded
    // "Width in pixels = 640" (or Height); the display-size box then selects its first item.
    void UpdateResizeMenuCaptions();

    // The normal (restored) rectangle, also while maximised or minimised.
    QRect GetNormalWindowBounds() const;

    // Keys, menu commands and dropped files. FormKeyDown runs before the control with the
    // focus and after the menu shortcuts; true when it took the key.
    bool FormKeyDown(QKeyEvent* event);
    void FormKeyUp();
    void HandleDroppedFile(const QList<QUrl>& urls);
    void UpdateMenuUnitCaptions();
    // The capture buttons, scale bars, labels and crop frames.
    void PreviewClick();
    void ShowLastImageClick();
    void SearchUnprocessedClick();
    void AsFromDeviceClick();
    // DSLR mode: the watched camera folder and the captures that arrive there.
    void UpdateDSLRMode();
    void ShowDSLRActivity();
    void ClearDSLRActivity();
    void OnWatchFolderChange(const TFolderItemInfo& info);
    void OpenCapturedImage();
    std::unique_ptr<TFolderMon> FolderMonitor;
    void SwapCropOrientation();
    void KeyResizeCropFrame(int key, double step);
    void ShowFreeAreaSize();
    void InsertScaleClick(int tag);
    void InsertLabelClick(int tag);
    // Scale bars and text labels float over the image until committed into it.
    bool RenderScaleBar();
    void CommitScaleBar();
    void EditLabelText();
    QLabel* ScaleImage;
    QLabel* PosLabel;
    QLabel* PosShape;
    int ScaleImageTag = 0; // 0 no floating scale, 1 without text, 2 with text
    int LabelWrap = 0;
    bool OverlayDragging = false;
    QPoint OverlayDragStart;
    void SelectFreeAreaClick();
    void ToggleCropColorClick();
    void PictureFormatClick(int tag);
    // Crop frames: a size item's frame follows the mouse until a click crops to it.
    void CutSelectionClick(QAction* item);
    void CutSelectionClick_um(QAction* item);
    void DrawCropFrame(int x, int y);
    void CancelCropFrame();
    void StartFreeAreaFrame();
    // A wheel step through the sizes while a frame follows the mouse at imagePoint.
    void FormMouseWheel(bool down, QPoint imagePoint);
    QLabel* SizeLabel = nullptr;
    QSize CropSize;
    QSize CropFrameSize;
    bool CropFrameActive = false;
    TCropFrame CropFrame;

    // Components other windows and tests reach.
    QWidget* LeftPanel;
    QGroupBox* MCGroupBox;
    QPushButton* Preview;
    QLabel* MCLabel;
    QLabel* MCSobjectivelabel;
    QCheckBox* CBUseDSLR;
    QFrame* SDLRIndicator;
    QPushButton* OpenImage;
    QPushButton* SaveImageAs;
    QPushButton* SaveOptions;
    QPushButton* ShowLastImage;
    QPushButton* SearchUnprocessed;
    QPushButton* AsFromDevice;
    QPushButton* CaptureWidth;
    QLabel* CaptureWidthLabel;
    QGroupBox* CalibrationBox;
    QToolButton* Calibrate;
    QToolButton* Measure;
    QToolButton* Closteriometer;
    QToolButton* ArrowButton;
    QToolButton* CircleButton;
    QToolButton* MakeListButton;
    QLineEdit* Action;
    QLineEdit* Calibration;
    QLabel* CalLabel;
    QLabel* NotCalibrated;
    QLabel* ImgWidthLabel;
    QComboBox* FotoSize;
    QLabel* OrgSizeLabel;
    QLabel* CurrentSizeLabel;
    QGroupBox* ObjectiveRBox;
    std::vector<QRadioButton*> ObjectiveButtons;
    QLabel* MicCamLabel;
    QLabel* NonDefaultObjectiveIndicator;
    QWidget* Panel1;
    QScrollArea* MeasureBox;
    FotoView* Foto;
    QFrame* CommentPanel;
    QPlainTextEdit* CommentMemo;
    QPushButton* CommentPanelClose;
    QMenu* MCSystemMenu;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    QWidget* BuildLeftPanel();
    // The left panel's group boxes, top to bottom.
    QGroupBox* BuildMCGroupBox();
    QGroupBox* BuildFilesBox();
    QGroupBox* BuildCapturedBox();
    QGroupBox* BuildCalibrationBox();
    QGroupBox* BuildObjectiveBox();
    void BuildMenus();
    void BuildKeyCommands();
    void BrowseFolder(const BrowseStep& step);
    void ShowNotAvailable(const QString& command);
    void FormCreate(const QStringList& arguments);
    void FormClose();
    void FormResize();
    void BuildObjectiveButtonArray();
    void BuildMCSystemMenu();
    void CBUseDSLRClick();
    void EmptyWatchFolderAtStart();
    void ApplyLoadedPlacement();
    // The wording that follows UseWidth, then the capture size selected in the size box.
    void ApplySizeWording();

    void BurnInPendingOverlays();
    void DiscardPendingOverlays();

    // Scale bar and label overlays.
    void BuildOverlays();
    void ToggleScaleColour();
    void ShowLabelBitmap(const QString& text, const QFont& font, const QColor& colour,
                         std::optional<QColor> background);
    void CommitLabelBitmap();
    bool OverlayMouseEvent(QLabel* overlay, QEvent* event);
    void PlacePosLabel(const QWidget* overlay);
    void MoveOverlay(QWidget* overlay, QPoint imageTopLeft);
    QPoint OverlayImagePos(const QWidget* overlay) const;
    QSize OverlayImageSize(const QWidget* overlay) const;
    QRect VisibleImageRect() const; // the part of the image in view, image pixels
    QImage scaleBitmap_;
    QImage labelBitmap_; // the inserted or edited label as shown; null for a result label
    QString labelText_;

    // Tools.
    void BuildTools();
    bool ToolEventFilter(QObject* watched, QEvent* event);
    void SetAction(const QString& text);
    void PressTool(QToolButton* button);
    void SelectMeasureTool();
    bool ListIsActive() const;
    void ToggleBand();
    void DrawBand(XorShape shape, QPoint a, QPoint b);
    void DrawEllipseBand(QRect box);
    void EraseBand();
    void ArrowAndDotResults();
    // Styles the label for text; returns its size in image pixels.
    QSize StyleValueLabel(QLabel* label, const QString& text);
    void PlaceLabel(QLabel* label, QPoint imageTopLeft);
    bool DragResultLabel(QEvent* event);
    void DiscardLabel();
    void CropToFreeArea();
    void ShowCropSizeMenu(bool inLengthUnits);
    void StartFreeArea(int X, int Y);
    void ExecuteCrop();
    void MoveCropFrame(int X, int Y);
    void BuildCropMenus(QMenu* pixels, QMenu* units);
    void UpdateCropMenuCaptions();
    QMenu* ActiveCropMenu() const;
    void ShowCropLabel(QPoint imageTopLeft);
    QSize StyleSizeLabel(const QString& text);
    void ToggleFixedFrame();
    void ToggleFreeFrame();
    bool fixedFrameDrawn_ = false;
    bool freeFrameDrawn_ = false;
    bool cropLabelWhite_ = false;

    // The band now inverted in the work image, to erase exactly what was drawn.
    struct DrawnBand {
        XorShape Shape;
        QPoint A, B;
        int Width;
        QRgb Colour;
    };
    std::optional<DrawnBand> band_;
    ChordBisector chord_;
    QPoint labelGrab_;
    double CalibrationForDisplay() const;
    void ShowCalibration();
    void NamePastedImage();
    void RefillSystemComment();
    // Shows the exposure dialog; false when there is none to show, and nothing changed.
    bool RunExposureDialog();

    std::function<void()> cancelDrawing_;
    std::function<void()> burnInOverlays_;
    std::function<void()> discardOverlays_;
    bool closingFromSystemMenu_ = false;
    // Capture hand-off.
    QString UnprocessedFolder() const;
    void CreateFolderMonitor();
    void StopFolderMonitor();
    void OpenCapturedFile(const QString& path);
    void EmptyWatchFolderAndMinimise();
    // A capture taken in as opened: named automatically, its system comment and display rebuilt.
    void ShowAsFreshCapture();
    bool takingCapture_ = false;
    bool shown_ = false;
};

inline TMain* Main = nullptr;
