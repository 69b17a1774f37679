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

// Every key of factory.ini with its field, in the file's order.
const ISDBtFactoryDataManager::ItemKey ISDBtFactoryDataManager::kItems[kItemCount] = {
    {&KEY_FACTORY_FINALRESULT, &ISDBtFactoryDataManager::m_nFinalResult},
    {&KEY_FACTORY_PCB_RESULT, &ISDBtFactoryDataManager::m_nPcbResult},
    {&KEY_FACTORY_ASSY_RESULT, &ISDBtFactoryDataManager::m_nAssyResult},
    {&KEY_FACTORY_STATUS, &ISDBtFactoryDataManager::m_nStatus},
    {&KEY_FACTORY_RESULT, &ISDBtFactoryDataManager::m_nResult},
    {&KEY_FACTORY_FWVERSION, &ISDBtFactoryDataManager::m_nResFwVersion},
    {&KEY_FACTORY_CHRONTELVERSION, &ISDBtFactoryDataManager::m_nResChrontelVersion},
    {&KEY_FACTORY_PRODUCTCURRENT, &ISDBtFactoryDataManager::m_nResProductCurrent},
    {&KEY_FACTORY_ANTCURRENT, &ISDBtFactoryDataManager::m_nResAntCurrent},
    {&KEY_FACTORY_ANTSHORT, &ISDBtFactoryDataManager::m_nResAntShort},
    {&KEY_FACTORY_HDMIOUTPUT, &ISDBtFactoryDataManager::m_nResHdmiOutput},
    {&KEY_FACTORY_CVBSOUTPUT, &ISDBtFactoryDataManager::m_nResCvbsOutput},
    {&KEY_FACTORY_CVBSLEFTOUTPUT, &ISDBtFactoryDataManager::m_nResCvbsLeftOutput},
    {&KEY_FACTORY_CVBSRIGHTOUTPUT, &ISDBtFactoryDataManager::m_nResCvbsRightOutput},
    {&KEY_FACTORY_HDMISELECTOR, &ISDBtFactoryDataManager::m_nResHdmiSelector},
    {&KEY_FACTORY_SCAN, &ISDBtFactoryDataManager::m_nResScan},
    {&KEY_FACTORY_HIGHFREQUENCY_P1, &ISDBtFactoryDataManager::m_nResHighFreqP1},
    {&KEY_FACTORY_HIGHFREQUENCY_P2, &ISDBtFactoryDataManager::m_nResHighFreqP2},
    {&KEY_FACTORY_HIGHFREQUENCY_P3, &ISDBtFactoryDataManager::m_nResHighFreqP3},
    {&KEY_FACTORY_HIGHFREQUENCY_P4, &ISDBtFactoryDataManager::m_nResHighFreqP4},
    {&KEY_FACTORY_LOWFREQUENCY_P1, &ISDBtFactoryDataManager::m_nResLowFreqP1},
    {&KEY_FACTORY_LOWFREQUENCY_P2, &ISDBtFactoryDataManager::m_nResLowFreqP2},
    {&KEY_FACTORY_LOWFREQUENCY_P3, &ISDBtFactoryDataManager::m_nResLowFreqP3},
    {&KEY_FACTORY_LOWFREQUENCY_P4, &ISDBtFactoryDataManager::m_nResLowFreqP4},
    {&KEY_FACTORY_USBPORT, &ISDBtFactoryDataManager::m_nResUsbPort},
    {&KEY_FACTORY_DATOUCH, &ISDBtFactoryDataManager::m_nResDATouch},
    {&KEY_FACTORY_HIGHFREQUENCY_P1_CNR, &ISDBtFactoryDataManager::m_nResHighFreqP1Cnr},
    {&KEY_FACTORY_HIGHFREQUENCY_P2_CNR, &ISDBtFactoryDataManager::m_nResHighFreqP2Cnr},
    {&KEY_FACTORY_HIGHFREQUENCY_P3_CNR, &ISDBtFactoryDataManager::m_nResHighFreqP3Cnr},
    {&KEY_FACTORY_HIGHFREQUENCY_P4_CNR, &ISDBtFactoryDataManager::m_nResHighFreqP4Cnr},
    {&KEY_FACTORY_LOWFREQUENCY_P1_CNR, &ISDBtFactoryDataManager::m_nResLowFreqP1Cnr},
    {&KEY_FACTORY_LOWFREQUENCY_P2_CNR, &ISDBtFactoryDataManager::m_nResLowFreqP2Cnr},
    {&KEY_FACTORY_LOWFREQUENCY_P3_CNR, &ISDBtFactoryDataManager::m_nResLowFreqP3Cnr},
    {&KEY_FACTORY_LOWFREQUENCY_P4_CNR, &ISDBtFactoryDataManager::m_nResLowFreqP4Cnr},
};

