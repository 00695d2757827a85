#include "CaptureTestSupport.h"
#include "RemoteClient.h"

#include "capture/CamViewSettings.h"
#include "capture/RemoteCommands.h"
#include "capture/Snapshots.h"
#include "capture/VideoCapture.h"
#include "capture/ui/CamViewMain.h"
#include "capture/ui/OptionsDialog.h"
#include "measure/ui/ApplicationWindows.h"
#include "platform/TextCodec.h"
#include "support/FakeSerialPort.h"
#include "support/ProgramFolderVariable.h"
#include "support/ScriptedPrompts.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Writes a "CamView.ini" whose server runs (or not) on port.
void WriteServerSettings(const QString& programFolder, bool running, int port) {
    TCamViewFields fields;
    fields.ServerRunning = running;
    fields.TCPIPPort = port;
    SaveCamViewSettings(fields, programFolder + "/");
}

// The preview window over a fake camera, its server started at creation from the settings
// file, clients on a real local socket.
class RemoteWindow : public ::testing::Test {
protected:
    void SetUp() override {
        port = FreeTcpPort();
        WriteServerSettings(program.path(), true, port);
        window = std::make_unique<TCamViewMain>();
        window->SnapshotFolder = photos.path();
        ASSERT_TRUE(window->ServerSocket->IsListening())
            << window->StatusPanel1->text().toStdString();
    }
    void TearDown() override { window.reset(); }
    void StartCamera() {
        window->FormShow();
        QAction* item = window->SelectVideoDevice->actions().value(0);
        ASSERT_NE(item, nullptr);
        window->SelectDeviceClick(item);
        ASSERT_TRUE(window->VideoCapture().Previewing());
        ASSERT_TRUE(
            quvartest::WaitFor([&] { return !window->VideoCapture().LatestFrame().isNull(); }));
    }
    // Connects and waits until the server has taken the client in, so the order holds.
    std::unique_ptr<RemoteClient> Connect() {
        const int before = window->ServerSocket->ConnectionCount();
        auto client = std::make_unique<RemoteClient>(window->TCPIPPort);
        EXPECT_TRUE(
            quvartest::WaitFor([&] { return window->ServerSocket->ConnectionCount() > before; }));
        return client;
    }
    QString PathOf(int number) const { return photos.path() + "/" + FiveDigits(number) + ".jpg"; }
    QByteArray PathBytes(int number) const { return EncodeText(PathOf(number)); }

    ScriptedPrompts prompts;
    FakeSerialPort serial;
    FakeCameraScope cameras{"Cam"};
    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    QTemporaryDir photos;
    int port = 0;
    std::unique_ptr<TCamViewMain> window;
};

const QByteArray NotRecognized = "Command not recognized";
const QByteArray NotPreviewing = "Camera is not previewing";

} // namespace

TEST_F(RemoteWindow, EachTextWithTheCommandTakesOneSnapshotAndGetsItsBarePath) {
    StartCamera();
    auto client = Connect();
    QByteArray expected;
    int number = 0;
    for (const QByteArray text : {"QUVAR_SNAP", "QUVAR_SNAP\r\n", "xxQUVAR_SNAPyy"}) {
        client->Send(text);
        expected += PathBytes(number);
        EXPECT_EQ(client->ReceiveAtLeast(expected.size()), expected) << text.toStdString();
        EXPECT_EQ(window->CaptureNr, number + 1) << text.toStdString();
        QImage written(PathOf(number));
        EXPECT_EQ(written.size(), QSize(640, 480)) << text.toStdString();
        ++number;
    }
    client->Send("quvar_snap");
    expected += NotRecognized;
    EXPECT_EQ(client->ReceiveAtLeast(expected.size()), expected);
    EXPECT_EQ(window->CaptureNr, 3);
    EXPECT_EQ(window->ServerSocket->Tag, 0);
}

TEST_F(RemoteWindow, WithoutAPreviewEveryTextGetsCameraIsNotPreviewing) {
    auto client = Connect();
    QByteArray expected;
    for (const QByteArray text : {"QUVAR_SNAP", "hello", "quvar_snap", "QUVAR_SNAP\n"}) {
        client->Send(text);
        expected += NotPreviewing;
        EXPECT_EQ(client->ReceiveAtLeast(expected.size()), expected) << text.toStdString();
    }
    EXPECT_EQ(window->CaptureNr, 0);
    EXPECT_TRUE(QDir(photos.path()).isEmpty());
}

