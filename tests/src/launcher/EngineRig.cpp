#include "EngineRig.h"

#include "BroadcastDb.h"
#include "BroadcastSim.h"
#include "ImageItem.h"

#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QtQml>

#include <algorithm>
#include <fstream>

namespace launcher_test {

QGuiApplication* guiApp()
{
    static int argc = 1;
    static char name[] = "launcher-engine-test";
    static char* argv[] = {name, nullptr};
    // No display and no OpenGL here: offscreen windows drawn in software.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    // Kept to the end of the process: the offscreen platform does not free
    // its screen when the application object goes, which would read as a leak.
    static QGuiApplication* instance = [] {
        auto* app = new QGuiApplication(argc, argv);
        // As the program's start-up does: main.qml's caption plane needs it.
        qmlRegisterType<ImageItem>("ImageItem", 1, 0, "ImageItem");
        return app;
    }();
    return instance;
}

bool ViewKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* k = static_cast<QKeyEvent*>(event);
        keys.push_back({event->type(), k->key(), k->modifiers()});
        if (m_toQml)
            return false;
        if (event->type() == QEvent::KeyPress && k->key() == Qt::Key_P && k->modifiers() == Qt::NoModifier)
            m_engine->execPower();
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress) {
        ++mousePresses;
        lastMouse = static_cast<QMouseEvent*>(event)->localPos();
    } else if (event->type() == QEvent::MouseButtonRelease) {
        ++mouseReleases;
    }
    return QObject::eventFilter(watched, event);
}

namespace {

bsim::ChannelRow row(int id, int channel, int remocon, int sid, int type, int three, const char* name)
{
    bsim::ChannelRow r;
    r.id = id;
    r.channelNumber = channel;
    r.remoconID = remocon;
    r.serviceID = sid;
    r.serviceType = type;
    r.threeDigitNumber = three;
    r.tsName = name;
    r.audioPID = 0x100 + id;
    r.videoPID = 0x200 + id;
    r.pmtPID = 0x1f0 + id;
    r.networkID = 0x7f00 + channel;
    return r;
}

}  // namespace

EngineRig::EngineRig(const EngineOptions& options)
{
    std::ofstream(root.path("/home/root/isdbt/settings.ini")) << "[General]\n" << options.settings;
    if (!options.factory.empty())
        std::ofstream(root.path("/home/root/isdbt/factory.ini")) << "[General]\n" << options.factory;
    // The channels of two stations of the broadcast stand-in's default scenario.
    const std::vector<bsim::ChannelRow> rows = {
        row(1, 20, 1, 0xe100, 1, 11, "TV Aurora HD"),
        row(2, 20, 1, 0xe118, 0xC0, 19, "TV Aurora 1Seg"),
        row(kRememberedFullId, 24, 4, 0xe200, 1, 41, "Horizonte HD"),
        row(4, 24, 4, 0xe201, 1, 42, "Horizonte Noticias"),
        row(5, 24, 4, 0xe218, 0xC0, 49, "Horizonte 1Seg"),
    };
    const std::string dir = bsim::channelDirectory();
    QDir().mkpath(QString::fromStdString(dir));
    std::string error;
    bsim::writeChannelDatabase(dir + "/ISDBT0.db", rows, &error);
    bsim::writeChannelDatabase(dir + "/ISDBT1.db", rows, &error);

    bsim::Scenario sc = bsim::defaultScenario();
    sc.timing.prepareMs = options.prepareMs > 0 ? options.prepareMs : 3600 * 1000;
    bsim::setScenario(sc);
    bsim::clearCalls();

    launcher = std::make_unique<LauncherStandIn>();
    qml = std::make_unique<QQmlEngine>();
    engine = std::make_unique<TestEngine>(kAppId, qml.get(), nullptr);
    view = std::make_unique<ViewKeys>(engine.get(), options.keysToQml);
    engine->view()->installEventFilter(view.get());
    engine->init();
    engine->start();
}

EngineRig::~EngineRig()
{
    if (engine)
        engine->release();
    engine.reset();
    qml.reset();
    launcher.reset();
    bsim::resetScenario();
}

bool EngineRig::waitForState(int state, int timeoutMs)
{
    return waitUntil([&] { return engine->getOzbState() == state; }, timeoutMs);
}

bool EngineRig::waitForKeys(size_t count, int timeoutMs)
{
    return waitUntil([&] { return view->keys.size() >= count; }, timeoutMs);
}

bool EngineRig::waitForKey(const SeenKey& key, int times, int timeoutMs)
{
    return waitUntil([&] { return std::count(view->keys.begin(), view->keys.end(), key) >= times; }, timeoutMs);
}

int EngineRig::playerCalls(const std::string& prefix) const
{
    int n = 0;
    for (const std::string& c : bsim::calls())
        if (c.compare(0, prefix.size(), prefix) == 0)
            ++n;
    return n;
}

}  // namespace launcher_test

// Fontconfig keeps a cache for the life of the process, and so does Qt Quick
// for each touch device it has seen.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:QQuickPointerDevice::touchDevice\n";
}
