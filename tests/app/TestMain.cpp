// The window's tests need one application object for the whole run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "app/AppSetup.h"

int main(int argc, char** argv) {
    // Runs without a display unless told otherwise (the screenshot script
    // asks for a real X server).
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window remembers its options with QSettings: the tests keep theirs
    // in a directory of their own, never in the user's configuration.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    ::testing::InitGoogleTest(&argc, argv);
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    qm::SetUpApplication(application);
    return RUN_ALL_TESTS();
}
