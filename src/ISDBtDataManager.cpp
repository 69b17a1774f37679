#include "ISDBtDataManager.h"

#include "DevRoot.h"
#include "ISDBtUtil.h"
#include "KelpAppLog.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTextStream>

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

const QString ISDBtDataManager::KEY_INITIALIZED = QStringLiteral("initialized");
const QString ISDBtDataManager::KEY_STARTPOWER = QStringLiteral("startPower");
const QString ISDBtDataManager::KEY_POWERON = QStringLiteral("powerOn");
const QString ISDBtDataManager::KEY_AVRENDERON = QStringLiteral("avRenderOn");
const QString ISDBtDataManager::KEY_LANGUAGE = QStringLiteral("language");
const QString ISDBtDataManager::KEY_MODE = QStringLiteral("mode");
const QString ISDBtDataManager::KEY_SCANTYPE = QStringLiteral("scanType");
const QString ISDBtDataManager::KEY_HOMEREMOCONID = QStringLiteral("homeRemoconID");
const QString ISDBtDataManager::KEY_HOMESUBCHANNEL = QStringLiteral("homeSubChannel");
const QString ISDBtDataManager::KEY_DRIVERREMOCONID = QStringLiteral("driveRemoconID");
const QString ISDBtDataManager::KEY_DRIVERSUBCHANNEL = QStringLiteral("driveSubChannel");
const QString ISDBtDataManager::KEY_SEGMODE = QStringLiteral("segMode");
const QString ISDBtDataManager::KEY_SEGMODEPRIORITY = QStringLiteral("segModePriority");
const QString ISDBtDataManager::KEY_SHOWCHANNELINFO = QStringLiteral("showChannelInfo");
const QString ISDBtDataManager::KEY_STATIONSEARCHTYPE = QStringLiteral("stationSearchType");
const QString ISDBtDataManager::KEY_STATIONSEARCHTIME = QStringLiteral("stationSearchTime");
const QString ISDBtDataManager::KEY_SUBTITLE = QStringLiteral("subtitle");
const QString ISDBtDataManager::KEY_SUPERIMPOSE = QStringLiteral("superImpose");
const QString ISDBtDataManager::KEY_BILINGUAL = QStringLiteral("bilingual");
const QString ISDBtDataManager::KEY_AUDIOLEVEL = QStringLiteral("audioLevel");
const QString ISDBtDataManager::KEY_SHOWTIME = QStringLiteral("showTime");
const QString ISDBtDataManager::KEY_SCREENRATIO = QStringLiteral("screenRatio");
const QString ISDBtDataManager::KEY_SCREENSCALE = QStringLiteral("screenScale");
const QString ISDBtDataManager::KEY_VIDEODELAY = QStringLiteral("videoDelay");
const QString ISDBtDataManager::KEY_VIDEOTYPE = QStringLiteral("videoType");
const QString ISDBtDataManager::KEY_HDMIMODE = QStringLiteral("HDMIMode");
const QString ISDBtDataManager::KEY_BACKGROUNDSEARCH = QStringLiteral("backgroundSearch");
const QString ISDBtDataManager::KEY_EVENTRELAY = QStringLiteral("EventRelay");
const QString ISDBtDataManager::KEY_CURRENTCHANNELNUMBER = QStringLiteral("curretChannelNumber");
const QString ISDBtDataManager::KEY_CURRENTSERVICEID = QStringLiteral("currentServiceID");
const QString ISDBtDataManager::KEY_CURRENTSEGTYPE = QStringLiteral("currentSegType");
const QString ISDBtDataManager::KEY_HOMEREMOCONID_ = QStringLiteral("home_remoconID_");
const QString ISDBtDataManager::KEY_DRIVEREMOCONID_ = QStringLiteral("drive_remoconID_");

ISDBtDataManager* ISDBtDataManager::m_pInstance = nullptr;

namespace {

// Decimal digits with an optional sign, as a hand-edited file writes a number.
bool isDecimalNumber(const QString& text)
{
    const QString t = text.trimmed();
    int i = t.startsWith(QLatin1Char('+')) || t.startsWith(QLatin1Char('-')) ? 1 : 0;
    if (i >= t.size())
        return false;
    for (; i < t.size(); ++i) {
        if (t[i] < QLatin1Char('0') || t[i] > QLatin1Char('9'))
            return false;
    }
    return true;
}

// A stored setting as an int. A number that an int cannot hold is outside
// every range (`fits` false), where Qt's conversion of the text would cut it
// to 32 bits; text that is no number converts as Qt converts it (to 0).
int storedInt(const QVariant& value, bool* fits)
{
    *fits = true;
    // Not text: the default of a missing key.
    if (value.type() != QVariant::String)
        return value.toInt();
    const QString text = value.toString().trimmed();
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    if (ok)
        return n;
    if (isDecimalNumber(text)) {
        *fits = false;
        return 0;
    }
    return value.toInt();
}

}  // namespace

const int antStrengthTable[39] = {
    0,  0,  0,  0,  5,  5,  10, 10, 15, 15, 20, 20, 25, 25, 30, 30, 35, 40, 45, 50,
    55, 55, 60, 60, 65, 65, 70, 70, 75, 75, 80, 80, 85, 85, 90, 90, 95, 95, 100,
};

