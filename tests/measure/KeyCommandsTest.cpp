#include "measure/KeyCommands.h"
#include "measure/HandOff.h"

#include <QDir>
#include <gtest/gtest.h>

#include <deque>

TEST(KeyCommands, TheKeyTable) {
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        int mode;
        KeyCommand command;
        int item;
    };
    const Case cases[] = {
        {Qt::Key_F, Qt::NoModifier, 0, KeyCommand::DisplaySize, 1},
        {Qt::Key_G, Qt::NoModifier, 0, KeyCommand::DisplaySize, 0},
        {Qt::Key_3, Qt::NoModifier, 0, KeyCommand::DisplaySize, 5},
        {Qt::Key_8, Qt::NoModifier, 0, KeyCommand::DisplaySize, 10},
        {Qt::Key_9, Qt::NoModifier, 0, KeyCommand::DisplaySize, 12}, // 800; 768 has no key
        {Qt::Key_0, Qt::NoModifier, 0, KeyCommand::DisplaySize, 13}, // 960
        {Qt::Key_9, Qt::KeypadModifier, 0, KeyCommand::DisplaySize, 12},
        {Qt::Key_F, Qt::ShiftModifier, 0, KeyCommand::DisplaySize, 1},
        {Qt::Key_1, Qt::NoModifier, 0, KeyCommand::Redraw, 1},
        {Qt::Key_2, Qt::NoModifier, 0, KeyCommand::Redraw, 2},
        {Qt::Key_P, Qt::NoModifier, 0, KeyCommand::Preview, 0},
        {Qt::Key_D, Qt::NoModifier, 0, KeyCommand::ShowLastImage, 0},
        // Q swaps only a fixed-size frame's orientation: in modes 3 and 7.
        {Qt::Key_Q, Qt::NoModifier, 3, KeyCommand::SwapCrop, 0},
        {Qt::Key_Q, Qt::NoModifier, 7, KeyCommand::SwapCrop, 0},
        {Qt::Key_Q, Qt::NoModifier, 0, KeyCommand::None, 0},
        {Qt::Key_Q, Qt::NoModifier, 5, KeyCommand::None, 0},
        {Qt::Key_Q, Qt::ControlModifier, 3, KeyCommand::None, 0},
        {Qt::Key_Escape, Qt::NoModifier, 3, KeyCommand::Escape, 0},
        {Qt::Key_Space, Qt::NoModifier, 0, KeyCommand::NextImage, 0},
        {Qt::Key_Backspace, Qt::NoModifier, 0, KeyCommand::PreviousImage, 0},
        {Qt::Key_Left, Qt::NoModifier, 5, KeyCommand::ResizeCropFrame, Qt::Key_Left},
        {Qt::Key_Down, Qt::NoModifier, 5, KeyCommand::ResizeCropFrame, Qt::Key_Down},
        // Arrows outside the free area belong to the controls.
        {Qt::Key_Left, Qt::NoModifier, 0, KeyCommand::None, 0},
        {Qt::Key_Up, Qt::NoModifier, 3, KeyCommand::None, 0},
        // Ctrl+O and Alt+S are menu shortcuts; Ctrl+F and Ctrl+1 are nothing.
        {Qt::Key_F, Qt::ControlModifier, 0, KeyCommand::None, 0},
        {Qt::Key_1, Qt::AltModifier, 0, KeyCommand::None, 0},
        {Qt::Key_P, Qt::MetaModifier, 0, KeyCommand::None, 0},
        // The menu's own single keys go through the menu.
        {Qt::Key_O, Qt::NoModifier, 0, KeyCommand::None, 0},
        {Qt::Key_S, Qt::NoModifier, 0, KeyCommand::None, 0},
        {Qt::Key_W, Qt::NoModifier, 0, KeyCommand::None, 0},
        {Qt::Key_E, Qt::NoModifier, 0, KeyCommand::None, 0},
    };
    for (const Case& c : cases) {
        const KeyAction action = KeyCommandFor(c.key, c.modifiers, c.mode);
        EXPECT_EQ(action.Command, c.command) << std::hex << c.key << " " << c.modifiers.toInt();
        if (c.command != KeyCommand::None && c.command != KeyCommand::Escape) {
            EXPECT_EQ(action.Item, c.item) << std::hex << c.key;
        }
    }
}

