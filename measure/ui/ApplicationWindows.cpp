#include "ApplicationWindows.h"

#include "AboutDialog.h"
#include "MainWindow.h"
#include "MeasurementListWindow.h"
#include "SaveWithOptionsDialog.h"
#include "capture/CamViewSettings.h"
#include "capture/CaptureDevices.h"
#include "capture/ui/CamViewMain.h"
#include "capture/ui/OptionsDialog.h"
#include "imaging/ui/ExposureDialog.h"
#include "platform/ProgramFolder.h"
#include "settings/ui/DialogFontAndText.h"
#include "settings/ui/FontDialog.h"
#include "settings/ui/InputDialog.h"
#include "settings/ui/PreferencesDialog.h"
#include "video/AviCompressorNames.h"
#include "video/ui/AviSettingsDialog.h"

#include <functional>

namespace {
std::vector<QWidget*> created;
std::vector<std::function<void()>> forgetters; // one for each global object given a maker
DialogFontAndText fontAndTextDialogs;

// The window is made when it is first used and destroyed with the others.
template <class T, class Make> void OnFirstUse(TWindowOnFirstUse<T>& global, Make make) {
    global.MakeWith([make] {
        T* window = make();
        created.push_back(window);
        return window;
    });
    forgetters.push_back([&global] { global.Forget(); });
}
} // namespace

std::vector<QWidget*> CreateApplicationWindows(const QStringList& arguments) {
    created.clear();
    forgetters.clear();
    // The capture side lists the recording side's encoders as its video compressors.
    SetCompressorNames(DeviceCategory::VideoCompressor, AviCompressorNames);
    created.push_back(new TMain(arguments));
    OnFirstUse(CamViewMain, [] {
        auto* preview = new TCamViewMain;
        preview->SetCaptureTaker(Main);
        return preview;
    });
    // Its command server listens from the start.
    if (CommandServerRunsAtStart(::ProgramFolder()))
        CamViewMain.Get();
    OnFirstUse(OptionsDlg, [] { return new TOptionsDlg; });
    OnFirstUse(SaveWithOptions, [] { return new TSaveWithOptions(Main); });
    OnFirstUse(AboutDlg, [] { return new TAboutDlg; });
    OnFirstUse(LBForm, [] { return new TLBForm; });
    OnFirstUse(SimpleFontDialog, [] { return new TSimpleFontDialog; });
    OnFirstUse(InputDialog, [] { return new TInputDialog; });
    OnFirstUse(PrefDlg, [] { return new TPrefDlg; });
    OnFirstUse(BCSForm, [] { return new TBCSForm; });
    OnFirstUse(AVIDialog, [] { return new TAVIDialog; });
    SetAppFontAndTextDialogs(&fontAndTextDialogs);
    return created;
}

void DestroyApplicationWindows() {
    SetAppFontAndTextDialogs(nullptr);
    SetCompressorNames(DeviceCategory::VideoCompressor, nullptr);
    // A window destroyed may still reach the others: none is made anew meanwhile.
    for (const auto& forget : forgetters)
        forget();
    forgetters.clear();
    for (auto it = created.rbegin(); it != created.rend(); ++it)
        delete *it;
    created.clear();
}
