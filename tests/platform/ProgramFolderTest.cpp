#include "platform/ProgramFolder.h"

#include "support/ProgramFolderVariable.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

// The tests of the windows each give them a program folder of their own and rely on the
// one before coming back when they end.
TEST(ProgramFolder, FollowsTheVariableWhileAScopeLivesAndComesBackAfter) {
    const auto folder = [] { return ProgramFolder().toStdString(); };
    ASSERT_FALSE(qEnvironmentVariableIsSet("QUVAR_PROGRAM_FOLDER"));
    const std::string application = (QCoreApplication::applicationDirPath() + "/").toStdString();
    EXPECT_EQ(folder(), application);
    QTemporaryDir outer;
    QTemporaryDir inner;
    {
        ScopedProgramFolder outerScope(outer.path());
        EXPECT_EQ(folder(), (outer.path() + "/").toStdString());
        {
            ScopedProgramFolder innerScope(inner.path() + "/");
            EXPECT_EQ(folder(), (inner.path() + "/").toStdString());
        }
        EXPECT_EQ(folder(), (outer.path() + "/").toStdString());
    }
    EXPECT_FALSE(qEnvironmentVariableIsSet("QUVAR_PROGRAM_FOLDER"));
    EXPECT_EQ(folder(), application);
}
