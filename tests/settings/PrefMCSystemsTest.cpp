#include "settings/PrefMCSystems.h"
#include "support/ScriptedPrompts.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

QT_BEGIN_NAMESPACE
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
static void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '{' << list.join(", ").toStdString() << '}';
}
QT_END_NAMESPACE

namespace {

TMCsystem System(const QString& name, const QStringList& labels, int defaultObjective = 0) {
    TMCsystem s;
    s.Name = name;
    s.CaptureWidth = 2048;
    s.NrOfObjectives = int(labels.size());
    for (int i = 0; i < labels.size(); ++i)
        s.Objectives[size_t(i)] = {ObjectiveMagnification(labels[i]).value_or(0), labels[i],
                                   0.25 * (i + 1)};
    s.DefaultObjective = defaultObjective;
    s.CurrentObjective = defaultObjective;
    return s;
}

// Three systems, the second one the capture system.
TMainSettings ThreeSystems() {
    TMainSettings m;
    m.MCSystems[0] = System("Axio", {"4 x", "10 x", "40 x"});
    m.MCSystems[1] = System("Bresser", {"10 Ph1", "20"}, 1);
    m.MCSystems[2] = System("Carl", {"63 oil"});
    m.NrOfMCSystems = 3;
    m.DefaultMCSystem = 1;
    m.CurrentMCSystem = 1;
    return m;
}

const QString NotCapture =
    "You cannot delete this system!\r\nChange the \"Selected MCsystem for Capture \" "
    "first,\r\nor select another system.";

class PrefWork : public ::testing::Test {
protected:
    void Open(const TMainSettings& m, const QString& panelSystem) {
        main = m;
        work.FormShow(main, panelSystem);
    }
    TMainSettings main;
    PrefMCSystems work;
    ScriptedPrompts prompts;
};

} // namespace

