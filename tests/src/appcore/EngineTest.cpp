// Engine core: what the constructor builds, the timers, the screen
// bookkeeping, the resolution classes and start() loading the QML. Each case
// runs in a process of its own because the engine builds the singletons.

#include "AppCoreTestUtil.h"
#include "StdoutCapture.h"
#include "ISDBtAppEngine.h"
#include "ISDBtDataManager.h"
#include "ISDBtFactoryDataManager.h"
#include "ImageItem.h"
#include "SignalInfoItem.h"
#include "TestDevRoot.h"
#include "ThresholdItem.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml>
#include <QQuickItem>
#include <QQuickView>
#include <QSignalSpy>
#include <QTimer>

#include <limits>
#include <memory>
#include <string>

using appcore_test::claimSingletons;
using holvik_test::StdoutCapture;
using holvik_test::TestDevRoot;
using holvik_test::writeFile;

namespace {

// Opens the engine's protected state to the test.
class TestEngine : public ISDBtAppEngine
{
public:
    using ISDBtAppEngine::ISDBtAppEngine;
    QQuickView* view() const { return m_pView; }
    bool inProcessing() const { return m_bInProcessing; }
    QTimer* timer(const char* name) const { return findChild<QTimer*>(QString::fromLatin1(name)); }
};

struct Fixture
{
    explicit Fixture(const std::string& ini = std::string())
    {
        claimSingletons();
        if (!ini.empty())
            writeFile(root.path("/home/root/isdbt/settings.ini"), "[General]\n" + ini);
        qml = std::make_unique<QQmlEngine>();
        engine = std::make_unique<TestEngine>(7, qml.get(), nullptr);
    }
    ~Fixture()
    {
        engine.reset();
        qml.reset();
    }
    TestDevRoot root;
    std::unique_ptr<QQmlEngine> qml;
    std::unique_ptr<TestEngine> engine;
};

TEST(Engine, ConstructionWritesTheThresholdDefaultsAndStaysInStateNone)
{
    Fixture f;
    ThresholdItem* t = ThresholdItem::getInstance();
    EXPECT_FLOAT_EQ(t->getCnrLevelAuto1toF(), 15.5f);
    const int expected[][3] = {
        {0, t->getCountAuto1toF(), t->getPeriodAuto1toF()},
        {t->getPerSignAutoFto1(), t->getCountAutoFto1(), t->getPeriodAutoFto1()},
        {t->getPerSignOp1Auto1toF(), t->getCountOp1Auto1toF(), t->getPeriodOp1Auto1toF()},
        {t->getPerSignOp1AutoFto1(), t->getCountOp1AutoFto1(), t->getPeriodOp1AutoFto1()},
        {t->getPerSignOpFAuto1toF(), t->getCountOpFAuto1toF(), t->getPeriodOpFAuto1toF()},
        {t->getPerSignOpFAutoFto1(), t->getCountOpFAutoFto1(), t->getPeriodOpFAutoFto1()},
    };
    const int defaults[][3] = {{0, 25, 5}, {0, 5, 2}, {1, 10, 2}, {0, 1, 1}, {1, 10, 2}, {0, 5, 1}};
    for (int g = 0; g < 6; ++g)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(expected[g][k], defaults[g][k]) << "group " << g << " value " << k;

    EXPECT_EQ(f.engine->getOzbState(), ISDBtAppEngine::None);
    EXPECT_TRUE(f.engine->getAppPowerOn()) << "the stored power state is on after every load";
    EXPECT_TRUE(f.engine->inProcessing()) << "keys wait for the end of start()";
    EXPECT_EQ(f.engine->appId(), 7);
    EXPECT_EQ(f.engine->getImageRootDir(), "qrc:/image/");
}

TEST(Engine, TimersAndTheirIntervals)
{
    Fixture f("stationSearchTime=30\n");
    const struct
    {
        const char* name;
        int interval;
        bool repeating;
    } timers[] = {
        {"channelInfoUpdateTimer", 1000, true},  {"signalCheckTimer", 200, true},
        {"mouseReleaseTimer", 100, false},       {"aliveCheckTimer", 500, false},
        {"handoverTimer", 180000, false},        {"sationSearchStartTimer", 30000, false},
        {"bilingualUpdateExpireTimer", 5000, false}, {"subtitleTimer", 1000, false},
        {"enableHomeListTimer", 500, false},     {"engChenckTimer", 5000, false},
        {"engKeyCheckTimer", 5000, false},       {"factoryKeyCheckTimer", 2000, false},
        {"epgUpdateTimer", 10000, true},         {"scanCompleteTimer", 500, false},
        {"checkVideoErrTimer", 10000, false},
    };
    for (const auto& t : timers) {
        QTimer* timer = f.engine->timer(t.name);
        ASSERT_NE(timer, nullptr) << t.name;
        EXPECT_EQ(timer->interval(), t.interval) << t.name;
        EXPECT_EQ(timer->isSingleShot(), !t.repeating) << t.name;
        EXPECT_FALSE(timer->isActive()) << t.name;
    }
    // The fifteen of the engine and the 400 ms key timer of its launcher side.
    QTimer* key = f.engine->timer("keyTimer");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->interval(), 400);
    EXPECT_TRUE(key->isSingleShot());
    EXPECT_EQ(f.engine->findChildren<QTimer*>().size(), 16);