// The preview window is made when first used, but a server set to run must answer from the
// program's start.
TEST(RemoteAtStart, AServerSetToRunAnswersBeforeThePreviewWindowIsOpened) {
    ScriptedPrompts prompts;
    FakeCameraScope cameras{"Cam"};
    QTemporaryDir program;
    ScopedProgramFolder programFolder{program.path()};
    const int port = FreeTcpPort();
    for (const bool running : {false, true}) {
        SCOPED_TRACE(running);
        WriteServerSettings(program.path(), running, port);
        CreateApplicationWindows({});
        RemoteClient client(port);
        EXPECT_EQ(client.Connected(), running);
        if (running) {
            client.Send("QUVAR_SNAP");
            EXPECT_EQ(client.ReceiveAtLeast(NotPreviewing.size()), NotPreviewing);
        }
        EXPECT_EQ(CamViewMain.IfMade() != nullptr, running);
        DestroyApplicationWindows();
    }
}

TEST_F(RemoteWindow, ThePathGoesToTheClientConnectedLongest) {
    StartCamera();
    auto a = Connect();
    auto b = Connect();
    b->Send("QUVAR_SNAP");
    EXPECT_EQ(a->ReceiveAtLeast(PathBytes(0).size()), PathBytes(0));
    PumpFor(200);
    EXPECT_TRUE(b->Received().isEmpty());
    // A goes: B is now the client connected longest.
    a.reset();
    EXPECT_TRUE(quvartest::WaitFor([&] { return window->ServerSocket->ConnectionCount() == 1; }));
    b->Send("QUVAR_SNAP");
    EXPECT_EQ(b->ReceiveAtLeast(PathBytes(1).size()), PathBytes(1));
}

TEST_F(RemoteWindow, AnEmptyCommandNeverMatches) {
    StartCamera();
    window->TCPIPCommand.clear();
    window->RestartServer();
    auto client = Connect();
    client->Send("QUVAR_SNAP");
    EXPECT_EQ(client->ReceiveAtLeast(NotRecognized.size()), NotRecognized);
    EXPECT_EQ(window->CaptureNr, 0);
}

TEST_F(RemoteWindow, JunkAndSilentClientsLeaveTheServerAnsweringOthers) {
    StartCamera();
    auto asker = Connect();
    auto silent = Connect();
    auto junk = Connect();
    const qsizetype junkSize = 10 * 1024 * 1024;
    junk->Send(QByteArray(junkSize, 'x'));
    asker->Send("QUVAR_SNAP");
    auto other = Connect();
    other->Send("hello");
    const bool answered = quvartest::WaitFor(
        [&] {
            return asker->Received().size() >= PathBytes(0).size() &&
                   other->Received().size() >= NotRecognized.size() &&
                   junk->Socket().bytesToWrite() == 0;
        },
        20000);
    ASSERT_TRUE(answered);
    PumpFor(200); // the last replies to the junk
    EXPECT_EQ(asker->Received(), PathBytes(0));
    EXPECT_EQ(other->Received(), NotRecognized);
    EXPECT_TRUE(silent->Received().isEmpty());
    // Each read of at most the bound was judged by itself: one reply per read.
    const QByteArray replies = junk->Received();
    const qsizetype reads = replies.size() / NotRecognized.size();
    EXPECT_EQ(replies, NotRecognized.repeated(reads));
    EXPECT_GE(reads * TCommandServer::MaxReadBytes, junkSize);
}

