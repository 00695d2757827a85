#include "ApplicationWindows.h"

#include "AboutDialog.h"
#include "MainWindow.h"
#include "MeasurementListWindow.h"
#include "SaveWithOptionsDialog.h"
#include "capture/CaptureDevices.h"
#include "capture/ui/CamViewMain.h"
#include "capture/ui/OptionsDialog.h"
#include "imaging/ui/ExposureDialog.h"
#include "settings/ui/DialogFontAndText.h"
#include "settings/ui/FontDialog.h"
#include "settings/ui/InputDialog.h"
#include "settings/ui/PreferencesDialog.h"
#include "video/AviCompressorNames.h"
#include "video/ui/AviSettingsDialog.h"

namespace {
std::vector<QWidget*> created;
DialogFontAndText fontAndTextDialogs;
} // namespace

std::vector<QWidget*> CreateApplicationWindows(const QStringList& arguments) {
    created.clear();
    // The capture side lists the recording side's encoders as its video compressors.
    SetCompressorNames(DeviceCategory::VideoCompressor, AviCompressorNames);
    created.push_back(new TMain(arguments));
    created.push_back(CamViewMain = new TCamViewMain);
    CamViewMain->SetCaptureTaker(Main);
    created.push_back(OptionsDlg = new TOptionsDlg);
    created.push_back(SaveWithOptions = new TSaveWithOptions(Main));
    created.push_back(AboutDlg = new TAboutDlg);
    created.push_back(LBForm = new TLBForm);
    created.push_back(SimpleFontDialog = new TSimpleFontDialog);
    created.push_back(InputDialog = new TInputDialog);
    created.push_back(PrefDlg = new TPrefDlg);
    created.push_back(BCSForm = new TBCSForm);
    created.push_back(AVIDialog = new TAVIDialog);
    SetAppFontAndTextDialogs(&fontAndTextDialogs);
    return created;
}

void DestroyApplicationWindows() {
    SetAppFontAndTextDialogs(nullptr);
    SetCompressorNames(DeviceCategory::VideoCompressor, nullptr);
    for (auto it = created.rbegin(); it != created.rend(); ++it)
        delete *it;
    created.clear();
    CamViewMain = nullptr;
    OptionsDlg = nullptr;
    SaveWithOptions = nullptr;
    AboutDlg = nullptr;
    LBForm = nullptr;
    SimpleFontDialog = nullptr;
    InputDialog = nullptr;
    PrefDlg = nullptr;
    BCSForm = nullptr;
    AVIDialog = nullptr;
}