namespace {

const char kSettingsFile[] = "/home/root/isdbt/settings.ini";
const char kMiscPartition[] = "/dev/disk/by-partlabel/misc";
const char kSwVersionFile[] = "/etc/.version";
const char kMicomVersionFile[] = "/home/root/micom_ver.ini";
const char kChrontelI2cDevice[] = "/dev/i2c-3";
const int kChrontelSlaveAddress = 0x78;
const int kMiscRecordSize = 512;
const int kVideoTypeOffset = 0;
const int kHdmiModeOffset = 16;
// One-touch buttons 1..12: the repair, the clear and the print look at these keys only.
const int kOneTouchCount = 12;

// Mixer value for each volume step 0..20.
const int kMixerLevels[21] = {0,   101, 121, 138, 153, 165, 175, 182, 189, 196, 203,
                              210, 215, 220, 225, 230, 235, 240, 245, 250, 255};

const char* modeName(int mode)
{
    return mode == 0 ? "HOME" : "DRIVE";
}

// First line of a small text file, or "N/A" when the file is missing or empty.
QString firstLineOf(const char* func, const char* boardPath)
{
    QString text = QStringLiteral("N/A");
    QFile file(QString::fromStdString(devroot::path(boardPath)));
    if (!file.exists()) {
        LOG_I("[%s] file is not exist !! ", func);
        return text;
    }
    if (file.open(QIODevice::ReadOnly)) {
        QTextStream in(&file);
        QStringList lines;
        while (!in.atEnd())
            lines.append(in.readLine());
        file.close();
        if (lines.isEmpty())
            LOG_I("[%s] file is empty !! ", func);
        else
            text = lines.first();
    }
    return text;
}

}  // namespace

ISDBtDataManager::ISDBtDataManager(QObject* parent)
    : QObject(parent)
{
    LOG_I("[%s]==================== ISDBtDataManager Start ====================", __func__);
    m_pSettings = new QSettings(QString::fromStdString(devroot::path(kSettingsFile)),
                                QSettings::NativeFormat);
    initialize();
}

ISDBtDataManager::~ISDBtDataManager()
{
    delete m_pSettings;
}

void ISDBtDataManager::initialize()
{
    // The application always starts powered with its output on; the stored
    // power state only matters while it runs.
    m_pSettings->setValue(KEY_AVRENDERON, 1);
    m_pSettings->setValue(KEY_POWERON, 1);
    loadProperties();
    loadSwVersion();
    loadMicomVersion();
    loadChrontelVersion();
}

void ISDBtDataManager::loadProperties()
{
    // Keys read as stored.
    auto readInt = [this](const QString& key, int def) {
        return m_pSettings->value(key, def).toInt();
    };
    // Keys with a range or a load rule: a number that does not fit an int
    // gives the key's default. `unfit`, when given, tells that it did so.
    auto readChecked = [this](const QString& key, int def, bool* unfit) {
        bool fits = true;
        const int n = storedInt(m_pSettings->value(key, def), &fits);
        if (unfit != nullptr)
            *unfit = !fits;
        return fits ? n : def;
    };
    m_bPowerOn = readChecked(KEY_POWERON, 1, nullptr) == 1;
    m_bAvRenderOn = readChecked(KEY_AVRENDERON, 1, nullptr) == 1;
    m_bInitialized = readChecked(KEY_INITIALIZED, 0, nullptr) == 1;
    m_nStartPower = readInt(KEY_STARTPOWER, 0);
    m_nLanguage = readInt(KEY_LANGUAGE, 0);
    m_nMode = readChecked(KEY_MODE, 1, nullptr);
    m_nScanType = readChecked(KEY_SCANTYPE, 0, nullptr);
    m_nHomeRemoconID = readInt(KEY_HOMEREMOCONID, 0);
    m_nHomeSubChannel = readInt(KEY_HOMESUBCHANNEL, 0);
    m_nDriveRemoconID = readInt(KEY_DRIVERREMOCONID, 0);
    m_nDriveSubChannel = readInt(KEY_DRIVERSUBCHANNEL, 0);
    bool segModeUnfit = false;
    m_nSegMode = readChecked(KEY_SEGMODE, 4, &segModeUnfit);
    // Only the two priority modes and fixed one-segment survive a restart;
    // everything else starts as automatic with full-segment priority.
    if (segModeUnfit || (m_nSegMode != 1 && m_nSegMode != 3 && m_nSegMode != 4)) {
        m_nSegMode = 4;
        m_pSettings->setValue(KEY_SEGMODE, m_nSegMode);
    }
    m_nShowChannelInfo = readChecked(KEY_SHOWCHANNELINFO, 0, nullptr);
    m_nStationSearchType = readChecked(KEY_STATIONSEARCHTYPE, 0, nullptr);
    m_nStationSearchTime = readChecked(KEY_STATIONSEARCHTIME, 60, nullptr);
    m_nSubtitle = readChecked(KEY_SUBTITLE, 0, nullptr);
    m_nSuperImpose = readChecked(KEY_SUPERIMPOSE, 0, nullptr);
    m_nBilingual = readChecked(KEY_BILINGUAL, 0, nullptr);
    m_nAudioLevel = readChecked(KEY_AUDIOLEVEL, 15, nullptr);
    if (m_nAudioLevel < 0 || m_nAudioLevel > 20)
        m_nAudioLevel = 15;
    m_nShowTime = readChecked(KEY_SHOWTIME, 0, nullptr);
    m_nScreenRatio = readChecked(KEY_SCREENRATIO, 0, nullptr);
    m_nScreenScale = readInt(KEY_SCREENSCALE, 100);
    m_nVideoDelay = readInt(KEY_VIDEODELAY, 0);
    m_nVideoType = readInt(KEY_VIDEOTYPE, 0);
    m_nHDMIMode = readInt(KEY_HDMIMODE, 1);
    m_nBackgroundSearch = readChecked(KEY_BACKGROUNDSEARCH, 2, nullptr);
    m_nEventRelay = readChecked(KEY_EVENTRELAY, 1, nullptr);
    m_nCurrChannelNumber = readInt(KEY_CURRENTCHANNELNUMBER, 0);
    m_nCurrServiceID = readInt(KEY_CURRENTSERVICEID, 0);
    m_nCurrSegType = readInt(KEY_CURRENTSEGTYPE, 0);

    initUIRemoconID(0);
    initUIRemoconID(1);
    audioLevelSet(getRealAudioLevel(m_nAudioLevel));
    printProperties();
}

