// Runs the QML tests of the user interface. Each test file gets the context
// the program gives its QML: the real settings store in a fresh development
// root, the shared tables made from the resources, a 1280 x 720 (720P)
// screen, and a recording stand-in for the engine (stubs/StubEngine.qml).
// "testTranslator" switches the installed translation like the engine does.
// The screenshot run (scripts/screenshot-screens.sh) picks another screen with
// HOLVIK_QML_RESOLUTION (0 480P, 1 720P, 2 1080P) and names its output
// folder with HOLVIK_SHOT_DIR ("shotDir").

#include "ISDBtAppEngine.h"
#include "ISDBtDataManager.h"
#include "ImageItem.h"
#include "TestDevRoot.h"

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QObject>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml>
#include <QTranslator>
#include <QtQuickTest>

#include <memory>

class TestTranslator : public QObject
{
    Q_OBJECT

public:
    // language: 0 Japanese, 1 English, 2 Korean (the settings' numbering).
    Q_INVOKABLE bool install(int language)
    {
        const QString name = language == 1   ? QStringLiteral(":/ISDBt_en")
                             : language == 2 ? QStringLiteral(":/ISDBt_ko")
                                             : QStringLiteral(":/ISDBt_ja");
        QCoreApplication::removeTranslator(&m_translator);
        if (!m_translator.load(name))
            return false;
        return QCoreApplication::installTranslator(&m_translator);
    }
    Q_INVOKABLE void remove() { QCoreApplication::removeTranslator(&m_translator); }

private:
    QTranslator m_translator;
};

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        if (!m_root)
            m_root = std::make_unique<holvik_test::TestDevRoot>();
        QQmlContext* ctx = engine->rootContext();
        ctx->setContextProperty(QStringLiteral("ISDBtData"), ISDBtDataManager::getInstance());
        ctx->setContextProperty(QStringLiteral("testTranslator"), &m_translator);
        static const int kSizes[3][2] = {{720, 480}, {1280, 720}, {1920, 1080}};
        bool ok = false;
        int resolution = qEnvironmentVariableIntValue("HOLVIK_QML_RESOLUTION", &ok);
        if (!ok || resolution < 0 || resolution > 2)
            resolution = 1;
        ctx->setContextProperty(QStringLiteral("DEVICE_WIDTH"), kSizes[resolution][0]);
        ctx->setContextProperty(QStringLiteral("DEVICE_HEIGHT"), kSizes[resolution][1]);
        ctx->setContextProperty(QStringLiteral("DEVICE_RESOLUTION"), resolution);
        ctx->setContextProperty(QStringLiteral("shotDir"), qEnvironmentVariable("HOLVIK_SHOT_DIR"));
        ctx->setContextProperty(QStringLiteral("MODEL_NAME"), QStringLiteral("QM_NRV2Z_MAX"));
        QObject* stub = ISDBtAppEngine::createObject(
            engine, QUrl::fromLocalFile(QStringLiteral(HOLVIK_QML_TEST_DIR "/stubs/StubEngine.qml")));
        if (stub != nullptr)
            stub->setParent(engine);
        ctx->setContextProperty(QStringLiteral("ISDBtEngine"), stub);
        const char* const tables[][2] = {{"qrc:/Common/ColorInfo.qml", "colorInfo"},
                                         {"qrc:/Common/ImageInfo.qml", "imageInfo"},
                                         {"qrc:/Common/SystemInfo.qml", "systemInfo"}};
        for (const auto& table : tables) {
            QObject* object = ISDBtAppEngine::createObject(engine, QUrl(QString::fromLatin1(table[0])));
            if (object != nullptr)
                object->setParent(engine);
            ctx->setContextProperty(QString::fromLatin1(table[1]), object);
        }
    }
    void cleanupTestCase() { m_translator.remove(); }

private:
    std::unique_ptr<holvik_test::TestDevRoot> m_root;
    TestTranslator m_translator;
};

// Fontconfig keeps caches for the life of the process, which LeakSanitizer
// reports at exit; they are not the program's.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv)
{
    // Kept to the end of the process: the offscreen platform does not free
    // its screen when the application object goes, which would read as a leak.
    static int appArgc = argc;
    new QGuiApplication(appArgc, argv);
    // The application font family, as the program maps it (Debian's Droid
    // Sans Fallback, which also holds the Japanese and Korean texts).
    QFont::insertSubstitutions(QStringLiteral("OZB_FONT"), QStringList() << QStringLiteral("Droid Sans Fallback"));
    // The caption item of the root window, registered as the program does.
    qmlRegisterType<ImageItem>("ImageItem", 1, 0, "ImageItem");
    QTEST_SET_MAIN_SOURCE_PATH
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "holvik_qml", nullptr, &setup);
}

#include "QmlTestMain.moc"