TEST(ObjectiveMagnification, TheNumberBeforeTheFirstBlank) {
    struct Case {
        const char* text;
        std::optional<double> magnification;
    } cases[] = {
        {"10", 10},   {"4.5", 4.5},    {"40 Ph2 dry", 40}, {"4.5 oil", 4.5}, {"  20", 20},
        {"1E2", 100}, {"oil 4.5", {}}, {"x10", {}},        {"4,5", {}},      {"4.5oil", {}},
        {"", {}},     {"   ", {}},     {"0", {}},          {"0 dry", {}},    {"-10", {}},
        {"inf", {}},  {"nan", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ObjectiveMagnification(c.text), c.magnification) << c.text;
}

TEST_F(PrefWork, OpeningEditsThePanelSystemAndHighlightsTheObjectiveInUse) {
    TMainSettings m = ThreeSystems();
    m.MCSystems[0].CurrentObjective = 2; // in use; the default stays 0
    Open(m, "axio");
    EXPECT_EQ(work.Names(), QStringList({"Axio", "Bresser", "Carl"}));
    EXPECT_EQ(work.NameIndex(), 0) << "letter case not significant";
    EXPECT_EQ(work.CaptureIndex(), 1) << "the capture list shows the capture system";
    EXPECT_EQ(work.ObjectiveLabels(), QStringList({"4 x", "10 x", "40 x"}));
    EXPECT_EQ(work.ObjectiveIndex(), 2);
    EXPECT_EQ(work.DefaultLabel(), "Default Objective: 4 x");
    EXPECT_EQ(work.CaptureChanged(), 0);
}

TEST_F(PrefWork, OpeningOnAnUnknownSystemSelectsNone) {
    Open(ThreeSystems(), "Unknown");
    EXPECT_EQ(work.NameIndex(), -1);
    EXPECT_TRUE(work.ObjectiveLabels().isEmpty());
    EXPECT_EQ(work.ObjectiveIndex(), -1);
    EXPECT_EQ(work.CaptureIndex(), 1);
}

TEST_F(PrefWork, WithoutASystemSelectedNothingActsOnARecord) {
    const std::pair<const char*, std::function<void(PrefMCSystems&)>> handlers[] = {
        {"DelMic", [](PrefMCSystems& w) { w.DelMicClick(); }},
        {"EditMic", [](PrefMCSystems& w) { w.EditMicClick(); }},
        {"CamIsDSLR", [](PrefMCSystems& w) { w.CamIsDSLRClick(true); }},
        {"AddObj", [](PrefMCSystems& w) { w.AddObjClick(); }},
        {"DelObj", [](PrefMCSystems& w) { w.DelObjClick(); }},
        {"RenameObjective", [](PrefMCSystems& w) { w.RenameObjectiveClick(); }},
        {"ObjectivesBox", [](PrefMCSystems& w) { w.ObjectivesBoxClick(0); }},
        {"Up", [](PrefMCSystems& w) { w.LbMoveItemUp(); }},
        {"Down", [](PrefMCSystems& w) { w.LbMoveItemDown(); }},
    };
    const TMainSettings before = ThreeSystems();
    for (const auto& [name, handler] : handlers) {
        Open(before, "Unknown");
        prompts.shown.clear();
        prompts.inputs = {QString("50"), QString("Renamed")};
        prompts.answers = {Answer::Yes};
        handler(work);
        EXPECT_TRUE(prompts.shown.empty()) << name;
        EXPECT_EQ(work.Names(), QStringList({"Axio", "Bresser", "Carl"})) << name;
        for (int i = 0; i < MaxMCSystems; ++i)
            EXPECT_EQ(work.WorkRecord(i), before.MCSystems[i]) << name << " record " << i;
        work.ApplyMCSystems(main);
        for (int i = 0; i < MaxMCSystems; ++i) {
            TMCsystem expected = before.MCSystems[i];
            if (i == 1)
                expected.CurrentObjective = expected.DefaultObjective;
            EXPECT_EQ(main.MCSystems[i], expected) << name << " record " << i;
        }
    }
}

TEST_F(PrefWork, NoSystemsThenTheFirstIsAddedAndSelectedInBothLists) {
    Open(TMainSettings{}, "Unknown");
    EXPECT_TRUE(work.Names().isEmpty());
    EXPECT_EQ(work.CaptureIndex(), -1);
    EXPECT_EQ(work.DefaultLabel(), "Default Objective: ") << "keeps its text";

    prompts.inputs = {QString("Olympus"), QString("4.5 oil")};
    work.AddMicClick();
    EXPECT_EQ(work.Names(), QStringList({"Olympus"}));
    EXPECT_EQ(work.NameIndex(), 0);
    EXPECT_EQ(work.CaptureIndex(), 0);
    EXPECT_EQ(work.ObjectiveLabels(), QStringList({"4.5 oil"}));
    EXPECT_EQ(work.WorkRecord(0).Objectives[0], (ObjCal{4.5, "4.5 oil", 0}));
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[0].caption, "Add MCsystem name");
    EXPECT_EQ(prompts.shown[0].text, "Enter a new MCsystem name");
    EXPECT_EQ(prompts.shown[1].caption, "Add Objective");
    EXPECT_EQ(prompts.shown[1].text,
              "Enter an objective magnification as a number. e.g. 10 or 4.5\n\rLeave a space "
              "after the magnification and you can add comment");

    // One system with one objective: the capture system is 0, whatever the main window held.
    main.DefaultMCSystem = 5;
    work.ApplyMCSystems(main);
    EXPECT_EQ(main.NrOfMCSystems, 1);
    EXPECT_EQ(main.DefaultMCSystem, 0);
    EXPECT_EQ(main.CurrentMCSystem, 0);
    EXPECT_EQ(main.MCSystems[0].Name, "Olympus");
}

