// Picture presentation (aspect, scale, video delay), the display cable the
// board was booted for, the HDMI resolutions of the display manager, the HDMI
// mode change with its reboot, and the video-error watchdog.

#include "ISDBtAppEngine.h"

#include "DevRoot.h"
#include "ISDBtDataManager.h"
#include "ISDBtThread.h"
#include "ISDBtUtil.h"
#include "KelpAppLog.h"
#include "KvrOzbFSegPlayer.h"

#include <QFile>
#include <QQuickView>
#include <QStringList>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kCmdlineFile[] = "/proc/cmdline";
const char kSupportedResolutionFile[] = "/sys/class/kvr_dispman/kvr_dispman/persist_supported_resolution";
const char kHdmiResolutionFile[] = "/sys/class/kvr_dispman/kvr_dispman/persist_hdmi_resolution";

// Only the start of the command line is read; the cable token is near its end
// on the board but well within this.
const int kCmdlineReadSize = 1024;
const char kCableToken[] = "dispout_type";

// Cable kinds as returned by checkDispCable(); the log names the cable the
// command line gave, so kind 0 is logged as "DUAL" and kind 2 as "HDMI".
struct CableValue {
    const char* value;  // the token's value on the command line
    int kind;
};
const CableValue kCableValues[] = {{"DUAL", 0}, {"CVBS", 1}, {"HDMI", 2}};
const char* const kCableNames[] = {"DUAL", "CVBS", "HDMI"};

const char* const kHdmiModeNames[] = {"1080P", "720P", "480P"};

// Video-error counters stop here.
const int kVideoErrCountMax = 20;
// Decode errors within the watchdog window that count as a failing decoder.
const int kVideoErrRebootCount = 7;

enum VideoErrType { VideoErrDecode1 = 1, VideoErrDecode2 = 2, VideoErrMemory = 9 };

const char* hdmiModeName(int mode)
{
    return mode >= 0 && mode <= 2 ? kHdmiModeNames[mode] : "UNKNOWN";
}

// The mode an HDMI change switches to: 1080P and 720P toggle, 480P goes to 1080P.
int nextHdmiMode(int mode)
{
    const int next = mode + 1;
    return next > 1 ? 0 : next;
}

}  // namespace

void ISDBtAppEngine::execScreenRatioChange(int value)
{
    LOG_I("[%s] value(%d)", __func__, value);
    if (value < 0 || value > 2) {
        LOG_I("[%s] value(%d) is invalid", __func__, value);
        return;
    }
    setScreenRatio(value);
}

void ISDBtAppEngine::setScreenRatio(int value)
{
    m_pPlayer->setScreenMode(value);
    m_pDataManager->setScreenRatio(value);
}

void ISDBtAppEngine::execScreenScaleChange(int value)
{
    LOG_I("[%s] value(%d)", __func__, value);
    if (value < 80 || value > 100) {
        LOG_I("[%s] value(%d) is invalid", __func__, value);
        return;
    }
    setScreenScale(value);
}

void ISDBtAppEngine::setScreenScale(int value)
{
    LOG_I("[%s] value(%d)", __func__, value);
    m_pPlayer->setScreenScale(value);
    m_pDataManager->setScreenScale(value);
}

void ISDBtAppEngine::setVideoDelay(int value)
{
    LOG_I("[%s] value(%d)", __func__, value);
    if (value < 0 || value > 10) {
        LOG_I("[%s] value(%d) is invalid", __func__, value);
        return;
    }
    m_pPlayer->setVideoDelay(100 * value);
}

void ISDBtAppEngine::execVideoDelayChange(int value)
{
    LOG_I("[%s] val : %d", __func__, value);
    if (static_cast<unsigned>(value) > 10) {
        LOG_I("[%s] value(%d) is invalid", __func__, value);
        return;
    }
    // The same value still restarts the service: the preview may have left
    // the player at another delay.
    if (value == m_pDataManager->getVideoDelay())
        LOG_I("[%s] value(%d) is same", __func__, value);
    m_bInProcessing = true;
    stopService();
    m_pPlayer->setVideoDelay(100 * value);
    m_pDataManager->setVideoDelay(value);
    startService(false);
    m_bInProcessing = false;
}

int ISDBtAppEngine::parseDispCable(const char* text, size_t length)
{
    const size_t tokenLength = sizeof(kCableToken) - 1;
    // The value starts after the token and its "=".
    const size_t valueOffset = tokenLength + 1;
    const size_t valueLength = 4;
    for (size_t at = 0; at < length; ++at) {
        // A token starts the line or follows a space.
        size_t start;
        if (at == 0 && length >= tokenLength && std::memcmp(text, kCableToken, tokenLength) == 0)
            start = 0;
        else if (text[at] == ' ')
            start = at + 1;
        else
            continue;
        if (length - start < valueOffset + valueLength)
            break;
        if (std::memcmp(text + start, kCableToken, tokenLength) != 0 || text[start + tokenLength] != '=')
            continue;
        for (const CableValue& v : kCableValues) {
            if (std::memcmp(text + start + valueOffset, v.value, valueLength) == 0)
                return v.kind;
        }
    }
    return 2;
}

