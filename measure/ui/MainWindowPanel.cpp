// The measuring window's MC-system and objective panel and its calibration display: the
// core computes each panel, this file only puts it on the widgets.

#include "MainWindow.h"
#include "measure/Calibration.h"
#include "measure/ImageCalibrationState.h"
#include "measure/LengthFormat.h"
#include "measure/WorkImageRebuild.h"
#include "platform/ui/FormHelpers.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalBlocker>

namespace {

// The bar shows red, or the button face when the objective is the default one.
void SetBarRed(QWidget* bar, bool red) {
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window,
                     red ? QColor(Qt::red) : bar->palette().color(QPalette::Button));
    bar->setPalette(palette);
}

} // namespace

void TMain::RenderPanel(const ObjectivePanel& panel) {
    switch (panel.Layout) {
    case PanelLayout::Unchanged:
        break;
    case PanelLayout::Hidden:
        for (QRadioButton* button : ObjectiveButtons)
            button->hide();
        ObjectivesBox->hide();
        ObjInfo->hide();
        break;
    case PanelLayout::Buttons:
    case PanelLayout::SingleButton:
        ObjectivesBox->hide();
        ObjInfo->setVisible(panel.Layout == PanelLayout::Buttons && !panel.ObjInfo.isEmpty());
        for (size_t i = 0; i < ObjectiveButtons.size(); ++i) {
            QRadioButton* button = ObjectiveButtons[i];
            const bool used = i < panel.Buttons.size();
            button->setVisible(used);
            if (!used)
                continue;
            const ObjectiveButton& model = panel.Buttons[i];
            const QSignalBlocker quiet(button);
            button->setText(model.Caption);
            QFont font = button->font();
            font.setBold(model.Font == ObjectiveFont::Bold);
            font.setItalic(model.Font == ObjectiveFont::Italic);
            button->setFont(font);
            button->setChecked(model.Checked);
        }
        break;
    case PanelLayout::Combo: {
        for (QRadioButton* button : ObjectiveButtons)
            button->hide();
        const QSignalBlocker quiet(ObjectivesBox);
        ObjectivesBox->clear();
        ObjectivesBox->addItems(panel.ComboItems);
        ObjectivesBox->setCurrentIndex(panel.ComboIndex);
        ObjectivesBox->show();
        ObjInfo->setText(panel.ObjInfo);
        ObjInfo->show();
        break;
    }
    }
    if (panel.MicCamLabel)
        MicCamLabel->setText(*panel.MicCamLabel);
    if (panel.MicCamWarning)
        SetMCLabelWarning(*panel.MicCamWarning);
    if (panel.Calibration) {
        Calibration->setText(panel.Calibration->Text);
        CalLabel->setText(panel.Calibration->UnitLabel);
        NotCalibrated->setVisible(panel.Calibration->NotCalibrated);
    }
    if (panel.ShowNotCalibrated) {
        NotCalibrated->setText(NotCalibratedText());
        NotCalibrated->show();
    }
    if (panel.NonDefaultObjective)
        SetBarRed(NonDefaultObjectiveIndicator, *panel.NonDefaultObjective);
    if (panel.CaptureSystem) {
        MCLabel->setText(panel.CaptureSystem->MCLabel);
        MCSobjectivelabel->setText(panel.CaptureSystem->ObjectiveLabel);
    }
}

void TMain::ShowObjectivePanel(int system) {
    RenderPanel(::ShowObjectivePanel(*this, system, ObjectiveButtonsThatFit()));
}

int TMain::ObjectiveButtonsThatFit() const {
    // Before the first layout the panel has no height yet: assume every button fits, the
    // resize that follows lays the panel out again.
    if (!LeftPanel->testAttribute(Qt::WA_Resized) || ObjectiveButtons.empty())
        return ObjectiveButtonCount;
    const int height = LeftPanel->height() - ObjectiveRBox->y() - 6;
    const int buttonHeight = ObjectiveButtons.front()->sizeHint().height() + 3;
    return std::max(0, height / buttonHeight - 2);
}

bool TMain::eventFilter(QObject* watched, QEvent* event) {
    if (ToolEventFilter(watched, event))
        return true;
    if (watched == LeftPanel && event->type() == QEvent::Resize && !ObjectiveButtons.empty() &&
        ImageState != ImageUnknownSystem && ObjectiveButtonsThatFit() != ObjectiveButtonsFit) {
        ShowObjectivePanel(CurrentMCSystem);
        ShowCalibration();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMain::SetMCLabelWarning(bool on) {
    SetTextRed(MicCamLabel, on);
}

void TMain::UnknownSystemClick() {
    RenderPanel(::UnknownSystemClick(*this));
}

void TMain::ShowComment(const QString& text) {
    CommentMemo->setPlainText(text);
}

double TMain::CalibrationForDisplay() const {
    return EffectiveCalibration(*this).MicrometresPerPixel;
}

void TMain::ShowCalibration() {
    // Without an image the panel's own value stands. With one, the value in effect for the
    // display is shown and becomes CurrentCalibration, which circles and the saved comment
    // read: the objective's stored value holds at the capture width only.
    if (WorkImage.isNull())
        return;
    const EffectiveCalibrationResult effective = EffectiveCalibration(*this);
    CurrentCalibration = effective.MicrometresPerPixel;
    const CalibrationDisplay display = ::ShowCalibration(*this, effective.MicrometresPerPixel);
    Calibration->setText(display.Text);
    CalLabel->setText(display.UnitLabel);
    switch (effective.Notice) {
    case CalibrationNotice::Unchanged:
        break;
    case CalibrationNotice::Hidden:
        NotCalibrated->hide();
        break;
    case CalibrationNotice::NotCalibrated:
        NotCalibrated->setText(NotCalibratedText());
        NotCalibrated->show();
        break;
    case CalibrationNotice::Estimate:
        NotCalibrated->setText(EstimateNoticeText());
        NotCalibrated->show();
        break;
    }
}

void TMain::RefillSystemComment() {
    if (ImageState < ImageFromComment)
        FillSystemComment(*this, PhotoLocation, PhotoCoordinates);
    else
        FillSystemComment(*this, ImageLocation, ImageCoordinates);
}

void TMain::BuildMCSystemMenu() {
    MCSystemMenu->clear();
    for (const McSystemMenuItem& item : ::BuildMCSystemMenu(*this)) {
        QAction* action = MCSystemMenu->addAction(item.Caption);
        const int tag = item.Tag;
        connect(action, &QAction::triggered, this, [this, tag] {
            if (tag < 0)
                UnknownSystemClick();
            else
                RenderPanel(SelectDeviceClick(*this, tag, ObjectiveButtonsThatFit()));
            CBUseDSLR->setChecked(UseDSLR);
            // The annotations stay: only the value in effect for the display changes.
            ShowCalibration();
        });
    }
}
