#pragma once
// The engine alone in a development root of its own, constructed as the
// start-up code does but not started: enough for the features that only talk
// to the settings store, the player wrapper, the DB manager and the job
// thread. The engine builds the process singletons, so each case runs in a
// process of its own (ctest runs every case separately).

#include "BroadcastSim.h"
#include "ISDBtAppEngine.h"
#include "KvrOzbFSegPlayer.h"
#include "TestDevRoot.h"

#include <gtest/gtest.h>

#include <QQmlEngine>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

namespace engine_test {

// Opens the engine's protected state to the tests.
class TestEngine : public ISDBtAppEngine
{
public:
    using ISDBtAppEngine::ISDBtAppEngine;
    QTimer* timer(const char* name) const { return findChild<QTimer*>(QString::fromLatin1(name)); }
    bool inProcessing() const { return m_bInProcessing; }
    ISDBtThread* jobThread() const { return m_pJobThread; }
    bool subtitleUpdateEnabled() const { return m_bEnableSubtitleUpdate; }
    // What each channel-information refresh does with the audio label.
    void refreshBilingual() { refreshBilingualWhileUpdatable(); }
    int videoErrCount() const { return m_nVideoErrCount; }
    int memVideoErrCount() const { return m_nMemVideoErrCount; }
    const QList<tagHdmiResolution>& hdmiList() const { return m_hdmiList; }
};

struct Fixture
{
    // `ini`: lines of the settings file's [General] section.
    explicit Fixture(const std::string& ini = std::string())
    {
        static bool claimed = false;
        EXPECT_FALSE(claimed) << "this test needs a process of its own (run it through ctest)";
        claimed = true;
        if (!ini.empty())
            holvik_test::writeFile(root.path("/home/root/isdbt/settings.ini"), "[General]\n" + ini);
        qml = std::make_unique<QQmlEngine>();
        engine = std::make_unique<TestEngine>(7, qml.get(), nullptr);
        // The broadcast engine stand-in behind the player wrapper, as the
        // power-on creates it; not prepared, so no event arrives unasked.
        KvrOzbFSegPlayer::getInstance()->initialize();
        bsim::clearCalls();
    }
    ~Fixture()
    {
        engine.reset();
        qml.reset();
    }
    // Calls of the broadcast engine whose text starts with `prefix`.
    static std::vector<std::string> playerCalls(const std::string& prefix)
    {
        std::vector<std::string> out;
        for (const std::string& call : bsim::calls())
            if (call.compare(0, prefix.size(), prefix) == 0)
                out.push_back(call);
        return out;
    }
    int recorded(const std::string& command) const
    {
        int n = 0;
        for (const std::string& line : root.recordedCommands())
            n += line == command;
        return n;
    }
    holvik_test::TestDevRoot root;
    std::unique_ptr<QQmlEngine> qml;
    std::unique_ptr<TestEngine> engine;
};

}  // namespace engine_test