int ISDBtAppEngine::checkDispCable()
{
    const std::string path = devroot::path(kCmdlineFile);
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        LOG_I("cmdline file open error ~");
        return 2;
    }
    char buffer[kCmdlineReadSize];
    const size_t length = std::fread(buffer, 1, sizeof(buffer), file);
    std::fclose(file);
    const int kind = parseDispCable(buffer, length);
    LOG_I("[%s] Detected Cable : %s", __func__, kCableNames[kind]);
    return kind;
}

void ISDBtAppEngine::loadSupportedResolutionFile()
{
    const QString path = QString::fromStdString(devroot::path(kSupportedResolutionFile));
    QFile file(path);
    if (!file.exists()) {
        LOG_I("[%s] file(%s) is not exist !! ", __func__, kSupportedResolutionFile);
        return;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        LOG_I("[%s] file(%s) open fail !! ", __func__, kSupportedResolutionFile);
        return;
    }
    QTextStream in(&file);
    const QString line = in.readLine();
    LOG_I("[%s]  strData : %s", __func__, line.toLocal8Bit().constData());
    parsingSupportedResolutionFile(line);
    file.close();
}

static bool appendResolution(QList<tagHdmiResolution>* list, const QString& token)
{
    const QStringList fields = token.split(QLatin1Char(':'));
    if (fields.size() != 2)
        return false;
    tagHdmiResolution entry;
    entry.id = static_cast<int>(fields.at(0).toUInt());
    entry.name = fields.at(1);
    list->append(entry);
    return true;
}

QList<tagHdmiResolution> ISDBtAppEngine::parseSupportedResolutions(QString line)
{
    QList<tagHdmiResolution> list;
    if (line.length() < 3) {
        LOG_I("[%s] strData(%s) is too short(%d) or strData is empty !!", "parsingSupportedResolutionFile",
              line.toLocal8Bit().constData(), line.length());
        return list;
    }
    line = line.toUpper();
    if (!line.contains(QLatin1Char(':')))
        return list;
    const QStringList parts = line.split(QLatin1Char(' '));
    if (parts.size() < 2) {
        appendResolution(&list, line.trimmed());
    } else {
        for (const QString& part : parts) {
            const QString token = part.trimmed();
            if (token.contains(QLatin1Char(':')))
                appendResolution(&list, token);
        }
    }
    return list;
}

void ISDBtAppEngine::parsingSupportedResolutionFile(QString line)
{
    m_hdmiList = parseSupportedResolutions(line);
    for (int i = 0; i < m_hdmiList.size(); ++i)
        LOG_I("[%s] HDMI list[%d] id(%d) : %s", __func__, i, m_hdmiList.at(i).id,
              m_hdmiList.at(i).name.toLocal8Bit().constData());
}

int ISDBtAppEngine::hdmiModeForId(const QList<tagHdmiResolution>& list, const QString& line)
{
    const char* const func = "loadHdmiResolutionFile";
    // Read as the kernel writes it, unsigned; a value past INT_MAX (or a
    // "-1") is no resolution id.
    const int id = static_cast<int>(std::strtoul(line.trimmed().toLatin1().constData(), nullptr, 10));
    if (id < 0) {
        LOG_I("[%s] [%d] hdmiId(%d)  ==> unKnown !!!", func, __LINE__, id);
        return -1;
    }
    for (int i = 0; i < list.size(); ++i) {
        const tagHdmiResolution& entry = list.at(i);
        if (entry.id != id)
            continue;
        const QByteArray name = entry.name.toLocal8Bit();
        LOG_I("[%s] [%d] id(%d) : %s  ==> current hdmi resolution !!!", func, i, entry.id, name.constData());
        if (entry.name.contains(QLatin1String("X1080"), Qt::CaseInsensitive))
            return 0;
        if (entry.name.contains(QLatin1String("X0720"), Qt::CaseInsensitive))
            return 1;
        LOG_I("[%s] [%d] id(%d) : %s  ==> unKnown !!!", func, i, entry.id, name.constData());
        break;
    }
    LOG_I("[%s] [%d] hdmiId(%d)  is not exist in the supported hdim list", func, __LINE__, id);
    if (id <= 3)
        return 0;
    if (id <= 5)
        return 1;
    LOG_I("[%s] [%d] hdmiId(%d)  ==> unKnown !!!", func, __LINE__, id);
    return -1;
}

