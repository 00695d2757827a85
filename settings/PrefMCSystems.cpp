#include "PrefMCSystems.h"

#include "platform/NumberFormat.h"
#include "platform/Prompts.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QString MessageCaption = QStringLiteral("QUVAR");
const QString ConfirmCaption = QStringLiteral("Confirm");
const QString DefaultObjectivePrefix = QStringLiteral("Default Objective: ");
const QString ProposedSystemName = QStringLiteral("NewMCsystem");

void Refuse(const QString& text) {
    AppPrompts().Message(MessageCaption, text, MessageIcon::Warning);
}

bool Confirmed(const QString& text) {
    return AppPrompts().Ask(ConfirmCaption, text, AskButtons::YesCancel) == Answer::Yes;
}

// The position of name in names, letter case not significant; -1 when absent.
int FindName(const QStringList& names, const QString& name) {
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int WithinOrNone(int index, int count) {
    return index >= 0 && index < count ? index : -1;
}

// A typed name or label as the calibration file can keep it: a pasted line break would end
// the value there (the file refuses it, and with it every later save), and outer blanks are
// trimmed when it is read back.
QString OneLine(const QString& text) {
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "))
        .replace(u'\r', u' ')
        .replace(u'\n', u' ');
    return line.trimmed();
}

} // namespace

std::optional<double> ObjectiveMagnification(const QString& text) {
    qsizetype start = 0;
    while (start < text.size() && text[start].isSpace())
        ++start;
    qsizetype end = start;
    while (end < text.size() && !text[end].isSpace())
        ++end;
    const std::optional<double> value = ParseFloat(QStringView(text).mid(start, end - start));
    if (!value || !std::isfinite(*value) || *value <= 0)
        return std::nullopt;
    return value;
}

void PrefMCSystems::FormShow(const TMainSettings& main, const QString& panelSystemName) {
    captureChanged_ = 0;
    const int count = std::clamp(main.NrOfMCSystems, 0, MaxMCSystems);
    rememberedCapture_ = main.DefaultMCSystem;
    for (int i = 0; i < MaxMCSystems; ++i)
        work_[size_t(i)] = main.MCSystems[i];

    names_.clear();
    nameIndex_ = -1;
    captureIndex_ = -1;
    objectiveIndex_ = -1;
    if (count == 0)
        return;
    for (int i = 0; i < count; ++i)
        names_ << work_[size_t(i)].Name;
    nameIndex_ = FindName(names_, panelSystemName);
    ShowSelectedSystem();
    captureIndex_ = WithinOrNone(main.DefaultMCSystem, count);
    if (const TMCsystem* system = Selected()) {
        // The list highlights the objective in use; the label names the default one.
        SelectObjective(system->CurrentObjective);
        if (objectiveIndex_ < 0)
            SelectObjective(0);
        UpdateDefaultLabel();
    }
}

QStringList PrefMCSystems::ObjectiveLabels() const {
    QStringList labels;
    if (const TMCsystem* system = Selected())
        for (int i = 0; i < system->NrOfObjectives; ++i)
            labels << system->Objectives[size_t(i)].ObjStr;
    return labels;
}

bool PrefMCSystems::CamIsDSLR() const {
    const TMCsystem* system = Selected();
    return system && system->CamIsDSLR;
}

TMCsystem* PrefMCSystems::Selected() {
    return nameIndex_ >= 0 ? &work_[size_t(nameIndex_)] : nullptr;
}

const TMCsystem* PrefMCSystems::Selected() const {
    return nameIndex_ >= 0 ? &work_[size_t(nameIndex_)] : nullptr;
}

void PrefMCSystems::SelectObjective(int index) {
    const TMCsystem* system = Selected();
    objectiveIndex_ = system ? WithinOrNone(index, system->NrOfObjectives) : -1;
}

bool PrefMCSystems::ObjectiveSelected() const {
    const TMCsystem* system = Selected();
    return system && objectiveIndex_ >= 0 && objectiveIndex_ < system->NrOfObjectives;
}

void PrefMCSystems::UpdateDefaultLabel() {
    // Without a system the label keeps what it showed.
    const TMCsystem* system = Selected();
    if (!system)
        return;
    const int index = WithinOrNone(system->DefaultObjective, system->NrOfObjectives);
    defaultLabel_ = DefaultObjectivePrefix +
                    (index >= 0 ? system->Objectives[size_t(index)].ObjStr : QString());
}

