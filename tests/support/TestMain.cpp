// The main of every test binary: Qt on the offscreen platform, a private home folder so
// that no test touches the user's own pictures folder, and one QApplication.

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + "/.config"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + "/.local/share"));
    qunsetenv("QUVAR_PROGRAM_FOLDER");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
