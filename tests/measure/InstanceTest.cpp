// Two processes of the program: the second hands its file to the first and ends.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 20000;

class TwoInstances : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(images.path()).mkpath("pics"));
        QImage image(48, 36, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        ASSERT_TRUE(image.save(images.path() + "/pics/a.png"));
        ASSERT_TRUE(image.save(images.path() + "/pics/b.png"));
    }
    void TearDown() override {
        for (auto& process : processes)
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(kWaitMs);
            }
    }

    // Each in a working folder of its own unless told: a relative path means something
    // else to the running instance.
    QProcess& Start(const QStringList& arguments, const QString& folder = {}) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QUVAR_PROGRAM_FOLDER", program.path());
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(folder.isEmpty() ? program.path() : folder);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(QUVAR_INSTANCE_PROBE), arguments);
        EXPECT_TRUE(process->waitForStarted(kWaitMs));
        processes.push_back(std::move(process));
        return *processes.back();
    }
    // The next line of standard output that starts with prefix; empty when none came in
    // time (other lines are passed over).
    static QString WaitForLine(QProcess& process, const QString& prefix, int timeoutMs = kWaitMs) {
        QElapsedTimer clock;
        clock.start();
        while (true) {
            while (process.canReadLine()) {
                const QString line = QString::fromUtf8(process.readLine()).trimmed();
                if (line.startsWith(prefix))
                    return line.mid(prefix.size());
            }
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0 || process.state() == QProcess::NotRunning)
                return {};
            process.waitForReadyRead(int(left));
        }
    }
    static bool EndsSoon(QProcess& process) {
        return process.waitForFinished(kWaitMs) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    }

    QTemporaryDir program;
    QTemporaryDir images;
    std::vector<std::unique_ptr<QProcess>> processes;
};

} // namespace

TEST_F(TwoInstances, ASecondStartHandsOverAndEnds) {
    QProcess& first = Start({});
    ASSERT_FALSE(WaitForLine(first, "ready").isNull()) << "the first instance did not start";

    // A relative path: the running instance works in another folder.
    QProcess& second = Start({"pics/../pics/a.png", "pics/b.png"}, images.path());
    EXPECT_TRUE(EndsSoon(second));
    EXPECT_EQ(WaitForLine(first, "title "), images.path() + "/pics/a.png")
        << "only the first parameter is opened";

    // Without parameters: to the front, and nothing else changes.
    QProcess& third = Start({});
    EXPECT_TRUE(EndsSoon(third));
    EXPECT_TRUE(WaitForLine(first, "title ", 1000).isNull());
    EXPECT_EQ(first.state(), QProcess::Running);

    // A file the running instance cannot open: it refuses, and the sender starts itself.
    QFile text(images.path() + "/notes.txt");
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    QProcess& fourth = Start({"notes.txt"}, images.path());
    EXPECT_FALSE(WaitForLine(fourth, "ready").isNull()) << "a refused hand-over starts a second";
    EXPECT_FALSE(WaitForLine(first, "message ").isNull()) << "the first shows its error";
    fourth.kill();
    fourth.waitForFinished(kWaitMs);
}

TEST_F(TwoInstances, ASecondStartWithManyFilesHandsOverTheFirst) {
    QProcess& first = Start({});
    ASSERT_FALSE(WaitForLine(first, "ready").isNull()) << "the first instance did not start";
    QStringList many{"pics/a.png"};
    for (int i = 0; i < 3000; ++i)
        many << "pics/b.png";
    QProcess& second = Start(many, images.path());
    EXPECT_TRUE(EndsSoon(second));
    EXPECT_EQ(WaitForLine(first, "title "), images.path() + "/pics/a.png");
}

TEST_F(TwoInstances, AStartAfterACrashBecomesTheRunningInstance) {
    QProcess& crashed = Start({});
    ASSERT_FALSE(WaitForLine(crashed, "ready").isNull());
    crashed.kill(); // SIGKILL: the socket stays behind
    ASSERT_TRUE(crashed.waitForFinished(kWaitMs));

    QProcess& next = Start({});
    ASSERT_FALSE(WaitForLine(next, "ready").isNull()) << "the socket left behind blocked the start";
    QProcess& handOver = Start({"pics/b.png"}, images.path());
    EXPECT_TRUE(EndsSoon(handOver));
    EXPECT_EQ(WaitForLine(next, "title "), images.path() + "/pics/b.png");
}

// A FIFO named like a picture on the command line: the file error and a window, at once,
// and the FIFO never sees a reader (before, the start waited for a writer for good).
TEST_F(TwoInstances, AFifoOnTheCommandLineGetsTheFileError) {
    const QString fifo = images.path() + "/pics/fifo.jpg";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    QProcess& first = Start({fifo});
    EXPECT_EQ(WaitForLine(first, "message "), "Unable to open file '" + fifo + "'");
    EXPECT_FALSE(WaitForLine(first, "ready").isNull());
    errno = 0;
    const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
    EXPECT_EQ(writer, -1) << "the FIFO has a reader";
    EXPECT_EQ(errno, ENXIO);
    if (writer >= 0)
        ::close(writer); // lets a reader that waits go on
}

// A path longer than the channel carries: the running instance could not take it, and the
// second start ended without a word. It starts itself and tells why the file does not open.
TEST_F(TwoInstances, AnArgumentTooLongToHandOverIsNeverDroppedSilently) {
    QProcess& first = Start({});
    ASSERT_FALSE(WaitForLine(first, "ready").isNull()) << "the first instance did not start";
    const QString tooLong = images.path() + "/pics/" + QString(100 * 1024, u'a') + ".jpg";
    QProcess& second = Start({tooLong});
    EXPECT_TRUE(WaitForLine(second, "message ").contains("aaaa"));
    EXPECT_FALSE(WaitForLine(second, "ready").isNull());
    EXPECT_EQ(first.state(), QProcess::Running);
}
