// Settings store: load corrections, setter kinds, write-through, the misc
// record, mixer, reset, remote-ID maps and the live status. Every case runs in
// a process of its own because the store loads settings.ini once.

#include "AppCoreTestUtil.h"
#include "ISDBtDataManager.h"
#include "StdoutCapture.h"
#include "TestDevRoot.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <filesystem>
#include <functional>
#include <string>

using appcore_test::claimSingletons;
using appcore_test::countOf;
using appcore_test::iniValue;
using holvik_test::readFile;
using holvik_test::StdoutCapture;
using holvik_test::TestDevRoot;
using holvik_test::writeFile;

namespace {

const char kSettings[] = "/home/root/isdbt/settings.ini";
const char kMisc[] = "/dev/disk/by-partlabel/misc";

// A development root with `ini` (lines of the [General] section) as settings.ini.
struct Fixture
{
    explicit Fixture(const std::string& ini = std::string())
    {
        claimSingletons();
        if (!ini.empty())
            writeFile(root.path(kSettings), "[General]\n" + ini);
    }
    ISDBtDataManager* load()
    {
        ISDBtDataManager* d = ISDBtDataManager::getInstance();
        root.clearRecordedCommands();
        return d;
    }
    std::optional<std::string> fileValue(const std::string& key) const
    {
        return iniValue(root.path(kSettings), key);
    }
    int syncs() const { return countOf(root.recordedCommands(), "sync"); }

