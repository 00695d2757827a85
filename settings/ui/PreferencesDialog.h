#pragma once
// The preferences: MC systems and objectives, folders, naming and appearance. One modal
// window created at start-up; every opening starts from the measuring window's settings.
// OK and "Save Settings" take the pages over (ApplyPreferences); "Load Settings" puts the
// appearance of a settings file in force at once.

#include "platform/ui/WindowOnFirstUse.h"
#include "settings/MainSettingsFields.h"
#include "settings/PrefMCSystems.h"
#include "settings/PrefPages.h"

#include <QDialog>

#include <functional>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;

class TPrefDlg : public QDialog {
public:
    explicit TPrefDlg(QWidget* parent = nullptr);

    // What the dialog edits, set by the measuring window before it shows the dialog: its
    // settings, the system its objective panel shows, and how the applied capture system
    // reaches its own controls (the DSLR flag; nothing without a system).
    TMainSettings* Settings = nullptr;
    QString PanelSystemName;
    std::function<void(std::optional<bool> useDSLR)> ShowAppliedInMainWindow;
    // After the pages are applied: the unit, size and capture captions that follow them.
    std::function<void()> ShowAppearanceInMainWindow;
    // The "Include magnification" choice of Save With Options for the applied scheme.
    std::function<void(bool includeMag)> SetIncludeMag;
    // The measuring window's work image height, for the scale preview in per mille.
    int WorkImageHeight = 0;

    // Copies the pages into the settings, all or nothing: false, with the reason shown and
    // no setting changed, when a field is bad or the photo and camera folders clash.
    bool ApplyPreferences();
    // What the pages other than the MC systems hold now.
    PrefPageValues PageValues() const;
    // 1 when the capture system was picked or a system deleted since the dialog opened.
    int CaptureChangedTag() const { return work_.CaptureChanged(); }
    // What the last apply of this opening (OK, or "Save Settings" before a Cancel) took
    // over of the capture choice; nothing when no apply ran, so the table is as it was.
    struct AppliedCapture {
        int CaptureChanged = 0;
        int System = -1;
    };
    std::optional<AppliedCapture> LastApply() const { return lastApply_; }
    const PrefMCSystems& Work() const { return work_; }

    QTabWidget* Prefs;
    QWidget* TabSheet2; // "Image Capture"
    QWidget* TabSheet1; // "Microscope and Camera"
    QWidget* TabSheet3; // "Measuring and Tools"
    QWidget* TabSheet5; // "Labels"
    QWidget* TabSheet4; // "Miscellaneous"
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* LoadSettings;
    QPushButton* SaveSettings;

    QComboBox* NameBox;
    QCheckBox* CamIsDSLR;
    QLabel* DefaultLabel;
    QPushButton* AddMic;
    QPushButton* DelMic;
    QPushButton* EditMic;
    QListWidget* ObjectivesBox;
    QPushButton* AddObj;
    QPushButton* DelObj;
    QPushButton* RenameObjective;
    QToolButton* Upbtn;
    QToolButton* Downbtn;
    QComboBox* DefaultMCsystembox;

    // "Image Capture": folder name, photo folder, naming.
    QLineEdit* LocationEdit1;
    QLineEdit* LocationEdit2;
    QDateEdit* DateTimePicker;
    QCheckBox* IgnoreDate;
    QPushButton* CreateDefaultFolder;
    QLineEdit* DefaultPhotoFolderEdit;
    QLineEdit* PhotoDirEdit;
    QPushButton* SelectPhotoDirBtn; // Tag 2
    QPushButton* CreatePhotoFolder; // Tag 1
    QCheckBox* SaveGrabbedFramesCB;
    QCheckBox* CB[NamingSchemeCount];
    QLineEdit* CaptureNrEdit;
    QPushButton* ResetFileNr;
    QLineEdit* PrefixEdit;
    QComboBox* ImageExt;
    // "Microscope and Camera": the camera folder.
    QLineEdit* FromCameraEdit;
    QPushButton* ImageTempButton;

