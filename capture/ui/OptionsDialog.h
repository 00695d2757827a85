#pragma once
// The preview window's "Settings" dialog: snapshot names, sound, the panel side, the AVI
// number, and the remote triggers. It edits the preview window's fields directly.

#include "platform/ui/WindowOnFirstUse.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class TCamViewMain;

class TOptionsDlg : public QDialog {
public:
    // parent: the preview window whose fields are edited (else the global one).
    explicit TOptionsDlg(QWidget* parent = nullptr);

    void FormShow();
    void OKBtnClick();
    void RunServerClick();
    void UseCurDeviceClick();
    void ResetFilenrClick();
    void ResetAVINrClick();
    void NumberEditKeyUp();
    void PrefixEditKeyUp();
    void AVIFileNrEditKeyUp();
    void NameBoxChange() {}
    // Throws the conversion error of a number box that holds no integer; what was applied
    // up to there stays applied.
    void ApplySettings();

    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QTabWidget* OptionsForm;
    // "General Settings"
    QLineEdit* PrefixEdit;
    QCheckBox* UseCurDevice;
    QLineEdit* NumberEdit;
    QCheckBox* ResetFilenr;
    QComboBox* NameBox;
    QComboBox* ImageType;
    QLabel* ExampleStr;
    QLabel* SnapshotDirLabel;
    QCheckBox* SoundEnabledBox;
    QCheckBox* PanelRight;
    QLineEdit* AVIFileNrEdit;
    QCheckBox* ResetAVINr;
    QLabel* AVIExampleStr;
    // "Remote"
    QCheckBox* UseTrigger;
    QLineEdit* COMEdit;
    QButtonGroup* COMGroup;
    QCheckBox* DTRbox;
    QCheckBox* RTSbox;
    QCheckBox* RunServer;
    QLabel* TCPIPAddress;
    QLineEdit* TCPIPport;
    QLineEdit* TCPIPCommand;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TCamViewMain* Owner() const;
    void BuildGeneralPage();
    void BuildRemotePage();
    void UpdateExample();
    void UpdateAviExample();
};

inline TWindowOnFirstUse<TOptionsDlg> OptionsDlg;

// The integer in a number box, or the conversion error ("'abc' is not a valid integer value").
int NumberBoxValue(const QString& text);
// The snapshot counter in its box: NumberBoxValue, and an error for a number outside 0 to
// 99999 (a pasted "-5" would name the next snapshot "-0005").
int CaptureNrBoxValue(const QString& text);