    TestDevRoot root;
};

// ---- load corrections -------------------------------------------------------

struct LoadCase
{
    const char* name;
    const char* stored;             // the line in settings.ini
    std::function<int(ISDBtDataManager*)> read;
    int expected;                   // value in memory after loading
    const char* key;
    const char* fileAfterFlush;     // the key's text once the pending writes are flushed
};

class LoadCorrection : public ::testing::TestWithParam<LoadCase>
{
};

TEST_P(LoadCorrection, CorrectsOnlyWhatTheRuleNames)
{
    const LoadCase& c = GetParam();
    Fixture f(std::string(c.stored) + "\n");
    ISDBtDataManager* d = f.load();
    EXPECT_EQ(c.read(d), c.expected);
    d->saveUnsavedData();
    EXPECT_EQ(f.fileValue(c.key).value_or("<absent>"), c.fileAfterFlush);
}

const auto segMode = [](ISDBtDataManager* d) { return d->m_nSegMode; };
const auto audioLevel = [](ISDBtDataManager* d) { return d->m_nAudioLevel; };
const auto powerOn = [](ISDBtDataManager* d) { return d->m_bPowerOn ? 1 : 0; };
const auto avRender = [](ISDBtDataManager* d) { return d->m_bAvRenderOn ? 1 : 0; };
const auto initialized = [](ISDBtDataManager* d) { return d->m_bInitialized ? 1 : 0; };
const auto scanType = [](ISDBtDataManager* d) { return d->m_nScanType; };
// The member behind a Qt property of the store.
std::function<int(ISDBtDataManager*)> member(const char* property)
{
    return [property](ISDBtDataManager* d) { return d->property(property).toInt(); };
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LoadCorrection,
    ::testing::Values(
        LoadCase{"segMode0", "segMode=0", segMode, 4, "segMode", "4"},
        LoadCase{"segMode2", "segMode=2", segMode, 4, "segMode", "4"},
        LoadCase{"segMode7", "segMode=7", segMode, 4, "segMode", "4"},
        LoadCase{"segModeText", "segMode=abc", segMode, 4, "segMode", "4"},
        LoadCase{"segMode3", "segMode=3", segMode, 3, "segMode", "3"},
        LoadCase{"segMode1", "segMode=1", segMode, 1, "segMode", "1"},
        LoadCase{"audioLevel25", "audioLevel=25", audioLevel, 15, "audioLevel", "25"},
        LoadCase{"audioLevelMinus1", "audioLevel=-1", audioLevel, 15, "audioLevel", "-1"},
        LoadCase{"audioLevel20", "audioLevel=20", audioLevel, 20, "audioLevel", "20"},
        LoadCase{"powerOn0", "powerOn=0", powerOn, 1, "powerOn", "1"},
        LoadCase{"avRenderOn0", "avRenderOn=0", avRender, 1, "avRenderOn", "1"},
        // A bool is true only for 1, and a range is not checked at load.
        LoadCase{"initialized2", "initialized=2", initialized, 0, "initialized", "2"},
        LoadCase{"scanType9", "scanType=9", scanType, 9, "scanType", "9"},
        // A number an int cannot hold is outside every range: a key with a
        // range or a load rule takes its default (the file keeps the text,
        // but for segMode's write-back), never the number cut to 32 bits.
        LoadCase{"audioLevelBeyondInt", "audioLevel=4294967296", audioLevel, 15, "audioLevel", "4294967296"},
        LoadCase{"audioLevelBeyond64Bits", "audioLevel=-99999999999999999999", audioLevel, 15, "audioLevel",
                 "-99999999999999999999"},
        LoadCase{"segModeBeyondInt", "segMode=4294967297", segMode, 4, "segMode", "4"},
        LoadCase{"initializedBeyondInt", "initialized=4294967297", initialized, 0, "initialized", "4294967297"},
        LoadCase{"modeBeyondInt", "mode=4294967296", member("nMode"), 1, "mode", "4294967296"},
        LoadCase{"scanTypeBeyondInt", "scanType=4294967297", scanType, 0, "scanType", "4294967297"},
        LoadCase{"showChannelInfoBeyondInt", "showChannelInfo=4294967298", member("nShowChannelInfo"), 0,
                 "showChannelInfo", "4294967298"},
        LoadCase{"stationSearchTypeBeyondInt", "stationSearchType=-4294967295", member("nStationSearchType"), 0,
                 "stationSearchType", "-4294967295"},
        LoadCase{"stationSearchTimeBeyondInt", "stationSearchTime=4294967326", member("nStationSearchTime"), 60,
                 "stationSearchTime", "4294967326"},
        LoadCase{"subtitleBeyondInt", "subtitle=4294967297", member("nSubtitle"), 0, "subtitle", "4294967297"},
        LoadCase{"superImposeBeyondInt", "superImpose=4294967298", member("nSuperImpose"), 0, "superImpose",
                 "4294967298"},
        LoadCase{"bilingualBeyondInt", "bilingual=4294967297", member("nBilingual"), 0, "bilingual", "4294967297"},
        LoadCase{"showTimeBeyondInt", "showTime=4294967298", member("nShowTime"), 0, "showTime", "4294967298"},
        LoadCase{"screenRatioBeyondInt", "screenRatio=4294967297", member("nScreenRatio"), 0, "screenRatio",
                 "4294967297"},
        LoadCase{"backgroundSearchBeyondInt", "backgroundSearch=4294967296", member("nBackgroundSearch"), 2,
                 "backgroundSearch", "4294967296"},
        LoadCase{"eventRelayBeyondInt", "EventRelay=4294967296", member("nEventRelay"), 1, "EventRelay",
                 "4294967296"},
        // An int outside the range stays as read, and so does Qt's 0 for
        // text that is no number.
        LoadCase{"modeOutOfRange", "mode=7", member("nMode"), 7, "mode", "7"},
        LoadCase{"stationSearchTime121", "stationSearchTime=121", member("nStationSearchTime"), 121,
                 "stationSearchTime", "121"},
        LoadCase{"audioLevelText", "audioLevel=loud", audioLevel, 0, "audioLevel", "loud"}),
    [](const ::testing::TestParamInfo<LoadCase>& i) { return std::string(i.param.name); });

TEST(SettingsStore, MissingFileLoadsTheDefaultsAndSetsTheMixer)
{
    Fixture f;
    ISDBtDataManager* d = ISDBtDataManager::getInstance();
    EXPECT_TRUE(d->m_bPowerOn);
    EXPECT_TRUE(d->m_bAvRenderOn);
    EXPECT_FALSE(d->m_bInitialized);
    EXPECT_EQ(d->m_nStartPower, 0);
    EXPECT_EQ(d->m_nMode, 1);
    EXPECT_EQ(d->m_nSegMode, 4);
    EXPECT_EQ(d->m_nStationSearchTime, 60);
    EXPECT_EQ(d->m_nAudioLevel, 15);
    EXPECT_EQ(d->m_nScreenScale, 100);
    EXPECT_EQ(d->m_nHDMIMode, 1);
    EXPECT_EQ(d->m_nBackgroundSearch, 2);
    EXPECT_EQ(d->m_nEventRelay, 1);
    EXPECT_EQ(d->fullSegID, -1);
    EXPECT_EQ(d->oneSegID, -1);
    EXPECT_EQ(d->m_nCurrStationIndex, -1);
    EXPECT_EQ(d->m_nCurrRemoconIdCount, 1);
    EXPECT_EQ(d->m_sSwVer, "N/A");
    EXPECT_EQ(d->m_sMicomVer, "N/A");
    EXPECT_EQ(d->m_sChrontelVer, "N/A") << "no HDMI transmitter below a development root";
    // The loaded volume (step 15) goes to the mixer, through the stand-in only.
    EXPECT_EQ(countOf(f.root.recordedCommands(), "amixer sset kvrvol 230"), 1);
}

// ---- setters ----------------------------------------------------------------

enum Kind { V, P, R, M };

struct SetterCase
{
    const char* name;
    Kind kind;
    const char* key;
    const char* signal;  // SIGNAL() text
    std::function<void(ISDBtDataManager*, int)> set;
    std::function<int(ISDBtDataManager*)> get;
    int newValue;
    std::vector<int> invalid;
};

class Setter : public ::testing::TestWithParam<SetterCase>
{
};

TEST_P(Setter, ChangesOnceAndWritesThroughAsItsKindSays)
{
    const SetterCase& c = GetParam();
    Fixture f;
    ISDBtDataManager* d = f.load();
    const int before = c.get(d);
    ASSERT_NE(before, c.newValue);
    QSignalSpy spy(d, c.signal);
    ASSERT_TRUE(spy.isValid()) << c.signal;

    for (int bad : c.invalid) {
        StdoutCapture out;
        c.set(d, bad);
        const std::string text = out.take();
        const std::string line = std::string("[") + c.name + "] value is invalid " + std::to_string(bad);
        EXPECT_NE(text.find(line), std::string::npos) << text;
        EXPECT_NE(text.find("[H]"), std::string::npos) << "a refused value is highlighted";
    }
    EXPECT_EQ(c.get(d), before);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(f.syncs(), 0);

    c.set(d, c.newValue);
    EXPECT_EQ(c.get(d), c.newValue);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), c.newValue);
    // A persisted change is on disk before the setter returns; a memory-only
    // one never reaches the file.
    if (c.kind == M) {
        d->saveUnsavedData();
        EXPECT_FALSE(f.fileValue(c.key).has_value());
        EXPECT_EQ(f.syncs(), 0);
    } else {
        EXPECT_EQ(f.fileValue(c.key).value_or("<absent>"), std::to_string(c.newValue));
        EXPECT_EQ(f.syncs(), 1);
    }

    // The same value again does nothing at all.
    c.set(d, c.newValue);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(f.syncs(), c.kind == M ? 0 : 1);
}

