// QML test of the objects the engine publishes: the QML reads their
// properties and sees their change signals, as the real screens do.

#include "ISDBtAppEngine.h"
#include "TestDevRoot.h"

#include <QGuiApplication>
#include <QObject>
#include <QQmlEngine>
#include <QtQuickTest>

#include <memory>

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        m_root = std::make_unique<holvik_test::TestDevRoot>();
        m_engine = std::make_unique<ISDBtAppEngine>(3, engine, nullptr);
        m_engine->setContextProperty();
    }
    void cleanupTestCase()
    {
        m_engine.reset();
        m_root.reset();
    }

private:
    std::unique_ptr<holvik_test::TestDevRoot> m_root;
    std::unique_ptr<ISDBtAppEngine> m_engine;
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
    QTEST_SET_MAIN_SOURCE_PATH
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "appcore_qml", nullptr, &setup);
}

#include "QmlTestMain.moc"
