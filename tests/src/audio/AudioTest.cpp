// Audio stream and dual-mono choice, the audio label, the setting toasts, the
// caption and superimpose toggles, volume and mute, and the caption gate.
// Without a translation loaded every text is its own key.

#include "EngineFixture.h"
#include "ISDBtDataManager.h"
#include "KvrOzbFSegPlayer.h"
#include "SubtitleItem.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <string>
#include <vector>

using engine_test::Fixture;

namespace {

int lang(const char* letters)
{
    return (letters[0] << 16) | (letters[1] << 8) | letters[2];
}

void setRecord(const BilingualInfo& info)
{
    *KvrOzbFSegPlayer::getInstance()->m_pBilingualInfo = info;
}

std::vector<std::string> toasts(const QSignalSpy& spy)
{
    std::vector<std::string> out;
    for (const QList<QVariant>& args : spy)
        out.push_back(args.at(0).toString().toStdString());
    return out;
}

TEST(Audio, LabelFollowsSegmentStreamsModeAndChoice)
{
    Fixture f;
    ISDBtDataManager* settings = ISDBtDataManager::getInstance();
    const int jpn = lang("jpn"), eng = lang("eng");
    struct Case {
        const char* name;
        int segType, total, mode, bilingual, index;
        int main2, sub2;           // stream 2's codes (streams 0 and 1: jpn / eng)
        const char* mainText2;     // stream 2's broadcast name for the main channel
        const char* expected;
    } cases[] = {
        {"one-seg dual mono, main+sub", 1, 1, 2, 2, 0, 0, 0, "", "STR_MAIN_SUB"},
        {"one-seg dual mono, sub", 1, 1, 2, 1, 0, 0, 0, "", "STR_SUB"},
        {"one-seg stereo", 1, 1, 3, 0, 0, 0, 0, "", ""},
        {"full-seg one stream, dual mono", 0, 1, 2, 0, 0, 0, 0, "", "STR_MAIN"},
        {"full-seg one stream, stereo", 0, 1, 3, 0, 0, 0, 0, "", ""},
        {"three streams, third by code", 0, 3, 3, 0, 2, eng, 0, "", "STR_AUDIO3 : 英語"},
        {"three streams, third by name", 0, 3, 3, 0, 2, eng, 0, "English", "STR_AUDIO3 : English"},
        {"three streams, third without language", 0, 3, 3, 0, 2, 0, 0, "", ""},
        {"two streams dual mono, main", 0, 2, 2, 0, 0, 0, 0, "", "STR_AUDIO1 : 日本語"},
        {"two streams dual mono, sub", 0, 2, 2, 1, 0, 0, 0, "", "STR_AUDIO1 : 英語"},
        {"two streams dual mono, both", 0, 2, 2, 2, 0, 0, 0, "", "STR_AUDIO1 : 日本語 / 英語"},
        {"dual mono sub missing: main", 0, 2, 2, 1, 2, jpn, 0, "", "STR_AUDIO3 : 日本語"},
        {"dual mono both, sub missing", 0, 2, 2, 2, 2, jpn, 0, "", "STR_AUDIO3 : 日本語"},
        {"one-seg with three streams", 1, 3, 2, 0, 0, 0, 0, "", "STR_AUDIO1 : STR_MAIN"},
    };
    f.engine->setOzbState(ISDBtAppEngine::Prepared);
    for (const Case& c : cases) {
        BilingualInfo info;
        info.totalAudioPID = c.total;
        info.audioMode = c.mode;
        info.audioMain[0] = jpn;
        info.audioSub[0] = eng;
        info.audioMain[1] = jpn;
        info.audioMain[2] = c.main2;
        info.audioSub[2] = c.sub2;
        info.audioMainText[2] = QString::fromUtf8(c.mainText2);
        setRecord(info);
        settings->setCurrSegType(c.segType);
        settings->setBilingual(c.bilingual);
        settings->setCurrAudioIndex(c.index);
        QSignalSpy changed(f.engine.get(), &ISDBtAppEngine::notifyBilingualTextChanged);
        f.engine->onNotifyBilingualInfoUpdate();
        EXPECT_EQ(f.engine->getBilingualText().toStdString(), c.expected) << c.name;
        EXPECT_EQ(changed.count(), 1) << c.name;
        EXPECT_EQ(settings->getCurrAudioSel(), c.mode == 2 ? c.bilingual : 0) << c.name;
    }

    // Not prepared: the record is not read.
    f.engine->setOzbState(ISDBtAppEngine::Preparing);
    QSignalSpy changed(f.engine.get(), &ISDBtAppEngine::notifyBilingualTextChanged);
    f.engine->onNotifyBilingualInfoUpdate();
    EXPECT_EQ(changed.count(), 0);
}

// A segment switch between services whose audio records are alike changes no
// integer of the record, so the player wrapper reports nothing; the label
// depends on the segment all the same. For five seconds after a tune or a
// switch each channel-information refresh rebuilds it.
TEST(Audio, LabelIsRebuiltAtEachRefreshForFiveSecondsAfterATune)
{
    Fixture f;
    ISDBtDataManager* settings = ISDBtDataManager::getInstance();
    f.engine->setOzbState(ISDBtAppEngine::Prepared);
    BilingualInfo info;
    info.totalAudioPID = 2;
    info.audioMode = 3;
    info.audioMain[0] = lang("jpn");
    setRecord(info);
    settings->setCurrSegType(0);
    settings->setCurrAudioIndex(0);
    f.engine->onNotifyBilingualInfoUpdate();
    ASSERT_EQ(f.engine->getBilingualText().toStdString(), "STR_AUDIO1 : 日本語");

    // Not after a tune: a refresh leaves the label alone.
    settings->setCurrSegType(1);
    f.engine->refreshBilingual();
    EXPECT_EQ(f.engine->getBilingualText().toStdString(), "STR_AUDIO1 : 日本語");

    QTimer* expiry = f.engine->timer("bilingualUpdateExpireTimer");
    ASSERT_NE(expiry, nullptr);
    f.engine->setChannelPlaySettings();
    EXPECT_TRUE(expiry->isActive());
    EXPECT_EQ(expiry->interval(), 5000);
    QSignalSpy changed(f.engine.get(), &ISDBtAppEngine::notifyBilingualTextChanged);
    f.engine->refreshBilingual();
    EXPECT_EQ(f.engine->getBilingualText().toStdString(), "") << "one-seg stereo has nothing to choose";
    f.engine->refreshBilingual();
    EXPECT_EQ(changed.count(), 1) << "an unchanged label is not announced again";

    // The expiry (through the timer's own connection) ends it.
    expiry->start(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !expiry->isActive(); }));
    QCoreApplication::processEvents();
    settings->setCurrSegType(0);
    f.engine->refreshBilingual();
    EXPECT_EQ(f.engine->getBilingualText().toStdString(), "");
}