#define INT_SETTER(fn, member) \
    [](ISDBtDataManager* d, int v) { d->fn(v); }, [](ISDBtDataManager* d) { return d->member; }
#define BOOL_SETTER(fn, member) \
    [](ISDBtDataManager* d, int v) { d->fn(v != 0); }, [](ISDBtDataManager* d) { return d->member ? 1 : 0; }

INSTANTIATE_TEST_SUITE_P(
    Settings, Setter,
    ::testing::Values(
        SetterCase{"setMode", V, "mode", SIGNAL(notifyModeChanged(int)), INT_SETTER(setMode, m_nMode), 0, {2, -1}},
        SetterCase{"setScanType", V, "scanType", SIGNAL(notifyScanTypeChanged(int)), INT_SETTER(setScanType, m_nScanType), 1, {2}},
        SetterCase{"setSegMode", V, "segMode", SIGNAL(notifySegModeChanged(int)), INT_SETTER(setSegMode, m_nSegMode), 2, {5, -1}},
        SetterCase{"setShowChannelInfo", V, "showChannelInfo", SIGNAL(notifyShowChannelInfoChanged(int)), INT_SETTER(setShowChannelInfo, m_nShowChannelInfo), 2, {3}},
        SetterCase{"setStationSearchType", V, "stationSearchType", SIGNAL(notifyStationSearchTypeChanged(int)), INT_SETTER(setStationSearchType, m_nStationSearchType), 1, {2}},
        SetterCase{"setStationSearchTime", V, "stationSearchTime", SIGNAL(notifyStationSearchTimeChanged(int)), INT_SETTER(setStationSearchTime, m_nStationSearchTime), 120, {121, -1}},
        SetterCase{"setSubtitle", V, "subtitle", SIGNAL(notifySubtitleChanged(int)), INT_SETTER(setSubtitle, m_nSubtitle), 2, {3}},
        SetterCase{"setSuperImpose", V, "superImpose", SIGNAL(notifySuperImposeChanged(int)), INT_SETTER(setSuperImpose, m_nSuperImpose), 1, {3}},
        SetterCase{"setBilingual", V, "bilingual", SIGNAL(notifyBilingualChanged(int)), INT_SETTER(setBilingual, m_nBilingual), 2, {3}},
        SetterCase{"setShowTime", V, "showTime", SIGNAL(notifyShowTimeChanged(int)), INT_SETTER(setShowTime, m_nShowTime), 2, {3}},
        SetterCase{"setScreenRatio", V, "screenRatio", SIGNAL(notifyScreenRatiolChanged(int)), INT_SETTER(setScreenRatio, m_nScreenRatio), 2, {3}},
        SetterCase{"setBackgroundSearch", V, "backgroundSearch", SIGNAL(notifyBackgroundSearchChanged(int)), INT_SETTER(setBackgroundSearch, m_nBackgroundSearch), 0, {3}},
        SetterCase{"setEventRelay", V, "EventRelay", SIGNAL(notifyEventRelayChanged(int)), INT_SETTER(setEventRelay, m_nEventRelay), 0, {2}},
        SetterCase{"setInitialized", P, "initialized", SIGNAL(notifyInitializedChanged(bool)), BOOL_SETTER(setInitialized, m_bInitialized), 1, {}},
        SetterCase{"setPowerOn", P, "powerOn", SIGNAL(notifyPowerOnChanged(bool)), BOOL_SETTER(setPowerOn, m_bPowerOn), 0, {}},
        SetterCase{"setAvRenderOn", P, "avRenderOn", SIGNAL(notifyAvRenderOnChanged(bool)), BOOL_SETTER(setAvRenderOn, m_bAvRenderOn), 0, {}},
        SetterCase{"setStartPower", P, "startPower", SIGNAL(notifyStartPowerChanged(int)), INT_SETTER(setStartPower, m_nStartPower), 1, {}},
        SetterCase{"setLanguage", P, "language", SIGNAL(notifyLanguageChanged(int)), INT_SETTER(setLanguage, m_nLanguage), 2, {}},
        SetterCase{"setScreenScale", P, "screenScale", SIGNAL(notifyScreenScaleChanged(int)), INT_SETTER(setScreenScale, m_nScreenScale), 90, {}},
        SetterCase{"setVideoDelay", P, "videoDelay", SIGNAL(notifyVideoDelayChanged(int)), INT_SETTER(setVideoDelay, m_nVideoDelay), 5, {}},
        SetterCase{"setCurrSegType", P, "currentSegType", SIGNAL(notifyCurrSegTypeChanged(int)), INT_SETTER(setCurrSegType, m_nCurrSegType), 1, {}},
        SetterCase{"setVideoType", R, "videoType", SIGNAL(notifyVideoTypeChanged(int)), INT_SETTER(setVideoType, m_nVideoType), 1, {}},
        SetterCase{"setHDMIMode", R, "HDMIMode", SIGNAL(notifyHDMIModeChanged(int)), INT_SETTER(setHDMIMode, m_nHDMIMode), 2, {}},
        SetterCase{"setHomeRemoconID", M, "homeRemoconID", SIGNAL(notifyHomeRemoconIDChanged(int)), INT_SETTER(setHomeRemoconID, m_nHomeRemoconID), 3, {}},
        SetterCase{"setHomeSubChannel", M, "homeSubChannel", SIGNAL(notifyHomeSubChannelChanged(int)), INT_SETTER(setHomeSubChannel, m_nHomeSubChannel), 2, {}},
        SetterCase{"setDriveRemoconID", M, "driveRemoconID", SIGNAL(notifyDriveRemoconIDChanged(int)), INT_SETTER(setDriveRemoconID, m_nDriveRemoconID), 5, {}},
        SetterCase{"setDriveSubChannel", M, "driveSubChannel", SIGNAL(notifyDriveSubChannelChanged(int)), INT_SETTER(setDriveSubChannel, m_nDriveSubChannel), 1, {}},
        SetterCase{"setCurrChannelNumber", M, "curretChannelNumber", SIGNAL(notifyCurrChannelNumberChanged(int)), INT_SETTER(setCurrChannelNumber, m_nCurrChannelNumber), 27, {}},
        SetterCase{"setCurrServiceID", M, "currentServiceID", SIGNAL(notifyCurrServiceIDChanged(int)), INT_SETTER(setCurrServiceID, m_nCurrServiceID), 1024, {}}),
    [](const ::testing::TestParamInfo<SetterCase>& i) { return std::string(i.param.name); });

