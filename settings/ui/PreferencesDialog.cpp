#include "PreferencesDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int ClientWidth = 628;
constexpr int ClientHeight = 480;

template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* BoldLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

void ShowItems(QComboBox* box, const QStringList& items, int index) {
    const QSignalBlocker quiet(box);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i)
        shown << box->itemText(i);
    if (shown != items) {
        box->clear();
        box->addItems(items);
    }
    box->setCurrentIndex(index);
}

} // namespace

TPrefDlg::TPrefDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PrefDlg"));
    setWindowTitle(QStringLiteral("Preferences"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(ClientWidth, ClientHeight);

    Prefs = Named(new QTabWidget(this), "Prefs");
    TabSheet2 = Named(BuildImageCapturePage(), "TabSheet2");
    TabSheet1 = Named(BuildMicroscopePage(), "TabSheet1");
    TabSheet3 = Named(new QWidget, "TabSheet3");
    TabSheet5 = Named(new QWidget, "TabSheet5");
    TabSheet4 = Named(new QWidget, "TabSheet4");
    Prefs->addTab(TabSheet2, QStringLiteral("Image Capture"));
    Prefs->addTab(TabSheet1, QStringLiteral("Microscope and Camera"));
    Prefs->addTab(TabSheet3, QStringLiteral("Measuring and Tools"));
    Prefs->addTab(TabSheet5, QStringLiteral("Labels"));
    Prefs->addTab(TabSheet4, QStringLiteral("Miscellaneous"));

    OKBtn = Named(new QPushButton(QStringLiteral("OK"), this), "OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = Named(new QPushButton(QStringLiteral("Cancel"), this), "CancelBtn");
    LoadSettings = Named(new QPushButton(QStringLiteral("Load Settings"), this), "LoadSettings");
    SaveSettings = Named(new QPushButton(QStringLiteral("Save Settings"), this), "SaveSettings");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LoadSettings);
    buttons->addWidget(SaveSettings);
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Prefs);
    layout->addLayout(buttons);

    connect(Prefs, &QTabWidget::currentChanged, this, [this] { PrefsChange(); });
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    connect(NameBox, &QComboBox::activated, this,
            [this](int index) { Handle([index](PrefMCSystems& w) { w.NameBoxClick(index); }); });
    connect(DefaultMCsystembox, &QComboBox::activated, this, [this](int index) {
        Handle([index](PrefMCSystems& w) { w.DefaultMCsystemboxChange(index); });
    });
    connect(CamIsDSLR, &QCheckBox::clicked, this,
            [this](bool on) { Handle([on](PrefMCSystems& w) { w.CamIsDSLRClick(on); }); });
    const auto button = [this](QAbstractButton* b, void (PrefMCSystems::*handler)()) {
        connect(b, &QAbstractButton::clicked, this,
                [this, handler] { Handle([handler](PrefMCSystems& w) { (w.*handler)(); }); });
    };
    button(AddMic, &PrefMCSystems::AddMicClick);
    button(DelMic, &PrefMCSystems::DelMicClick);
    button(EditMic, &PrefMCSystems::EditMicClick);
    button(AddObj, &PrefMCSystems::AddObjClick);
    button(DelObj, &PrefMCSystems::DelObjClick);
    button(RenameObjective, &PrefMCSystems::RenameObjectiveClick);
    button(Upbtn, &PrefMCSystems::LbMoveItemUp);
    button(Downbtn, &PrefMCSystems::LbMoveItemDown);
    // A click, also on the entry already selected, and a selection by the keys.
    const auto objectiveClick = [this] {
        const int row = ObjectivesBox->currentRow();
        Handle([row](PrefMCSystems& w) { w.ObjectivesBoxClick(row); });
    };
    connect(ObjectivesBox, &QListWidget::itemClicked, this, objectiveClick);
    connect(ObjectivesBox, &QListWidget::currentRowChanged, this, objectiveClick);
}

QWidget* TPrefDlg::BuildImageCapturePage() {
    auto* page = new QWidget;
    auto* group = new QGroupBox(QStringLiteral("MC-System for Capture"), page);
    DefaultMCsystembox = Named(new QComboBox(group), "DefaultMCsystembox");
    DefaultMCsystembox->setMinimumWidth(240);
    auto* row = new QHBoxLayout(group);
    row->addWidget(new QLabel(QStringLiteral("Select MC-system for Capture"), group));
    row->addWidget(DefaultMCsystembox);
    row->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    layout->addStretch();
    return page;
}