void ISDBtDataManager::printProperties()
{
    LOG_I("[%s]==================== Properties ====================", __func__);
    LOG_I("[%s] PowerOn = %d", __func__, m_bPowerOn);
    LOG_I("[%s] AvRenderOn = %d", __func__, m_bAvRenderOn);
    LOG_I("[%s] Initialized = %d", __func__, m_bInitialized);
    LOG_I("[%s] AccPower = %d", __func__, m_nStartPower);
    LOG_I("[%s] Mode = %d", __func__, m_nMode);
    LOG_I("[%s] ScanType = %d", __func__, m_nScanType);
    LOG_I("[%s] HomeRemoconID = %d", __func__, m_nHomeRemoconID);
    LOG_I("[%s] HomeSubChannel = %d", __func__, m_nHomeSubChannel);
    LOG_I("[%s] DriveRemoconID = %d", __func__, m_nDriveRemoconID);
    LOG_I("[%s] DriveSubChannel = %d", __func__, m_nDriveSubChannel);
    LOG_I("[%s] SegMode = %d", __func__, m_nSegMode);
    LOG_I("[%s] ShowChannelInfo = %d", __func__, m_nShowChannelInfo);
    LOG_I("[%s] StationSearchType = %d", __func__, m_nStationSearchType);
    LOG_I("[%s] StationSearchTime = %d", __func__, m_nStationSearchTime);
    LOG_I("[%s] Subtitle = %d", __func__, m_nSubtitle);
    LOG_I("[%s] SuperImpose = %d", __func__, m_nSuperImpose);
    LOG_I("[%s] Bilingual = %d", __func__, m_nBilingual);
    LOG_I("[%s] AudioLevel = %d", __func__, m_nAudioLevel);
    LOG_I("[%s] ShowTime = %d", __func__, m_nShowTime);
    LOG_I("[%s] ScreenRatio = %d", __func__, m_nScreenRatio);
    LOG_I("[%s] ScreenScale = %d", __func__, m_nScreenScale);
    LOG_I("[%s] VideoType = %d", __func__, m_nVideoType);
    LOG_I("[%s] HDMIMode = %d", __func__, m_nHDMIMode);
    LOG_I("[%s] BackgroundSearch = %d", __func__, m_nBackgroundSearch);
    LOG_I("[%s] EventRelay = %d", __func__, m_nEventRelay);
    LOG_I("[%s] CurrChannelNumber = %d", __func__, m_nCurrChannelNumber);
    LOG_I("[%s] CurrServiceID = %d", __func__, m_nCurrServiceID);
    LOG_I("[%s] CurrSegType = %d", __func__, m_nCurrSegType);
    for (const QString& prefix : {KEY_HOMEREMOCONID_, KEY_DRIVEREMOCONID_}) {
        for (int n = 1; n <= kOneTouchCount; ++n) {
            const QString key = prefix + QString::number(n);
            if (m_pSettings->contains(key))
                LOG_I("[%s] %s%d = %d", __func__, prefix.toLocal8Bit().constData(), n,
                     m_pSettings->value(key, n).toInt());
        }
    }
}

void ISDBtDataManager::saveProperty(bool writeRecord)
{
    m_pSettings->sync();
    if (writeRecord)
        writeMiscRecord();
    sutil::RunCmd("sync");
}

void ISDBtDataManager::saveUnsavedData()
{
    m_pSettings->sync();
}

void ISDBtDataManager::writeMiscRecord()
{
    // The boot loader reads the video output and the HDMI resolution from the
    // first 512 bytes of the misc partition.
    char record[kMiscRecordSize];
    std::memset(record, 0, sizeof(record));
    const char* cable = m_nVideoType == 0 ? "CABLE_SLCT" : m_nVideoType == 1 ? "CABLE_CVBS" : "CABLE_HDMI";
    const char* hdmi = m_nHDMIMode == 0 ? "HDMI_1080P" : m_nHDMIMode == 1 ? "HDMI_720P" : "HDMI_480P";
    std::memcpy(record + kVideoTypeOffset, cable, std::strlen(cable));
    std::memcpy(record + kHdmiModeOffset, hdmi, std::strlen(hdmi));

    const std::string device = devroot::path(kMiscPartition);
    const int fd = ::open(device.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0)
        return;
    const ssize_t written = ::write(fd, record, sizeof(record));
    (void)written;
    ::close(fd);
}