TEST(KeyCommands, BrowsingStepsAndStopsAtEitherEnd) {
    const QStringList three = {"/a/1.jpg", "/a/2.jpg", "/a/3.jpg"};
    struct Case {
        QStringList items;
        int tag;
        bool forward;
        int newTag;
        QString load;
        QString message;
    };
    const QString last = "Reached last file in folder";
    const QString first = "Reached first file in folder";
    const Case cases[] = {
        {three, 0, true, 1, "/a/2.jpg", ""},  {three, 1, true, 2, "/a/3.jpg", ""},
        {three, 2, true, 2, "", last},        {three, 2, false, 1, "/a/2.jpg", ""},
        {three, 1, false, 0, "/a/1.jpg", ""}, {three, 0, false, 0, "", first},
        {three, -1, true, 0, "/a/1.jpg", ""}, // the image is not in the list
        {{}, -1, true, -1, "", last},         {{}, -1, false, 0, "", first},
        {three, 7, false, 2, "/a/3.jpg", ""}, // the folder shrank
    };
    for (const Case& c : cases) {
        const TFileList list{c.items, c.tag};
        const BrowseStep step = c.forward ? NextInFolder(list) : PreviousInFolder(list);
        EXPECT_EQ(step.Tag, c.newTag) << c.tag << c.forward;
        EXPECT_EQ(step.Load, c.load) << c.tag << c.forward;
        EXPECT_EQ(step.Message, c.message) << c.tag << c.forward;
    }
}

TEST(KeyCommands, CropFrameStepFollowsTheUnit) {
    EXPECT_DOUBLE_EQ(CropFrameKeyStep(2.54, QString::fromUtf8("µm")), 2.54);
    EXPECT_DOUBLE_EQ(CropFrameKeyStep(2.54, "mil"), 1.0);
    EXPECT_DOUBLE_EQ(CropFrameKeyStep(2.5, "mm"), 0.025);
}

TEST(KeyCommands, DropDecisions) {
    const QString longName = "/data/" + QString(300, 'x') + ".jpg";
    const QString folder = QDir::tempPath();
    struct Case {
        QList<QUrl> urls;
        QString path;
        QString refusal;
    };
    const Case cases[] = {
        {{}, "", ""},
        {{QUrl::fromLocalFile("/p/a.jpg")}, "/p/a.jpg", ""},
        {{QUrl::fromLocalFile(longName)}, longName, ""}, // kept whole
        {{QUrl::fromLocalFile("/p/a.jpg"), QUrl::fromLocalFile("/p/b.jpg")}, "", OnlyOneDropText},
        {{QUrl("https://example.org/a.jpg")}, "", NotAnImageText},
        {{QUrl::fromLocalFile(folder)}, "", NotAnImageText},
    };
    for (const Case& c : cases) {
        const DropDecision drop = DecideDrop(c.urls);
        EXPECT_EQ(drop.Path, c.path);
        EXPECT_EQ(drop.Refusal, c.refusal);
    }
}

TEST(HandOff, MessageFormat) {
    EXPECT_EQ(EncodeParams({}), QByteArray());
    EXPECT_EQ(EncodeParams({"/a b/1.jpg"}), QByteArray("P/a b/1.jpg\0\0", 13));
    EXPECT_EQ(EncodeParams({"/x", "/yz"}), QByteArray("P/x\0/yz\0\0", 9));

    struct Case {
        QByteArray message;
        HandOffRequest::Kinds kind;
        QString first;
    };
    const Case cases[] = {
        {EncodeParams({"/x", "/yz"}), HandOffRequest::Params, "/x"}, // only the first
        {EncodeParams({QString::fromUtf8("/Bilder/Kieselalge µm.jpg")}), HandOffRequest::Params,
         QString::fromUtf8("/Bilder/Kieselalge µm.jpg")},
        {RestoreRequest(), HandOffRequest::Restore, ""},
        {QByteArray(), HandOffRequest::Invalid, ""},
        {QByteArray("P", 1), HandOffRequest::Invalid, ""},
        {QByteArray("P\0\0", 3), HandOffRequest::Invalid, ""},         // no parameter
        {QByteArray("P/x\0", 4), HandOffRequest::Invalid, ""},         // no closing zero
        {QByteArray("P/x\0\0/y\0\0", 9), HandOffRequest::Invalid, ""}, // empty parameter
        {QByteArray("X/x\0\0", 5), HandOffRequest::Invalid, ""},       // other signature
        {QByteArray("RR", 2), HandOffRequest::Invalid, ""},
    };
    for (const Case& c : cases) {
        const HandOffRequest request = DecodeHandOff(c.message);
        EXPECT_EQ(request.Kind, c.kind) << c.message.toHex().constData();
        EXPECT_EQ(request.FirstParam, c.first) << c.message.toHex().constData();
    }
}

// A start with many files (a shell pattern, say) still fits the channel: only the first
// is opened, so those that do not fit are left off.
TEST(HandOff, ManyParametersFitTheChannel) {
    QStringList many;
    for (int i = 0; i < 5000; ++i)
        many << QStringLiteral("/home/user/Pictures/pond/sample_%1.jpg").arg(i, 4, 10, QChar('0'));
    const QByteArray message = EncodeParams(many);
    EXPECT_LE(message.size(), MaxChannelMessage);
    EXPECT_TRUE(message.endsWith(QByteArray(2, '\0')));
    const HandOffRequest request = DecodeHandOff(message);
    EXPECT_EQ(request.Kind, HandOffRequest::Params);
    EXPECT_EQ(request.FirstParam, many.front());
    EXPECT_EQ(EncodeParams(many.mid(0, 3)).size(), 1 + 3 * (many[0].size() + 1) + 1)
        << "a few are sent whole";
}