    // A channel change by key shortens the wait before a station search.
    QTimer* search = f.engine->timer("sationSearchStartTimer");
    QSignalSpy spy(f.engine.get(), SIGNAL(notifyChangeChByKeyChanged(int)));
    f.engine->setChangeChByKey(true);
    EXPECT_EQ(search->interval(), 1500);
    f.engine->setChangeChByKey(false);
    EXPECT_EQ(search->interval(), 30000);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 0);
}

TEST(Engine, StationSearchTimeTooLongForATimerWaitsAsLongAsOneCan)
{
    // Seconds that fit an int, milliseconds that do not.
    Fixture f("stationSearchTime=3000000\n");
    QTimer* search = f.engine->timer("sationSearchStartTimer");
    EXPECT_EQ(search->interval(), std::numeric_limits<int>::max());
    f.engine->setChangeChByKey(true);
    EXPECT_EQ(search->interval(), 1500);
    f.engine->setChangeChByKey(false);
    EXPECT_EQ(search->interval(), std::numeric_limits<int>::max());
}

TEST(Engine, StationSearchOffKeepsItsInterval)
{
    Fixture f("stationSearchTime=0\n");
    QTimer* search = f.engine->timer("sationSearchStartTimer");
    f.engine->setChangeChByKey(true);
    EXPECT_EQ(search->interval(), 0);
}

TEST(Engine, ResolutionClassOfTheScreen)
{
    const struct
    {
        int w, h, resolution, outW, outH;
    } cases[] = {
        {1920, 1080, 2, 1920, 1080}, {1280, 720, 1, 1280, 720}, {720, 480, 0, 720, 480},
        {1280, 500, 0, 1280, 500},   {1281, 501, 2, 1281, 501}, {2560, 1440, 1, 720, 480},
        {800, 0, 1, 720, 480},
    };
    for (const auto& c : cases) {
        int w = c.w, h = c.h;
        EXPECT_EQ(ISDBtAppEngine::deviceResolution(w, h), c.resolution) << c.w << "x" << c.h;
        EXPECT_EQ(w, c.outW) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.outH) << c.w << "x" << c.h;
    }
}

TEST(Engine, ScreenStack)
{
    Fixture f;
    EXPECT_EQ(f.engine->popScreen(), "");
    f.engine->pushScreen(QStringLiteral("ISDBtPlayerMain"));
    f.engine->pushScreen(QStringLiteral("ISDBtEpgListMain"));
    EXPECT_EQ(f.engine->popScreen(), "ISDBtEpgListMain");
    EXPECT_EQ(f.engine->popScreen(), "ISDBtPlayerMain");
    EXPECT_EQ(f.engine->popScreen(), "");
    f.engine->setMainState(QStringLiteral("ISDBtSetupMain"));
    EXPECT_EQ(f.engine->currentScreen(), "ISDBtSetupMain");
}