TEST_F(PrefWork, AddingRefusals) {
    struct Case {
        const char* what;
        std::optional<QString> typed;
        QString refusal; // empty: added
        QString added;
    } cases[] = {
        {"duplicate in other case", QString("bresser"),
         "This name already exists\r\nPlease use another name", ""},
        {"empty name", QString("  "), "Please enter a name", ""},
        {"cancelled gives the proposal", std::nullopt, "", "NewMCsystem"},
        {"outer blanks dropped", QString(" Dino "), "", "Dino"},
    };
    for (const Case& c : cases) {
        Open(ThreeSystems(), "Axio");
        prompts.shown.clear();
        prompts.inputs = {c.typed, std::nullopt}; // the objective query is cancelled
        work.AddMicClick();
        if (c.refusal.isEmpty()) {
            ASSERT_EQ(work.Names().size(), 4) << c.what;
            EXPECT_EQ(work.Names()[3], c.added) << c.what;
            EXPECT_EQ(work.NameIndex(), 3) << c.what;
            EXPECT_EQ(work.WorkRecord(3).NrOfObjectives, 0) << c.what;
        } else {
            EXPECT_EQ(prompts.Texts().back(), c.refusal) << c.what;
            EXPECT_EQ(work.Names().size(), 3) << c.what;
            EXPECT_EQ(work.NameIndex(), 0) << c.what;
        }
    }
    // "NewMCsystem" a second time is a duplicate.
    prompts.inputs = {std::nullopt, std::nullopt, std::nullopt};
    work.AddMicClick();
    prompts.shown.clear();
    work.AddMicClick();
    EXPECT_EQ(prompts.Texts(),
              QStringList({"Enter a new MCsystem name",
                           "This name already exists\r\nPlease use another name"}));
}

TEST_F(PrefWork, SixteenSystemsAtMostAndANewOneStartsCleared) {
    TMainSettings m;
    for (int i = 0; i < MaxMCSystems; ++i)
        m.MCSystems[i] = System(QString("S%1").arg(i), {"10", "20"});
    m.MCSystems[15].CamIsDSLR = true;
    m.NrOfMCSystems = MaxMCSystems;
    Open(m, "S0");
    prompts.inputs = {QString("S16")};
    work.AddMicClick();
    EXPECT_EQ(prompts.Texts(), QStringList({"only 16 MC-systems allowed"}));
    EXPECT_EQ(work.Names().size(), MaxMCSystems);

    // Deleting one leaves record 15 as it was; a system added there starts blank.
    work.NameBoxClick(3);
    prompts.answers = {Answer::Yes};
    work.DelMicClick();
    ASSERT_EQ(work.Names().size(), 15);
    prompts.inputs = {QString("Fresh"), QString("25 water")};
    work.AddMicClick();
    TMCsystem expected;
    expected.NrOfObjectives = 1;
    expected.Objectives[0] = {25, "25 water", 0};
    EXPECT_EQ(work.WorkRecord(15), expected);
    EXPECT_FALSE(work.CamIsDSLR());
}

TEST_F(PrefWork, TheCaptureSystemCanBeDeletedOnlyAfterAnotherIsPicked) {
    Open(ThreeSystems(), "Bresser");
    work.DelMicClick();
    EXPECT_EQ(prompts.Texts(), QStringList({NotCapture}));
    EXPECT_EQ(work.Names().size(), 3);

    work.DefaultMCsystemboxChange(2); // Carl for capture; selected for editing too
    EXPECT_EQ(work.NameIndex(), 2);
    EXPECT_EQ(work.CaptureChanged(), 1);
    work.NameBoxClick(1);
    prompts.shown.clear();
    prompts.answers = {Answer::Yes};
    work.DelMicClick();
    EXPECT_EQ(prompts.Texts(), QStringList({"Delete MCsystem: \r\nBresser ?"}));
    EXPECT_EQ(prompts.shown[0].caption, "Confirm");
    EXPECT_EQ(work.Names(), QStringList({"Axio", "Carl"}));
    EXPECT_EQ(work.CaptureIndex(), 1) << "still Carl";
    EXPECT_EQ(work.NameIndex(), 1) << "the system that followed";
    EXPECT_EQ(work.ObjectiveLabels(), QStringList({"63 oil"}));
    EXPECT_EQ(work.WorkRecord(1).Name, "Carl");
    EXPECT_EQ(work.WorkRecord(2).Name, "NoName") << "record 2 took record 3's place";
}