TEST_F(RemoteWindow, AClientThatFloodsDuringItsOwnSnapshotIsStillReadInBoundedReads) {
    StartCamera();
    auto flood = Connect();
    const qsizetype junkSize = 10 * 1024 * 1024;
    int grabs = 0;
    auto original = window->VideoCapture().OnBitmapGrabbed;
    window->VideoCapture().OnBitmapGrabbed = [&](const TCapturedBitmap& bitmap) {
        if (grabs++ == 0) // while the snapshot waits, the rest of the flood comes in
            quvartest::WaitFor([&] { return flood->Socket().bytesToWrite() == 0; }, 10000);
        original(bitmap);
    };
    flood->Send("QUVAR_SNAP" + QByteArray(junkSize, 'x'));
    ASSERT_TRUE(quvartest::WaitFor([&] { return flood->Socket().bytesToWrite() == 0; }, 20000));
    PumpFor(200);
    EXPECT_EQ(grabs, 1);
    // The path once, and one reply for each read of the junk, each of at most the bound.
    QByteArray replies = flood->Received();
    const qsizetype at = replies.indexOf(PathBytes(0));
    ASSERT_GE(at, 0);
    replies.remove(at, PathBytes(0).size());
    const qsizetype reads = replies.size() / NotRecognized.size();
    EXPECT_EQ(replies, NotRecognized.repeated(reads));
    EXPECT_GE((reads + 1) * TCommandServer::MaxReadBytes, junkSize);
}

TEST_F(RemoteWindow, AClientThatEndsItsInputGetsThePathAndThenTheEnd) {
    StartCamera();
    // As "printf QUVAR_SNAP | nc -q 2 localhost 2500": the command, then the end of input.
    RawClient client(window->TCPIPPort);
    ASSERT_TRUE(client.Connected());
    client.SendAndEnd("QUVAR_SNAP");
    EXPECT_EQ(client.ReceiveToEnd(), PathBytes(0));
    EXPECT_TRUE(client.Ended());
    EXPECT_EQ(window->ServerSocket->ConnectionCount(), 0);
    // Without a command it gets its reply and the end at once.
    RawClient other(window->TCPIPPort);
    other.SendAndEnd("hello");
    EXPECT_EQ(other.ReceiveToEnd(), NotRecognized);
    EXPECT_TRUE(other.Ended());
}

TEST_F(RemoteWindow, ACommandDuringTheSnapshotIsAnsweredAfterIt) {
    StartCamera();
    auto a = Connect();
    auto b = Connect();
    int grabs = 0;
    auto original = window->VideoCapture().OnBitmapGrabbed;
    window->VideoCapture().OnBitmapGrabbed = [&](const TCapturedBitmap& bitmap) {
        if (grabs++ == 0) { // the first snapshot waits for this frame
            b->Send("QUVAR_SNAP");
            EXPECT_TRUE(quvartest::WaitFor([&] { return window->ServerSocket->Waiting() == 1; }));
        }
        original(bitmap);
    };
    a->Send("QUVAR_SNAP");
    const QByteArray both = PathBytes(0) + PathBytes(1);
    EXPECT_EQ(a->ReceiveAtLeast(both.size()), both);
    EXPECT_EQ(grabs, 2);
    EXPECT_EQ(window->CaptureNr, 2);
    EXPECT_TRUE(QFile::exists(PathOf(1)));
    EXPECT_TRUE(b->Received().isEmpty());
}