TEST(Engine, StartLoadsTheMainQmlWithThePublishedObjects)
{
    Fixture f("segMode=1\n");
    QSignalSpy state(f.engine.get(), SIGNAL(notifyOzbStateChanged(int)));
    f.engine->init();
    f.engine->start();
    ASSERT_EQ(state.count(), 1);
    EXPECT_EQ(state.at(0).at(0).toInt(), ISDBtAppEngine::Preparing);
    EXPECT_FALSE(f.engine->inProcessing());

    QQuickView* view = f.engine->view();
    ASSERT_EQ(view->status(), QQuickView::Ready);
    ASSERT_NE(view->rootObject(), nullptr);
    EXPECT_TRUE(view->isVisible());
    QQmlContext* ctx = f.qml->rootContext();
    EXPECT_EQ(ctx->contextProperty("ISDBtEngine").value<QObject*>(), f.engine.get());
    EXPECT_EQ(ctx->contextProperty("ISDBtData").value<QObject*>(), ISDBtDataManager::getInstance());
    EXPECT_EQ(ctx->contextProperty("FactoryData").value<QObject*>(), ISDBtFactoryDataManager::getInstance());
    EXPECT_EQ(ctx->contextProperty("ISDBtSingalInfo").value<QObject*>(), SignalInfoItem::getInstance());
    EXPECT_EQ(ctx->contextProperty("ISDBtThreshold").value<QObject*>(), ThresholdItem::getInstance());
    EXPECT_NE(ctx->contextProperty("ISDBtFileIO").value<QObject*>(), nullptr);
    EXPECT_EQ(ctx->contextProperty("MODEL_NAME").toString(), "QM_NRV2Z_MAX");
    const int width = ctx->contextProperty("DEVICE_WIDTH").toInt();
    EXPECT_EQ(view->rootObject()->width(), width);

    // The shared tables are published, and the root window starts on live TV
    // and follows the settings store through its bindings.
    for (const char* table : {"colorInfo", "imageInfo", "systemInfo"})
        EXPECT_NE(ctx->contextProperty(table).value<QObject*>(), nullptr) << table;
    QObject* root = view->rootObject();
    EXPECT_EQ(root->property("state").toString(), "ISDBtPlayerMain");
    ISDBtDataManager::getInstance()->setCurrStationListCnt(3);
    EXPECT_EQ(root->property("stationListCount").toInt(), 3);
    ISDBtDataManager::getInstance()->setCurrStationListCnt(0);
    EXPECT_EQ(root->property("stationListCount").toInt(), 0);
}

TEST(Engine, BrokenQmlIsLoggedWithItsPlaceAndLeavesTheViewEmpty)
{
    Fixture f;
    const std::string broken = f.root.root() + "/broken.qml";
    writeFile(broken, "import QtQuick 2.6\nItem {\n    width: 10\n    height: 10 +\n}\n");
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(broken));
    StdoutCapture out;
    f.engine->setViewContent(f.engine->view(), url, f.qml->rootContext());
    const std::string text = out.take();
    EXPECT_NE(text.find("[setViewContent] QQmlComponent - error [" + url.toString().toStdString() + "][5]"),
              std::string::npos)
        << text;
    EXPECT_EQ(f.engine->view()->rootObject(), nullptr);
}

}  // namespace

// Fontconfig keeps caches for the life of the process, which LeakSanitizer
// reports at exit; they are not the program's.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Kept to the end of the process: the offscreen platform does not free
    // its screen when the application object goes, which would read as a leak.
    static int appArgc = argc;
    new QGuiApplication(appArgc, argv);
    // The caption item of the root window, registered as the program does.
    qmlRegisterType<ImageItem>("ImageItem", 1, 0, "ImageItem");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
