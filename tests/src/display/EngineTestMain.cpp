// Entry of the engine feature tests: a GUI application for the engine's view,
// offscreen unless the caller chose a platform.

#include <gtest/gtest.h>

#include <QGuiApplication>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Kept to the end of the process: the offscreen platform does not free
    // its screen when the application object goes, which would read as a leak.
    static int appArgc = argc;
    new QGuiApplication(appArgc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
