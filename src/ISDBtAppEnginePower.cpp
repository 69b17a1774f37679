// Engine power and lifecycle: the power toggle, power-on and power-off, the
// player's prepared and antenna-short events, the launcher's power-down and
// hot-plug requests, the end of the process and the factory reset.

#include "AppStartup.h"
#include "DevRoot.h"
#include "ISDBtAppEngine.h"
#include "ISDBtDataManager.h"
#include "ISDBtDevDetectHandler.h"
#include "ISDBtFactoryDataManager.h"
#include "ISDBtThread.h"
#include "ISDBtUtil.h"
#include "KelpAppLog.h"
#include "KvrOzbFSegDBManager.h"
#include "KvrOzbFSegPlayer.h"

#include <QQuickView>
#include <QTimer>

#include <unistd.h>

#include <cstdio>

void ISDBtAppEngine::execPower()
{
    LOG_I("[%s]", __func__);
    power();
}

void ISDBtAppEngine::power()
{
    LOG_H("[%s] m_bEnablePowerOnOffState(%d), m_bPowerOn(%d)", __func__, m_bEnablePowerOnOffState, m_bPowerOn);
    if (!m_bEnablePowerOnOffState || checkPlayerScanState()) {
        LOG_H("=======> m_bEnablePowerOnOffState is FALSE!!! Ignore this event~");
        return;
    }
    setEnablePowerOnOffState(false);
    if (!m_bPowerOn) {
        LOG_I("power()");
        powerOn(true);
        return;
    }
    m_bSavePowerState = true;
    // A station search holds the channel change open until it ends (up to
    // the handover timer's three minutes): cancelled here, the power-off
    // below happens at once.
    stopSearch();
    // Stops the loop and waits for it (1000 ms at most), logging the outcome.
    if (m_pJobThread->isThreadStarted())
        m_pJobThread->stopJobThread();
    if (m_bEnableSetChannel) {
        powerOff(true);
    } else {
        // The end of the running channel change powers off.
        m_bPowerOffAfterSetChannel = true;
    }
}

void ISDBtAppEngine::onSendPowerOn()
{
    powerOn(false);
}

void ISDBtAppEngine::onSendCompleteThreadAndPowerOff()
{
    powerOff(m_bSavePowerState);
}

void ISDBtAppEngine::powerOn(bool byRemocon)
{
    LOG_H("[%s] byRemocon(%d)", __func__, byRemocon);
    // A power-off deferred in an earlier session must not end this one.
    m_bPowerOffAfterSetChannel = false;
    kelp_app_log_save_start();
    setAppPowerOn(true);
    m_pDataManager->setPowerOn(true);
    setPollingTimer(false);
    if (!m_pJobThread->isThreadStarted())
        m_pJobThread->startJobThread();
    setOzbState(Preparing);
    m_pJobThread->request(ISDBtThread::AccOnAndPrepareMode, -1, -1, -1, -1, nullptr, -1);
    emit sendPowerOn();
}

void ISDBtAppEngine::onNotifyPrepared()
{
    LOG_I("[%s]", __func__);
    // A prepared event of a player that a power-off has released since: the
    // service must not start on a player that is gone.
    if (!m_bPowerOn) {
        LOG_H("[%s] Power is off. ignore the prepared event of a released player", __func__);
        return;
    }
    setOzbState(Prepared);
    if (m_bHPDChanged) {
        m_bHPDChanged = false;
        if (m_bHPDState != 0) {
            if (m_pView != nullptr)
                m_pView->update();
            emit sendGoToMainScreen();
        } else if (m_bPowerOn) {
            // Unplugged while preparing: the cable's power-off, not stored.
            m_bSavePowerState = false;
            powerOff(false);
            return;
        }
    }
    // Each power-on makes a new player with its own background-search
    // default: the stored choice goes to it before the service starts.
    setBackSearchInfo2TS();
    m_pPlayer->setScreenMode(m_pDataManager->getScreenRatio());
    m_pPlayer->setScreenScale(m_pDataManager->getScreenScale());
    m_pPlayer->setAudioDualMono(m_pDataManager->getBilingual());
    // Stored in tenths of a second; the player takes milliseconds. The file
    // may hold more tenths than an int holds milliseconds.
    m_pPlayer->setVideoDelay(sutil::SaturateToInt(100LL * m_pDataManager->getVideoDelay()));
    startAV(false);
    emit sendPrepared();
}

void ISDBtAppEngine::powerOff(bool bSave)
{
    LOG_I("[%s] bSave(%d), m_bPowerOn(%d)", __func__, bSave, m_bPowerOn);
    if (!m_bPowerOn) {
        LOG_I("[%s] already power off", __func__);
        return;
    }
    m_bInProcessing = true;
    // Whatever deferred this power-off, it is done now.
    m_bPowerOffAfterSetChannel = false;
    m_bStopSearchPowerOff = false;
    m_bStopScanPowerOff = false;
    LOG_I("[%s] getPlayerState(%d)", __func__, m_pPlayer->getPlayerState());
    if (checkPlayerScanState())
        m_pPlayer->scanCancel();
    setPollingTimer(false);
    m_pJobThread->cancelAllJobs();
    m_pPlayer->release();
    m_pOzbDBManager->release();
    m_pDataManager->setAudioMute(false);
    m_bForceSetChannelWhenFirstStartService = true;
    m_bEnableSetChannel = true;
    setAppPowerOn(false);
    if (bSave)
        m_pDataManager->setPowerOn(false);
    m_pDataManager->saveUnsavedData();
    setEnablePowerOnOffState(true);
    emit sendPowerOff();
    kelp_app_log_save_stop();
    if (!sutil::RunCmd("sync"))
        printf("[isdbt] [%s] runCmd(sync) fail!!\n", "powerOff");
    m_bInProcessing = false;
    if (m_bHPDState == 1 && m_bHPDChanged) {
        // Plugged in while powering off: power on again instead.
        m_bHPDChanged = false;
        powerOn(false);
        return;
    }
    setOzbState(Released);
}

