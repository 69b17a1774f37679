// Guide support of the engine: reload requests and their refresh flag, the
// update timer on the guide screens only, guide-update events, detail text
// and row data for QML, job results, logo notices and station rows.

#include "ChannelItem.h"
#include "EngineFixture.h"
#include "EpgItem.h"
#include "ISDBtDataManager.h"
#include "ISDBtThread.h"
#include "KvrOzbFSegDBManager.h"
#include "ListModel.h"
#include "StationItem.h"
#include "StdoutCapture.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using engine_test::Fixture;
using holvik_test::StdoutCapture;

namespace {

const int CH = 27;
const int SID = 0x5c38;

void addEvent(int eventID, const char* text, const char* extItem, const char* extText)
{
    auto rec = std::make_shared<tagDbEpgItem>();
    rec->serviceID = SID;
    rec->eventID = eventID;
    rec->startMJD = 60000;
    rec->startHH = 20;
    rec->startDate = QStringLiteral("12/10");
    rec->evtText = QString::fromUtf8(text);
    rec->evtExtItem = QString::fromUtf8(extItem);
    rec->evtExtText = QString::fromUtf8(extText);
    KvrOzbFSegDBManager::getInstance()->getEpgListModel(0)->appendRow(new EpgItem(rec));
}

void addChannel(int serviceID, int available, int segType = 0)
{
    auto rec = std::make_shared<tagDbChannelItem>();
    rec->ServiceSegType = segType;
    rec->ChannelNumber = CH;
    rec->RemoconID = 4;
    rec->ServiceID = serviceID;
    rec->Available = available;
    KvrOzbFSegDBManager::getInstance()->getChannelListModel(0)->appendRow(new ChannelItem(rec));
}

struct GuideFixture : Fixture {
    GuideFixture() : Fixture("mode=0\n")
    {
        ISDBtDataManager* settings = ISDBtDataManager::getInstance();
        settings->setCurrChannelNumber(CH);
        settings->setCurrServiceID(SID);
        engine->setOzbState(ISDBtAppEngine::Prepared);
    }
    // Waits until every job posted so far has run: jobs run in order, so a
    // guide reload posted now finishing means the earlier ones are done.
    bool drained()
    {
        QSignalSpy done(engine->jobThread(), &ISDBtThread::sendEPGUpdateModeComplete);
        engine->requestEpgListUpdate();
        return QTest::qWaitFor([&] { return done.count() >= 1; }, 10000);
    }
};

// Completions of guide reloads seen by `spy`, as their refresh flags.
std::vector<int> refreshFlags(const QSignalSpy& spy)
{
    std::vector<int> flags;
    for (const QList<QVariant>& args : spy)
        flags.push_back(args.at(1).toInt());
    return flags;
}

TEST(Guide, ReloadRequestMarksAChangedTable)
{
    GuideFixture f;
    ISDBtDataManager* settings = ISDBtDataManager::getInstance();
    QSignalSpy entered(f.engine.get(), &ISDBtAppEngine::sendEnterEpgScreen);
    QSignalSpy done(f.engine->jobThread(), &ISDBtThread::sendEPGUpdateModeComplete);
    auto request = [&](size_t n) {
        f.engine->requestEpgListUpdate();
        return QTest::qWaitFor([&] { return size_t(done.count()) >= n; }, 10000);
    };

    StdoutCapture first;
    f.engine->execEnterEpgScreen();
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.count() >= 1; }, 10000));
    EXPECT_NE(first.take().find("channel(0->27) serviceID(0->23608)"), std::string::npos);
    EXPECT_EQ(settings->epgChannelNumber, CH);
    EXPECT_EQ(settings->epgServiceID, SID);
    EXPECT_EQ(entered.count(), 1);

    // The same table again: no change logged.
    StdoutCapture again;
    ASSERT_TRUE(request(2));
    EXPECT_EQ(again.take().find("channel("), std::string::npos);

    settings->setCurrServiceID(SID + 1);
    StdoutCapture changed;
    ASSERT_TRUE(request(3));
    EXPECT_NE(changed.take().find("serviceID(23608->23609)"), std::string::npos);
    EXPECT_EQ(refreshFlags(done), (std::vector<int>{1, -1, 1}));
}