ISDBtFactoryDataManager::ISDBtFactoryDataManager(QObject* parent)
    : QObject(parent)
    , m_diskSync([] { sutil::RunCmd("sync"); })
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
    for (const ItemKey& item : kItems)
        this->*item.field = m_pSettings->value(*item.key, 0).toInt();
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

void ISDBtFactoryDataManager::setDiskSync(std::function<void()> diskSync)
{
    if (!diskSync) {
        LOG_H("[%s] no disk sync given: the record keeps its own", __func__);
        return;
    }
    m_diskSync = std::move(diskSync);
}

void ISDBtFactoryDataManager::flushFile()
{
    m_pSettings->sync();
    m_diskSync();
}

void ISDBtFactoryDataManager::saveProperty(bool sync, bool recheck)
{
    if (!m_bSaveEnabled)
        return;
    if (sync)
        flushFile();
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
    // The video output chip's version result, the status, the final verdict
    // and the CNR figures belong to the board, not to this retest: they stay.
    setResFwVersion(0);
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
    flushFile();
    m_bSaveEnabled = true;
}

void ISDBtFactoryDataManager::reset()
{
    LOG_I("[%s]==================== ISDBtFactoryDataManager reset ====================", __func__);
    // Everything but the line's own final verdict goes back to "not tested".
    for (const ItemKey& item : kItems) {
        if (item.key != &KEY_FACTORY_FINALRESULT)
            m_pSettings->setValue(*item.key, 0);
    }
    flushFile();
    loadProperties();
    checkAllTestResult();
}

// Every item and verdict setter: log, store, write the key, save as the
// item's row says (sync, or recheck the verdicts), then signal, changed or not.
void ISDBtFactoryDataManager::writeItem(const char* setter, int& field, const QString& key, int nVal, bool sync,
                                        bool recheck, void (ISDBtFactoryDataManager::*notify)(int))
{
    LOG_I("[%s] %d", setter, nVal);
    field = nVal;
    m_pSettings->setValue(key, nVal);
    saveProperty(sync, recheck);
    emit(this->*notify)(nVal);
}

void ISDBtFactoryDataManager::setFinalResult(int nVal)
{
    writeItem(__func__, m_nFinalResult, KEY_FACTORY_FINALRESULT, nVal, true, false,
              &ISDBtFactoryDataManager::notifyFinalResultChanged);
}

void ISDBtFactoryDataManager::setPcbResult(int nVal)
{
    writeItem(__func__, m_nPcbResult, KEY_FACTORY_PCB_RESULT, nVal, true, false,
              &ISDBtFactoryDataManager::notifyPcbResultChanged);
}

void ISDBtFactoryDataManager::setAssyResult(int nVal)
{
    writeItem(__func__, m_nAssyResult, KEY_FACTORY_ASSY_RESULT, nVal, true, false,
              &ISDBtFactoryDataManager::notifyAssyResultChanged);
}

void ISDBtFactoryDataManager::setStatus(int nVal)
{
    writeItem(__func__, m_nStatus, KEY_FACTORY_STATUS, nVal, true, false,
              &ISDBtFactoryDataManager::notifyStatusChanged);
}