void ISDBtDataManager::reset()
{
    m_pSettings->setValue(KEY_POWERON, 1);
    m_pSettings->setValue(KEY_AVRENDERON, 1);
    m_pSettings->setValue(KEY_INITIALIZED, 0);
    m_pSettings->setValue(KEY_STARTPOWER, 0);
    m_pSettings->setValue(KEY_LANGUAGE, 0);
    m_pSettings->setValue(KEY_MODE, 1);
    m_pSettings->setValue(KEY_SCANTYPE, 0);
    m_pSettings->setValue(KEY_HOMEREMOCONID, 0);
    m_pSettings->setValue(KEY_HOMESUBCHANNEL, 0);
    m_pSettings->setValue(KEY_DRIVERREMOCONID, 0);
    m_pSettings->setValue(KEY_DRIVERSUBCHANNEL, 0);
    m_pSettings->setValue(KEY_SEGMODE, 4);
    m_pSettings->setValue(KEY_SHOWCHANNELINFO, 0);
    m_pSettings->setValue(KEY_STATIONSEARCHTYPE, 0);
    m_pSettings->setValue(KEY_STATIONSEARCHTIME, 60);
    m_pSettings->setValue(KEY_SUBTITLE, 0);
    m_pSettings->setValue(KEY_SUPERIMPOSE, 0);
    m_pSettings->setValue(KEY_BILINGUAL, 0);
    m_pSettings->setValue(KEY_AUDIOLEVEL, 15);
    m_pSettings->setValue(KEY_SHOWTIME, 0);
    m_pSettings->setValue(KEY_SCREENRATIO, 0);
    m_pSettings->setValue(KEY_SCREENSCALE, 100);
    m_pSettings->setValue(KEY_VIDEODELAY, 0);
    m_pSettings->setValue(KEY_HDMIMODE, 1);
    m_pSettings->setValue(KEY_BACKGROUNDSEARCH, 2);
    m_pSettings->setValue(KEY_EVENTRELAY, 1);
    setEventRelay(1);
    m_pSettings->setValue(KEY_CURRENTCHANNELNUMBER, 0);
    m_pSettings->setValue(KEY_CURRENTSERVICEID, 0);
    m_pSettings->setValue(KEY_CURRENTSEGTYPE, 0);
    clearUIRemoconID(0);
    clearUIRemoconID(1);
    // The record must name the defaults the board boots with after the reset;
    // the "videoType" key itself keeps the user's choice.
    m_nVideoType = 0;
    m_nHDMIMode = 1;
    saveProperty(true);
}

void ISDBtDataManager::getChannel(int* remoconID, int* subChannel)
{
    if (m_nMode == 0) {
        *remoconID = m_nHomeRemoconID;
        *subChannel = m_nHomeSubChannel;
    } else if (m_nMode == 1) {
        *remoconID = m_nDriveRemoconID;
        *subChannel = m_nDriveSubChannel;
    }
}

void ISDBtDataManager::setChannel(int remoconID, int subChannel, int fullSegID, int oneSegID)
{
    if (m_nMode == 0) {
        m_nHomeRemoconID = remoconID;
        m_nHomeSubChannel = subChannel;
        m_pSettings->setValue(KEY_HOMEREMOCONID, remoconID);
        m_pSettings->setValue(KEY_HOMESUBCHANNEL, subChannel);
    } else if (m_nMode == 1) {
        m_nDriveRemoconID = remoconID;
        m_nDriveSubChannel = subChannel;
        m_pSettings->setValue(KEY_DRIVERREMOCONID, remoconID);
        m_pSettings->setValue(KEY_DRIVERSUBCHANNEL, subChannel);
    }
    LOG_I("[%s] R(%d_%d) fullSegID(%d) oneSegID(%d)", __func__, remoconID, subChannel, fullSegID,
         oneSegID);
    this->fullSegID = fullSegID;
    this->oneSegID = oneSegID;
    saveProperty(false);
}

void ISDBtDataManager::setCurrChannel(int remoconID, int subChannel, int channelNumber, int serviceID)
{
    m_nCurrChannelNumber = channelNumber;
    m_nCurrServiceID = serviceID;
    m_pSettings->setValue(KEY_CURRENTCHANNELNUMBER, channelNumber);
    m_pSettings->setValue(KEY_CURRENTSERVICEID, serviceID);
    if (m_nMode == 0) {
        m_nHomeRemoconID = remoconID;
        m_nHomeSubChannel = subChannel;
        m_pSettings->setValue(KEY_HOMEREMOCONID, remoconID);
        m_pSettings->setValue(KEY_HOMESUBCHANNEL, subChannel);
    } else if (m_nMode == 1) {
        m_nDriveRemoconID = remoconID;
        m_nDriveSubChannel = subChannel;
        m_pSettings->setValue(KEY_DRIVERREMOCONID, remoconID);
        m_pSettings->setValue(KEY_DRIVERSUBCHANNEL, subChannel);
    }
    saveProperty(false);
}

void ISDBtDataManager::setEPGTable(int channelNumber, int serviceID)
{
    epgChannelNumber = channelNumber;
    epgServiceID = serviceID;
}

QString ISDBtDataManager::remoconPrefix(int mode) const
{
    return mode == 0 ? KEY_HOMEREMOCONID_ : KEY_DRIVEREMOCONID_;
}

int ISDBtDataManager::remoconKeyCount(const QString& prefix) const
{
    int count = 0;
    for (const QString& key : m_pSettings->childKeys()) {
        if (key.startsWith(prefix))
            ++count;
    }
    return count;
}