TEST(Guide, UpdateTimerPollsOnlyOnGuideScreensQuickerWhileTheListIsEmpty)
{
    GuideFixture f;
    QTimer* timer = f.engine->timer("epgUpdateTimer");
    ASSERT_NE(timer, nullptr);

    f.engine->setMainState(QStringLiteral("ISDBtEpgListMain"));
    f.engine->epgUpdateTimerHandler();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 4000);

    addEvent(1, "a", "", "");
    f.engine->setMainState(QStringLiteral("ISDBtDaySettingMain"));
    f.engine->checkEpgTimer();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 8000);

    for (const char* screen : {"ISDBtPlayerMain", "ISDBtStationListMain", "ISDBtSetupMain"}) {
        f.engine->setMainState(QString::fromLatin1(screen));
        f.engine->checkEpgTimer();
        EXPECT_FALSE(timer->isActive()) << screen;
        f.engine->setMainState(QStringLiteral("ISDBtEpgDetailMain"));
        f.engine->checkEpgTimer();
        EXPECT_TRUE(timer->isActive()) << screen;
    }

    // An empty job result re-checks the timer too.
    f.engine->setMainState(QStringLiteral("ISDBtPlayerMain"));
    KvrOzbFSegDBManager::getInstance()->getEpgListModel(0)->clear();
    f.engine->onSendEPGUpdateModeComplete(true, 0);
    EXPECT_FALSE(timer->isActive());
}

TEST(Guide, PresentFollowingUpdatesOfTheCurrentServiceReloadOnGuideScreens)
{
    GuideFixture f;
    addChannel(SID, 1);
    addChannel(SID + 1, 1);
    addChannel(SID + 2, 0);
    f.engine->setMainState(QStringLiteral("ISDBtEpgListMain"));
    struct Case {
        const char* name;
        int current, service, table;
        bool fetch;
    } cases[] = {
        {"current service, present/following table", SID, SID, 78, true},
        {"last present/following table", SID, SID, 79, true},
        {"schedule table", SID, SID, 80, false},
        {"another service", SID, SID + 1, 78, false},
        {"hidden row", SID + 2, SID + 2, 78, false},
        {"no such row", SID + 9, SID + 9, 78, false},
    };
    for (const Case& c : cases) {
        ISDBtDataManager::getInstance()->setCurrServiceID(c.current);
        ChannelItem* row = f.engine->presentFollowingChannel(c.service, c.table);
        EXPECT_EQ(row != nullptr, c.fetch) << c.name;
        if (row != nullptr) {
            EXPECT_EQ(row->ServiceID, c.service) << c.name;
        }
        f.engine->onNotifyEpgUpdate(c.service, c.table);
    }
    ISDBtDataManager::getInstance()->setCurrServiceID(SID);
    f.engine->setMainState(QStringLiteral("ISDBtPlayerMain"));
    EXPECT_EQ(f.engine->presentFollowingChannel(SID, 78), nullptr);
}

TEST(Guide, DetailTextAndRowDataForQml)
{
    GuideFixture f;
    addEvent(11, " ", "", "word");
    addEvent(12, "first", "\n", "third");
    addEvent(13, "\n", " ", "");
    addEvent(14, "a", "b", "c");
    EXPECT_EQ(f.engine->getEpgDetailDataByProxyIndex(0).toStdString(), "word");
    EXPECT_EQ(f.engine->getEpgDetailDataByProxyIndex(1).toStdString(), "first\nthird");
    EXPECT_EQ(f.engine->getEpgDetailDataByProxyIndex(2).toStdString(), "");
    EXPECT_EQ(f.engine->getEpgDetailDataByProxyIndex(3).toStdString(), "a\nb\nc");
    EXPECT_EQ(f.engine->getEpgDetailDataByProxyIndex(4).toStdString(), "");
    EXPECT_EQ(f.engine->getEpgDetailDataByProxyIndex(-1).toStdString(), "");

    EXPECT_EQ(f.engine->getIntEpgDataByProxyIndex(1, QStringLiteral("EventID")), 12);
    EXPECT_EQ(f.engine->getIntEpgDataByProxyIndex(1, QStringLiteral("StartMJD")), 60000);
    EXPECT_EQ(f.engine->getIntEpgDataByProxyIndex(1, QStringLiteral("StartHH")), 20);
    EXPECT_EQ(f.engine->getIntEpgDataByProxyIndex(1, QStringLiteral("EndMJD")), -1);
    EXPECT_EQ(f.engine->getIntEpgDataByProxyIndex(9, QStringLiteral("EventID")), -1);
    EXPECT_EQ(f.engine->getStrEpgDataByProxyIndex(1, QStringLiteral("StartDate")).toStdString(), "12/10");
    EXPECT_EQ(f.engine->getStrEpgDataByProxyIndex(1, QStringLiteral("StartTime")).toStdString(), "");

    QSignalSpy jump(f.engine.get(), &ISDBtAppEngine::jumpEpgIndex);
    f.engine->setJumpEpgIndex(3);
    ASSERT_EQ(jump.count(), 1);
    EXPECT_EQ(jump.at(0).at(0).toInt(), 3);
}

