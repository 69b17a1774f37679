#include "ISDBtFactoryDataManager.h"

#include "DevRoot.h"
#include "ISDBtUtil.h"
#include "KelpAppLog.h"

#include <QSettings>

#include <initializer_list>
#include <utility>

ISDBtFactoryDataManager* ISDBtFactoryDataManager::m_pInstance = nullptr;

const QString ISDBtFactoryDataManager::KEY_FACTORY_FINALRESULT = QStringLiteral("finalResult");
const QString ISDBtFactoryDataManager::KEY_FACTORY_PCB_RESULT = QStringLiteral("pcbResult");
const QString ISDBtFactoryDataManager::KEY_FACTORY_ASSY_RESULT = QStringLiteral("assyResult");
const QString ISDBtFactoryDataManager::KEY_FACTORY_STATUS = QStringLiteral("status");
const QString ISDBtFactoryDataManager::KEY_FACTORY_RESULT = QStringLiteral("result");
const QString ISDBtFactoryDataManager::KEY_FACTORY_FWVERSION = QStringLiteral("fwVersion");
const QString ISDBtFactoryDataManager::KEY_FACTORY_CHRONTELVERSION = QStringLiteral("chrontelVersion");
const QString ISDBtFactoryDataManager::KEY_FACTORY_PRODUCTCURRENT = QStringLiteral("productCurrent");
const QString ISDBtFactoryDataManager::KEY_FACTORY_ANTCURRENT = QStringLiteral("antCurrent");
const QString ISDBtFactoryDataManager::KEY_FACTORY_ANTSHORT = QStringLiteral("antShort");
const QString ISDBtFactoryDataManager::KEY_FACTORY_HDMIOUTPUT = QStringLiteral("hdmiOutput");
const QString ISDBtFactoryDataManager::KEY_FACTORY_CVBSOUTPUT = QStringLiteral("cvbsOutput");
const QString ISDBtFactoryDataManager::KEY_FACTORY_CVBSLEFTOUTPUT = QStringLiteral("cvbsLeftOutput");
const QString ISDBtFactoryDataManager::KEY_FACTORY_CVBSRIGHTOUTPUT = QStringLiteral("cvbsRightOutput");
const QString ISDBtFactoryDataManager::KEY_FACTORY_HDMISELECTOR = QStringLiteral("hdmiSeletor");
const QString ISDBtFactoryDataManager::KEY_FACTORY_SCAN = QStringLiteral("scan");
const QString ISDBtFactoryDataManager::KEY_FACTORY_HIGHFREQUENCY_P1 = QStringLiteral("highFreq01");
const QString ISDBtFactoryDataManager::KEY_FACTORY_HIGHFREQUENCY_P2 = QStringLiteral("highFreq02");
const QString ISDBtFactoryDataManager::KEY_FACTORY_HIGHFREQUENCY_P3 = QStringLiteral("highFreq03");
const QString ISDBtFactoryDataManager::KEY_FACTORY_HIGHFREQUENCY_P4 = QStringLiteral("highFreq04");
const QString ISDBtFactoryDataManager::KEY_FACTORY_LOWFREQUENCY_P1 = QStringLiteral("lowFreq01");
const QString ISDBtFactoryDataManager::KEY_FACTORY_LOWFREQUENCY_P2 = QStringLiteral("lowFreq02");
const QString ISDBtFactoryDataManager::KEY_FACTORY_LOWFREQUENCY_P3 = QStringLiteral("lowFreq03");
const QString ISDBtFactoryDataManager::KEY_FACTORY_LOWFREQUENCY_P4 = QStringLiteral("lowFreq04");
const QString ISDBtFactoryDataManager::KEY_FACTORY_USBPORT = QStringLiteral("usbPort");
const QString ISDBtFactoryDataManager::KEY_FACTORY_DATOUCH = QStringLiteral("daTouch");
const QString ISDBtFactoryDataManager::KEY_FACTORY_HIGHFREQUENCY_P1_CNR = QStringLiteral("highFreq01Cnr");
const QString ISDBtFactoryDataManager::KEY_FACTORY_HIGHFREQUENCY_P2_CNR = QStringLiteral("highFreq02Cnr");
const QString ISDBtFactoryDataManager::KEY_FACTORY_HIGHFREQUENCY_P3_CNR = QStringLiteral("highFreq03Cnr");
const QString ISDBtFactoryDataManager::KEY_FACTORY_HIGHFREQUENCY_P4_CNR = QStringLiteral("highFreq04Cnr");
const QString ISDBtFactoryDataManager::KEY_FACTORY_LOWFREQUENCY_P1_CNR = QStringLiteral("lowFreq01Cnr");
const QString ISDBtFactoryDataManager::KEY_FACTORY_LOWFREQUENCY_P2_CNR = QStringLiteral("lowFreq02Cnr");
const QString ISDBtFactoryDataManager::KEY_FACTORY_LOWFREQUENCY_P3_CNR = QStringLiteral("lowFreq03Cnr");
const QString ISDBtFactoryDataManager::KEY_FACTORY_LOWFREQUENCY_P4_CNR = QStringLiteral("lowFreq04Cnr");