void ISDBtFactoryDataManager::setResult(int nVal)
{
    writeItem(__func__, m_nResult, KEY_FACTORY_RESULT, nVal, true, false,
              &ISDBtFactoryDataManager::notifyResultChanged);
}

void ISDBtFactoryDataManager::setResFwVersion(int nVal)
{
    writeItem(__func__, m_nResFwVersion, KEY_FACTORY_FWVERSION, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResFwVersionChanged);
}

void ISDBtFactoryDataManager::setResChrontelVersion(int nVal)
{
    writeItem(__func__, m_nResChrontelVersion, KEY_FACTORY_CHRONTELVERSION, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResChrontelVersionChanged);
}

void ISDBtFactoryDataManager::setResProductCurrent(int nVal)
{
    writeItem(__func__, m_nResProductCurrent, KEY_FACTORY_PRODUCTCURRENT, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResProductCurrentChanged);
}

void ISDBtFactoryDataManager::setResAntCurrent(int nVal)
{
    writeItem(__func__, m_nResAntCurrent, KEY_FACTORY_ANTCURRENT, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResAntCurrentChanged);
}

void ISDBtFactoryDataManager::setResAntShort(int nVal)
{
    writeItem(__func__, m_nResAntShort, KEY_FACTORY_ANTSHORT, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResAntShortChanged);
}

void ISDBtFactoryDataManager::setResHdmiOutput(int nVal)
{
    writeItem(__func__, m_nResHdmiOutput, KEY_FACTORY_HDMIOUTPUT, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResHdmiOutputChanged);
}

void ISDBtFactoryDataManager::setResCvbsOutput(int nVal)
{
    writeItem(__func__, m_nResCvbsOutput, KEY_FACTORY_CVBSOUTPUT, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResCvbsOutputChanged);
}

void ISDBtFactoryDataManager::setResCvbsLeftOutput(int nVal)
{
    writeItem(__func__, m_nResCvbsLeftOutput, KEY_FACTORY_CVBSLEFTOUTPUT, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResCvbsLeftOutputChanged);
}

void ISDBtFactoryDataManager::setResCvbsRightOutput(int nVal)
{
    writeItem(__func__, m_nResCvbsRightOutput, KEY_FACTORY_CVBSRIGHTOUTPUT, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResCvbsRightOutputChanged);
}

void ISDBtFactoryDataManager::setResHdmiSelector(int nVal)
{
    writeItem(__func__, m_nResHdmiSelector, KEY_FACTORY_HDMISELECTOR, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResHdmiSelectorChanged);
}

void ISDBtFactoryDataManager::setResScan(int nVal)
{
    writeItem(__func__, m_nResScan, KEY_FACTORY_SCAN, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResScanChanged);
}

void ISDBtFactoryDataManager::setResHighFreqP1(int nVal)
{
    writeItem(__func__, m_nResHighFreqP1, KEY_FACTORY_HIGHFREQUENCY_P1, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResHighFreqP1Changed);
}

void ISDBtFactoryDataManager::setResHighFreqP2(int nVal)
{
    writeItem(__func__, m_nResHighFreqP2, KEY_FACTORY_HIGHFREQUENCY_P2, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResHighFreqP2Changed);
}

void ISDBtFactoryDataManager::setResHighFreqP3(int nVal)
{
    writeItem(__func__, m_nResHighFreqP3, KEY_FACTORY_HIGHFREQUENCY_P3, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResHighFreqP3Changed);
}

void ISDBtFactoryDataManager::setResHighFreqP4(int nVal)
{
    writeItem(__func__, m_nResHighFreqP4, KEY_FACTORY_HIGHFREQUENCY_P4, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResHighFreqP4Changed);
}

void ISDBtFactoryDataManager::setResLowFreqP1(int nVal)
{
    writeItem(__func__, m_nResLowFreqP1, KEY_FACTORY_LOWFREQUENCY_P1, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResLowFreqP1Changed);
}