int ISDBtDataManager::checkUIRemoconID(int mode, int id, int origin)
{
    const QString prefix = remoconPrefix(mode);
    // A well-formed map closes every chain within as many steps as it has
    // keys. A hand-edited file can hold a loop that never comes back to the
    // origin; the walk then gives up with -1 and the caller writes nothing.
    const int maxSteps = remoconKeyCount(prefix) + 1;
    for (int step = 0; step < maxSteps; ++step) {
        const QString key = prefix + QString::number(id);
        if (!m_pSettings->contains(key))
            return id;
        const int v = m_pSettings->value(key, id).toInt();
        if (v == id)
            return id;
        if (v == origin)
            return 0;
        id = v;
    }
    LOG_W("[%s] mode(%s) chain from %d does not end, left as it is", __func__, modeName(mode), origin);
    return -1;
}

int ISDBtDataManager::getUIRemoconID(int mode, int id)
{
    if (mode != 0)
        return id;
    const QString key = KEY_HOMEREMOCONID_ + QString::number(id);
    if (!m_pSettings->contains(key))
        return id;
    return m_pSettings->value(key, id).toInt();
}

void ISDBtDataManager::initUIRemoconID(int mode)
{
    LOG_I("[%s] mode(%s)  ", __func__, modeName(mode));
    const QString prefix = remoconPrefix(mode);
    for (int n = 1; n <= kOneTouchCount; ++n) {
        const QString key = prefix + QString::number(n);
        if (!m_pSettings->contains(key))
            continue;
        const int v = m_pSettings->value(key, n).toInt();
        if (v == n) {
            m_pSettings->remove(key);
            continue;
        }
        const int r = checkUIRemoconID(mode, v, n);
        if (r >= 1)
            m_pSettings->setValue(prefix + QString::number(r), n);
    }
}

void ISDBtDataManager::clearUIRemoconID(int mode)
{
    LOG_I("[%s] mode(%s)", __func__, modeName(mode));
    const QString prefix = remoconPrefix(mode);
    for (int n = 1; n <= kOneTouchCount; ++n) {
        const QString key = prefix + QString::number(n);
        if (m_pSettings->contains(key))
            m_pSettings->remove(key);
    }
    m_pSettings->sync();
}

void ISDBtDataManager::setUIRemoconID(int mode, int dbID, int uiID)
{
    LOG_I("[%s] mode(%s), dbID(%d), uiID(%d)", __func__, modeName(mode), dbID, uiID);
    if (mode != 0)
        return;
    const QString prefix = KEY_HOMEREMOCONID_;
    const int old = m_pSettings->value(prefix + QString::number(dbID), dbID).toInt();
    m_pSettings->setValue(prefix + QString::number(dbID), uiID);
    const int r = checkUIRemoconID(0, uiID, old);
    if (r > 0) {
        LOG_I("[%s] set remoconID_%d = %d  ", __func__, r, old);
        m_pSettings->setValue(prefix + QString::number(r), old);
    }
    m_pSettings->sync();
}

void ISDBtDataManager::audioLevelSet(int mixerLevel)
{
    char cmd[32];
    std::snprintf(cmd, sizeof(cmd), "amixer sset kvrvol %d", mixerLevel);
    sutil::RunCmd(cmd);
}

int ISDBtDataManager::getRealAudioLevel(int level)
{
    LOG_I("[%s] audioLevel : %d", __func__, level);
    if (level < 0)
        return 0;
    if (level > 20)
        return 255;
    return kMixerLevels[level];
}

void ISDBtDataManager::audioFixedLevelSet()
{
    audioLevelSet(190);
}

void ISDBtDataManager::setAudioMute(bool bVal)
{
    if (m_bAudioMute == bVal)
        return;
    m_bAudioMute = bVal;
    audioLevelSet(bVal ? 0 : getRealAudioLevel(m_nAudioLevel));
    emit notifyAudioMuteChanged(m_bAudioMute);
}

void ISDBtDataManager::setAudioLevel(int nVal)
{
    // A volume key while muted only brings the sound back at the old level.
    if (m_bAudioMute) {
        setAudioMute(false);
        return;
    }
    audioLevelSet(getRealAudioLevel(nVal));
    m_nAudioLevel = nVal;
    m_pSettings->setValue(KEY_AUDIOLEVEL, nVal);
    emit notifyAudioLevelChanged(m_nAudioLevel);
    saveProperty(false);
}

void ISDBtDataManager::setCurrentChannelInfo(int remoconID, int subChannel, int dispSubChannel,
                                             int serviceID, int channelNumber, int threeDigitNumber,
                                             int stationIndex, int networkID, QString chName,
                                             int remoconIdCount)
{
    LOG_I("[%s] R(%d-%d(%d)) ", __func__, remoconID, subChannel, dispSubChannel);
    setCurrRemoconID(remoconID);
    setCurrSubChannel(subChannel);
    setCurrDispSubChannel(dispSubChannel);
    setCurrServiceID(serviceID);
    setCurrChannelNumber(channelNumber);
    setCurrThreeDigitNumber(threeDigitNumber);
    setCurrStationIndex(stationIndex);
    setCurrChName(chName);
    setCurrNetworkID(networkID);
    setCurrRemoconIdCount(remoconIdCount);
}

void ISDBtDataManager::setCurrentDataTime(int mjd, int secondsOfDay)
{
    m_nCurrMJD = mjd;
    m_nCurrSecondsOfDay = secondsOfDay;
    setCurrStrDate(sutil::GetDateString(mjd));
    const int hour = secondsOfDay / 3600;
    const int minute = (secondsOfDay % 3600) / 60;
    setCurrStrTime(QStringLiteral("%1:%2").arg(hour, 2, 10, QLatin1Char('0')).arg(minute, 2, 10, QLatin1Char('0')));
}