namespace {

const char kFactoryFile[] = "/home/root/isdbt/factory.ini";

// 2 when every member passed, else 1 when any failed, else 0.
int groupVerdict(std::initializer_list<int> members)
{
    bool allPassed = true;
    bool anyFailed = false;
    for (int v : members) {
        if (v != 2)
            allPassed = false;
        if (v == 1)
            anyFailed = true;
    }
    if (allPassed)
        return 2;
    return anyFailed ? 1 : 0;
}

}  // namespace

ISDBtFactoryDataManager::ISDBtFactoryDataManager(QObject* parent)
    : QObject(parent)
{
    LOG_I("[%s]==================== ISDBtFactoryDataManager Start ====================", __func__);
    m_pSettings = new QSettings(QString::fromStdString(devroot::path(kFactoryFile)),
                                QSettings::NativeFormat);
    initialize();
}

ISDBtFactoryDataManager::~ISDBtFactoryDataManager()
{
    delete m_pSettings;
}

void ISDBtFactoryDataManager::initialize()
{
    LOG_I("[%s]==================== ISDBtFactoryDataManager initialize ====================", __func__);
    loadProperties();
}

void ISDBtFactoryDataManager::loadProperties()
{
    m_nFinalResult = m_pSettings->value(KEY_FACTORY_FINALRESULT, 0).toInt();
    m_nPcbResult = m_pSettings->value(KEY_FACTORY_PCB_RESULT, 0).toInt();
    m_nAssyResult = m_pSettings->value(KEY_FACTORY_ASSY_RESULT, 0).toInt();
    m_nStatus = m_pSettings->value(KEY_FACTORY_STATUS, 0).toInt();
    m_nResult = m_pSettings->value(KEY_FACTORY_RESULT, 0).toInt();
    m_nResFwVersion = m_pSettings->value(KEY_FACTORY_FWVERSION, 0).toInt();
    m_nResChrontelVersion = m_pSettings->value(KEY_FACTORY_CHRONTELVERSION, 0).toInt();
    m_nResProductCurrent = m_pSettings->value(KEY_FACTORY_PRODUCTCURRENT, 0).toInt();
    m_nResAntCurrent = m_pSettings->value(KEY_FACTORY_ANTCURRENT, 0).toInt();
    m_nResAntShort = m_pSettings->value(KEY_FACTORY_ANTSHORT, 0).toInt();
    m_nResHdmiOutput = m_pSettings->value(KEY_FACTORY_HDMIOUTPUT, 0).toInt();
    m_nResCvbsOutput = m_pSettings->value(KEY_FACTORY_CVBSOUTPUT, 0).toInt();
    m_nResCvbsLeftOutput = m_pSettings->value(KEY_FACTORY_CVBSLEFTOUTPUT, 0).toInt();
    m_nResCvbsRightOutput = m_pSettings->value(KEY_FACTORY_CVBSRIGHTOUTPUT, 0).toInt();
    m_nResHdmiSelector = m_pSettings->value(KEY_FACTORY_HDMISELECTOR, 0).toInt();
    m_nResScan = m_pSettings->value(KEY_FACTORY_SCAN, 0).toInt();
    m_nResHighFreqP1 = m_pSettings->value(KEY_FACTORY_HIGHFREQUENCY_P1, 0).toInt();
    m_nResHighFreqP2 = m_pSettings->value(KEY_FACTORY_HIGHFREQUENCY_P2, 0).toInt();
    m_nResHighFreqP3 = m_pSettings->value(KEY_FACTORY_HIGHFREQUENCY_P3, 0).toInt();
    m_nResHighFreqP4 = m_pSettings->value(KEY_FACTORY_HIGHFREQUENCY_P4, 0).toInt();
    m_nResLowFreqP1 = m_pSettings->value(KEY_FACTORY_LOWFREQUENCY_P1, 0).toInt();
    m_nResLowFreqP2 = m_pSettings->value(KEY_FACTORY_LOWFREQUENCY_P2, 0).toInt();
    m_nResLowFreqP3 = m_pSettings->value(KEY_FACTORY_LOWFREQUENCY_P3, 0).toInt();
    m_nResLowFreqP4 = m_pSettings->value(KEY_FACTORY_LOWFREQUENCY_P4, 0).toInt();
    m_nResUsbPort = m_pSettings->value(KEY_FACTORY_USBPORT, 0).toInt();
    m_nResDATouch = m_pSettings->value(KEY_FACTORY_DATOUCH, 0).toInt();
    m_nResHighFreqP1Cnr = m_pSettings->value(KEY_FACTORY_HIGHFREQUENCY_P1_CNR, 0).toInt();
    m_nResHighFreqP2Cnr = m_pSettings->value(KEY_FACTORY_HIGHFREQUENCY_P2_CNR, 0).toInt();
    m_nResHighFreqP3Cnr = m_pSettings->value(KEY_FACTORY_HIGHFREQUENCY_P3_CNR, 0).toInt();
    m_nResHighFreqP4Cnr = m_pSettings->value(KEY_FACTORY_HIGHFREQUENCY_P4_CNR, 0).toInt();
    m_nResLowFreqP1Cnr = m_pSettings->value(KEY_FACTORY_LOWFREQUENCY_P1_CNR, 0).toInt();
    m_nResLowFreqP2Cnr = m_pSettings->value(KEY_FACTORY_LOWFREQUENCY_P2_CNR, 0).toInt();
    m_nResLowFreqP3Cnr = m_pSettings->value(KEY_FACTORY_LOWFREQUENCY_P3_CNR, 0).toInt();
    m_nResLowFreqP4Cnr = m_pSettings->value(KEY_FACTORY_LOWFREQUENCY_P4_CNR, 0).toInt();
    printProperties();
}