TEST_F(PrefWork, DeletingBeforeTheCaptureSystemKeepsIt) {
    TMainSettings m = ThreeSystems();
    m.DefaultMCSystem = 2;
    Open(m, "Axio");
    prompts.answers = {Answer::Yes};
    work.DelMicClick();
    EXPECT_EQ(work.Names(), QStringList({"Bresser", "Carl"}));
    EXPECT_EQ(work.CaptureIndex(), 1);
    EXPECT_EQ(work.CaptureChanged(), 1);
    work.ApplyMCSystems(main);
    EXPECT_EQ(main.DefaultMCSystem, 1);
    EXPECT_EQ(main.MCSystems[main.DefaultMCSystem].Name, "Carl");
    EXPECT_EQ(main.NrOfMCSystems, 2);
    EXPECT_EQ(main.MCSystems[2], m.MCSystems[2]) << "records beyond the count stay";
}

TEST_F(PrefWork, DeletingTheLastSystemLeavesNoneSelected) {
    Open(ThreeSystems(), "Carl");
    prompts.answers = {Answer::Yes};
    work.DelMicClick();
    EXPECT_EQ(work.Names(), QStringList({"Axio", "Bresser"}));
    EXPECT_EQ(work.NameIndex(), -1);
    EXPECT_TRUE(work.ObjectiveLabels().isEmpty());
}

TEST_F(PrefWork, ARefusedConfirmationChangesNothing) {
    Open(ThreeSystems(), "Axio");
    prompts.answers = {Answer::Cancel, Answer::No};
    work.DelMicClick();
    work.ObjectivesBoxClick(1);
    work.DelObjClick();
    EXPECT_EQ(work.Names().size(), 3);
    EXPECT_EQ(work.ObjectiveLabels().size(), 3);
    EXPECT_EQ(work.CaptureChanged(), 0);
}

TEST_F(PrefWork, ThirtyTwoObjectivesAtMost) {
    TMainSettings m = ThreeSystems();
    TMCsystem& axio = m.MCSystems[0];
    for (int i = axio.NrOfObjectives; i < MaxObjectives - 1; ++i)
        axio.Objectives[size_t(i)] = {double(i + 1), QString::number(i + 1), 0};
    axio.NrOfObjectives = MaxObjectives - 1;
    Open(m, "Axio");
    prompts.inputs = {QString("100 oil"), QString("150")};
    work.AddObjClick();
    EXPECT_EQ(work.ObjectiveLabels().size(), 32);
    EXPECT_EQ(work.WorkRecord(0).Objectives[31], (ObjCal{100, "100 oil", 0}));
    work.AddObjClick();
    EXPECT_EQ(prompts.Texts().back(), "only 32 objectives allowed");
    EXPECT_EQ(work.ObjectiveLabels().size(), 32);
    EXPECT_EQ(prompts.inputs.size(), 1u) << "no question after the refusal";
}

TEST_F(PrefWork, AddingObjectives) {
    struct Case {
        std::optional<QString> typed;
        QString refusal;
    } cases[] = {
        {QString("4.5 oil"), ""},
        {QString("oil 4.5"), "oil 4.5 is not a legal value (must be a number)"},
        {QString("0"), "0 is not a legal value (must be a number)"},
        {std::nullopt, ""},
    };
    for (const Case& c : cases) {
        Open(ThreeSystems(), "Bresser");
        prompts.shown.clear();
        prompts.inputs = {c.typed};
        work.AddObjClick();
        const int expected = c.typed && c.refusal.isEmpty() ? 3 : 2;
        EXPECT_EQ(work.WorkRecord(1).NrOfObjectives, expected) << c.refusal.toStdString();
        EXPECT_EQ(work.ObjectiveLabels().size(), expected);
        EXPECT_EQ(work.WorkRecord(1).DefaultObjective, 1) << "the default does not change";
        EXPECT_EQ(work.ObjectiveIndex(), 1) << "nor the list's selection";
        if (!c.refusal.isEmpty()) {
            EXPECT_EQ(prompts.Texts().back(), c.refusal);
        }
    }
    EXPECT_EQ(work.WorkRecord(1).Objectives[2], ObjCal{});
}