TEST(Audio, BilingualKeyCyclesStreamsThenDualMonoHalvesElseSaysNoAudio)
{
    Fixture f;
    ISDBtDataManager* settings = ISDBtDataManager::getInstance();
    QSignalSpy toast(f.engine.get(), &ISDBtAppEngine::sendSettingInfoMesssage);

    // Full-seg with five streams: only three are reachable.
    BilingualInfo info;
    info.totalAudioPID = 5;
    info.audioMode = 2;
    setRecord(info);
    settings->setCurrSegType(0);
    std::vector<int> indexes;
    for (int i = 0; i < 4; ++i) {
        f.engine->execBilingualChange();
        indexes.push_back(settings->getCurrAudioIndex());
    }
    EXPECT_EQ(indexes, (std::vector<int>{1, 2, 0, 1}));
    EXPECT_EQ(toasts(toast), (std::vector<std::string>{"STR_CHANGE_ES2_AUDIO_MSG", "STR_CHANGE_ES3_AUDIO_MSG",
                                                         "STR_CHANGE_ES1_AUDIO_MSG", "STR_CHANGE_ES2_AUDIO_MSG"}));
    EXPECT_EQ(Fixture::playerCalls("setAudio(").size(), 4u);
    EXPECT_EQ(settings->getBilingual(), 0);

    // One-seg dual mono: the halves, saved.
    toast.clear();
    settings->setCurrSegType(1);
    info.totalAudioPID = 1;
    setRecord(info);
    for (int i = 0; i < 3; ++i)
        f.engine->execAudioIndexChange();
    EXPECT_EQ(settings->getBilingual(), 0);
    EXPECT_EQ(toasts(toast), (std::vector<std::string>{"STR_CHANGE_SUB_AUDIO_MSG", "STR_CHANGE_MAIN_SUB_AUDIO_MSG",
                                                         "STR_CHANGE_MAIN_AUDIO_MSG"}));
    EXPECT_EQ(Fixture::playerCalls("setAudioDualMono").size(), 3u);

    // One-seg stereo: nothing to choose.
    toast.clear();
    info.audioMode = 3;
    setRecord(info);
    bsim::clearCalls();
    f.engine->execBilingualChange(-1);
    EXPECT_EQ(toasts(toast), (std::vector<std::string>{"STR_NO_AUDIO_MSG"}));
    EXPECT_TRUE(Fixture::playerCalls("setAudio").empty());

    // A chosen half is set without a toast on a stereo service; 3 is refused.
    toast.clear();
    f.engine->execBilingualChange(2);
    EXPECT_EQ(settings->getBilingual(), 2);
    f.engine->execBilingualChange(3);
    f.engine->execAudioIndexChange(3);
    EXPECT_EQ(settings->getBilingual(), 2);
    EXPECT_TRUE(toasts(toast).empty());
}

