#pragma once
// The preferences: MC systems and objectives, folders, naming and appearance. One modal
// window created at start-up; every opening starts from the measuring window's settings,
// and only OK takes the pages over (ApplyPreferences).

#include "settings/MainSettingsFields.h"
#include "settings/PrefMCSystems.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
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

    // Copies the pages into the settings.
    void ApplyPreferences();
    // 1 when the capture system was picked or a system deleted since the dialog opened.
    int CaptureChangedTag() const { return work_.CaptureChanged(); }
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

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildImageCapturePage();
    QWidget* BuildMicroscopePage();
    void FormShow();
    void PrefsChange();
    void OKBtnClick();
    // Runs a handler of the working copy, then shows the result.
    void Handle(const std::function<void(PrefMCSystems&)>& handler);
    void ShowWork();

    PrefMCSystems work_;
};

inline TPrefDlg* PrefDlg = nullptr;