TEST(HandOff, ArgumentsBecomeAbsolute) {
    EXPECT_EQ(
        MakeArgumentsAbsolute({"a.jpg", "../b/c.png", "/abs/d.tif", "./e f.jpg"}, "/home/u/pics"),
        QStringList(
            {"/home/u/pics/a.jpg", "/home/u/b/c.png", "/abs/d.tif", "/home/u/pics/e f.jpg"}));
}

TEST(HandOff, InboxRepliesAndKeepsWhatComesEarly) {
    HandOffInbox inbox;
    int restored = 0;
    inbox.OnRestore = [&] { ++restored; };
    EXPECT_EQ(inbox.Receive(QByteArray("X", 1)), RefusedReply());
    // Before the window is ready: accepted and kept; a later one replaces it.
    EXPECT_EQ(inbox.Receive(EncodeParams({"/early.jpg"})), AcceptedReply());
    EXPECT_EQ(inbox.Receive(EncodeParams({"/later.jpg", "/ignored.jpg"})), AcceptedReply());
    QStringList opened;
    bool opens = true;
    inbox.SetOnParam([&](const QString& path) {
        opened << path;
        return opens;
    });
    EXPECT_EQ(opened, QStringList({"/later.jpg"}));
    EXPECT_EQ(inbox.Receive(EncodeParams({"/now.jpg"})), AcceptedReply());
    opens = false;
    EXPECT_EQ(inbox.Receive(EncodeParams({"/broken.jpg"})), RefusedReply());
    EXPECT_EQ(opened, QStringList({"/later.jpg", "/now.jpg", "/broken.jpg"}));
    EXPECT_EQ(inbox.Receive(RestoreRequest()), AcceptedReply());
    EXPECT_EQ(restored, 1);
}

namespace {

// A channel that answers from a script and records what was sent.
class ScriptedChannel final : public InstanceChannel {
public:
    std::deque<ChannelReply> replies;
    std::deque<bool> listens;
    std::vector<QByteArray> sent;
    int listened = 0;

    ChannelReply Send(const QByteArray& message) override {
        sent.push_back(message);
        if (replies.empty())
            return {ChannelResult::NoInstance, {}};
        const ChannelReply reply = replies.front();
        replies.pop_front();
        return reply;
    }
    bool Listen(std::function<QByteArray(const QByteArray&)>) override {
        ++listened;
        if (listens.empty())
            return true;
        const bool ok = listens.front();
        listens.pop_front();
        return ok;
    }
};

} // namespace

TEST(HandOff, StartUpDecision) {
    const ChannelReply accepted{ChannelResult::Replied, AcceptedReply()};
    const ChannelReply refused{ChannelResult::Replied, RefusedReply()};
    const ChannelReply none{ChannelResult::NoInstance, {}};
    const ChannelReply silent{ChannelResult::NoAnswer, {}};
    struct Case {
        const char* name;
        QStringList arguments;
        std::deque<ChannelReply> replies;
        std::deque<bool> listens;
        bool mayStart;
        std::vector<QByteArray> sent;
        int listened;
    };
    const QByteArray params = EncodeParams({"/p/a.jpg", "/p/b.jpg"});
    const QString tooLong = "/p/" + QString(MaxChannelMessage, u'a') + ".jpg";
    const Case cases[] = {
        // The running instance would drop the message unanswered, and this start would end
        // without a word: it starts itself and tells why the file does not open.
        {"too long to hand over", {tooLong, "/p/b.jpg"}, {accepted}, {false}, true, {}, 1},
        {"first instance", {"/p/a.jpg"}, {}, {}, true, {EncodeParams({"/p/a.jpg"})}, 1},
        {"hands over and ends",
         {"/p/a.jpg", "/p/b.jpg"},
         {accepted, accepted},
         {},
         false,
         {params, RestoreRequest()},
         0},
        {"no parameters: to the front", {}, {accepted}, {}, false, {RestoreRequest()}, 0},
        {"refused: a second instance", {"/p/a.jpg", "/p/b.jpg"}, {refused}, {}, true, {params}, 0},
        {"no answer: ends", {"/p/a.jpg", "/p/b.jpg"}, {silent}, {}, false, {params}, 0},
        {"another became the running one",
         {"/p/a.jpg", "/p/b.jpg"},
         {none, accepted, accepted},
         {false},
         false,
         {params, params, RestoreRequest()},
         1},
        {"neither reachable nor free",
         {},
         {none, none},
         {false, false},
         true,
         {RestoreRequest(), RestoreRequest()},
         2},
    };
    for (const Case& c : cases) {
        ScriptedChannel channel;
        channel.replies = c.replies;
        channel.listens = c.listens;
        HandOffInbox inbox;
        EXPECT_EQ(MayStart(channel, inbox, c.arguments), c.mayStart) << c.name;
        EXPECT_EQ(channel.sent, c.sent) << c.name;
        EXPECT_EQ(channel.listened, c.listened) << c.name;
    }
}
