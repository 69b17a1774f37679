// Settings commands of the engine (clock display, event relay, ACC-on), the log copy to the USB stick, the hidden
// entry into the engineering and factory modes, the boot logo and the USB
// detector.

#include "ISDBtAppEngine.h"

#include "DevRoot.h"
#include "ISDBtBootLogoThread.h"
#include "ISDBtDataManager.h"
#include "ISDBtDevDetectHandler.h"
#include "ISDBtFactoryDataManager.h"
#include "ISDBtUtil.h"
#include "KelpAppLog.h"
#include "KeyGate.h"
#include "KvrOzbFSegPlayer.h"

#include <QTimer>

#include <cstdio>

namespace {

const char kPlayerMain[] = "ISDBtPlayerMain";
const char kUsbMount[] = "/run/media/sda1/";
const char kFactoryUsbMarker[] = "/run/media/sda1/qmnrv2z-max.txt";

bool inRange(int value, int low, int high)
{
    return value >= low && value <= high;
}

// Hidden-mode sequences: a key (or a touch region) repeated `count` times per
// step.
struct KeyStep {
    int key;
    int count;
};
const KeyStep kEngKeySteps[] = {
    {keygate::KeyUp, 3}, {keygate::KeyDn, 3}, {keygate::KeyLeft, 2}, {keygate::KeyRight, 2}, {keygate::KeyOk, 3},
};
constexpr int kEngLevels = 5;
static_assert(sizeof kEngKeySteps / sizeof kEngKeySteps[0] == kEngLevels, "five engineering steps");
// Leaves engineering mode while it is on.
constexpr int kEngExitKey = keygate::KeyBack;

// Regions in the launcher's touch coordinates (a 1280 x 720 panel).
struct TouchStep {
    int x, y, w, h;
    int count;
};
const TouchStep kEngTouchSteps[] = {
    {0, 0, 160, 160, 2},       // top left
    {1120, 0, 160, 160, 2},    // top right
    {1120, 560, 160, 160, 2},  // bottom right
    {0, 560, 160, 160, 2},     // bottom left
    {560, 280, 160, 160, 3},   // centre
};
static_assert(sizeof kEngTouchSteps / sizeof kEngTouchSteps[0] == kEngLevels, "five touch steps");

const int kFactoryKeys[] = {keygate::KeyUp, keygate::KeyUp, keygate::KeyDn, keygate::KeyDn, keygate::KeyLeft,
                            keygate::KeyRight};
constexpr int kFactoryLevels = sizeof kFactoryKeys / sizeof kFactoryKeys[0];

}  // namespace

void ISDBtAppEngine::execClockDisplayChange(int value)
{
    LOG_I("[%s] val : %d", __func__, value);
    if (!inRange(value, 0, 2)) {
        LOG_I("[%s] value(%d) is invalid", __func__, value);
        return;
    }
    m_pDataManager->setShowTime(value);
}

void ISDBtAppEngine::execEventRelayChange(int value)
{
    LOG_I("[%s] val : %d", __func__, value);
    if (!inRange(value, 0, 1)) {
        LOG_I("[%s] value(%d) is invalid", __func__, value);
        return;
    }
    m_pDataManager->setEventRelay(value);
}

void ISDBtAppEngine::execAccOpChange(int value)
{
    LOG_I("[%s] val : %d", __func__, value);
    const int startPower = value > 0 ? 1 : 0;
    m_pDataManager->setStartPower(startPower);
    SendDBusRequestPowerMode(1, startPower);
}

void ISDBtAppEngine::execLogCopy()
{
    LOG_I("[%s]", __func__);
    if (!sutil::DirectoryExists(devroot::path(kUsbMount).c_str())) {
        emit sendToastMessage(QStringLiteral("USB is not accessable!"));
        emit sendCompleteLogCopy(false);
        return;
    }
    // The copy blocks this thread for long: the launcher must not take it for
    // a hang, and keys are refused meanwhile.
    SendDBusSetCheckAlive(0);
    setInCopyingLog(true);
    stopService();

    const int resultApp = kelp_app_log_copy_log_files_to_usb();
    const int resultOzb = m_pPlayer->copyLogFilesToUsb();
    bool result = false;
    if (resultApp != 0 || resultOzb != 0) {
        LOG_I("[%s] fail!! resultApp(%d) resultOzb(%d)", __func__, resultApp, resultOzb);
        emit sendToastMessage(QStringLiteral("Log Export Fail!"));
    } else {
        int status = -1;
        if (!sutil::RunCmd("sync", &status) || status != 0) {
            std::printf("[isdbt] [%s] runCmd(sync) fail!!\n", __func__);
            std::fflush(stdout);
        }
        emit sendToastMessage(QStringLiteral("Log Export Succeed!"));
        result = true;
    }

    setInCopyingLog(false);
    emit sendCompleteLogCopy(result);
    startService(false);
    SendDBusSetCheckAlive(1);
}

void ISDBtAppEngine::printLog(QString)
{
}

void ISDBtAppEngine::printLogAll(QString text)
{
    kelp_app_log(LOG_LEVEL_VERBOSE, KELP_COLOR_MAGENTA, KELP_FILE_NAME, __LINE__, "[Q]", "%s", qPrintable(text));
}