int ISDBtDataManager::getAntStrengthLevel(double cnr)
{
    // Compare before converting: a huge ratio must not overflow the int.
    int index;
    if (!(cnr > 0.0))
        index = 0;
    else if (cnr >= 38.0)
        index = 38;
    else
        index = static_cast<int>(cnr);
    return antStrengthTable[index];
}

void ISDBtDataManager::updateAntStrengthLevel(double cnr)
{
    setAntStrengthLevel(getAntStrengthLevel(cnr));
}

void ISDBtDataManager::loadSwVersion()
{
    const QString text = firstLineOf(__func__, kSwVersionFile);
    if (text != QLatin1String("N/A"))
        setSwVer(text);
    LOG_I("[%s] %s", __func__, m_sSwVer.toLocal8Bit().constData());
}

void ISDBtDataManager::loadMicomVersion()
{
    const QString text = firstLineOf(__func__, kMicomVersionFile);
    if (text != QLatin1String("N/A"))
        setMicomVer(text);
    LOG_I("[%s] %s", __func__, m_sMicomVer.toLocal8Bit().constData());
}

void ISDBtDataManager::loadChrontelVersion()
{
    const std::string device = devroot::path(kChrontelI2cDevice);
    const int fd = ::open(device.c_str(), O_RDWR);
    if (fd < 0) {
        LOG_H("[%s] /dev/i2c-3 open error!!!", __func__);
        return;
    }
    if (::ioctl(fd, I2C_SLAVE, kChrontelSlaveAddress) < 0) {
        LOG_H("[%s] ioctl error!!!", __func__);
        ::close(fd);
        return;
    }
    const unsigned char page[2] = {0x00, 0x02};
    ssize_t io = ::write(fd, page, sizeof(page));
    if (io == -1) {
        LOG_I("[%s] write Page No - ioReturn : %d", __func__, static_cast<int>(io));
        ::close(fd);
        return;
    }
    const unsigned char reg = 0xC4;
    io = ::write(fd, &reg, 1);
    if (io == -1) {
        LOG_I("[%s] write Address Offset - ioReturn : %d", __func__, static_cast<int>(io));
        ::close(fd);
        return;
    }
    unsigned char version[2] = {0, 0};
    io = ::read(fd, version, sizeof(version));
    ::close(fd);
    if (io == -1) {
        LOG_I("[%s] read Version - ioReturn : %d", __func__, static_cast<int>(io));
        return;
    }
    const QString text = QStringLiteral("%1.%2.%3")
                             .arg(version[0] >> 4)
                             .arg(version[0] & 0x0F)
                             .arg(version[1]);
    setChrontelVer(text);
    LOG_I("[%s] %s", __func__, text.toLocal8Bit().constData());
}

// ---- Setters of the settings table, then of the live status ----

template <typename T, typename Arg>
void ISDBtDataManager::storeChanged(T& member, const T& value, void (ISDBtDataManager::*notify)(Arg))
{
    if (member == value)
        return;
    member = value;
    emit(this->*notify)(member);
}

template <typename T>
void ISDBtDataManager::persistChanged(T& member, T value, const QString& key,
                                      void (ISDBtDataManager::*notify)(T), bool writeRecord)
{
    if (member == value)
        return;
    member = value;
    // Every value in settings.ini is an integer; a bool is stored as 1 or 0.
    m_pSettings->setValue(key, static_cast<int>(value));
    emit(this->*notify)(member);
    saveProperty(writeRecord);
}

void ISDBtDataManager::persistInRange(const char* setter, int& member, int nVal, unsigned maxValue,
                                      const QString& key, void (ISDBtDataManager::*notify)(int))
{
    // Compared as unsigned, so a negative value is out of range too.
    if (static_cast<unsigned>(nVal) > maxValue) {
        LOG_H("[%s] value is invalid %d", setter, nVal);
        return;
    }
    persistChanged(member, nVal, key, notify);
}

void ISDBtDataManager::setInitialized(bool bVal)
{
    persistChanged(m_bInitialized, bVal, KEY_INITIALIZED, &ISDBtDataManager::notifyInitializedChanged);
}

void ISDBtDataManager::setStartPower(int nVal)
{
    persistChanged(m_nStartPower, nVal, KEY_STARTPOWER, &ISDBtDataManager::notifyStartPowerChanged);
}

void ISDBtDataManager::setPowerOn(bool bVal)
{
    LOG_I("[%s] power (%s)", __func__, bVal ? "ON" : "OFF");
    persistChanged(m_bPowerOn, bVal, KEY_POWERON, &ISDBtDataManager::notifyPowerOnChanged);
}

void ISDBtDataManager::setAvRenderOn(bool bVal)
{
    LOG_I("[%s] avRenderOn (%s)", __func__, bVal ? "ON" : "OFF");
    persistChanged(m_bAvRenderOn, bVal, KEY_AVRENDERON, &ISDBtDataManager::notifyAvRenderOnChanged);
}

void ISDBtDataManager::setLanguage(int nVal)
{
    persistChanged(m_nLanguage, nVal, KEY_LANGUAGE, &ISDBtDataManager::notifyLanguageChanged);
}

void ISDBtDataManager::setMode(int nVal)
{
    persistInRange(__func__, m_nMode, nVal, 1, KEY_MODE, &ISDBtDataManager::notifyModeChanged);
}

void ISDBtDataManager::setScanType(int nVal)
{
    persistInRange(__func__, m_nScanType, nVal, 1, KEY_SCANTYPE, &ISDBtDataManager::notifyScanTypeChanged);
}