void PrefMCSystems::ShowSelectedSystem() {
    objectiveIndex_ = -1;
    const TMCsystem* system = Selected();
    if (!system)
        return;
    SelectObjective(system->DefaultObjective);
    UpdateDefaultLabel();
}

void PrefMCSystems::NameBoxClick(int index) {
    nameIndex_ = WithinOrNone(index, int(names_.size()));
    ShowSelectedSystem();
    captureIndex_ = nameIndex_;
}

void PrefMCSystems::DefaultMCsystemboxChange(int index) {
    captureChanged_ = 1;
    captureIndex_ = WithinOrNone(index, int(names_.size()));
    rememberedCapture_ = captureIndex_;
    nameIndex_ = captureIndex_;
    ShowSelectedSystem();
}

bool PrefMCSystems::NameIsEmpty(const QString& name) {
    if (!name.trimmed().isEmpty())
        return false;
    Refuse(QStringLiteral("Please enter a name"));
    return true;
}

void PrefMCSystems::AddMicClick() {
    if (names_.size() >= MaxMCSystems) {
        Refuse(QStringLiteral("only %1 MC-systems allowed").arg(MaxMCSystems));
        return;
    }
    const QString name =
        OneLine(AppPrompts()
                    .Input(QStringLiteral("Add MCsystem name"),
                           QStringLiteral("Enter a new MCsystem name"), ProposedSystemName)
                    .value_or(ProposedSystemName));
    if (NameIsEmpty(name))
        return;
    if (FindName(names_, name) >= 0) {
        Refuse(QStringLiteral("This name already exists\r\nPlease use another name"));
        return;
    }
    names_ << name;
    nameIndex_ = int(names_.size()) - 1;
    // A record left behind by a system deleted earlier must not show through.
    work_[size_t(nameIndex_)] = TMCsystem{};
    objectiveIndex_ = -1;
    AddObjClick();
    UpdateDefaultLabel();
    captureIndex_ = nameIndex_;
}

void PrefMCSystems::DelMicClick() {
    TMCsystem* system = Selected();
    if (!system)
        return;
    if (nameIndex_ == rememberedCapture_) {
        Refuse(QStringLiteral("You cannot delete this system!\r\nChange the \"Selected MCsystem "
                              "for Capture \" first,\r\nor select another system."));
        return;
    }
    if (!Confirmed(QStringLiteral("Delete MCsystem: \r\n") + names_[nameIndex_] +
                   QStringLiteral(" ?")))
        return;
    const int deleted = nameIndex_;
    names_.removeAt(deleted);
    for (int k = deleted; k < MaxMCSystems - 1; ++k)
        work_[size_t(k)] = work_[size_t(k + 1)];
    nameIndex_ = WithinOrNone(deleted, int(names_.size()));
    ShowSelectedSystem();
    if (rememberedCapture_ > deleted)
        --rememberedCapture_;
    captureIndex_ = WithinOrNone(rememberedCapture_, int(names_.size()));
    captureChanged_ = 1;
}

void PrefMCSystems::EditMicClick() {
    if (!Selected())
        return;
    const QString current = names_[nameIndex_];
    const QString name = OneLine(AppPrompts()
                                     .Input(QStringLiteral("Edit MCsystem name"),
                                            QStringLiteral("Change the MCsystem name"), current)
                                     .value_or(current));
    if (NameIsEmpty(name))
        return;
    names_[nameIndex_] = name;
}

void PrefMCSystems::CamIsDSLRClick(bool checked) {
    if (TMCsystem* system = Selected())
        system->CamIsDSLR = checked;
}

void PrefMCSystems::AddObjClick() {
    TMCsystem* system = Selected();
    if (!system)
        return;
    if (system->NrOfObjectives >= MaxObjectives) {
        Refuse(QStringLiteral("only %1 objectives allowed").arg(MaxObjectives));
        return;
    }
    const std::optional<QString> typed = AppPrompts().Input(
        QStringLiteral("Add Objective"),
        QStringLiteral("Enter an objective magnification as a number. e.g. 10 or ") +
            FormatGeneral(4.5) +
            QStringLiteral("\n\rLeave a space after the magnification and you can add comment"),
        QString());
    if (!typed)
        return;
    const std::optional<double> magnification = ObjectiveMagnification(*typed);
    if (!magnification) {
        Refuse(*typed + QStringLiteral(" is not a legal value (must be a number)"));
        return;
    }
    system->Objectives[size_t(system->NrOfObjectives)] = {*magnification, OneLine(*typed), 0};
    ++system->NrOfObjectives;
    UpdateDefaultLabel();
}

