#pragma once
// What a starting process and the running instance say to each other, and the start-up
// decision built on it: hand the parameters to the running instance and end, or become
// the running instance. The transport is platform/SingleInstance.

#include "platform/SingleInstance.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The parameters of a start: kind byte 'P', then each parameter (UTF-8) followed by one
// zero byte, and one more zero byte at the end; the parameters after the first that do
// not fit MaxChannelMessage are left off. No parameters give an empty message, which is
// never sent.
QByteArray EncodeParams(const QStringList& params);
// Asks the running instance to come to the front.
QByteArray RestoreRequest();

struct HandOffRequest {
    enum Kinds { Invalid, Params, Restore };
    Kinds Kind = Invalid;
    QString FirstParam; // of Params: the only one the running instance opens
};
// Anything else than the two messages above, exactly, is Invalid.
HandOffRequest DecodeHandOff(const QByteArray& message);

QByteArray AcceptedReply(); // "1"
QByteArray RefusedReply();  // "0"

// The parameters as absolute, clean paths against folder: the running instance works in
// another folder.
QStringList MakeArgumentsAbsolute(const QStringList& arguments, const QString& folder);

// The running instance's side. A parameter that arrives before the window is ready is
// kept (accepted) and opened once it is; a later one replaces it.
class HandOffInbox {
public:
    // The reply to one message.
    QByteArray Receive(const QByteArray& message);
    // The window is ready: opens the kept parameter, then every later one. The handler
    // returns false when the file could not be opened (the sender then starts itself).
    void SetOnParam(std::function<bool(const QString&)> onParam);
    std::function<void()> OnRestore;

private:
    std::function<bool(const QString&)> onParam_;
    std::optional<QString> kept_;
};

// Start-up: true when this process should run as the application, false when it handed
// over to a running instance (or that instance did not answer) and should end. arguments
// must already be absolute. A process that becomes the running instance listens with
// inbox. A first argument too long for the channel is never handed over: the process
// runs and opens it itself.
bool MayStart(InstanceChannel& channel, HandOffInbox& inbox, const QStringList& arguments);
