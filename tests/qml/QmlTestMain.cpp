// Runs the QML tests of the user interface. Each test file gets the context
// the program gives its QML: the real settings store in a fresh development
// root, the shared tables made from the resources, a 1280 x 720 (720P)
// screen, and a recording stand-in for the engine (stubs/StubEngine.qml).
// "testTranslator" switches the installed translation like the engine does.
// The engine's view objects (factory record, signal and threshold objects)
// and the channel and station lists of the database manager are the real
// ones (the factory record's step after each flush starts no process); "testLists" fills the lists from channel rows written as the home
// channel database, as after a scan.
// The screenshot run (scripts/screenshot-screens.sh) picks another screen with
// HOLVIK_QML_RESOLUTION (0 480P, 1 720P, 2 1080P) and names its output
// folder with HOLVIK_SHOT_DIR ("shotDir").

#include "BroadcastDb.h"
#include "ISDBtAppEngine.h"
#include "ISDBtDataManager.h"
#include "ISDBtFactoryDataManager.h"
#include "ImageItem.h"
#include "KvrOzbFSegDBManager.h"
#include "SignalInfoItem.h"
#include "TestDevRoot.h"
#include "ThresholdItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QObject>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml>
#include <QTranslator>
#include <QVariantList>
#include <QVariantMap>
#include <QtQuickTest>

#include <memory>
#include <string>
#include <vector>

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

class TestLists : public QObject
{
    Q_OBJECT

public:
    // rows: {id, channelNumber, remoconID, serviceID, serviceType (1 full-seg,
    // 192 one-seg), pmtPID, tsName, networkID}; audio and video PIDs are made
    // unique per row.
    Q_INVOKABLE bool load(const QVariantList& rows)
    {
        KvrOzbFSegDBManager* db = KvrOzbFSegDBManager::getInstance();
        std::vector<bsim::ChannelRow> out;
        for (const QVariant& value : rows) {
            const QVariantMap row = value.toMap();
            bsim::ChannelRow r;
            r.id = row.value(QStringLiteral("id")).toInt();
            r.channelNumber = row.value(QStringLiteral("channelNumber")).toInt();
            r.remoconID = row.value(QStringLiteral("remoconID")).toInt();
            r.serviceID = row.value(QStringLiteral("serviceID")).toInt();
            r.serviceType = row.value(QStringLiteral("serviceType"), 1).toInt();
            r.pmtPID = row.value(QStringLiteral("pmtPID"), 0x1F0).toInt();
            r.tsName = row.value(QStringLiteral("tsName")).toString().toStdString();
            r.networkID = row.value(QStringLiteral("networkID")).toInt();
            r.audioPID = 0x100 + 2 * r.id;
            r.videoPID = 0x101 + 2 * r.id;
            out.push_back(r);
        }
        QDir().mkpath(db->channelDirectory());
        std::string error;
        if (!bsim::writeChannelDatabase((db->channelDirectory() + QStringLiteral("/ISDBT0.db")).toStdString(), out,
                                        &error)) {
            qWarning("testLists: %s", error.c_str());
            return false;
        }
        db->init();
        db->getChannelsFromDB(KvrOzbFSegDBManager::MODE_HOME, true, 0);
        return true;
    }
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
        ctx->setContextProperty(QStringLiteral("testLists"), &m_lists);
        ISDBtFactoryDataManager* factory = ISDBtFactoryDataManager::getInstance();
        // The screens write the record hundreds of times in one run; starting
        // the "sync" command for each write took most of the run's time. The
        // record's own tests check that it syncs after every flush.
        factory->setDiskSync([] {});
        ctx->setContextProperty(QStringLiteral("FactoryData"), factory);
        ctx->setContextProperty(QStringLiteral("ISDBtSingalInfo"), SignalInfoItem::getInstance());
        ThresholdItem* threshold = ThresholdItem::getInstance();
        // The engine's defaults.
        threshold->setThresholdAutoMode1toF(15.5f, 25, 5);
        threshold->setThresholdAutoModeFto1(0, 5, 2);
        threshold->setThresholdOp1AutoMode1toF(1, 10, 2);
        threshold->setThresholdOp1AutoModeFto1(0, 1, 1);
        threshold->setThresholdOpFAutoMode1toF(1, 10, 2);
        threshold->setThresholdOpFAutoModeFto1(0, 5, 1);
        ctx->setContextProperty(QStringLiteral("ISDBtThreshold"), threshold);
        KvrOzbFSegDBManager* db = KvrOzbFSegDBManager::getInstance();
        ctx->setContextProperty(QStringLiteral("ChannelListModel"),
                                db->getChannelProxyModel(KvrOzbFSegDBManager::MODE_HOME));
        ctx->setContextProperty(QStringLiteral("StationListModel"),
                                db->getStationProxyModel(KvrOzbFSegDBManager::MODE_HOME));
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
        // The list models, as stand-ins a test fills.
        QObject* models = ISDBtAppEngine::createObject(
            engine, QUrl::fromLocalFile(QStringLiteral(HOLVIK_QML_TEST_DIR "/stubs/StubModels.qml")));
        if (models != nullptr) {
            models->setParent(engine);
            ctx->setContextProperty(QStringLiteral("testModels"), models);
            // The list screens' tests fill a stand-in station list; tests that
            // check the bindings to the real station model ask for it.
            if (qEnvironmentVariable("HOLVIK_QML_LISTS") != QLatin1String("real"))
                ctx->setContextProperty(QStringLiteral("StationListModel"), models->property("stations"));
            ctx->setContextProperty(QStringLiteral("EpgListModel"), models->property("epgs"));
            ctx->setContextProperty(QStringLiteral("EpgDayListModel"), models->property("days"));
            for (int day = 0; day < 8; ++day)
                ctx->setContextProperty(QStringLiteral("EpgDay%1TimeListModel").arg(day),
                                        models->property(QStringLiteral("dayTime%1").arg(day).toLatin1()));
        }
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
    TestLists m_lists;
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