void ISDBtDataManager::setSegMode(int nVal)
{
    persistInRange(__func__, m_nSegMode, nVal, 4, KEY_SEGMODE, &ISDBtDataManager::notifySegModeChanged);
}

void ISDBtDataManager::setShowChannelInfo(int nVal)
{
    persistInRange(__func__, m_nShowChannelInfo, nVal, 2, KEY_SHOWCHANNELINFO,
                   &ISDBtDataManager::notifyShowChannelInfoChanged);
}

void ISDBtDataManager::setStationSearchType(int nVal)
{
    persistInRange(__func__, m_nStationSearchType, nVal, 1, KEY_STATIONSEARCHTYPE,
                   &ISDBtDataManager::notifyStationSearchTypeChanged);
}

void ISDBtDataManager::setStationSearchTime(int nVal)
{
    persistInRange(__func__, m_nStationSearchTime, nVal, 120, KEY_STATIONSEARCHTIME,
                   &ISDBtDataManager::notifyStationSearchTimeChanged);
}

void ISDBtDataManager::setSubtitle(int nVal)
{
    persistInRange(__func__, m_nSubtitle, nVal, 2, KEY_SUBTITLE, &ISDBtDataManager::notifySubtitleChanged);
}

void ISDBtDataManager::setSuperImpose(int nVal)
{
    persistInRange(__func__, m_nSuperImpose, nVal, 2, KEY_SUPERIMPOSE, &ISDBtDataManager::notifySuperImposeChanged);
}

void ISDBtDataManager::setBilingual(int nVal)
{
    persistInRange(__func__, m_nBilingual, nVal, 2, KEY_BILINGUAL, &ISDBtDataManager::notifyBilingualChanged);
}

void ISDBtDataManager::setShowTime(int nVal)
{
    persistInRange(__func__, m_nShowTime, nVal, 2, KEY_SHOWTIME, &ISDBtDataManager::notifyShowTimeChanged);
}

void ISDBtDataManager::setScreenRatio(int nVal)
{
    persistInRange(__func__, m_nScreenRatio, nVal, 2, KEY_SCREENRATIO, &ISDBtDataManager::notifyScreenRatiolChanged);
}

void ISDBtDataManager::setBackgroundSearch(int nVal)
{
    persistInRange(__func__, m_nBackgroundSearch, nVal, 2, KEY_BACKGROUNDSEARCH,
                   &ISDBtDataManager::notifyBackgroundSearchChanged);
}

void ISDBtDataManager::setEventRelay(int nVal)
{
    persistInRange(__func__, m_nEventRelay, nVal, 1, KEY_EVENTRELAY, &ISDBtDataManager::notifyEventRelayChanged);
}

void ISDBtDataManager::setScreenScale(int nVal)
{
    persistChanged(m_nScreenScale, nVal, KEY_SCREENSCALE, &ISDBtDataManager::notifyScreenScaleChanged);
}

void ISDBtDataManager::setVideoDelay(int nVal)
{
    persistChanged(m_nVideoDelay, nVal, KEY_VIDEODELAY, &ISDBtDataManager::notifyVideoDelayChanged);
}

void ISDBtDataManager::setCurrSegType(int nVal)
{
    persistChanged(m_nCurrSegType, nVal, KEY_CURRENTSEGTYPE, &ISDBtDataManager::notifyCurrSegTypeChanged);
}

void ISDBtDataManager::setVideoType(int nVal)
{
    // Both settings are also read by the boot loader from the misc record.
    if (m_nVideoType == nVal)
        return;
    LOG_H("[%s] %d", __func__, nVal);
    persistChanged(m_nVideoType, nVal, KEY_VIDEOTYPE, &ISDBtDataManager::notifyVideoTypeChanged, true);
}

void ISDBtDataManager::setHDMIMode(int nVal)
{
    // Both settings are also read by the boot loader from the misc record.
    if (m_nHDMIMode == nVal)
        return;
    LOG_H("[%s] %d", __func__, nVal);
    persistChanged(m_nHDMIMode, nVal, KEY_HDMIMODE, &ISDBtDataManager::notifyHDMIModeChanged, true);
}

// Memory-only status: store and signal a change; nothing is written.
void ISDBtDataManager::setHomeRemoconID(int nVal)
{
    storeChanged(m_nHomeRemoconID, nVal, &ISDBtDataManager::notifyHomeRemoconIDChanged);
}

void ISDBtDataManager::setHomeSubChannel(int nVal)
{
    storeChanged(m_nHomeSubChannel, nVal, &ISDBtDataManager::notifyHomeSubChannelChanged);
}

void ISDBtDataManager::setDriveRemoconID(int nVal)
{
    storeChanged(m_nDriveRemoconID, nVal, &ISDBtDataManager::notifyDriveRemoconIDChanged);
}

void ISDBtDataManager::setDriveSubChannel(int nVal)
{
    storeChanged(m_nDriveSubChannel, nVal, &ISDBtDataManager::notifyDriveSubChannelChanged);
}

void ISDBtDataManager::setCurrChannelNumber(int nVal)
{
    storeChanged(m_nCurrChannelNumber, nVal, &ISDBtDataManager::notifyCurrChannelNumberChanged);
}

void ISDBtDataManager::setCurrServiceID(int nVal)
{
    storeChanged(m_nCurrServiceID, nVal, &ISDBtDataManager::notifyCurrServiceIDChanged);
}

void ISDBtDataManager::setCurrStrDate(const QString& sVal)
{
    storeChanged(m_sCurrStrDate, sVal, &ISDBtDataManager::notifyCurrStrDateChanged);
}