bool ISDBtAppEngine::checkEngModeByKey(int key, int status)
{
    if (m_bEngMode) {
        if (key == kEngExitKey && status == KeyPressed) {
            setEngMode(false);
            emit sendExitEngMode();
        }
        return false;
    }
    if (m_nEngKeyLevel >= kEngLevels) {
        m_nEngKeyLevel = 0;
        m_nEngKeyCount = 0;
        return false;
    }
    const KeyStep& step = kEngKeySteps[m_nEngKeyLevel];
    if (status != KeyPressed || key != step.key || m_sCurrentScreen != QLatin1String(kPlayerMain)) {
        // The step starts over; the steps already made stay.
        m_nEngKeyCount = 0;
        m_pEngKeyCheckTimer->stop();
        return false;
    }
    m_pEngKeyCheckTimer->start();
    if (++m_nEngKeyCount < step.count)
        return true;
    m_nEngKeyCount = 0;
    LOG_I("[%s] level(%d)", __func__, m_nEngKeyLevel + 1);
    if (++m_nEngKeyLevel < kEngLevels)
        return true;
    m_nEngKeyLevel = 0;
    m_pEngKeyCheckTimer->stop();
    setEngMode(true);
    emit sendEnterEngMode();
    return true;
}

void ISDBtAppEngine::engKeyCheckTimerHandler()
{
    LOG_I("[%s] level(%d) count(%d)", __func__, m_nEngKeyLevel, m_nEngKeyCount);
    m_nEngKeyLevel = 0;
    m_nEngKeyCount = 0;
}

bool ISDBtAppEngine::checkEngMode(int x, int y)
{
    if (m_nEngTouchLevel >= kEngLevels) {
        m_nEngTouchLevel = 0;
        m_nEngTouchCount = 0;
        return false;
    }
    const TouchStep& step = kEngTouchSteps[m_nEngTouchLevel];
    const bool inside = x >= step.x && x < step.x + step.w && y >= step.y && y < step.y + step.h;
    if (!inside || m_sCurrentScreen != QLatin1String(kPlayerMain)) {
        m_pEngCheckTimer->stop();
        return false;
    }
    m_pEngCheckTimer->start();
    if (++m_nEngTouchCount < step.count)
        return true;
    m_nEngTouchCount = 0;
    LOG_I("[%s] level(%d)", __func__, m_nEngTouchLevel + 1);
    ++m_nEngTouchLevel;
    if (m_nEngTouchLevel >= kEngLevels) {
        m_pEngCheckTimer->stop();
        setEngMode(true);
        emit sendEnterEngMode();
    }
    return true;
}

void ISDBtAppEngine::engChenckTimerHandler()
{
    LOG_I("[%s] level(%d) count(%d)", __func__, m_nEngTouchLevel, m_nEngTouchCount);
    m_nEngTouchLevel = 0;
    m_nEngTouchCount = 0;
}

bool ISDBtAppEngine::checkFactoryModeByKey(int key, int status)
{
    if (status != KeyPressed)
        return false;
    if (key != kFactoryKeys[m_nFactoryKeyLevel]) {
        m_nFactoryKeyLevel = 0;
        m_pFactoryKeyCheckTimer->stop();
        return false;
    }
    ++m_nFactoryKeyLevel;
    LOG_I("[%s] level(%d)", __func__, m_nFactoryKeyLevel);
    if (m_nFactoryKeyLevel < kFactoryLevels) {
        m_pFactoryKeyCheckTimer->start();
        return true;
    }
    m_pFactoryKeyCheckTimer->stop();
    m_pDataManager->setSegMode(4);
    emit sendEnterFactoryMode();
    m_bFactoryMode = true;
    m_pFactoryDataManager->setStatus(1);
    m_nFactoryKeyLevel = 0;
    return true;
}

void ISDBtAppEngine::factoryKeyCheckTimerHandler()
{
    LOG_I("[%s] level(%d)", __func__, m_nFactoryKeyLevel);
    m_nFactoryKeyLevel = 0;
}

void ISDBtAppEngine::showBootLogo()
{
    LOG_I("[%s]", __func__);
    if (m_pBootLogoThread == nullptr)
        m_pBootLogoThread = new ISDBtBootLogoThread(this);
    if (!m_pBootLogoThread->isRunning())
        m_pBootLogoThread->start();
}

void ISDBtAppEngine::execStartUsbDetect()
{
    LOG_I("[%s]", __func__);
    if (m_pDevDetectHandler == nullptr) {
        m_pDevDetectHandler = new ISDBtDevDetectHandler(this);
        connect(m_pDevDetectHandler, &ISDBtDevDetectHandler::sendUsbDetectStatus, this,
                &ISDBtAppEngine::onSendUsbDetectStatus);
    }
    m_pDevDetectHandler->setCheckUsb(true);
    m_pDevDetectHandler->startDetect();
}

void ISDBtAppEngine::stopUsbDetect()
{
    if (m_pDevDetectHandler != nullptr && m_pDevDetectHandler->isRunning())
        m_pDevDetectHandler->stop();
}

bool ISDBtAppEngine::execFactoryCheckUsbAccess()
{
    LOG_I("[%s]", __func__);
    const std::string path = devroot::path(kFactoryUsbMarker);
    if (sutil::AccessFile(path.c_str()))
        return true;
    LOG_I("[%s] (%s) is not exist!!", __func__, kFactoryUsbMarker);
    return false;
}

void ISDBtAppEngine::onSendUsbDetectStatus(int status)
{
    LOG_I("[%s] status(%d)", __func__, status);
    setUsbDetection(status);
}
