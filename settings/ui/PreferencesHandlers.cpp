#include "PreferencesDialog.h"

#include "settings/FontAndTextDialogs.h"
#include "settings/PrefFolders.h"
#include "settings/SettingsUtilities.h"

#include "platform/Prompts.h"
#include "settings/ui/ColourControls.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>

// The handlers of the folder, naming, measuring and label controls.

void TPrefDlg::SelectPhotoDirBtnClick(int tag) {
    const QString oldFolder = Settings ? Settings->PhotoFolder : QString();
    const QString oldWatch = Settings ? Settings->WatchFolder : QString();
    const QString start = PhotoFolderBrowseStart(oldFolder);
    const QString title = tag == 2 ? QStringLiteral("Select an existing folder to store the images")
                                   : QStringLiteral("Select where to create the new folder");
    const QString chosen = BrowseForFolder(title, start, false);
    // A cancelled choice keeps the folder shown.
    if (chosen.isEmpty())
        return;
    const QString target =
        tag == 2 ? chosen : NewFolderPath(chosen, DefaultPhotoFolderEdit->text());
    if (PhotoFolderInCameraFolder(target, oldWatch) ||
        PhotoFolderInCameraFolder(target, FromCameraEdit->text())) {
        AppPrompts().Message(QString(), PhotoFolderIsCameraFolderWarning(), MessageIcon::Warning);
        // Selecting goes on with the photo folder in force as the chosen one, so the fields
        // show its name parts again; nothing is created inside it.
        if (tag == 2)
            ShowChosenPhotoFolder(oldFolder);
        else
            PhotoDirEdit->setText(oldFolder);
        return;
    }
    if (tag == 1) {
        const auto created = ::CreatePhotoFolder(chosen, DefaultPhotoFolderEdit->text());
        if (!created) {
            AppPrompts().Message(QString(), QStringLiteral("Unable to create folder ") + target,
                                 MessageIcon::Error);
            return;
        }
        PhotoDirEdit->setText(*created);
        DefaultPhotoFolderEdit->clear();
        return;
    }
    ShowChosenPhotoFolder(chosen);
}

void TPrefDlg::ShowChosenPhotoFolder(const QString& chosen) {
    PhotoDirEdit->setText(chosen);
    const PhotoFolderNameParts parts = ParsePhotoFolderName(chosen);
    if (parts.HasDate) {
        if (!parts.Date) {
            AppPrompts().Message(QString(), NotADateMessage(parts.DateText), MessageIcon::Error);
            return;
        }
        DateTimePicker->setDate(*parts.Date);
    }
    LocationEdit1->setText(parts.Location);
    LocationEdit2->setText(parts.Coordinates);
}

void TPrefDlg::CreateDefaultFolderClick() {
    DefaultPhotoFolderEdit->setText(
        BuildPhotoFolderName(LocationEdit1->text(), LocationEdit2->text(), DateTimePicker->date(),
                             IgnoreDate->isChecked()));
}

void TPrefDlg::ImageTempButtonClick() {
    const QString start = CameraFolderBrowseStart(Settings ? Settings->WatchFolder : QString());
    const QString chosen =
        BrowseForFolder(QStringLiteral("Select a Folder for Images from Camera"), start, false);
    if (chosen.isEmpty())
        return;
    if (!CameraFolderIsEmpty(chosen)) {
        AppPrompts().Message(QString(), CameraFolderNotEmptyWarning(), MessageIcon::Warning);
        return;
    }
    FromCameraEdit->setText(chosen);
}

void TPrefDlg::CBClick(int scheme) {
    if (!CB[scheme]->isChecked()) {
        checkedScheme_ = -1;
        return;
    }
    checkedScheme_ = scheme;
    for (int i = 0; i < NamingSchemeCount; ++i)
        if (i != scheme)
            CB[i]->setChecked(false);
    ShowSchemeEnables(scheme);
}

void TPrefDlg::ShowSchemeEnables(int scheme) {
    if (scheme < 0)
        return;
    PrefixEdit->setEnabled(SchemeUsesPrefix(scheme));
    CaptureNrEdit->setEnabled(SchemeUsesCounter(scheme));
    ResetFileNr->setEnabled(SchemeUsesCounter(scheme));
}

void TPrefDlg::ResetFilenrClick() {
    CaptureNrEdit->setText(QStringLiteral("0"));
}