TEST_F(PrefWork, DeletingAndRenamingObjectives) {
    Open(ThreeSystems(), "Axio");
    work.ObjectivesBoxClick(1); // 10x becomes the default
    EXPECT_EQ(work.DefaultLabel(), "Default Objective: 10 x");
    prompts.answers = {Answer::Yes};
    work.DelObjClick();
    EXPECT_EQ(prompts.Texts(), QStringList({"Delete Objective: \r\n10 x ?"}));
    const TMCsystem& axio = work.WorkRecord(0);
    EXPECT_EQ(work.ObjectiveLabels(), QStringList({"4 x", "40 x"}));
    EXPECT_EQ(axio.Objectives[1], (ObjCal{40, "40 x", 0.75})) << "moved with its calibration";
    EXPECT_EQ(axio.DefaultObjective, 0);
    EXPECT_EQ(work.DefaultLabel(), "Default Objective: 4 x");
    EXPECT_EQ(work.ObjectiveIndex(), -1);

    prompts.shown.clear();
    work.DelObjClick();
    work.RenameObjectiveClick();
    EXPECT_EQ(prompts.Texts(),
              QStringList({"Select an objective first", "Select an objective first"}));

    struct Rename {
        std::optional<QString> typed;
        QString label;
    } renames[] = {{QString("60 water"), "60 water"}, {std::nullopt, "60 water"}, {"", "60 water"}};
    for (const Rename& r : renames) {
        work.ObjectivesBoxClick(1);
        prompts.inputs = {r.typed};
        work.RenameObjectiveClick();
        EXPECT_EQ(axio.Objectives[1].ObjStr, r.label);
        EXPECT_EQ(axio.Objectives[1].Obj, 40) << "the magnification is not read again";
    }
    EXPECT_EQ(prompts.Texts().back(), "Please enter a name");
}

TEST_F(PrefWork, TheDefaultIsAPosition) {
    Open(ThreeSystems(), "Axio");
    work.ObjectivesBoxClick(1); // 10x default at position 1
    work.LbMoveItemUp();
    EXPECT_EQ(work.ObjectiveLabels(), QStringList({"10 x", "4 x", "40 x"}));
    EXPECT_EQ(work.ObjectiveIndex(), 0) << "the selection follows";
    EXPECT_EQ(work.WorkRecord(0).DefaultObjective, 1);
    EXPECT_EQ(work.DefaultLabel(), "Default Objective: 4 x");
    EXPECT_EQ(work.WorkRecord(0).Objectives[0], (ObjCal{10, "10 x", 0.5}));

    work.LbMoveItemUp(); // at the top: nothing
    EXPECT_EQ(work.ObjectiveLabels(), QStringList({"10 x", "4 x", "40 x"}));
    work.ObjectivesBoxClick(2); // 40 x default at position 2
    work.LbMoveItemDown();      // at the bottom: nothing
    EXPECT_EQ(work.ObjectiveLabels(), QStringList({"10 x", "4 x", "40 x"}));
    work.LbMoveItemUp();
    EXPECT_EQ(work.ObjectiveLabels(), QStringList({"10 x", "40 x", "4 x"}));
    EXPECT_EQ(work.DefaultLabel(), "Default Objective: 4 x");
}

TEST_F(PrefWork, ANameBoxPickBecomesTheCaptureSystemWithoutTheFlag) {
    TMainSettings m = ThreeSystems();
    m.MCSystems[2].CamIsDSLR = true;
    Open(m, "Axio");
    work.NameBoxClick(2);
    EXPECT_EQ(work.CaptureIndex(), 2);
    EXPECT_EQ(work.CaptureChanged(), 0);
    EXPECT_TRUE(work.CamIsDSLR());
    EXPECT_EQ(work.ApplyMCSystems(main), true);
    EXPECT_EQ(main.DefaultMCSystem, 2);
    EXPECT_EQ(main.CurrentMCSystem, 2);
}