// ---- misc-partition record ------------------------------------------------------

struct RecordCase
{
    const char* name;
    const char* stored;  // settings.ini line, so that the set value is a change
    bool hdmi;           // setHDMIMode, else setVideoType
    int value;
    const char* cable;
    const char* mode;
};

class MiscRecord : public ::testing::TestWithParam<RecordCase>
{
};

std::string expectedRecord(const std::string& cable, const std::string& mode)
{
    std::string r(512, '\0');
    r.replace(0, cable.size(), cable);
    r.replace(16, mode.size(), mode);
    return r;
}

TEST_P(MiscRecord, HoldsBothOutputSettingsInTheFirst512Bytes)
{
    const RecordCase& c = GetParam();
    Fixture f(std::string(c.stored) + "\n");
    // The partition is larger than the record; only the record's bytes change.
    writeFile(f.root.path(kMisc), std::string(600, '\xAA'));
    ISDBtDataManager* d = f.load();
    if (c.hdmi)
        d->setHDMIMode(c.value);
    else
        d->setVideoType(c.value);
    const std::string misc = readFile(f.root.path(kMisc));
    ASSERT_EQ(misc.size(), 600u);
    EXPECT_EQ(misc.substr(0, 512), expectedRecord(c.cable, c.mode));
    EXPECT_EQ(misc.substr(512), std::string(88, '\xAA'));
    EXPECT_EQ(f.syncs(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, MiscRecord,
    ::testing::Values(RecordCase{"videoType0", "videoType=5", false, 0, "CABLE_SLCT", "HDMI_720P"},
                      RecordCase{"videoType1", "videoType=0", false, 1, "CABLE_CVBS", "HDMI_720P"},
                      RecordCase{"videoType7", "videoType=0", false, 7, "CABLE_HDMI", "HDMI_720P"},
                      RecordCase{"hdmi0", "HDMIMode=1", true, 0, "CABLE_SLCT", "HDMI_1080P"},
                      RecordCase{"hdmi1", "HDMIMode=2", true, 1, "CABLE_SLCT", "HDMI_720P"},
                      RecordCase{"hdmi2", "HDMIMode=1", true, 2, "CABLE_SLCT", "HDMI_480P"},
                      RecordCase{"hdmi9", "HDMIMode=1", true, 9, "CABLE_SLCT", "HDMI_480P"}),
    [](const ::testing::TestParamInfo<RecordCase>& i) { return std::string(i.param.name); });

TEST(SettingsStore, MissingMiscPartitionIsNotCreatedAndTheSettingStillSaves)
{
    Fixture f;
    ISDBtDataManager* d = f.load();
    d->setHDMIMode(0);
    EXPECT_FALSE(std::filesystem::exists(f.root.path(kMisc)));
    EXPECT_EQ(f.fileValue("HDMIMode").value_or(""), "0");
    EXPECT_EQ(f.syncs(), 1);
}

// ---- mixer, mute and volume -------------------------------------------------------

TEST(SettingsStore, MixerValueOfEveryVolumeStep)
{
    Fixture f;
    ISDBtDataManager* d = f.load();
    const int expected[][2] = {{-5, 0},   {0, 0},    {1, 101},  {2, 121},  {3, 138},  {4, 153},
                               {5, 165},  {6, 175},  {7, 182},  {8, 189},  {9, 196},  {10, 203},
                               {11, 210}, {12, 215}, {15, 230}, {19, 250}, {20, 255}, {21, 255}};
    for (const auto& e : expected)
        EXPECT_EQ(d->getRealAudioLevel(e[0]), e[1]) << "step " << e[0];
}

TEST(SettingsStore, MuteAndVolume)
{
    Fixture f("audioLevel=8\n");
    ISDBtDataManager* d = f.load();
    QSignalSpy muteSpy(d, SIGNAL(notifyAudioMuteChanged(bool)));
    QSignalSpy levelSpy(d, SIGNAL(notifyAudioLevelChanged(int)));

    d->setAudioMute(true);
    d->setAudioMute(true);
    EXPECT_TRUE(d->m_bAudioMute);
    EXPECT_EQ(muteSpy.count(), 1);
    EXPECT_EQ(f.root.recordedCommands(), std::vector<std::string>{"amixer sset kvrvol 0"});

    // A volume change while muted only unmutes, at the old volume.
    f.root.clearRecordedCommands();
    d->setAudioLevel(10);
    EXPECT_FALSE(d->m_bAudioMute);
    EXPECT_EQ(d->m_nAudioLevel, 8);
    EXPECT_EQ(levelSpy.count(), 0);
    EXPECT_EQ(f.root.recordedCommands(), std::vector<std::string>{"amixer sset kvrvol 189"});
    EXPECT_EQ(f.fileValue("audioLevel").value_or(""), "8");

    // Unmuted, the volume is always set and saved, even when unchanged.
    f.root.clearRecordedCommands();
    d->setAudioLevel(10);
    d->setAudioLevel(10);
    EXPECT_EQ(d->m_nAudioLevel, 10);
    EXPECT_EQ(levelSpy.count(), 2);
    EXPECT_EQ(f.fileValue("audioLevel").value_or(""), "10");
    EXPECT_EQ((std::vector<std::string>{"amixer sset kvrvol 203", "sync", "amixer sset kvrvol 203", "sync"}),
              f.root.recordedCommands());
}

// ---- factory reset of the settings ------------------------------------------------

TEST(SettingsStore, ResetWritesTheDefaultsButKeepsTheVideoTypeKey)
{
    Fixture f("mode=0\nsegMode=1\naudioLevel=3\nvideoType=2\nHDMIMode=0\nEventRelay=0\n"
              "initialized=1\ncurretChannelNumber=27\nhome_remoconID_3=5\ndrive_remoconID_2=4\n");
    writeFile(f.root.path(kMisc), std::string(512, 'x'));
    ISDBtDataManager* d = f.load();
    QSignalSpy relaySpy(d, SIGNAL(notifyEventRelayChanged(int)));
    d->reset();

    const std::pair<const char*, const char*> expected[] = {
        {"powerOn", "1"},         {"avRenderOn", "1"},         {"initialized", "0"},
        {"startPower", "0"},      {"language", "0"},           {"mode", "1"},
        {"scanType", "0"},        {"homeRemoconID", "0"},      {"homeSubChannel", "0"},
        {"driveRemoconID", "0"},  {"driveSubChannel", "0"},    {"segMode", "4"},
        {"showChannelInfo", "0"}, {"stationSearchType", "0"},  {"stationSearchTime", "60"},
        {"subtitle", "0"},        {"superImpose", "0"},        {"bilingual", "0"},
        {"audioLevel", "15"},     {"showTime", "0"},           {"screenRatio", "0"},
        {"screenScale", "100"},   {"videoDelay", "0"},         {"HDMIMode", "1"},
        {"backgroundSearch", "2"}, {"EventRelay", "1"},        {"curretChannelNumber", "0"},
        {"currentServiceID", "0"}, {"currentSegType", "0"},
    };
    for (const auto& e : expected)
        EXPECT_EQ(f.fileValue(e.first).value_or("<absent>"), e.second) << e.first;
    EXPECT_EQ(f.fileValue("videoType").value_or("<absent>"), "2");
    EXPECT_FALSE(f.fileValue("home_remoconID_3").has_value());
    EXPECT_FALSE(f.fileValue("drive_remoconID_2").has_value());
    EXPECT_EQ(readFile(f.root.path(kMisc)), expectedRecord("CABLE_SLCT", "HDMI_720P"));
    EXPECT_EQ(relaySpy.count(), 1);
    EXPECT_EQ(d->m_nEventRelay, 1);
    // Other members keep their values until the reboot that follows.
    EXPECT_EQ(d->m_nMode, 0);
    EXPECT_EQ(d->m_nSegMode, 1);
}

// ---- remote-ID maps -------------------------------------------------------------

TEST(RemoconMap, RepairAtLoadClosesOpenChainsAndDropsSelfMaps)
{
    Fixture f("home_remoconID_3=5\nhome_remoconID_4=4\nhome_remoconID_7=8\nhome_remoconID_8=9\n"
              "drive_remoconID_2=6\n");
    ISDBtDataManager* d = f.load();
    d->saveUnsavedData();
    EXPECT_EQ(f.fileValue("home_remoconID_3").value_or(""), "5");
    EXPECT_EQ(f.fileValue("home_remoconID_5").value_or(""), "3");
    EXPECT_FALSE(f.fileValue("home_remoconID_4").has_value());
    // 7 -> 8 -> 9 ends at 9, which takes 7: the map is a permutation again.
    EXPECT_EQ(f.fileValue("home_remoconID_9").value_or(""), "7");
    EXPECT_EQ(f.fileValue("drive_remoconID_6").value_or(""), "2");

    EXPECT_EQ(d->getUIRemoconID(0, 3), 5);
    EXPECT_EQ(d->getUIRemoconID(0, 5), 3);
    EXPECT_EQ(d->getUIRemoconID(0, 11), 11);
    // The DRIVE map is never consulted.
    EXPECT_EQ(d->getUIRemoconID(1, 2), 2);
    EXPECT_EQ(d->getUIRemoconID(1, 7), 7);
}

TEST(RemoconMap, LoopThatAvoidsTheOriginEndsTheWalkAndWritesNothing)
{
    // 1 -> 2 -> 3 -> 2 -> ...: the walk from 1 never comes back to 1.
    const std::string loop = "home_remoconID_1=2\nhome_remoconID_2=3\nhome_remoconID_3=2\n"
                             "drive_remoconID_10=11\ndrive_remoconID_11=12\ndrive_remoconID_12=11\n";
    Fixture f(loop);
    ISDBtDataManager* d = f.load();
    EXPECT_EQ(d->checkUIRemoconID(0, 2, 1), -1);
    EXPECT_EQ(d->checkUIRemoconID(1, 11, 10), -1);
    // A walk that reaches its origin or a free number still works.
    EXPECT_EQ(d->checkUIRemoconID(0, 3, 2), 0);
    EXPECT_EQ(d->checkUIRemoconID(0, 6, 1), 6);
    d->saveUnsavedData();
    const std::pair<const char*, const char*> unchanged[] = {
        {"home_remoconID_1", "2"},   {"home_remoconID_2", "3"},   {"home_remoconID_3", "2"},
        {"drive_remoconID_10", "11"}, {"drive_remoconID_11", "12"}, {"drive_remoconID_12", "11"}};
    for (const auto& e : unchanged)
        EXPECT_EQ(f.fileValue(e.first).value_or("<absent>"), e.second) << e.first;
}

TEST(RemoconMap, SetSwapsUnmappedNumbersAndClearEmptiesOneMap)
{
    Fixture f("drive_remoconID_1=2\ndrive_remoconID_2=1\n");
    ISDBtDataManager* d = f.load();
    d->setUIRemoconID(0, 2, 5);
    EXPECT_EQ(d->getUIRemoconID(0, 2), 5);
    EXPECT_EQ(d->getUIRemoconID(0, 5), 2);
    d->setUIRemoconID(1, 4, 6);  // DRIVE: logged only
    d->clearUIRemoconID(0);
    EXPECT_FALSE(f.fileValue("home_remoconID_2").has_value());
    EXPECT_FALSE(f.fileValue("home_remoconID_5").has_value());
    EXPECT_EQ(f.fileValue("drive_remoconID_1").value_or(""), "2");
    EXPECT_FALSE(f.fileValue("drive_remoconID_4").has_value());
}

// ---- channel pair of the current mode -----------------------------------------------

TEST(ChannelPair, FollowsTheModeAndLeavesAnUnknownModeAlone)
{
    Fixture f("mode=2\nhomeRemoconID=4\ndriveRemoconID=6\ndriveSubChannel=1\n");
    ISDBtDataManager* d = f.load();
    int id = -7, sub = -7;
    d->getChannel(&id, &sub);
    EXPECT_EQ(id, -7);
    EXPECT_EQ(sub, -7);
    d->setChannel(9, 2, 11, 12);  // mode 2: no pair is written
    EXPECT_EQ(d->fullSegID, 11);
    EXPECT_EQ(d->oneSegID, 12);
    EXPECT_EQ(f.syncs(), 1);
    EXPECT_EQ(f.fileValue("homeRemoconID").value_or(""), "4");

    d->setMode(0);
    QSignalSpy spy(d, SIGNAL(notifyHomeRemoconIDChanged(int)));
    d->setChannel(9, 2, 13, 14);
    d->getChannel(&id, &sub);
    EXPECT_EQ(id, 9);
    EXPECT_EQ(sub, 2);
    EXPECT_EQ(spy.count(), 0) << "the pair is stored without a signal";
    EXPECT_EQ(f.fileValue("homeRemoconID").value_or(""), "9");
    EXPECT_EQ(f.fileValue("homeSubChannel").value_or(""), "2");

    d->setMode(1);
    d->getChannel(&id, &sub);
    EXPECT_EQ(id, 6);
    EXPECT_EQ(sub, 1);
}

// ---- live status ----------------------------------------------------------------

TEST(LiveStatus, AntennaStrengthFromTheCarrierToNoiseRatio)
{
    Fixture f;
    ISDBtDataManager* d = f.load();
    const std::pair<double, int> cases[] = {{16.9, 35}, {-3.0, 0},  {120.0, 100}, {3.99, 0},
                                            {4.0, 5},   {19.5, 50}, {37.9, 95},   {38.0, 100},
                                            {1e300, 100}, {-1e300, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(d->getAntStrengthLevel(c.first), c.second) << c.first;
    QSignalSpy spy(d, SIGNAL(notifyAntStrengthLevelChanged(int)));
    d->updateAntStrengthLevel(25.2);
    d->updateAntStrengthLevel(24.0);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 65);
}

TEST(LiveStatus, BroadcastDateAndTimeTexts)
{
    Fixture f;
    ISDBtDataManager* d = f.load();
    d->setCurrentDataTime(45218, 3599);
    EXPECT_EQ(d->m_sCurrStrDate, QString::fromUtf8("9/6(月)"));
    EXPECT_EQ(d->m_sCurrStrTime, "00:59");
    d->setCurrentDataTime(45218, 86399);
    EXPECT_EQ(d->m_sCurrStrTime, "23:59");
    d->setCurrentDataTime(45218, 9 * 3600 + 5 * 60 + 59);
    EXPECT_EQ(d->m_sCurrStrTime, "09:05");
}

TEST(LiveStatus, ChannelInfoSignalsOnlyChangesAndCountsAlwaysSignal)
{
    Fixture f;
    ISDBtDataManager* d = f.load();
    QSignalSpy service(d, SIGNAL(notifyCurrServiceIDChanged(int)));
    QSignalSpy name(d, SIGNAL(notifyCurrChNameChanged(QString)));
    QSignalSpy count(d, SIGNAL(notifyCurrRemoconIdCountChanged(int)));
    // When the service ID signal arrives, the later fields still hold the
    // previous channel.
    int channelSeenBySlot = -1;
    QObject::connect(d, &ISDBtDataManager::notifyCurrServiceIDChanged,
                     [&]() { channelSeenBySlot = d->m_nCurrChannelNumber; });
    d->setCurrentChannelInfo(3, 1, 2, 1040, 27, 31, 4, 32736, QStringLiteral("NHK"), 2);
    d->setCurrentChannelInfo(3, 1, 2, 1040, 27, 31, 4, 32736, QStringLiteral("NHK"), 2);
    EXPECT_EQ(service.count(), 1);
    EXPECT_EQ(name.count(), 1);
    EXPECT_EQ(count.count(), 1);
    EXPECT_EQ(channelSeenBySlot, 0);
    EXPECT_EQ(d->m_nCurrChannelNumber, 27);
    EXPECT_EQ(d->m_nCurrStationIndex, 4);
    EXPECT_EQ(d->m_nCurrNetworkID, 32736);

    QSignalSpy listCount(d, SIGNAL(notifyCurrChannelListCntChanged(int)));
    d->setCurrChannelListCnt(5);
    d->setCurrChannelListCnt(5);
    EXPECT_EQ(listCount.count(), 2);
}

TEST(LiveStatus, VersionFilesGiveTheirFirstLineAndEmptyMeansUnknown)
{
    Fixture f;
    writeFile(f.root.path("/etc/.version"), "HV-1.2.3\nbuilt 2026-12-01\n");
    writeFile(f.root.path("/home/root/micom_ver.ini"), "");
    ISDBtDataManager* d = f.load();
    EXPECT_EQ(d->m_sSwVer, "HV-1.2.3");
    EXPECT_EQ(d->m_sMicomVer, "N/A");
}

}  // namespace