TEST(Guide, JobResultsStartOrEndTheScreenRefresh)
{
    GuideFixture f;
    QSignalSpy start(f.engine.get(), &ISDBtAppEngine::sendStartEpgRefresh);
    QSignalSpy end(f.engine.get(), &ISDBtAppEngine::sendEndEpgRefresh);
    f.engine->onSendEPGUpdateModeComplete(false, 0);
    EXPECT_EQ(end.count(), 1);
    f.engine->onSendEPGUpdateModeComplete(false, 3);
    EXPECT_EQ(start.count(), 1);
    // Updated with nothing new, list and cache alike: nothing to rebuild.
    f.engine->onSendEPGUpdateModeComplete(true, 0);
    EXPECT_EQ(start.count(), 1);
    EXPECT_EQ(end.count(), 2);

    // The rebuild itself answers with the end.
    f.engine->setEpgListUpdate();
    EXPECT_EQ(end.count(), 3);
}

TEST(Guide, LogoNoticesNeedAPreparedEngineAndANetwork)
{
    GuideFixture f;
    QSignalSpy logo(f.engine.get(), &ISDBtAppEngine::sendChannelLogoUpdated);
    f.engine->onNotifyLogoImageCreated(CH, 0);
    EXPECT_EQ(logo.count(), 0);
    f.engine->onNotifyLogoImageCreated(CH, 0x7fe0);
    ASSERT_EQ(logo.count(), 1);
    EXPECT_EQ(logo.at(0).at(1).toInt(), 0x7fe0);
    f.engine->setOzbState(ISDBtAppEngine::Preparing);
    f.engine->onNotifyLogoImageCreated(CH, 0x7fe0);
    EXPECT_EQ(logo.count(), 1);

    // Clearing the logos empties the folder.
    const std::string logoFile = f.root.path("/home/root/isdbt/logo/channel_27.png");
    holvik_test::writeFile(logoFile, "png");
    f.engine->clearStationLogo();
    EXPECT_NE(access(logoFile.c_str(), F_OK), 0);

    QSignalSpy updated(f.engine.get(), &ISDBtAppEngine::sendChannelUpdateComplete);
    f.engine->onNotifyChannelListChanged();
    EXPECT_EQ(updated.count(), 1);
    f.engine->onNotifyStationDataChanged(-1);
    f.engine->onNotifyStationDataChanged(5);  // no such row: nothing
}

TEST(Guide, StationLogosAreRequestedForFullSegServicesOnly)
{
    GuideFixture f;
    addChannel(SID, 1, 0);
    addChannel(SID + 1, 1, 1);
    addChannel(SID + 2, 1, 0);
    f.engine->getAllStationInfo();
    const std::vector<std::string> calls = Fixture::playerCalls("getChannelInfo");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NE(calls[0].find(std::to_string(SID)), std::string::npos) << calls[0];
    EXPECT_NE(calls[1].find(std::to_string(SID + 2)), std::string::npos) << calls[1];
}

TEST(Guide, StationListAsksForEveryStationsProgrammeName)
{
    GuideFixture f;
    ListModel* stations = KvrOzbFSegDBManager::getInstance()->getStationListModel(0);
    for (int i = 0; i < 3; ++i) {
        auto rec = std::make_shared<tagDbStationlItem>();
        rec->ChannelNumber = CH + i;
        rec->RemoconID = 1 + i;
        rec->SubChannel = 1;
        rec->DispSubChannel = 1;
        rec->FullSegSID = SID + i;
        rec->OneSegSID = SID + 0x10 + i;
        stations->appendRow(new StationItem(rec));
    }
    // The job logs the station it looks up, once per job.
    auto lookups = [](const std::string& text) {
        const std::string mark = "check seg(FSeg)";
        int n = 0;
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1))
            ++n;
        return n;
    };
    StdoutCapture out;
    f.engine->setMainState(QStringLiteral("ISDBtEpgListMain"));
    ASSERT_TRUE(f.drained());
    const int none = lookups(out.take());

    StdoutCapture opened;
    f.engine->setMainState(QStringLiteral("ISDBtStationListMain"));
    ASSERT_TRUE(f.drained());
    const int onOpening = lookups(opened.take());

    StdoutCapture minute;
    f.engine->onNotifyCurrStrTimeChanged(QStringLiteral("19:06"));
    ASSERT_TRUE(f.drained());
    const int onMinute = lookups(minute.take());

    StdoutCapture player;
    f.engine->setMainState(QStringLiteral("ISDBtPlayerMain"));
    f.engine->onNotifyCurrStrTimeChanged(QStringLiteral("19:07"));
    ASSERT_TRUE(f.drained());
    EXPECT_EQ(none, 0);
    // Every station on opening and again for the new minute.
    EXPECT_EQ(onOpening, 3);
    EXPECT_EQ(onMinute, 3);
    EXPECT_EQ(lookups(player.take()), 0);
}

}  // namespace