TEST_F(PrefWork, ACaptureSystemOutsideTheTableFallsBackToTheFirst) {
    TMainSettings m = ThreeSystems();
    m.DefaultMCSystem = 7;
    Open(m, "Unknown");
    EXPECT_EQ(work.CaptureIndex(), -1);
    EXPECT_EQ(work.ApplyMCSystems(main), false);
    EXPECT_EQ(main.DefaultMCSystem, 0);
    EXPECT_EQ(main.CurrentMCSystem, 0);

    Open(TMainSettings{}, "Unknown");
    main.DefaultMCSystem = 3;
    EXPECT_EQ(work.ApplyMCSystems(main), std::nullopt);
    EXPECT_EQ(main.NrOfMCSystems, 0);
    EXPECT_EQ(main.DefaultMCSystem, 3) << "no system to point at: left as it was";
}

TEST_F(PrefWork, AppliedTableReadsBackFromTheCalibrationFile) {
    Open(ThreeSystems(), "Bresser");
    prompts.inputs = {QString("Renamed")};
    work.EditMicClick();
    work.CamIsDSLRClick(true);
    work.ObjectivesBoxClick(0);
    work.ApplyMCSystems(main);
    EXPECT_EQ(main.MCSystems[1].Name, "Renamed");
    EXPECT_TRUE(main.MCSystems[1].CamIsDSLR);
    EXPECT_EQ(main.MCSystems[1].CurrentObjective, 0) << "the default is in use";

    QTemporaryDir dir;
    SaveCalibration(main.MCSystems, main.NrOfMCSystems, dir.path() + "/");
    MCSystemTable read;
    ASSERT_EQ(LoadCalibration(read, dir.path() + "/"), 3);
    for (int i = 0; i < 3; ++i) {
        TMCsystem expected = main.MCSystems[i];
        expected.CurrentObjective = expected.DefaultObjective;
        EXPECT_EQ(read[i], expected) << i;
    }
}

// Text pasted into an input box may hold line breaks; the calibration file cannot store
// them, and one such name would make every later save of the table fail.
TEST_F(PrefWork, PastedLineBreaksBecomeBlanksSoTheTableCanBeSaved) {
    struct Case {
        const char* what;
        std::function<void(PrefMCSystems&, ScriptedPrompts&)> edit;
        std::function<QString(const TMainSettings&)> stored;
        QString expected;
    } cases[] = {
        {"new system",
         [](PrefMCSystems& w, ScriptedPrompts& p) {
             p.inputs = {QString("Zeiss\r\nAxio"), QString("10\n")};
             w.AddMicClick();
         },
         [](const TMainSettings& m) { return m.MCSystems[3].Name; }, "Zeiss Axio"},
        {"renamed system",
         [](PrefMCSystems& w, ScriptedPrompts& p) {
             p.inputs = {QString("Axio\nImager")};
             w.EditMicClick();
         },
         [](const TMainSettings& m) { return m.MCSystems[0].Name; }, "Axio Imager"},
        {"new objective",
         [](PrefMCSystems& w, ScriptedPrompts& p) {
             p.inputs = {QString("40\rPh2\ndry")};
             w.AddObjClick();
         },
         [](const TMainSettings& m) { return m.MCSystems[0].Objectives[3].ObjStr; }, "40 Ph2 dry"},
        {"renamed objective",
         [](PrefMCSystems& w, ScriptedPrompts& p) {
             w.ObjectivesBoxClick(1);
             p.inputs = {QString("10 x\r\noil")};
             w.RenameObjectiveClick();
         },
         [](const TMainSettings& m) { return m.MCSystems[0].Objectives[1].ObjStr; }, "10 x oil"},
    };
    for (const Case& c : cases) {
        Open(ThreeSystems(), "Axio");
        c.edit(work, prompts);
        work.ApplyMCSystems(main);
        EXPECT_EQ(c.stored(main), c.expected) << c.what;

        QTemporaryDir dir;
        EXPECT_NO_THROW(SaveCalibration(main.MCSystems, main.NrOfMCSystems, dir.path() + "/"))
            << c.what;
        MCSystemTable read;
        LoadCalibration(read, dir.path() + "/");
        TMainSettings reread;
        reread.MCSystems = read;
        EXPECT_EQ(c.stored(reread), c.expected) << c.what;
    }
}