void ISDBtFactoryDataManager::printProperties()
{
    LOG_I("[%s]==================== Factory Properties ====================", __func__);
    LOG_I("[%s] FinalResult = %d", __func__, m_nFinalResult);
    LOG_I("[%s] PcbResult = %d", __func__, m_nPcbResult);
    LOG_I("[%s] AssyResult = %d", __func__, m_nAssyResult);
    LOG_I("[%s] Status = %d", __func__, m_nStatus);
    LOG_I("[%s] Result = %d", __func__, m_nResult);
    LOG_I("[%s] ResFwVersion = %d", __func__, m_nResFwVersion);
    LOG_I("[%s] ResChrontelVersion = %d", __func__, m_nResChrontelVersion);
    LOG_I("[%s] ResProductCurrent = %d", __func__, m_nResProductCurrent);
    LOG_I("[%s] ResAntCurrent = %d", __func__, m_nResAntCurrent);
    LOG_I("[%s] ResAntShort = %d", __func__, m_nResAntShort);
    LOG_I("[%s] ResScan = %d", __func__, m_nResScan);
    LOG_I("[%s] ResHighFreqP1 = %d", __func__, m_nResHighFreqP1);
    LOG_I("[%s] ResHighFreqP2 = %d", __func__, m_nResHighFreqP2);
    LOG_I("[%s] ResHighFreqP3 = %d", __func__, m_nResHighFreqP3);
    LOG_I("[%s] ResHighFreqP4 = %d", __func__, m_nResHighFreqP4);
    LOG_I("[%s] ResHdmiOutput = %d", __func__, m_nResHdmiOutput);
    LOG_I("[%s] ResCvbsOutput = %d", __func__, m_nResCvbsOutput);
    LOG_I("[%s] ResCvbsLeftOutput = %d", __func__, m_nResCvbsLeftOutput);
    LOG_I("[%s] ResCvbsRightOutput = %d", __func__, m_nResCvbsRightOutput);
}