TEST_F(RemoteWindow, DeclinedOverwriteStillAnswersAndAFailedSnapshotNeverAnswersLater) {
    StartCamera();
    auto client = Connect();
    {
        QFile old(PathOf(0));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    prompts.answers.push_back(Answer::No);
    client->Send("QUVAR_SNAP");
    QByteArray expected = PathBytes(0);
    EXPECT_EQ(client->ReceiveAtLeast(expected.size()), expected);
    EXPECT_EQ(QFileInfo(PathOf(0)).size(), 3);
    EXPECT_EQ(window->CaptureNr, 1);

    // A snapshot that raises (its folder is gone) and one that is refused (no folder):
    // no reply, and a snapshot taken later from the keyboard answers nobody.
    for (const QString& folder : {photos.path() + "/gone/away", QString()}) {
        const qsizetype shown = qsizetype(prompts.shown.size());
        window->SnapshotFolder = folder;
        client->Send("QUVAR_SNAP");
        EXPECT_TRUE(quvartest::WaitFor([&] { return qsizetype(prompts.shown.size()) > shown; }));
        EXPECT_EQ(window->ServerSocket->Tag, 0);
        window->SnapshotFolder = photos.path();
        QTest::keyRelease(window.get(), Qt::Key_F1);
        PumpFor(100);
        EXPECT_EQ(client->Received(), expected) << folder.toStdString();
    }
    // The failed write names the file and the system's reason.
    EXPECT_EQ(prompts.Texts()
                  .filter(QRegularExpression("^Failed to write '.*/gone/away/.*': No such file or "
                                             "directory$"))
                  .size(),
              1)
        << prompts.Texts().join("|").toStdString();
    EXPECT_EQ(prompts.Texts().filter("No photo folder").size(), 1);
    EXPECT_TRUE(QFile::exists(PathOf(1))); // the key's snapshot
    client->Send("QUVAR_SNAP");
    expected += PathBytes(window->CaptureNr);
    EXPECT_EQ(client->ReceiveAtLeast(expected.size()), expected);
}

TEST_F(RemoteWindow, ClosingTheWindowClosesTheSerialPort) {
    ASSERT_TRUE(OpenComPort(1));
    window->close();
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_EQ(serial.closes, 1);
}

TEST(RemoteWindowCreation, APortThatCannotListenLeavesTheWindowWholeAndSaysSo) {
    ScriptedPrompts prompts;
    FakeCameraScope cameras{"Cam"};
    QTemporaryDir program;
    ScopedProgramFolder programFolder(program.path());
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::AnyIPv4, 0));
    WriteServerSettings(program.path(), true, taken.serverPort());
    {
        TCamViewMain window;
        EXPECT_FALSE(window.ServerSocket->IsListening());
        EXPECT_TRUE(window.StatusPanel1->text().contains(
            QStringLiteral("cannot listen on port %1").arg(taken.serverPort())))
            << window.StatusPanel1->text().toStdString();
        EXPECT_TRUE(prompts.shown.empty());
        window.FormShow();
        EXPECT_EQ(window.SelectVideoDevice->actions().size(), 2); // Cam, Disconnect Camera
    }
    // Off in the settings: nobody listens.
    WriteServerSettings(program.path(), false, FreeTcpPort());
    {
        TCamViewMain window;
        EXPECT_FALSE(window.ServerSocket->IsListening());
    }
}

namespace {

// The "Remote" page of the settings dialog over the window.
class RemotePage : public RemoteWindow {
protected:
    void SetUp() override {
        RemoteWindow::SetUp();
        dialog = std::make_unique<TOptionsDlg>(window.get());
        dialog->FormShow();
    }
    void TearDown() override {
        dialog.reset();
        RemoteWindow::TearDown();
    }
    void Trigger(const QString& com, int line, bool rts, bool dtr) {
        dialog->UseTrigger->setChecked(true);
        dialog->COMEdit->setText(com);
        dialog->COMGroup->button(line)->setChecked(true);
        dialog->RTSbox->setChecked(rts);
        dialog->DTRbox->setChecked(dtr);
    }
    std::unique_ptr<TOptionsDlg> dialog;
};

} // namespace

TEST_F(RemotePage, AddressLabelShowsAddressAndHostOrTheError) {
    // The server runs (from the settings file): the box is set and the label filled.
    EXPECT_TRUE(dialog->RunServer->isChecked());
    QString host, address, error;
    if (GetLocalHostAddress(host, address, error)) {
        EXPECT_EQ(dialog->TCPIPAddress->text(), address + ";  " + host);
        EXPECT_TRUE(prompts.shown.empty());
    } else {
        ASSERT_EQ(prompts.shown.size(), 1u); // once, though the box changed state
        EXPECT_EQ(prompts.shown[0].text, error);
    }
    dialog->RunServer->setChecked(false);
    EXPECT_EQ(dialog->TCPIPAddress->text(), "---; ---");
}

