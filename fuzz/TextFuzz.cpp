// One libFuzzer entry per reader of received text (FUZZ_<kind>): the image comment with
// the calibration the measuring window takes from it, the text codec of our files, and
// the matching of the commands a remote client sends. A crash, a sanitizer report or a
// broken property is a finding.

#include "capture/RemoteCommands.h"
#include "imaging/ImageComment.h"
#include "imaging/ImageFiles.h"
#include "measure/ImageCalibrationState.h"
#include "measure/MainFields.h"
#include "measure/ObjectivePanel.h"
#include "platform/Prompts.h"
#include "platform/TextCodec.h"

#include <QImage>
#include <QtGlobal>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Discard(QtMsgType, const QMessageLogContext&, const QString&) {}

// A broken property, named on stderr: the stack of an abort does not say which one.
[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

// Every question answered negatively and no message shown: the runs stay quiet.
struct QuietPrompts : Prompts {
    void Message(const QString&, const QString&, MessageIcon) override {}
    Answer Ask(const QString&, const QString&, AskButtons) override { return Answer::No; }
    std::optional<QString> Input(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<FileDialogResult> OpenFile(const FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<FileDialogResult> SaveFile(const FileDialogRequest&) override {
        return std::nullopt;
    }
    QString ChooseFolder(const QString&, const QString&, bool) override { return {}; }
    bool WarnWithDontShowAgain(const QString&) override { return false; }
};

// The panel as the window keeps it: the layouts go through the core routines.
struct Panel : McPanelView {
    explicit Panel(TMainFields& main) : Main(main) {}
    void ShowObjectivePanel(int system) override { (void)::ShowObjectivePanel(Main, system, 20); }
    void SetMCLabelWarning(bool) override {}
    void UnknownSystemClick() override { (void)::UnknownSystemClick(Main); }
    void ShowComment(const QString&) override {}
    TMainFields& Main;
};

[[maybe_unused]] void CheckSystem(const CommentSystem& read) {
    const TMCsystem& s = read.System;
    if (s.NrOfObjectives < 1 || s.NrOfObjectives > MaxObjectives || s.CaptureWidth < 0 ||
        read.ImageObjective < 0 || read.ImageObjective >= s.NrOfObjectives ||
        !std::isfinite(read.ImageCalibration))
        Fail("a system read outside its bounds");
    for (int i = 0; i < s.NrOfObjectives; ++i)
        if (!std::isfinite(s.Objectives[size_t(i)].Obj) ||
            !std::isfinite(s.Objectives[size_t(i)].Cal))
            Fail("an objective that is no finite number");
}

[[maybe_unused]] void FuzzImageComment(QByteArrayView data) {
    const QStringList lines = CommentLines(DecodeText(data));
    if (const auto read = ReadCommentSystem(lines))
        CheckSystem(*read);

    // The load of an image with this comment, beside one configured system of its width.
    TMainFields Main;
    Main.OriginalImage = QImage(64, 32, QImage::Format_BGR888);
    Main.WorkImage = QImage(32, 16, QImage::Format_BGR888);
    Main.MCSystems[0].Name = QStringLiteral("Configured");
    Main.MCSystems[0].CaptureWidth = 64;
    Main.MCSystems[0].NrOfObjectives = 1;
    Main.MCSystems[0].Objectives[0] = {10, QStringLiteral("10 X"), 0.5};
    Main.NrOfMCSystems = 1;
    Main.CommentLines = lines;
    Panel view(Main);
    DecideImageCalibration(Main, view);
    FinishImageCalibration(Main, view);
    if (!std::isfinite(Main.CurrentCalibration) || Main.CurrentCalibration < 0)
        Fail("a calibration that is negative or not finite");
    // The comment the image gets when saved again reads back as the same system.
    if (Main.ImageState == ImageFromComment) {
        FillMCSystemComment(Main);
        const auto again = ReadCommentSystem(Main.MCSystemCommentLines);
        if (!again)
            Fail("the comment written again does not read");
        CheckSystem(*again);
        // The name is not compared: a value is cut at a fixed column of its line, so a long
        // name read from the middle of another line may lose its end when written again.
        if (again->System.NrOfObjectives != Main.MCSystems[-1].NrOfObjectives)
            Fail("the comment written again reads as another system");
    }
}

[[maybe_unused]] void FuzzTextCodec(QByteArrayView data) {
    // Any bytes decode, and what they decode to encodes.
    const QString decoded = DecodeText(data);
    (void)EncodeText(decoded);
    // Any text (valid UTF-16) reads back as written, whichever encoding it took.
    for (const QString& text : {DecodeWindows1252(data), QString::fromUtf8(data), decoded}) {
        bool valid = true;
        for (qsizetype i = 0; i < text.size() && valid; ++i) {
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            else if (text[i].isSurrogate())
                valid = false;
        }
        if (valid && DecodeText(EncodeText(text)) != text)
            Fail("a text that does not read back as written");
    }
}

[[maybe_unused]] void FuzzRemoteCommand(QByteArrayView data) {
    // The first line is the configured command, the rest what a client sent.
    const qsizetype cut = data.indexOf('\n');
    const QString command = DecodeText(cut < 0 ? data : data.first(cut));
    const QByteArrayView received = cut < 0 ? QByteArrayView() : data.sliced(cut + 1);
    if (JudgeCommand(received, command, false) != CommandReply::NotPreviewing)
        Fail("a command judged without a preview");
    const CommandReply reply = JudgeCommand(received, command, true);
    const bool held = !command.isEmpty() &&
                      (received.contains(command.toUtf8()) ||
                       (FitsWindows1252(command) && received.contains(EncodeWindows1252(command))));
    if ((reply == CommandReply::Snapshot) != held)
        Fail("a command judged other than what was received holds");
    // A client always finds its command in what it sent with the command inside.
    if (!command.isEmpty() && JudgeCommand(QByteArray("x") + ReplyBytes(command) + "y", command,
                                           true) != CommandReply::Snapshot)
        Fail("a command not found in its own reply bytes");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler(Discard);
    static QuietPrompts prompts;
    SetAppPrompts(&prompts);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const QByteArrayView data(reinterpret_cast<const char*>(bytes), qsizetype(size));
#if defined(FUZZ_IMAGE_COMMENT)
    FuzzImageComment(data);
#elif defined(FUZZ_TEXT_CODEC)
    FuzzTextCodec(data);
#elif defined(FUZZ_REMOTE_COMMAND)
    FuzzRemoteCommand(data);
#else
#error "no fuzz kind chosen"
#endif
    return 0;
}