TEST(Audio, CaptionSuperimposeVolumeMuteAndBannerKeepTheirRanges)
{
    Fixture f("subtitle=2\nsuperImpose=1\naudioLevel=20\nshowChannelInfo=2\n");
    ISDBtDataManager* settings = ISDBtDataManager::getInstance();

    // Toggles without argument: 2 -> 0, 0 -> 1, 1 -> 0.
    std::vector<int> subtitle, superimpose;
    for (int i = 0; i < 3; ++i) {
        f.engine->execSetSubtitle();
        subtitle.push_back(settings->getSubtitle());
        f.engine->execSetSuperImpose();
        superimpose.push_back(settings->getSuperImpose());
    }
    EXPECT_EQ(subtitle, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(superimpose, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(Fixture::playerCalls("setSubtitle(").size(), 3u);
    f.engine->execSetSubtitle(2);
    EXPECT_EQ(settings->getSubtitle(), 2);
    f.engine->execSetSubtitle(3);  // the store refuses it
    EXPECT_EQ(settings->getSubtitle(), 2);

    // Volume: no wrap at either end, out-of-range values ignored.
    f.engine->execChangeAudioLevel(true);
    EXPECT_EQ(settings->getAudioLevel(), 20);
    f.engine->execAudioLevelChange(21);
    f.engine->execAudioLevelChange(-1);
    EXPECT_EQ(settings->getAudioLevel(), 20);
    f.engine->execAudioLevelChange(0);
    f.engine->execChangeAudioLevel(false);
    EXPECT_EQ(settings->getAudioLevel(), 0);
    f.engine->execChangeAudioLevel(true);
    EXPECT_EQ(settings->getAudioLevel(), 1);

    // Mute toggles; a volume step while muted only unmutes.
    f.engine->execChangeAudioMute();
    EXPECT_TRUE(settings->getAudioMute());
    f.engine->execChangeAudioLevel(true);
    EXPECT_FALSE(settings->getAudioMute());
    EXPECT_EQ(settings->getAudioLevel(), 1);

    // Banner mode wraps 2 -> 0.
    f.engine->execChangeShowChannelInfo();
    EXPECT_EQ(settings->getShowChannelInfo(), 0);
    f.engine->execChangeShowChannelInfo();
    EXPECT_EQ(settings->getShowChannelInfo(), 1);
}

TEST(Audio, CaptionsReachTheScreenOnlyAfterTheClearGateAndForTheCurrentService)
{
    Fixture f;
    ISDBtDataManager* settings = ISDBtDataManager::getInstance();
    SubtitleItem* caption = SubtitleItem::getInstance();
    settings->setCurrServiceID(0x5c38);
    f.engine->setOzbState(ISDBtAppEngine::Prepared);
    QSignalSpy update(f.engine.get(), &ISDBtAppEngine::sendSubtitleUpdate);

    // Before any clear the gate is shut.
    caption->m_nSID = 0x5c38;
    f.engine->onNotifySubtitleUpdate();
    EXPECT_EQ(update.count(), 0);

    QTimer* timer = f.engine->timer("subtitleTimer");
    ASSERT_NE(timer, nullptr);
    QSignalSpy opened(timer, &QTimer::timeout);
    f.engine->clearSubtitleImage();
    EXPECT_EQ(update.count(), 1);  // the empty repaint
    EXPECT_EQ(timer->interval(), 1000);
    caption->m_nSID = 0x5c38;
    f.engine->onNotifySubtitleUpdate();
    EXPECT_EQ(update.count(), 1);

    ASSERT_TRUE(opened.wait(5000));
    EXPECT_TRUE(f.engine->subtitleUpdateEnabled());
    f.engine->onNotifySubtitleUpdate();
    EXPECT_EQ(update.count(), 2);

    // A caption of the previous service is dropped.
    caption->m_nSID = 0x1111;
    f.engine->onNotifySubtitleUpdate();
    EXPECT_EQ(update.count(), 2);
    EXPECT_EQ(caption->m_nSID, 0x5c38);

    // Not prepared: nothing.
    f.engine->setOzbState(ISDBtAppEngine::Preparing);
    f.engine->onNotifySubtitleUpdate();
    EXPECT_EQ(update.count(), 2);
}

TEST(Audio, ChannelSetReturnsToTheFirstStreamAndSegmentModesHaveToasts)
{
    Fixture f("segMode=3\n");
    ISDBtDataManager* settings = ISDBtDataManager::getInstance();
    settings->setCurrAudioIndex(2);
    f.engine->setBilingualAfterSetChannel();
    EXPECT_EQ(settings->getCurrAudioIndex(), 0);

    QSignalSpy toast(f.engine.get(), &ISDBtAppEngine::sendSettingInfoMesssage);
    f.engine->notifySegSettingInfo();
    EXPECT_EQ(toasts(toast), (std::vector<std::string>{"STR_AUTO_1SEG_PRIORITY"}));
}

}  // namespace