int ISDBtAppEngine::loadHdmiResolutionFile()
{
    const QString path = QString::fromStdString(devroot::path(kHdmiResolutionFile));
    QFile file(path);
    if (!file.exists()) {
        LOG_I("[%s] file(%s) is not exist !! ", __func__, kHdmiResolutionFile);
        return -1;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        LOG_I("[%s] file(%s) open fail !! ", __func__, kHdmiResolutionFile);
        return -1;
    }
    QTextStream in(&file);
    const QString line = in.readLine();
    file.close();
    LOG_I("[%s]  strData : %s", __func__, line.toLocal8Bit().constData());
    return hdmiModeForId(m_hdmiList, line);
}

void ISDBtAppEngine::checkCurrentHdmiResolution()
{
    const int old = m_pDataManager->getHDMIMode();
    loadSupportedResolutionFile();
    LOG_I("[%s] m_hdmiList size(%d),", __func__, m_hdmiList.size());
    const int cur = loadHdmiResolutionFile();
    LOG_I("[%s] [%d] (%d)", __func__, old, cur);
    if (cur >= 0 && cur != old) {
        m_pDataManager->setHDMIMode(cur);
        m_pPlayer->setHDMIMode(cur);
    }
}

bool ISDBtAppEngine::checkAvailableHdmiResolution()
{
    const int mode = m_pDataManager->getHDMIMode();
    const int next = nextHdmiMode(mode);
    LOG_I("[%s] (%d) %s -> %s", __func__, mode, hdmiModeName(mode), hdmiModeName(next));
    if (m_hdmiList.isEmpty())
        return true;
    const QString target = next == 1 ? QStringLiteral("1280X0720@60P") : QStringLiteral("1920X1080@60P");
    for (int i = 0; i < m_hdmiList.size(); ++i) {
        const tagHdmiResolution& entry = m_hdmiList.at(i);
        if (entry.name.contains(target, Qt::CaseInsensitive)) {
            LOG_I("[%s] [%d] id(%d) : %s  ==> found hdmi resolution !!!", __func__, i, entry.id,
                  entry.name.toLocal8Bit().constData());
            return true;
        }
    }
    return false;
}

void ISDBtAppEngine::changeHDMIMode()
{
    const int mode = m_pDataManager->getHDMIMode();
    const int next = nextHdmiMode(mode);
    LOG_H("[%s] changeHDMIMode(%d) %s -> %s", __func__, next, hdmiModeName(mode), hdmiModeName(next));
    m_bInProcessing = true;
    m_pJobThread->cancelAllJobs();
    m_pDataManager->setHDMIMode(next);
    m_pPlayer->setHDMIMode(next);
    powerOff(false);
    QThread::msleep(500);
    sutil::RunCmd("reboot");
}

void ISDBtAppEngine::startCheckVideoError()
{
    if (m_pCheckVideoErrTimer->isActive())
        m_pCheckVideoErrTimer->stop();
    m_nVideoErrCount = 0;
    m_nMemVideoErrCount = 0;
    m_pCheckVideoErrTimer->start();
}

void ISDBtAppEngine::stopCheckVideoError()
{
    if (m_pCheckVideoErrTimer->isActive())
        m_pCheckVideoErrTimer->stop();
}

void ISDBtAppEngine::onNotiryEventVideoError(int type)
{
    if (type == VideoErrMemory) {
        if (m_nMemVideoErrCount < kVideoErrCountMax)
            ++m_nMemVideoErrCount;
    } else if (type == VideoErrDecode1 || type == VideoErrDecode2) {
        if (m_nVideoErrCount < kVideoErrCountMax)
            ++m_nVideoErrCount;
    }
    LOG_H("[%s] type(%d) / m_nMemVideoErrCount(%d) m_nVideoErrCount(%d)", __func__, type, m_nMemVideoErrCount,
          m_nVideoErrCount);
}

void ISDBtAppEngine::checkVideoErrTimerHandler()
{
    LOG_I("[%s] m_nMemVideoErrCount(%d) m_nVideoErrCount(%d)", __func__, m_nMemVideoErrCount, m_nVideoErrCount);
    if (m_nMemVideoErrCount > 0 || m_nVideoErrCount >= kVideoErrRebootCount)
        rebootByVideoError();
    else
        stopCheckVideoError();
}

void ISDBtAppEngine::rebootByVideoError()
{
    LOG_H("[%s] m_nMemVideoErrCount(%d) m_nVideoErrCount(%d)", __func__, m_nMemVideoErrCount, m_nVideoErrCount);
    powerOff(false);
    sutil::RunCmd("reboot");
}

void ISDBtAppEngine::refreshScreen(bool bViewUpdate, bool bPlayerUpdate)
{
    LOG_I("[%s] bViewUpdate(%d) bPlayerUpdate(%d)", __func__, bViewUpdate, bPlayerUpdate);
    if (bViewUpdate) {
        if (m_pView != nullptr)
            m_pView->update();
        emit sendGoToMainScreen();
    }
}