void ISDBtFactoryDataManager::saveProperty(bool sync, bool recheck)
{
    if (!m_bSaveEnabled)
        return;
    if (sync) {
        m_pSettings->sync();
        sutil::RunCmd("sync");
    }
    if (recheck)
        checkAllTestResult();
}

void ISDBtFactoryDataManager::checkAllTestResult()
{
    setResult(groupVerdict({m_nResFwVersion, m_nResChrontelVersion, m_nResProductCurrent,
                            m_nResAntCurrent, m_nResAntShort, m_nResHdmiOutput, m_nResCvbsOutput,
                            m_nResCvbsLeftOutput, m_nResCvbsRightOutput, m_nResScan,
                            m_nResHighFreqP1, m_nResHighFreqP2, m_nResHighFreqP3,
                            m_nResHighFreqP4}));
    checkPcbTestResult();
    checkAssyTestResult();
}

void ISDBtFactoryDataManager::checkPcbTestResult()
{
    setPcbResult(groupVerdict({m_nResFwVersion, m_nResChrontelVersion, m_nResProductCurrent,
                               m_nResAntCurrent, m_nResAntShort}));
}

void ISDBtFactoryDataManager::checkAssyTestResult()
{
    setAssyResult(groupVerdict({m_nResHdmiOutput, m_nResScan, m_nResCvbsOutput,
                                m_nResCvbsLeftOutput, m_nResCvbsRightOutput, m_nResHighFreqP1,
                                m_nResHighFreqP2, m_nResHighFreqP3, m_nResHighFreqP4}));
}

QString ISDBtFactoryDataManager::findItemNotTested()
{
    const std::pair<const QString*, int> items[] = {
        {&KEY_FACTORY_FWVERSION, m_nResFwVersion},
        {&KEY_FACTORY_CHRONTELVERSION, m_nResChrontelVersion},
        {&KEY_FACTORY_PRODUCTCURRENT, m_nResProductCurrent},
        {&KEY_FACTORY_ANTCURRENT, m_nResAntCurrent},
        {&KEY_FACTORY_ANTSHORT, m_nResAntShort},
        {&KEY_FACTORY_SCAN, m_nResScan},
        {&KEY_FACTORY_HIGHFREQUENCY_P1, m_nResHighFreqP1},
        {&KEY_FACTORY_HIGHFREQUENCY_P2, m_nResHighFreqP2},
        {&KEY_FACTORY_HIGHFREQUENCY_P3, m_nResHighFreqP3},
        {&KEY_FACTORY_HIGHFREQUENCY_P4, m_nResHighFreqP4},
        {&KEY_FACTORY_HDMIOUTPUT, m_nResHdmiOutput},
        {&KEY_FACTORY_CVBSOUTPUT, m_nResCvbsOutput},
        {&KEY_FACTORY_CVBSLEFTOUTPUT, m_nResCvbsLeftOutput},
        {&KEY_FACTORY_CVBSRIGHTOUTPUT, m_nResCvbsRightOutput},
    };
    for (const auto& item : items) {
        if (item.second == 0)
            return *item.first;
    }
    return QString();
}