void ISDBtAppEngine::setEnablePowerOnOffState(bool enable)
{
    m_bEnablePowerOnOffState = enable;
    LOG_H("[%s] (%s)", __func__, enable ? "TRUE" : "FALSE");
}

void ISDBtAppEngine::release()
{
    LOG_H("[%s]", __func__);
    SendDBusSetRunning(0);
    stopUsbDetect();
    if (m_bPowerOn) {
        // The stored power state stays on, so the next start powers on.
        m_bSavePowerState = false;
        powerOff(false);
    }
    ReleaseDBusManager();
}

void ISDBtAppEngine::AppResponsePowerMode(int mode)
{
    LOG_I("[%s] byRemocon(%d)", __func__, mode);
    m_pDataManager->setStartPower(mode == 1 ? 1 : 0);
}

void ISDBtAppEngine::AppRequestPowerDownControl()
{
    LOG_I("[%s] m_bPowerOn(%d)", __func__, m_bPowerOn);
    if (m_bPowerOn) {
        m_bSavePowerState = false;
        powerOff(false);
    }
    SendDBusResponsePowerDownControl();
}

void ISDBtAppEngine::AppRequestHPDControl(int state)
{
    LOG_H("[%s] state(%d)", __func__, state);
    if (state != m_bHPDState) {
        m_bHPDState = state;
        emit sendHPDStateChanged(state);
        m_bHPDChanged = true;
    }
    if (state != 0) {
        if (m_nOzbState == Released && !m_bPowerOn)
            powerOn(false);
        if (m_nOzbState != Released)
            LOG_I("[%s] OzbState is not Released. skip and check later", __func__);
        return;
    }
    if (m_nOzbState != Prepared) {
        LOG_I("[%s] OzbState is not Prepared. skip and check later", __func__);
    } else if (m_bPowerOn) {
        m_bSavePowerState = false;
        powerOff(false);
    }
}

void ISDBtAppEngine::AppReqAccOff()
{
    LOG_I("[%s]", __func__);
    m_bSavePowerState = false;
    powerOff(false);
}

void ISDBtAppEngine::execFactoryReset()
{
    LOG_I("[%s]", __func__);
    factoryReset();
}

void ISDBtAppEngine::AppReqFactoryReset()
{
    LOG_I("[%s]", __func__);
    factoryReset();
}

void ISDBtAppEngine::factoryReset()
{
    LOG_I("[%s] ", __func__);
    m_bInProcessing = true;
    m_bSavePowerState = false;
    powerOff(false);
    m_pDataManager->reset();
    m_pOzbDBManager->reset();
    sutil::RemoveAllFilesDirPath(devroot::path(startup::kLogoDir));
    setFactoryReset(true);
    usleep(3000);
    sutil::RunCmd("reboot");
}

void ISDBtAppEngine::execFactoryTestComplete()
{
    LOG_I("[%s]", __func__);
    m_bFactoryMode = false;
    m_pFactoryDataManager->setStatus(2);
    // The factory screens no longer need the USB stick.
    if (m_pDevDetectHandler != nullptr)
        m_pDevDetectHandler->setCheckUsb(false);
    stopUsbDetect();
    if (m_pFactoryDataManager->getResult() == 2)
        factoryReset();
}

void ISDBtAppEngine::onNotifyAntenaShortStatus(int status)
{
    if (status == m_pDataManager->getAntennaState())
        return;
    m_pDataManager->setAntennaState(status);
    // Late news from a released player: the next power-on reads the state.
    if (!m_bPowerOn) {
        LOG_I("[%s] Power is off. antenna state(%d) stored only", __func__, status);
        return;
    }
    if (status != 0) {
        LOG_I("AntennaState is shorted!!!!!!!");
        if (!m_bFactoryMode) {
            m_bInProcessing = true;
            stopAV(true);
        }
    } else {
        LOG_I("AntennaState is connected!!!!!!!");
        if (!m_bFactoryMode) {
            m_bInProcessing = false;
            startAV(false);
        }
    }
}

void ISDBtAppEngine::stopService()
{
    LOG_H("[%s]", __func__);
    setPollingTimer(false);
    m_pJobThread->cancelAllJobs();
    if (m_pDataManager->getSubtitle() != 0)
        m_pPlayer->setSubtitle(0);
    if (m_pDataManager->getSuperImpose() != 0)
        m_pPlayer->setSuperImpose(0);
    m_pPlayer->stop();
    setStartServiceDone(false);
}

void ISDBtAppEngine::stopScanAndPowerOff()
{
    LOG_I("[%s]", __func__);
    setEnablePowerOnOffState(false);
    if (!checkPlayerScanState()) {
        // No scan whose completion could power off.
        powerOff(true);
        return;
    }
    m_bStopScanPowerOff = true;
    stopScan();
}

void ISDBtAppEngine::stopAV(bool unmute)
{
    LOG_H("[%s] unmute(%d)", __func__, unmute);
    if (!m_bPowerOn)
        LOG_I("[%s] Power is off!! skip", __func__);
    stopService();
    m_pOzbDBManager->release();
    if (unmute)
        m_pDataManager->setAudioMute(false);
}