void PrefMCSystems::DelObjClick() {
    TMCsystem* system = Selected();
    if (!system)
        return;
    if (!ObjectiveSelected()) {
        Refuse(QStringLiteral("Select an objective first"));
        return;
    }
    const int deleted = objectiveIndex_;
    if (!Confirmed(QStringLiteral("Delete Objective: \r\n") +
                   system->Objectives[size_t(deleted)].ObjStr + QStringLiteral(" ?")))
        return;
    for (int k = deleted; k < system->NrOfObjectives - 1; ++k)
        system->Objectives[size_t(k)] = system->Objectives[size_t(k + 1)];
    --system->NrOfObjectives;
    system->Objectives[size_t(system->NrOfObjectives)] = ObjCal{};
    system->DefaultObjective = 0;
    // The objective in use must stay one of the objectives.
    if (system->CurrentObjective >= system->NrOfObjectives)
        system->CurrentObjective = 0;
    objectiveIndex_ = -1;
    UpdateDefaultLabel();
}

void PrefMCSystems::RenameObjectiveClick() {
    TMCsystem* system = Selected();
    if (!system)
        return;
    if (!ObjectiveSelected()) {
        Refuse(QStringLiteral("Select an objective first"));
        return;
    }
    ObjCal& objective = system->Objectives[size_t(objectiveIndex_)];
    const QString label = OneLine(AppPrompts()
                                      .Input(QStringLiteral("Change Objective Name"),
                                             QStringLiteral("Edit this Name"), objective.ObjStr)
                                      .value_or(objective.ObjStr));
    if (NameIsEmpty(label))
        return;
    objective.ObjStr = label;
    UpdateDefaultLabel();
}

void PrefMCSystems::ObjectivesBoxClick(int index) {
    TMCsystem* system = Selected();
    if (!system)
        return;
    if (WithinOrNone(index, system->NrOfObjectives) < 0) {
        SelectObjective(0);
        return;
    }
    objectiveIndex_ = index;
    system->DefaultObjective = index;
    UpdateDefaultLabel();
}

void PrefMCSystems::MoveObjective(int from, int to) {
    TMCsystem* system = Selected();
    std::swap(system->Objectives[size_t(from)], system->Objectives[size_t(to)]);
    objectiveIndex_ = to;
    // The default is a position: the objective moved into it becomes the default.
    UpdateDefaultLabel();
}

void PrefMCSystems::LbMoveItemUp() {
    if (ObjectiveSelected() && objectiveIndex_ > 0)
        MoveObjective(objectiveIndex_, objectiveIndex_ - 1);
}

void PrefMCSystems::LbMoveItemDown() {
    if (ObjectiveSelected() && objectiveIndex_ < Selected()->NrOfObjectives - 1)
        MoveObjective(objectiveIndex_, objectiveIndex_ + 1);
}

std::optional<bool> PrefMCSystems::ApplyMCSystems(TMainSettings& main) {
    const int count = int(names_.size());
    std::optional<bool> useDSLR;
    if (count > 0) {
        // A capture system outside the table (none chosen, or none at opening) falls back
        // to the first system, never to an index beyond the configured ones.
        const int capture = captureIndex_ >= 0 ? captureIndex_ : 0;
        main.DefaultMCSystem = capture;
        TMCsystem& record = work_[size_t(capture)];
        record.CurrentObjective = record.DefaultObjective;
        useDSLR = record.CamIsDSLR;
        main.CurrentMCSystem = capture;
        if (count == 1 && ObjectiveLabels().size() == 1)
            main.DefaultMCSystem = 0;
    }
    main.NrOfMCSystems = count;
    for (int i = 0; i < count; ++i) {
        work_[size_t(i)].Name = names_[i];
        main.MCSystems[i] = work_[size_t(i)];
    }
    return useDSLR;
}
