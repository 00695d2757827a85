#pragma once
// Recording settings: normal video or time lapse, compressor, size and folder. Shows the
// preview window's stored settings at every showing; "Start Capturing" writes them back,
// sets AVIWidth x AVIHeight and StartStopTag 1; "Cancel" sets the tag to 0.

#include "platform/ui/WindowOnFirstUse.h"

#include <QDate>
#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class TAviWriter_2;
struct TRecordingSettings;

class TAVIDialog : public QDialog {
public:
    explicit TAVIDialog(QWidget* parent = nullptr);

    // What the dialog shows and writes; set before showing it.
    TRecordingSettings* Fields = nullptr;
    TAviWriter_2* AVIWriter = nullptr;
    // Written by Start. OnTheFly is not among the stored settings: it lasts while the
    // program runs.
    bool OnTheFly = false;
    int AVIWidth = 640;
    int AVIHeight = 480;
    // The tag of the preview window's Start button: 1 after Start, 0 after Cancel.
    int StartStopTag = 0;
    // The date in the proposed file name: today's, unless a test fixes it.
    static inline std::function<QDate()> Today = [] { return QDate::currentDate(); };

    void FormShow();
    void UpdateCompressorList();
    // Throws the writer's "No compressor for " error.
    void CompressorboxChange();
    void OpenCompressorDialogClick();
    void StartbtnClick();
    void CancelbtnClick();
    void SelectAVIDirClick();
    void NormalVideoClick() {}

    // The index of a combo box's selected item; -1 when its text was typed over.
    static int SelectedIndex(const QComboBox* box);

    QTabWidget* VideoMode;
    QWidget* NormalVideo;
    QWidget* TimeLapse;
    QComboBox* FPSBox;
    QLineEdit* NVTimeLimit;
    QComboBox* IntervalBox;
    QComboBox* TimeBox;
    QLineEdit* TLTimeLimit;
    QComboBox* TLFPSBox;
    QComboBox* Compressorbox;
    QPushButton* OpenCompressorDialog;
    QCheckBox* OnTheFlyCB;
    QComboBox* SizeBox;
    QPlainTextEdit* Memo1;
    QLineEdit* AVIDirEdit;
    QPushButton* SelectAVIDir;
    QLineEdit* FileNameEdit;
    QPushButton* Startbtn;
    QPushButton* Cancelbtn;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The proposal shown: its date and counter value.
    QDate proposalDate_;
    int proposedAVINr_ = 0;
    void FixSize();
    bool sizeFixed_ = false;
};

inline TWindowOnFirstUse<TAVIDialog> AVIDialog;