QWidget* TPrefDlg::BuildMicroscopePage() {
    auto* page = new QWidget;

    auto* system = new QGroupBox(QStringLiteral("MC-System"), page);
    NameBox = Named(new QComboBox(system), "NameBox");
    NameBox->setMinimumWidth(220);
    CamIsDSLR = Named(new QCheckBox(QStringLiteral(" Camera is DSLR"), system), "CamIsDSLR");
    QFont bold = CamIsDSLR->font();
    bold.setBold(true);
    CamIsDSLR->setFont(bold);
    DefaultLabel = Named(BoldLabel(work_.DefaultLabel(), system), "DefaultLabel");
    AddMic = Named(new QPushButton(QStringLiteral("Add MC-system"), system), "AddMic");
    DelMic = Named(new QPushButton(QStringLiteral("Delete MC-system"), system), "DelMic");
    EditMic = Named(new QPushButton(QStringLiteral("Edit MC-system Name"), system), "EditMic");
    auto* systemLayout = new QGridLayout(system);
    systemLayout->addWidget(new QLabel(QStringLiteral("Name (identification )"), system), 0, 0);
    systemLayout->addWidget(NameBox, 1, 0);
    systemLayout->addWidget(CamIsDSLR, 2, 0);
    systemLayout->addWidget(DefaultLabel, 3, 0);
    systemLayout->addWidget(AddMic, 1, 1);
    systemLayout->addWidget(DelMic, 2, 1);
    systemLayout->addWidget(EditMic, 3, 1);
    systemLayout->setColumnStretch(0, 1);

    auto* objectives = new QWidget(page);
    ObjectivesBox = Named(new QListWidget(objectives), "ObjectivesBox");
    AddObj = Named(new QPushButton(QStringLiteral("Add Objective"), objectives), "AddObj");
    DelObj = Named(new QPushButton(QStringLiteral("Delete Objective"), objectives), "DelObj");
    RenameObjective =
        Named(new QPushButton(QStringLiteral("Rename Selected Objective"), objectives),
              "RenameObjective");
    Upbtn = Named(new QToolButton(objectives), "Upbtn");
    Upbtn->setArrowType(Qt::UpArrow);
    Upbtn->setToolTip(QStringLiteral("Move selected item up"));
    Downbtn = Named(new QToolButton(objectives), "Downbtn");
    Downbtn->setArrowType(Qt::DownArrow);
    Downbtn->setToolTip(QStringLiteral("Move selected item down"));
    auto* moves = new QVBoxLayout;
    moves->addStretch();
    moves->addWidget(Upbtn);
    moves->addWidget(Downbtn);
    moves->addStretch();
    auto* objectiveButtons = new QVBoxLayout;
    objectiveButtons->addWidget(AddObj);
    objectiveButtons->addWidget(DelObj);
    objectiveButtons->addWidget(RenameObjective);
    objectiveButtons->addStretch();
    auto* objectivesLayout = new QGridLayout(objectives);
    objectivesLayout->setContentsMargins(0, 0, 0, 0);
    objectivesLayout->addWidget(
        new QLabel(QStringLiteral("Objectives (click objective to set as default)"), objectives), 0,
        0, 1, 3);
    objectivesLayout->addWidget(ObjectivesBox, 1, 0);
    objectivesLayout->addLayout(moves, 1, 1);
    objectivesLayout->addLayout(objectiveButtons, 1, 2);
    objectivesLayout->setColumnStretch(0, 1);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(system);
    layout->addWidget(objectives, 1);
    return page;
}

void TPrefDlg::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TPrefDlg::FormShow() {
    PrefsChange();
    if (Settings)
        work_.FormShow(*Settings, PanelSystemName);
    else
        work_.FormShow(TMainSettings{}, QString());
    ShowWork();
}

void TPrefDlg::PrefsChange() {
    const bool appearance =
        Prefs->currentWidget() == TabSheet3 || Prefs->currentWidget() == TabSheet5;
    LoadSettings->setVisible(appearance);
    SaveSettings->setVisible(appearance);
}

void TPrefDlg::Handle(const std::function<void(PrefMCSystems&)>& handler) {
    handler(work_);
    ShowWork();
}

void TPrefDlg::ShowWork() {
    ShowItems(NameBox, work_.Names(), work_.NameIndex());
    ShowItems(DefaultMCsystembox, work_.Names(), work_.CaptureIndex());
    {
        const QSignalBlocker quiet(ObjectivesBox);
        const QStringList labels = work_.ObjectiveLabels();
        QStringList shown;
        for (int i = 0; i < ObjectivesBox->count(); ++i)
            shown << ObjectivesBox->item(i)->text();
        if (shown != labels) {
            ObjectivesBox->clear();
            ObjectivesBox->addItems(labels);
        }
        ObjectivesBox->setCurrentRow(work_.ObjectiveIndex());
        if (work_.ObjectiveIndex() < 0)
            ObjectivesBox->clearSelection();
    }
    DefaultLabel->setText(work_.DefaultLabel());
    CamIsDSLR->setChecked(work_.CamIsDSLR());
}

void TPrefDlg::ApplyPreferences() {
    if (!Settings)
        return;
    const std::optional<bool> useDSLR = work_.ApplyMCSystems(*Settings);
    if (ShowAppliedInMainWindow)
        ShowAppliedInMainWindow(useDSLR);
}

void TPrefDlg::OKBtnClick() {
    // A failing step leaves the dialog open; the error reaches the application's box.
    setResult(0);
    ApplyPreferences();
    accept();
}