void ISDBtFactoryDataManager::setProperty(QString keyName, int nVal)
{
    LOG_I("[%s] [%s] %d", __func__, keyName.toLocal8Bit().constData(), nVal);
    using Setter = void (ISDBtFactoryDataManager::*)(int);
    const std::pair<const QString&, Setter> dispatch[] = {
        {KEY_FACTORY_STATUS, &ISDBtFactoryDataManager::setStatus},
        {KEY_FACTORY_FWVERSION, &ISDBtFactoryDataManager::setResFwVersion},
        {KEY_FACTORY_CHRONTELVERSION, &ISDBtFactoryDataManager::setResChrontelVersion},
        {KEY_FACTORY_PRODUCTCURRENT, &ISDBtFactoryDataManager::setResProductCurrent},
        {KEY_FACTORY_ANTCURRENT, &ISDBtFactoryDataManager::setResAntCurrent},
        {KEY_FACTORY_ANTSHORT, &ISDBtFactoryDataManager::setResAntShort},
        {KEY_FACTORY_HDMIOUTPUT, &ISDBtFactoryDataManager::setResHdmiOutput},
        {KEY_FACTORY_CVBSOUTPUT, &ISDBtFactoryDataManager::setResCvbsOutput},
        {KEY_FACTORY_CVBSLEFTOUTPUT, &ISDBtFactoryDataManager::setResCvbsLeftOutput},
        {KEY_FACTORY_CVBSRIGHTOUTPUT, &ISDBtFactoryDataManager::setResCvbsRightOutput},
        {KEY_FACTORY_HDMISELECTOR, &ISDBtFactoryDataManager::setResHdmiSelector},
        {KEY_FACTORY_SCAN, &ISDBtFactoryDataManager::setResScan},
        {KEY_FACTORY_HIGHFREQUENCY_P1, &ISDBtFactoryDataManager::setResHighFreqP1},
        {KEY_FACTORY_HIGHFREQUENCY_P2, &ISDBtFactoryDataManager::setResHighFreqP2},
        {KEY_FACTORY_HIGHFREQUENCY_P3, &ISDBtFactoryDataManager::setResHighFreqP3},
        {KEY_FACTORY_HIGHFREQUENCY_P4, &ISDBtFactoryDataManager::setResHighFreqP4},
        {KEY_FACTORY_LOWFREQUENCY_P1, &ISDBtFactoryDataManager::setResLowFreqP1},
        {KEY_FACTORY_LOWFREQUENCY_P2, &ISDBtFactoryDataManager::setResLowFreqP2},
        {KEY_FACTORY_LOWFREQUENCY_P3, &ISDBtFactoryDataManager::setResLowFreqP3},
        {KEY_FACTORY_LOWFREQUENCY_P4, &ISDBtFactoryDataManager::setResLowFreqP4},
        {KEY_FACTORY_USBPORT, &ISDBtFactoryDataManager::setResUsbPort},
        {KEY_FACTORY_DATOUCH, &ISDBtFactoryDataManager::setResDATouch},
    };
    for (const auto& entry : dispatch) {
        if (keyName == entry.first) {
            (this->*entry.second)(nVal);
            return;
        }
    }
}

void ISDBtFactoryDataManager::resetAllProperty()
{
    LOG_I("[%s]", __func__);
    m_bSaveEnabled = false;
    setResFwVersion(0);
    // The retest runs the video output chip's version check again, so its
    // result has to go back to "not tested" with the others.
    setResChrontelVersion(0);
    setResProductCurrent(0);
    setResAntCurrent(0);
    setResAntShort(0);
    setResHdmiOutput(0);
    setResHdmiSelector(0);
    setResCvbsOutput(0);
    setResCvbsLeftOutput(0);
    setResCvbsRightOutput(0);
    setResScan(0);
    setResHighFreqP1(0);
    setResHighFreqP2(0);
    setResHighFreqP3(0);
    setResHighFreqP4(0);
    setResLowFreqP1(0);
    setResLowFreqP2(0);
    setResLowFreqP3(0);
    setResLowFreqP4(0);
    setResUsbPort(0);
    setResDATouch(0);
    setResult(0);
    setPcbResult(0);
    setAssyResult(0);
    m_pSettings->sync();
    sutil::RunCmd("sync");
    m_bSaveEnabled = true;
}

