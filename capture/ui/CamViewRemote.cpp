// The preview window's remote triggers: the command server that takes snapshots for
// clients. The serial trigger line is the settings dialog's (opened there, closed there
// and when the window closes).

#include "CamViewMain.h"

#include "capture/RemoteCommands.h"
#include "capture/VideoCapture.h"
#include "platform/Errors.h"
#include "platform/ui/QuvarApplication.h"

namespace {

QString CannotListenText(int port, const QString& error) {
    return QStringLiteral("The command server cannot listen on port %1: %2").arg(port).arg(error);
}

} // namespace

void TCamViewMain::CreateServerSocket() {
    ServerSocket = new TCommandServer(this);
    ServerSocket->Previewing = [this] { return videoCapture_ && VideoCapture().Previewing(); };
    ServerSocket->Snapshot = [this] { SnapshotClick(); };
    ServerSocket->SnapshotFailed = [](const std::exception& error) {
        QuvarApplication::ShowError(error);
    };
    ServerSocket->Command = TCPIPCommand;
    if (!ServerRunning)
        return;
    // The window is made whole all the same; the user sees why no client gets through.
    QString error;
    if (!ServerSocket->Listen(TCPIPPort, error))
        Display(CannotListenText(TCPIPPort, error));
}

void TCamViewMain::RestartServer() {
    ServerSocket->Close(); // drops every client
    ServerSocket->Command = TCPIPCommand;
    if (!ServerRunning)
        return;
    QString error;
    if (!ServerSocket->Listen(TCPIPPort, error))
        throw QuvarError(CannotListenText(TCPIPPort, error));
}

bool TCamViewMain::TakeRemoteRequest() {
    return ServerSocket && ServerSocket->TakeRequest();
}

void TCamViewMain::SendRemoteReply(const QString& path) {
    if (ServerSocket)
        ServerSocket->SendToFirstConnection(path);
}