    // "Measuring and Tools".
    QCheckBox* ScalePercentage;
    QLabel* Scalelabel;
    QSpinBox* ScaleWidthUpDown;
    QLabel* MarginLabel;
    QSpinBox* ScaleMarginUpDown;
    QRadioButton* rbBlack;
    QRadioButton* rbWhite;
    QFrame* ScaleColorShape;
    QCheckBox* ShowScaleText;
    QCheckBox* cbScaleBackground;
    QRadioButton* ScaleType1;
    QRadioButton* ScaleType2;
    QComboBox* ScaleDivisionsBox;
    QButtonGroup* ScalePositionGroup; // SPBL, SPBC, SPBR: ids 0, 1, 2
    QSpinBox* MeasurePenWidth;
    QComboBox* MeasureLineColorBox;
    QComboBox* MeasureUnits;
    QCheckBox* Addunit;
    QComboBox* BackGroundColor;
    QCheckBox* cbUnitTransparancy;
    QLineEdit* ArrowHeadLength;
    QCheckBox* FillArrowBox;
    QFrame* TextBackground;
    QLabel* ScaleFontDemo;
    QPushButton* SelectSMFont;
    QSpinBox* ScaleTextHeightUpDown;
    QGroupBox* TextHeightBox;
    QLineEdit* ScaleTextHeightEdit;
    QLineEdit* MeasurementTextHeightEdit;

    // "Labels".
    QLabel* LabelFont;
    QPushButton* SelectLabelFont;
    QButtonGroup* LabelBox;
    QLineEdit* WLEdit;
    QLabel* CopyrightFont;
    QPushButton* SelectCopyrightFont;
    QLineEdit* Copyrightstr;
    QButtonGroup* CopyrightBox;
    QButtonGroup* ObjectivePosBox;

    // "Miscellaneous".
    QCheckBox* BMPComment;
    QCheckBox* ResizeWarning;
    QCheckBox* ExternalFileWarning;
    QButtonGroup* SetDimensions; // 0 width, 1 height

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildImageCapturePage();
    QWidget* BuildMicroscopePage();
    QWidget* BuildMeasuringPage();
    QGroupBox* BuildScaleGroup(QWidget* page);
    QGroupBox* BuildScaleColourGroup(QWidget* parent);
    QGroupBox* BuildScalePositionGroup(QWidget* parent);
    QGroupBox* BuildMeasureGroup(QWidget* page);
    QGroupBox* BuildScaleFontGroup(QWidget* page);
    QGroupBox* BuildTextHeightGroup(QWidget* parent);
    QWidget* BuildLabelsPage();
    QWidget* BuildMiscellaneousPage();
    void ShowPageValues(const PrefPageValues& values);
    void PopulateMeasuringAndLabels(const PrefPageValues& values);

    // Folders and naming.
    void SelectPhotoDirBtnClick(int tag);
    // Shows folder as the photo folder and reads its name parts into the fields.
    void ShowChosenPhotoFolder(const QString& folder);
    void CreateDefaultFolderClick();
    void ImageTempButtonClick();
    void CBClick(int scheme);
    void ShowSchemeEnables(int scheme);
    void ResetFilenrClick();

    // Measuring and labels.
    void ScalePercentageClick();
    void ScaleWidthUpDownClick();
    void ScaleMarginUpDownClick();
    void ScaleTextHeightUpDownClick();
    void ShowTextHeights();
    void ShowScaleFontDemo();
    void AdjustColor();
    void ScaleColorClick();
    void MeasureUnitsChange();
    void SelectSMFontClick();
    void SelectLabelFontClick();
    void SelectCopyrightFontClick();
    void LoadSettingsClick();
    void SaveSettingsClick();
    void FormShow();
    void PrefsChange();
    void OKBtnClick();
    // Runs a handler of the working copy, then shows the result.
    void Handle(const std::function<void(PrefMCSystems&)>& handler);
    void ShowWork();

    PrefMCSystems work_;
    ScaleSizes sizes_;
    FontRecord scaleFont_;
    FontRecord labelFont_;
    FontRecord copyrightFont_;
    std::optional<AppliedCapture> lastApply_;
    int checkedScheme_ = -1;
    bool filling_ = false;
};

inline TWindowOnFirstUse<TPrefDlg> PrefDlg;