void ISDBtFactoryDataManager::reset()
{
    LOG_I("[%s]==================== ISDBtFactoryDataManager reset ====================", __func__);
    // Everything but the line's own final verdict goes back to "not tested".
    const QString* keys[] = {
        &KEY_FACTORY_PCB_RESULT,
        &KEY_FACTORY_ASSY_RESULT,
        &KEY_FACTORY_STATUS,
        &KEY_FACTORY_RESULT,
        &KEY_FACTORY_FWVERSION,
        &KEY_FACTORY_CHRONTELVERSION,
        &KEY_FACTORY_PRODUCTCURRENT,
        &KEY_FACTORY_ANTCURRENT,
        &KEY_FACTORY_ANTSHORT,
        &KEY_FACTORY_HDMIOUTPUT,
        &KEY_FACTORY_CVBSOUTPUT,
        &KEY_FACTORY_CVBSLEFTOUTPUT,
        &KEY_FACTORY_CVBSRIGHTOUTPUT,
        &KEY_FACTORY_HDMISELECTOR,
        &KEY_FACTORY_SCAN,
        &KEY_FACTORY_HIGHFREQUENCY_P1,
        &KEY_FACTORY_HIGHFREQUENCY_P2,
        &KEY_FACTORY_HIGHFREQUENCY_P3,
        &KEY_FACTORY_HIGHFREQUENCY_P4,
        &KEY_FACTORY_LOWFREQUENCY_P1,
        &KEY_FACTORY_LOWFREQUENCY_P2,
        &KEY_FACTORY_LOWFREQUENCY_P3,
        &KEY_FACTORY_LOWFREQUENCY_P4,
        &KEY_FACTORY_USBPORT,
        &KEY_FACTORY_DATOUCH,
        &KEY_FACTORY_HIGHFREQUENCY_P1_CNR,
        &KEY_FACTORY_HIGHFREQUENCY_P2_CNR,
        &KEY_FACTORY_HIGHFREQUENCY_P3_CNR,
        &KEY_FACTORY_HIGHFREQUENCY_P4_CNR,
        &KEY_FACTORY_LOWFREQUENCY_P1_CNR,
        &KEY_FACTORY_LOWFREQUENCY_P2_CNR,
        &KEY_FACTORY_LOWFREQUENCY_P3_CNR,
        &KEY_FACTORY_LOWFREQUENCY_P4_CNR,
    };
    for (const QString* key : keys)
        m_pSettings->setValue(*key, 0);
    m_pSettings->sync();
    sutil::RunCmd("sync");
    loadProperties();
    checkAllTestResult();
}

void ISDBtFactoryDataManager::setFinalResult(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nFinalResult = nVal;
    m_pSettings->setValue(KEY_FACTORY_FINALRESULT, nVal);
    saveProperty(true, false);
    emit notifyFinalResultChanged(nVal);
}

void ISDBtFactoryDataManager::setPcbResult(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nPcbResult = nVal;
    m_pSettings->setValue(KEY_FACTORY_PCB_RESULT, nVal);
    saveProperty(true, false);
    emit notifyPcbResultChanged(nVal);
}

void ISDBtFactoryDataManager::setAssyResult(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nAssyResult = nVal;
    m_pSettings->setValue(KEY_FACTORY_ASSY_RESULT, nVal);
    saveProperty(true, false);
    emit notifyAssyResultChanged(nVal);
}

void ISDBtFactoryDataManager::setStatus(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nStatus = nVal;
    m_pSettings->setValue(KEY_FACTORY_STATUS, nVal);
    saveProperty(true, false);
    emit notifyStatusChanged(nVal);
}

void ISDBtFactoryDataManager::setResult(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResult = nVal;
    m_pSettings->setValue(KEY_FACTORY_RESULT, nVal);
    saveProperty(true, false);
    emit notifyResultChanged(nVal);
}

void ISDBtFactoryDataManager::setResFwVersion(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResFwVersion = nVal;
    m_pSettings->setValue(KEY_FACTORY_FWVERSION, nVal);
    saveProperty(false, true);
    emit notifyResFwVersionChanged(nVal);
}

void ISDBtFactoryDataManager::setResChrontelVersion(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResChrontelVersion = nVal;
    m_pSettings->setValue(KEY_FACTORY_CHRONTELVERSION, nVal);
    saveProperty(false, true);
    emit notifyResChrontelVersionChanged(nVal);
}

