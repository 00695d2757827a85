#pragma once
// The Preferences dialog's working copy of the MC-system table: the systems' names, the
// system being edited, the system chosen for capture and the editing of objectives. The
// measuring window's table is only read at opening and only written by ApplyMCSystems, so
// a cancelled dialog leaves it as it was. The dialog shows what this computes; questions
// and refusals go through Prompts.

#include "MCSystems.h"
#include "MainSettingsFields.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// The magnification at the start of an objective's label: the number before the first
// blank ("4.5 oil" gives 4.5). Nothing for a text that does not begin with a number, and
// for 0 or below, as the calibration estimates divide by it.
std::optional<double> ObjectiveMagnification(const QString& text);

class PrefMCSystems {
public:
    // Opening: a fresh copy of the table. panelSystemName is the system the measuring
    // window's objective panel shows; that system is the one edited first.
    void FormShow(const TMainSettings& main, const QString& panelSystemName);

    // What the dialog shows.
    const QStringList& Names() const { return names_; } // `NameBox`, `DefaultMCsystembox`
    int NameIndex() const { return nameIndex_; }        // -1: no system selected
    int CaptureIndex() const { return captureIndex_; }  // `DefaultMCsystembox`; -1: none
    int CaptureChanged() const { return captureChanged_; }
    QStringList ObjectiveLabels() const; // `ObjectivesBox`
    int ObjectiveIndex() const { return objectiveIndex_; }
    QString DefaultLabel() const { return defaultLabel_; }
    bool CamIsDSLR() const; // of the selected system
    const TMCsystem& WorkRecord(int index) const { return work_[size_t(index)]; }

    // Handlers.
    void NameBoxClick(int index);
    void DefaultMCsystemboxChange(int index);
    void AddMicClick();
    void DelMicClick();
    void EditMicClick();
    void CamIsDSLRClick(bool checked);
    void AddObjClick();
    void DelObjClick();
    void RenameObjectiveClick();
    // index: the list's selection after the click (-1 none).
    void ObjectivesBoxClick(int index);
    void LbMoveItemUp();
    void LbMoveItemDown();

    // The MC-system steps of OK: the capture system, its objective and DSLR flag, the
    // number of systems and records 0 to that number - 1. The capture system is always one
    // of the configured systems; with none, only the count (0) is taken over. Gives the
    // capture system's DSLR flag for the measuring window's DSLR mode (nothing without one).
    std::optional<bool> ApplyMCSystems(TMainSettings& main);

private:
    TMCsystem* Selected();
    const TMCsystem* Selected() const;
    void ShowSelectedSystem();
    void UpdateDefaultLabel();
    void SelectObjective(int index);
    bool ObjectiveSelected() const;
    void MoveObjective(int from, int to);
    static bool NameIsEmpty(const QString& name);

    std::array<TMCsystem, MaxMCSystems> work_{};
    QStringList names_;
    int nameIndex_ = -1;
    int captureIndex_ = -1;
    int rememberedCapture_ = 0;
    int captureChanged_ = 0;
    int objectiveIndex_ = -1;
    QString defaultLabel_ = QStringLiteral("Default Objective: ");
};