void TPrefDlg::ScalePercentageClick() {
    const bool promil = ScalePercentage->isChecked();
    const ScaleSizeCaptions captions = ScaleCaptions(promil);
    Scalelabel->setText(captions.Width);
    MarginLabel->setText(captions.Margin);
    TextHeightBox->setTitle(captions.TextHeight);
    {
        const QSignalBlocker a(ScaleWidthUpDown), b(ScaleMarginUpDown), c(ScaleTextHeightUpDown);
        ScaleWidthUpDown->setValue(sizes_.Width(promil));
        ScaleMarginUpDown->setValue(sizes_.Margin(promil));
        ScaleTextHeightUpDown->setValue(sizes_.TextHeight(promil));
    }
    ShowTextHeights();
    ShowScaleFontDemo();
}

// Each up-down stores only its own value, in the copy of the unit in force.
void TPrefDlg::ScaleWidthUpDownClick() {
    sizes_.SetWidth(ScalePercentage->isChecked(), ScaleWidthUpDown->value());
}

void TPrefDlg::ScaleMarginUpDownClick() {
    sizes_.SetMargin(ScalePercentage->isChecked(), ScaleMarginUpDown->value());
}

void TPrefDlg::ScaleTextHeightUpDownClick() {
    sizes_.SetTextHeight(ScalePercentage->isChecked(), ScaleTextHeightUpDown->value());
    ShowTextHeights();
    ShowScaleFontDemo();
}

void TPrefDlg::ShowTextHeights() {
    const int height = ScaleTextHeightUpDown->value();
    ScaleTextHeightEdit->setText(QString::number(height));
    MeasurementTextHeightEdit->setText(QString::number(MeasurementTextHeight(height)));
}

void TPrefDlg::ShowScaleFontDemo() {
    QFont font = ScaleFontDemo->font();
    font.setPixelSize(ScalePreviewPixelHeight(ScalePercentage->isChecked(),
                                              ScaleTextHeightUpDown->value(), WorkImageHeight));
    ScaleFontDemo->setFont(font);
}

void TPrefDlg::AdjustColor() {
    QPalette palette = TextBackground->palette();
    const QPalette system = QApplication::palette();
    palette.setColor(QPalette::Window, IsLightText(scaleFont_.Color)
                                           ? system.color(QPalette::Dark)
                                           : system.color(QPalette::Button));
    TextBackground->setPalette(palette);
}

void TPrefDlg::ScaleColorClick() {
    QPalette palette = ScaleColorShape->palette();
    palette.setColor(QPalette::Window, rbBlack->isChecked() ? Qt::black : Qt::white);
    ScaleColorShape->setPalette(palette);
}

void TPrefDlg::MeasureUnitsChange() {
    if (filling_)
        return;
    const int position = ScaleDivisionsBox->currentIndex();
    const QString unit = MeasureUnits->currentText();
    const QStringList items = ScaleDivisionItems(unit);
    QStringList shown;
    for (int i = 0; i < ScaleDivisionsBox->count(); ++i)
        shown << ScaleDivisionsBox->itemText(i);
    if (shown == items)
        return;
    ScaleDivisionsBox->clear();
    ScaleDivisionsBox->addItems(items);
    ScaleDivisionsBox->setCurrentIndex(DivisionsPositionForUnit(position, unit));
}

void TPrefDlg::SelectSMFontClick() {
    FontRecord font = scaleFont_;
    if (!AppFontAndTextDialogs().SelectFont(font))
        return;
    scaleFont_.Name = font.Name;
    scaleFont_.Style = font.Style;
    scaleFont_.Color = font.Color;
    // The preview's character height as shown becomes the pixel text height: with pixels in
    // force that is the height itself. With per mille in force the up-down goes on showing
    // the per-mille height, which stays as it was.
    const bool promil = ScalePercentage->isChecked();
    sizes_.TextHeightPx =
        std::clamp(ScalePreviewPixelHeight(promil, ScaleTextHeightUpDown->value(), WorkImageHeight),
                   ScaleTextHeightRange.Min, ScaleTextHeightRange.Max);
    ShowFontIn(ScaleFontDemo, scaleFont_);
    AdjustColor();
    {
        const QSignalBlocker quiet(ScaleTextHeightUpDown);
        ScaleTextHeightUpDown->setValue(sizes_.TextHeight(promil));
    }
    ShowTextHeights();
    ShowScaleFontDemo();
}

void TPrefDlg::SelectLabelFontClick() {
    if (AppFontAndTextDialogs().SelectStandardFont(labelFont_))
        ShowFontIn(LabelFont, labelFont_);
}

void TPrefDlg::SelectCopyrightFontClick() {
    if (AppFontAndTextDialogs().SelectStandardFont(copyrightFont_))
        ShowFontIn(CopyrightFont, copyrightFont_);
}
