#include "TuningRig.h"

#include "BroadcastSim.h"
#include "ImageItem.h"

#include <gtest/gtest.h>

#include <QQuickItem>
#include <QQuickView>
#include <QtQml>

#include <fstream>

namespace tuning_test {

QGuiApplication* guiApp()
{
    static int argc = 1;
    static char name[] = "tuning-engine-test";
    static char* argv[] = {name, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    // Kept to the end of the process (the offscreen platform keeps its screen).
    static QGuiApplication* instance = [] {
        auto* app = new QGuiApplication(argc, argv);
        qmlRegisterType<ImageItem>("ImageItem", 1, 0, "ImageItem");  // as the program's start-up does
        return app;
    }();
    return instance;
}

QObject* TestEngine::qmlRoot() const
{
    return m_pView != nullptr ? m_pView->rootObject() : nullptr;
}

QObject* TestEngine::qmlChild(const char* name) const
{
    QObject* root = qmlRoot();
    return root != nullptr ? root->findChild<QObject*>(QString::fromLatin1(name)) : nullptr;
}

std::string baseScenario()
{
    return R"(clock system
timing prepare=50 scan_step=4 tune=60 handover=300 epg_refresh=0
station 20 0x7f10 TV Aurora
  relay 34 1
  service fseg 0xe100 1 11 0x111 0x112 0x101 TV Aurora HD
  service 1seg 0xe118 1 19 0x181 0x182 0x1fc8 TV Aurora 1Seg
station 24 0x7f20 Horizonte
  service fseg 0xe200 4 41 0x211 0x212 0x201 Horizonte HD
  service fseg 0xe201 4 42 0x221 0x222 0x202 Horizonte Noticias
  service 1seg 0xe218 4 49 0x281 0x282 0x1fc9 Horizonte 1Seg
station 27 0x7f30 Canal Vale
  service fseg 0xe300 5 51 0x311 0x312 0x301 Canal Vale
signal 0 ch=34 cnr=30.0 tot=3000 oneseg=3000 b0=3000 b1=3000 b2=3000 b3=3000 errA=0 totA=1000 errB=0 totB=1000
)";
}

TuningRig::TuningRig(const RigOptions& options)
{
    std::ofstream(root.path("/home/root/isdbt/settings.ini")) << "[General]\n" << options.settings;
    bsim::Scenario sc;
    std::string error;
    if (!bsim::parseScenario(baseScenario() + options.scenarioExtra, &sc, &error))
        ADD_FAILURE() << error;
    bsim::setScenario(sc);
    bsim::clearCalls();
    bsim::clearResults();
    if (options.frozenClock)
        bsim::freezeClock();

    launcher = std::make_unique<launcher_test::LauncherStandIn>();
    qml = std::make_unique<QQmlEngine>();
    engine = std::make_unique<TestEngine>(5, qml.get(), nullptr);
    engine->init();
    engine->start();
}

TuningRig::~TuningRig()
{
    if (engine)
        engine->release();
    engine.reset();
    qml.reset();
    launcher.reset();
    bsim::clearResults();
    bsim::releaseClock();
    bsim::resetScenario();
}

bool TuningRig::waitForState(int state, int timeoutMs)
{
    return waitUntil([&] { return engine->getOzbState() == state; }, timeoutMs);
}

bool TuningRig::waitTuned(int timeoutMs)
{
    return waitUntil([&] { return engine->isPolling() && engine->enableSetChannel(); }, timeoutMs);
}

bool TuningRig::initialScan()
{
    if (!waitForState(ISDBtAppEngine::Prepared))
        return false;
    launcher->send("key 22");  // OK on the initial-scan prompt
    if (!waitUntil([&] { return playerCalls("setChannel(") >= 1; }))
        return false;
    return waitTuned();
}

int TuningRig::playerCalls(const std::string& prefix) const
{
    int n = 0;
    for (const std::string& c : bsim::calls())
        if (c.compare(0, prefix.size(), prefix) == 0)
            ++n;
    return n;
}

bool TuningRig::waitCalls(const std::string& prefix, int count, int timeoutMs)
{
    return waitUntil([&] { return playerCalls(prefix) >= count; }, timeoutMs);
}

}  // namespace tuning_test

// Fontconfig and Qt Quick keep caches for the life of the process.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:QQuickPointerDevice::touchDevice\n";
}
