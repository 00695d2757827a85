#include "HandOff.h"

#include <QDir>
#include <QFile>

namespace {
constexpr char ParamsKind = 'P';
constexpr char RestoreKind = 'R';
} // namespace

QByteArray EncodeParams(const QStringList& params) {
    if (params.isEmpty())
        return {};
    QByteArray message(1, ParamsKind);
    for (const QString& param : params) {
        const QByteArray name = QFile::encodeName(param);
        // The running instance opens only the first: the ones after it that would take
        // the message beyond what the channel carries are left off.
        if (message.size() > 1 && message.size() + name.size() + 2 > MaxChannelMessage)
            break;
        message += name;
        message += '\0';
    }
    message += '\0';
    return message;
}

QByteArray RestoreRequest() {
    return QByteArray(1, RestoreKind);
}

HandOffRequest DecodeHandOff(const QByteArray& message) {
    if (message == RestoreRequest())
        return {HandOffRequest::Restore, {}};
    // 'P', at least one parameter with its zero byte, the closing zero byte.
    if (message.size() < 3 || message.front() != ParamsKind ||
        !message.endsWith(QByteArray(2, '\0')))
        return {};
    const QByteArray body = message.mid(1, message.size() - 2);
    const QList<QByteArray> params = body.split('\0');
    // split() leaves one empty part after the last terminator.
    for (qsizetype i = 0; i + 1 < params.size(); ++i)
        if (params[i].isEmpty())
            return {};
    return {HandOffRequest::Params, QFile::decodeName(params.front())};
}

QByteArray AcceptedReply() {
    return QByteArrayLiteral("1");
}

QByteArray RefusedReply() {
    return QByteArrayLiteral("0");
}

QStringList MakeArgumentsAbsolute(const QStringList& arguments, const QString& folder) {
    QStringList absolute;
    const QDir base(folder);
    for (const QString& argument : arguments)
        absolute << QDir::cleanPath(base.absoluteFilePath(argument));
    return absolute;
}

QByteArray HandOffInbox::Receive(const QByteArray& message) {
    const HandOffRequest request = DecodeHandOff(message);
    switch (request.Kind) {
    case HandOffRequest::Invalid:
        return RefusedReply();
    case HandOffRequest::Restore:
        if (OnRestore)
            OnRestore();
        return AcceptedReply();
    case HandOffRequest::Params:
        if (!onParam_) {
            kept_ = request.FirstParam;
            return AcceptedReply();
        }
        return onParam_(request.FirstParam) ? AcceptedReply() : RefusedReply();
    }
    return RefusedReply();
}

void HandOffInbox::SetOnParam(std::function<bool(const QString&)> onParam) {
    onParam_ = std::move(onParam);
    if (onParam_ && kept_) {
        const QString kept = *kept_;
        kept_.reset();
        onParam_(kept);
    }
}

bool MayStart(InstanceChannel& channel, HandOffInbox& inbox, const QStringList& arguments) {
    const QByteArray params = EncodeParams(arguments);
    const auto receive = [&inbox](const QByteArray& message) { return inbox.Receive(message); };
    // A first parameter longer than the channel carries (no path is that long) cannot be
    // handed over: this process starts itself and shows why the file does not open.
    if (params.size() > MaxChannelMessage) {
        channel.Listen(receive); // the running instance, unless one runs already
        return true;
    }
    // A second round covers another process that became the running instance between
    // this one's look and its own start as the running one.
    for (int round = 0; round < 2; ++round) {
        // Without parameters the hand-over counts as accepted; the look for a running
        // instance is then the request to come to the front.
        const ChannelReply reply = channel.Send(params.isEmpty() ? RestoreRequest() : params);
        switch (reply.Result) {
        case ChannelResult::NoInstance:
            if (channel.Listen(receive))
                return true;
            continue;
        case ChannelResult::NoAnswer:
            // It may still open the file: a second instance would fight over the settings.
            return false;
        case ChannelResult::Replied:
            if (reply.Reply != AcceptedReply())
                return true; // refused: start as a second instance with these parameters
            if (!params.isEmpty())
                channel.Send(RestoreRequest());
            return false;
        }
    }
    // Neither reachable nor free to listen: run without the channel.
    return true;
}
