// Process entry of Holvik_ISDB: prepares the process, the Qt application and
// the QML engine, then runs the application engine for the life of the
// program.

#include "AppStartup.h"
#include "DevRoot.h"
#include "ISDBtAppEngine.h"
#include "ImageItem.h"
#include "KelpAppLog.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QtQml>
#include <QString>
#include <QStringList>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>

namespace {
const char kAppVersionPrefix[] = "APP.v";
const char kAppVersion[] = "0.1.94";
const char kRule[] = "========================================";
}  // namespace

int main(int argc, char** argv)
{
    // The log is the first service started and the last stopped.
    kelp_app_log_init();

    const QString version = QString("%1%2").arg(kAppVersionPrefix, kAppVersion);
    const QByteArray versionText = version.toLocal8Bit();
    printf("%s\n", kRule);
    printf("        App Version is %s\n", versionText.constData());
    printf("%s\n", kRule);
    LOG_I("[%s] ============== isdbt App Start (TARGET) (%s) ==============", __func__, versionText.constData());

    InstallCrashHandler();

    for (int i = 0; i < argc; ++i)
        LOG_I("argv[%d] : %s", i, argv[i]);

    // Handed to the application engine, which uses it on the launcher link.
    const int appID = GetAppID(argc, argv);

    const std::string settingsFile = devroot::path(startup::kSettingsFile);
    const std::string factoryFile = devroot::path(startup::kFactoryFile);
    CheckLockFile(settingsFile.c_str(), false);
    CheckLockFile(settingsFile.c_str(), true);
    CheckLockFile(factoryFile.c_str(), false);
    CheckLockFile(factoryFile.c_str(), true);

    CheckLogoDir();

    mallopt(M_CHECK_ACTION, 3);

    QGuiApplication app(argc, argv);

    const QStringList fonts = {AppFontPath()};
    for (const QString& font : fonts) {
        const int id = QFontDatabase::addApplicationFont(font);
        LOG_I("Font Load : %s : %d", font.toLocal8Bit().constData(), id);
    }
    QFont::insertSubstitutions("OZB_FONT", QStringList() << "Droid Sans Fallback");
    QGuiApplication::setFont(QFont("OZB_FONT"));

    QQmlEngine* qmlEngine = new QQmlEngine(&app);

    // The QML item types defined by the program are registered here.
    qmlRegisterType<ImageItem>("ImageItem", 1, 0, "ImageItem");

    ISDBtAppEngine* appEngine = new ISDBtAppEngine(appID, qmlEngine, nullptr);
    appEngine->init();
    appEngine->start();

    const int exitCode = app.exec();

    // Tells the launcher, releases the player and closes the databases.
    appEngine->release();
    // The engine's view lives on the QML engine, so the engine goes first.
    delete appEngine;
    delete qmlEngine;
    kelp_app_log_deinit();
    return exitCode;
}