TEST_F(RemotePage, OkRestartsTheServerAndAPortBoxWithoutATcpPortKeepsTheOldPort) {
    auto client = Connect();
    for (const char* bad : {"abc", "", "0", "65536", "-5"}) {
        dialog->TCPIPport->setText(bad);
        dialog->OKBtnClick();
        EXPECT_EQ(dialog->result(), QDialog::Accepted) << bad;
        EXPECT_EQ(window->TCPIPPort, port) << bad;
        EXPECT_EQ(dialog->TCPIPport->text(), QString::number(port)) << bad;
        EXPECT_TRUE(window->ServerSocket->IsListening()) << bad;
    }
    // Every restart dropped the clients.
    EXPECT_TRUE(quvartest::WaitFor([&] { return !client->Connected(); }));

    const int other = FreeTcpPort();
    dialog->TCPIPport->setText(QString::number(other));
    dialog->TCPIPCommand->setText("SNAP2");
    dialog->OKBtnClick();
    EXPECT_EQ(window->ServerSocket->Port(), other);
    EXPECT_EQ(window->TCPIPCommand, "SNAP2");
    StartCamera();
    auto second = Connect();
    second->Send("QUVAR_SNAP");
    EXPECT_EQ(second->ReceiveAtLeast(NotRecognized.size()), NotRecognized);

    dialog->RunServer->setChecked(false);
    dialog->OKBtnClick();
    EXPECT_FALSE(window->ServerRunning);
    EXPECT_FALSE(window->ServerSocket->IsListening());
    EXPECT_TRUE(quvartest::WaitFor([&] { return !second->Connected(); }));
}

TEST_F(RemotePage, AServerThatCannotListenAfterOkKeepsTheDialogOpen) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::AnyIPv4, 0));
    dialog->TCPIPport->setText(QString::number(taken.serverPort()));
    dialog->OKBtnClick();
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_TRUE(prompts.shown.back().text.contains(
        QStringLiteral("cannot listen on port %1").arg(taken.serverPort())))
        << prompts.shown.back().text.toStdString();
    EXPECT_EQ(prompts.shown.back().icon, MessageIcon::Error);
}

TEST_F(RemotePage, TheLevelAtOkIsTheIdleLevelAndRtsDtrAreBits) {
    struct Case {
        int line;
        unsigned levels;
        bool rts, dtr;
        bool portActive;
        int portHigh;
    };
    const Case cases[] = {
        {0, ModemCTS, false, false, false, 0},
        {0, ModemDSR | ModemDCD | ModemRing, true, false, true, 1}, // other lines count not
        {1, ModemDSR, false, true, false, 2},
        {1, 0, true, true, true, 3},
        {2, ModemDCD, false, false, false, 0},
        {3, 0, false, false, true, 0},
        {3, ModemRing, true, true, false, 3},
    };
    for (const Case& c : cases) {
        dialog->FormShow();
        EXPECT_FALSE(serial.IsOpen()); // the dialog's opening closes the port
        Trigger("1", c.line, c.rts, c.dtr);
        serial.levels = c.levels; // the level when OK is pressed
        dialog->OKBtnClick();
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_EQ(serial.current, 1) << c.line << " " << c.levels;
        EXPECT_EQ(window->PortActive, c.portActive) << c.line << " " << c.levels;
        EXPECT_EQ(window->PortHigh, c.portHigh) << c.line << " " << c.levels;
        EXPECT_EQ(window->PortLine, c.line);
        EXPECT_EQ(window->PortNumber, 1);
    }
    EXPECT_TRUE(prompts.Texts().filter("Cannot open").isEmpty());

    // Trigger off: the port closes and the stored settings stay.
    dialog->UseTrigger->setChecked(false);
    dialog->OKBtnClick();
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_FALSE(window->UseHardwareTrigger);
    EXPECT_EQ(window->PortHigh, 3);
}

TEST_F(RemotePage, APortThatDoesNotOpenIsReportedAndTheOtherSettingsStillApply) {
    Trigger("7", 0, true, false);
    dialog->TCPIPCommand->setText("SNAP7");
    dialog->PrefixEdit->setText("Bench");
    dialog->OKBtnClick();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(prompts.Texts().filter("Cannot open port"), QStringList{"Cannot open port COM7"});
    EXPECT_EQ(serial.opened, std::vector<int>{7});
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_EQ(window->PortNumber, 7);
    EXPECT_TRUE(window->PortActive); // no level: the line reads low
    EXPECT_EQ(window->PortHigh, 1);
    EXPECT_EQ(window->TCPIPCommand, "SNAP7");
    EXPECT_EQ(window->Prefix, "Bench");
    EXPECT_TRUE(window->ServerSocket->IsListening());

    // A port box without a number is the conversion error; the dialog stays open.
    dialog->setResult(0);
    Trigger("abc", 0, false, false);
    dialog->OKBtnClick();
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(prompts.shown.back().text, "'abc' is not a valid integer value");
}