void ISDBtDataManager::setCurrStrTime(const QString& sVal)
{
    storeChanged(m_sCurrStrTime, sVal, &ISDBtDataManager::notifyCurrStrTimeChanged);
}

void ISDBtDataManager::setCurrRemoconID(int nVal)
{
    storeChanged(m_nCurrRemoconID, nVal, &ISDBtDataManager::notifyCurrRemoconIDChanged);
}

void ISDBtDataManager::setCurrSubChannel(int nVal)
{
    storeChanged(m_nCurrSubChannel, nVal, &ISDBtDataManager::notifyCurrSubChannelChanged);
}

void ISDBtDataManager::setCurrDispSubChannel(int nVal)
{
    storeChanged(m_nCurrDispSubChannel, nVal, &ISDBtDataManager::notifyCurrDispSubChannelChanged);
}

void ISDBtDataManager::setCurrNetworkID(int nVal)
{
    storeChanged(m_nCurrNetworkID, nVal, &ISDBtDataManager::notifyCurrNetworkIDChanged);
}

void ISDBtDataManager::setCurrRemoconIdCount(int nVal)
{
    storeChanged(m_nCurrRemoconIdCount, nVal, &ISDBtDataManager::notifyCurrRemoconIdCountChanged);
}

void ISDBtDataManager::setCurrThreeDigitNumber(int nVal)
{
    storeChanged(m_nCurrThreeDigitNumber, nVal, &ISDBtDataManager::notifyCurrThreeDigitNumberChanged);
}

void ISDBtDataManager::setCurrChName(const QString& sVal)
{
    storeChanged(m_sCurrChName, sVal, &ISDBtDataManager::notifyCurrChNameChanged);
}

void ISDBtDataManager::setCurrStationIndex(int nVal)
{
    storeChanged(m_nCurrStationIndex, nVal, &ISDBtDataManager::notifyCurrStationIndexChanged);
}

void ISDBtDataManager::setCurrAudioPid(int nVal)
{
    storeChanged(m_nCurrAudioPid, nVal, &ISDBtDataManager::notifyCurrAudioPidChanged);
}

void ISDBtDataManager::setCurrAudioIndex(int nVal)
{
    storeChanged(m_nCurrAudioIndex, nVal, &ISDBtDataManager::notifyCurrAudioIndexChanged);
}

void ISDBtDataManager::setCurrAudioMode(int nVal)
{
    storeChanged(m_nCurrAudioMode, nVal, &ISDBtDataManager::notifyCurrAudioModeChanged);
}

void ISDBtDataManager::setCurrAudioSel(int nVal)
{
    storeChanged(m_nCurrAudioSel, nVal, &ISDBtDataManager::notifyCurrAudioSelChanged);
}

void ISDBtDataManager::setCurrProgramName(const QString& sVal)
{
    storeChanged(m_sCurrProgramName, sVal, &ISDBtDataManager::notifyCurrProgramNameChanged);
}

void ISDBtDataManager::setAntennaState(int nVal)
{
    storeChanged(m_nAntennaState, nVal, &ISDBtDataManager::notifyAntennaStateChanged);
}

void ISDBtDataManager::setSignalLevel(int nVal)
{
    storeChanged(m_nSignalLevel, nVal, &ISDBtDataManager::notifySignalLevelChanged);
}

void ISDBtDataManager::setAntStrengthLevel(int nVal)
{
    storeChanged(m_nAntStrengthLevel, nVal, &ISDBtDataManager::notifyAntStrengthLevelChanged);
}

void ISDBtDataManager::setCnrAvg(double fVal)
{
    storeChanged(m_fCnrAvg, fVal, &ISDBtDataManager::notifyCnrAvgChanged);
}

void ISDBtDataManager::set2TsCompStatus(bool bVal)
{
    storeChanged(m_b2TsCompStatus, bVal, &ISDBtDataManager::notify2TsCompStatusChanged);
}

void ISDBtDataManager::setSwVer(const QString& sVal)
{
    storeChanged(m_sSwVer, sVal, &ISDBtDataManager::notifySwVerChanged);
}

void ISDBtDataManager::setMicomVer(const QString& sVal)
{
    storeChanged(m_sMicomVer, sVal, &ISDBtDataManager::notifyMicomVerChanged);
}

void ISDBtDataManager::setFwVer(const QString& sVal)
{
    storeChanged(m_sFwVer, sVal, &ISDBtDataManager::notifyFwVerChanged);
}

void ISDBtDataManager::setChrontelVer(const QString& sVal)
{
    storeChanged(m_sChrontelVer, sVal, &ISDBtDataManager::notifyChrontelVerChanged);
}

void ISDBtDataManager::setUsePcber(bool bVal)
{
    storeChanged(m_bUsePcber, bVal, &ISDBtDataManager::notifyUsePcberChanged);
}

// The list counts signal on every call, so a view rebuilt with the same
// number of rows still refreshes.
void ISDBtDataManager::setCurrChannelListCnt(int nVal)
{
    m_nCurrChannelListCnt = nVal;
    emit notifyCurrChannelListCntChanged(m_nCurrChannelListCnt);
}

void ISDBtDataManager::setCurrStationListCnt(int nVal)
{
    m_nCurrStationListCnt = nVal;
    emit notifyCurrStationListCntChanged(m_nCurrStationListCnt);
}

void ISDBtDataManager::setCurrEpgListCnt(int nVal)
{
    m_nCurrEpgListCnt = nVal;
    emit notifyCurrEpgListCntChanged(m_nCurrEpgListCnt);
}