void ISDBtFactoryDataManager::setResLowFreqP2(int nVal)
{
    writeItem(__func__, m_nResLowFreqP2, KEY_FACTORY_LOWFREQUENCY_P2, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResLowFreqP2Changed);
}

void ISDBtFactoryDataManager::setResLowFreqP3(int nVal)
{
    writeItem(__func__, m_nResLowFreqP3, KEY_FACTORY_LOWFREQUENCY_P3, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResLowFreqP3Changed);
}

void ISDBtFactoryDataManager::setResLowFreqP4(int nVal)
{
    writeItem(__func__, m_nResLowFreqP4, KEY_FACTORY_LOWFREQUENCY_P4, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResLowFreqP4Changed);
}

void ISDBtFactoryDataManager::setResUsbPort(int nVal)
{
    writeItem(__func__, m_nResUsbPort, KEY_FACTORY_USBPORT, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResUsbPortChanged);
}

void ISDBtFactoryDataManager::setResDATouch(int nVal)
{
    writeItem(__func__, m_nResDATouch, KEY_FACTORY_DATOUCH, nVal, false, true,
              &ISDBtFactoryDataManager::notifyResDATouchChanged);
}

void ISDBtFactoryDataManager::setResHighFreqP1Cnr(int nVal)
{
    writeItem(__func__, m_nResHighFreqP1Cnr, KEY_FACTORY_HIGHFREQUENCY_P1_CNR, nVal, false, false,
              &ISDBtFactoryDataManager::notifyResHighFreqP1CnrChanged);
}

void ISDBtFactoryDataManager::setResHighFreqP2Cnr(int nVal)
{
    writeItem(__func__, m_nResHighFreqP2Cnr, KEY_FACTORY_HIGHFREQUENCY_P2_CNR, nVal, false, false,
              &ISDBtFactoryDataManager::notifyResHighFreqP2CnrChanged);
}

void ISDBtFactoryDataManager::setResHighFreqP3Cnr(int nVal)
{
    writeItem(__func__, m_nResHighFreqP3Cnr, KEY_FACTORY_HIGHFREQUENCY_P3_CNR, nVal, false, false,
              &ISDBtFactoryDataManager::notifyResHighFreqP3CnrChanged);
}

void ISDBtFactoryDataManager::setResHighFreqP4Cnr(int nVal)
{
    writeItem(__func__, m_nResHighFreqP4Cnr, KEY_FACTORY_HIGHFREQUENCY_P4_CNR, nVal, false, false,
              &ISDBtFactoryDataManager::notifyResHighFreqP4CnrChanged);
}

void ISDBtFactoryDataManager::setResLowFreqP1Cnr(int nVal)
{
    writeItem(__func__, m_nResLowFreqP1Cnr, KEY_FACTORY_LOWFREQUENCY_P1_CNR, nVal, false, false,
              &ISDBtFactoryDataManager::notifyResLowFreqP1CnrChanged);
}

void ISDBtFactoryDataManager::setResLowFreqP2Cnr(int nVal)
{
    writeItem(__func__, m_nResLowFreqP2Cnr, KEY_FACTORY_LOWFREQUENCY_P2_CNR, nVal, false, false,
              &ISDBtFactoryDataManager::notifyResLowFreqP2CnrChanged);
}

void ISDBtFactoryDataManager::setResLowFreqP3Cnr(int nVal)
{
    writeItem(__func__, m_nResLowFreqP3Cnr, KEY_FACTORY_LOWFREQUENCY_P3_CNR, nVal, false, false,
              &ISDBtFactoryDataManager::notifyResLowFreqP3CnrChanged);
}

void ISDBtFactoryDataManager::setResLowFreqP4Cnr(int nVal)
{
    writeItem(__func__, m_nResLowFreqP4Cnr, KEY_FACTORY_LOWFREQUENCY_P4_CNR, nVal, false, false,
              &ISDBtFactoryDataManager::notifyResLowFreqP4CnrChanged);
}