void ISDBtFactoryDataManager::setResProductCurrent(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResProductCurrent = nVal;
    m_pSettings->setValue(KEY_FACTORY_PRODUCTCURRENT, nVal);
    saveProperty(false, true);
    emit notifyResProductCurrentChanged(nVal);
}

void ISDBtFactoryDataManager::setResAntCurrent(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResAntCurrent = nVal;
    m_pSettings->setValue(KEY_FACTORY_ANTCURRENT, nVal);
    saveProperty(false, true);
    emit notifyResAntCurrentChanged(nVal);
}

void ISDBtFactoryDataManager::setResAntShort(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResAntShort = nVal;
    m_pSettings->setValue(KEY_FACTORY_ANTSHORT, nVal);
    saveProperty(false, true);
    emit notifyResAntShortChanged(nVal);
}

void ISDBtFactoryDataManager::setResHdmiOutput(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResHdmiOutput = nVal;
    m_pSettings->setValue(KEY_FACTORY_HDMIOUTPUT, nVal);
    saveProperty(false, true);
    emit notifyResHdmiOutputChanged(nVal);
}

void ISDBtFactoryDataManager::setResCvbsOutput(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResCvbsOutput = nVal;
    m_pSettings->setValue(KEY_FACTORY_CVBSOUTPUT, nVal);
    saveProperty(false, true);
    emit notifyResCvbsOutputChanged(nVal);
}

void ISDBtFactoryDataManager::setResCvbsLeftOutput(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResCvbsLeftOutput = nVal;
    m_pSettings->setValue(KEY_FACTORY_CVBSLEFTOUTPUT, nVal);
    saveProperty(false, true);
    emit notifyResCvbsLeftOutputChanged(nVal);
}

void ISDBtFactoryDataManager::setResCvbsRightOutput(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResCvbsRightOutput = nVal;
    m_pSettings->setValue(KEY_FACTORY_CVBSRIGHTOUTPUT, nVal);
    saveProperty(false, true);
    emit notifyResCvbsRightOutputChanged(nVal);
}

void ISDBtFactoryDataManager::setResHdmiSelector(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResHdmiSelector = nVal;
    m_pSettings->setValue(KEY_FACTORY_HDMISELECTOR, nVal);
    saveProperty(false, true);
    emit notifyResHdmiSelectorChanged(nVal);
}

void ISDBtFactoryDataManager::setResScan(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResScan = nVal;
    m_pSettings->setValue(KEY_FACTORY_SCAN, nVal);
    saveProperty(false, true);
    emit notifyResScanChanged(nVal);
}

void ISDBtFactoryDataManager::setResHighFreqP1(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResHighFreqP1 = nVal;
    m_pSettings->setValue(KEY_FACTORY_HIGHFREQUENCY_P1, nVal);
    saveProperty(false, true);
    emit notifyResHighFreqP1Changed(nVal);
}

void ISDBtFactoryDataManager::setResHighFreqP2(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResHighFreqP2 = nVal;
    m_pSettings->setValue(KEY_FACTORY_HIGHFREQUENCY_P2, nVal);
    saveProperty(false, true);
    emit notifyResHighFreqP2Changed(nVal);
}

void ISDBtFactoryDataManager::setResHighFreqP3(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResHighFreqP3 = nVal;
    m_pSettings->setValue(KEY_FACTORY_HIGHFREQUENCY_P3, nVal);
    saveProperty(false, true);
    emit notifyResHighFreqP3Changed(nVal);
}

void ISDBtFactoryDataManager::setResHighFreqP4(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResHighFreqP4 = nVal;
    m_pSettings->setValue(KEY_FACTORY_HIGHFREQUENCY_P4, nVal);
    saveProperty(false, true);
    emit notifyResHighFreqP4Changed(nVal);
}

void ISDBtFactoryDataManager::setResLowFreqP1(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResLowFreqP1 = nVal;
    m_pSettings->setValue(KEY_FACTORY_LOWFREQUENCY_P1, nVal);
    saveProperty(false, true);
    emit notifyResLowFreqP1Changed(nVal);
}

void ISDBtFactoryDataManager::setResLowFreqP2(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResLowFreqP2 = nVal;
    m_pSettings->setValue(KEY_FACTORY_LOWFREQUENCY_P2, nVal);
    saveProperty(false, true);
    emit notifyResLowFreqP2Changed(nVal);
}

void ISDBtFactoryDataManager::setResLowFreqP3(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResLowFreqP3 = nVal;
    m_pSettings->setValue(KEY_FACTORY_LOWFREQUENCY_P3, nVal);
    saveProperty(false, true);
    emit notifyResLowFreqP3Changed(nVal);
}

void ISDBtFactoryDataManager::setResLowFreqP4(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResLowFreqP4 = nVal;
    m_pSettings->setValue(KEY_FACTORY_LOWFREQUENCY_P4, nVal);
    saveProperty(false, true);
    emit notifyResLowFreqP4Changed(nVal);
}

void ISDBtFactoryDataManager::setResUsbPort(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResUsbPort = nVal;
    m_pSettings->setValue(KEY_FACTORY_USBPORT, nVal);
    saveProperty(false, true);
    emit notifyResUsbPortChanged(nVal);
}

void ISDBtFactoryDataManager::setResDATouch(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResDATouch = nVal;
    m_pSettings->setValue(KEY_FACTORY_DATOUCH, nVal);
    saveProperty(false, true);
    emit notifyResDATouchChanged(nVal);
}

void ISDBtFactoryDataManager::setResHighFreqP1Cnr(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResHighFreqP1Cnr = nVal;
    m_pSettings->setValue(KEY_FACTORY_HIGHFREQUENCY_P1_CNR, nVal);
    saveProperty(false, false);
    emit notifyResHighFreqP1CnrChanged(nVal);
}

void ISDBtFactoryDataManager::setResHighFreqP2Cnr(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResHighFreqP2Cnr = nVal;
    m_pSettings->setValue(KEY_FACTORY_HIGHFREQUENCY_P2_CNR, nVal);
    saveProperty(false, false);
    emit notifyResHighFreqP2CnrChanged(nVal);
}

void ISDBtFactoryDataManager::setResHighFreqP3Cnr(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResHighFreqP3Cnr = nVal;
    m_pSettings->setValue(KEY_FACTORY_HIGHFREQUENCY_P3_CNR, nVal);
    saveProperty(false, false);
    emit notifyResHighFreqP3CnrChanged(nVal);
}

void ISDBtFactoryDataManager::setResHighFreqP4Cnr(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResHighFreqP4Cnr = nVal;
    m_pSettings->setValue(KEY_FACTORY_HIGHFREQUENCY_P4_CNR, nVal);
    saveProperty(false, false);
    emit notifyResHighFreqP4CnrChanged(nVal);
}

void ISDBtFactoryDataManager::setResLowFreqP1Cnr(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResLowFreqP1Cnr = nVal;
    m_pSettings->setValue(KEY_FACTORY_LOWFREQUENCY_P1_CNR, nVal);
    saveProperty(false, false);
    emit notifyResLowFreqP1CnrChanged(nVal);
}

void ISDBtFactoryDataManager::setResLowFreqP2Cnr(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResLowFreqP2Cnr = nVal;
    m_pSettings->setValue(KEY_FACTORY_LOWFREQUENCY_P2_CNR, nVal);
    saveProperty(false, false);
    emit notifyResLowFreqP2CnrChanged(nVal);
}

void ISDBtFactoryDataManager::setResLowFreqP3Cnr(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResLowFreqP3Cnr = nVal;
    m_pSettings->setValue(KEY_FACTORY_LOWFREQUENCY_P3_CNR, nVal);
    saveProperty(false, false);
    emit notifyResLowFreqP3CnrChanged(nVal);
}

void ISDBtFactoryDataManager::setResLowFreqP4Cnr(int nVal)
{
    LOG_I("[%s] %d", __func__, nVal);
    m_nResLowFreqP4Cnr = nVal;
    m_pSettings->setValue(KEY_FACTORY_LOWFREQUENCY_P4_CNR, nVal);
    saveProperty(false, false);
    emit notifyResLowFreqP4CnrChanged(nVal);
}