#include "ISDBtAppEngine.h"

#include "FileIO.h"
#include "ISDBtDataManager.h"
#include "ISDBtFactoryDataManager.h"
#include "ISDBtThread.h"
#include "KelpAppLog.h"
#include "KvrOzbFSegDBManager.h"
#include "KvrOzbFSegPlayer.h"
#include "SignalInfoItem.h"
#include "ThresholdItem.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickView>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QTranslator>

namespace {

const char kMainQml[] = "qrc:/main.qml";
const char kModelName[] = "QM_NRV2Z_MAX";
const char kPlayerMain[] = "ISDBtPlayerMain";
const char* const kResolutionNames[] = {"480P", "720P", "1080P"};

}  // namespace

ISDBtAppEngine::ISDBtAppEngine(int appId, QQmlEngine* engine, QObject* parent)
    : AppEngineIF(parent)
    , m_pEngine(engine)
{
    LOG_I("[%s]==================== ISDBtAppEngine Start ====================", "ISDBtAppEngine");
    installEventFilter(this);

    m_pRootContext = m_pEngine != nullptr ? m_pEngine->rootContext() : nullptr;
    m_pView = new QQuickView(m_pEngine, nullptr);
    m_pScreen = QGuiApplication::primaryScreen();
    m_pTranslator = new QTranslator(nullptr);
    m_pDataManager = ISDBtDataManager::getInstance();
    m_pFactoryDataManager = ISDBtFactoryDataManager::getInstance();
    m_pJobThread = new ISDBtThread(parent);
    m_pSignalInfo = SignalInfoItem::getInstance();
    m_pThreshold = ThresholdItem::getInstance();
    m_pOzbDBManager = KvrOzbFSegDBManager::getInstance();
    m_pPlayer = KvrOzbFSegPlayer::getInstance();
    m_pFileIO = new FileIO(nullptr);

    // Reception thresholds of the automatic segment switch.
    m_pThreshold->setThresholdAutoMode1toF(15.5f, 25, 5);
    m_pThreshold->setThresholdAutoModeFto1(0, 5, 2);
    m_pThreshold->setThresholdOp1AutoMode1toF(1, 10, 2);
    m_pThreshold->setThresholdOp1AutoModeFto1(0, 1, 1);
    m_pThreshold->setThresholdOpFAutoMode1toF(1, 10, 2);
    m_pThreshold->setThresholdOpFAutoModeFto1(0, 5, 1);

    m_bPowerOn = m_pDataManager->m_bPowerOn;
    setOzbState(None);

    using E = ISDBtAppEngine;
    m_pChannelInfoUpdateTimer = makeTimer("channelInfoUpdateTimer", 1000, true, &E::channelInfoUpdateTimerHandler);
    m_pSignalCheckTimer = makeTimer("signalCheckTimer", 200, true, &E::signalCheckTimerHandler);
    m_pMouseReleaseTimer = makeTimer("mouseReleaseTimer", 100, false, &E::mouseReleaseTimerHandler);
    m_pAliveCheckTimer = makeTimer("aliveCheckTimer", 500, false, &E::aliveCheckTimerHandler);
    m_pHandoverTimer = makeTimer("handoverTimer", 180000, false, &E::handoverTimerHandler);
    m_pStationSearchStartTimer = makeTimer("sationSearchStartTimer",
                                           stationSearchWaitMs(m_pDataManager->m_nStationSearchTime),
                                           false, &E::sationSearchStartTimerHandler);
    m_pBilingualUpdateExpireTimer =
        makeTimer("bilingualUpdateExpireTimer", 5000, false, &E::bilingualUpdateExpireTimerHandler);
    m_pSubtitleTimer = makeTimer("subtitleTimer", 1000, false, &E::subtitleTimerHandler);
    m_pEnableHomeListTimer = makeTimer("enableHomeListTimer", 500, false, &E::enableHomeListTimerHandler);
    m_pEngCheckTimer = makeTimer("engChenckTimer", 5000, false, &E::engChenckTimerHandler);
    m_pEngKeyCheckTimer = makeTimer("engKeyCheckTimer", 5000, false, &E::engKeyCheckTimerHandler);
    m_pFactoryKeyCheckTimer = makeTimer("factoryKeyCheckTimer", 2000, false, &E::factoryKeyCheckTimerHandler);
    m_pEpgUpdateTimer = makeTimer("epgUpdateTimer", 10000, true, &E::epgUpdateTimerHandler);
    m_pScanCompleteTimer = makeTimer("scanCompleteTimer", 500, false, &E::scanCompleteTimerHandler);
    m_pCheckVideoErrTimer = makeTimer("checkVideoErrTimer", 10000, false, &E::checkVideoErrTimerHandler);

    const int language = m_pDataManager->m_nLanguage;
    if (!setTranslator(language))
        LOG_I("[%s] Translator install fail - currLanguage : [%d]", __func__, language);

    setImageRootDir(QStringLiteral("%1%2").arg(QStringLiteral("qrc:"), QStringLiteral("/image/")));

    initAppEngineIF(appId);
}

ISDBtAppEngine::~ISDBtAppEngine()
{
    // A QThread must not be destroyed while its loop runs.
    m_pJobThread->stopJobThread();
    m_pJobThread->wait();
    delete m_pJobThread;
    // The view lives on the QML engine, which the start-up code deletes after us.
    delete m_pView;
    if (m_bTranslatorInstalled)
        QCoreApplication::removeTranslator(m_pTranslator);
    delete m_pTranslator;
    delete m_pFileIO;
}

QTimer* ISDBtAppEngine::makeTimer(const char* name, int intervalMs, bool repeating,
                                  void (ISDBtAppEngine::*handler)())
{
    QTimer* timer = new QTimer(this);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setInterval(intervalMs);
    timer->setSingleShot(!repeating);
    connect(timer, &QTimer::timeout, this, handler);
    return timer;
}

void ISDBtAppEngine::init()
{
    LOG_I("[%s]==================== ISDBtAppEngine init ====================", __func__);
    setObjectConnect();
    InitializeDBusManager();
}

void ISDBtAppEngine::setObjectConnect()
{
    using E = ISDBtAppEngine;
    // The job thread's results cross from its own thread.
    const Qt::ConnectionType queued = Qt::QueuedConnection;
    ISDBtThread* job = m_pJobThread;
    connect(job, &ISDBtThread::sendPowerOn, this, &E::onSendPowerOn, queued);
    connect(job, &ISDBtThread::sendCompleteThreadAndPowerOff, this, &E::onSendCompleteThreadAndPowerOff, queued);
    connect(job, &ISDBtThread::sendEPGGetModeComplete, this, &E::onSendEPGGetModeComplete, queued);
    connect(job, &ISDBtThread::sendCurrentEPGGetModeComplete, this, &E::onSendCurrentEPGGetModeComplete, queued);
    connect(job, &ISDBtThread::sendEPGUpdateModeComplete, this, &E::onSendEPGUpdateModeComplete, queued);
    connect(job, &ISDBtThread::sendEPGModeCanceled, this, &E::onSendEPGModeCanceled, queued);
    connect(job, &ISDBtThread::sendChannelUpdateMode, this, &E::onSendChannelUpdateMode, queued);
    connect(job, &ISDBtThread::sendOtherChannelUpdate2TsComplete, this, &E::onSendOtherChannelUpdate2TsComplete,
            queued);

    // The player wrapper emits on the broadcast engine's listener threads;
    // automatic connections queue those into the GUI thread.
    using P = KvrOzbFSegPlayer;
    P* p = m_pPlayer;
    connect(p, &P::notifyAntenaShortStatus, this, &E::onNotifyAntenaShortStatus);
    connect(p, &P::notifyPrepared, this, &E::onNotifyPrepared);
    connect(p, &P::notifySearchPercent, this, &E::onNotifySearchPercent);
    connect(p, &P::notifySearchComplete, this, &E::onNotifySearchComplete);
    connect(p, &P::notifyVideoOutput, this, &E::onNotifyVideoOutput);
    connect(p, &P::notifyBilingualInfoUpdate, this, &E::onNotifyBilingualInfoUpdate);
    connect(p, &P::notifyChannelChanged, this, &E::onNotifyChannelChanged);
    connect(p, &P::notifySubtitleUpdate, this, &E::onNotifySubtitleUpdate);
    connect(p, &P::notifyHandoverComplete, this, &E::onNotifyHandoverComplete);
    connect(p, &P::notifyHandoverChannel, this, &E::onNotifyHandoverChannel);
    connect(p, &P::notifyChannelUpdate, this, &E::onNotifyChannelUpdate);
    connect(p, &P::notifyVideoDefinitionUpdate, this, &E::onNotifyVideoDefinitionUpdate);
    connect(p, &P::notify2TsHandoverResult, this, &E::onNotify2TsHandoverResult);
    connect(p, &P::notify2TsComparisonStatus, this, &E::onNotify2TsComparisonStatus);
    connect(p, &P::notify2TsChannelUpdateRemove, this, &E::onNotify2TsChannelUpdateRemove);
    connect(p, &P::notify2TsChannelUpdateAdd, this, &E::onNotify2TsChannelUpdateAdd);
    connect(p, &P::notifyEventRelay, this, &E::onNotifyEventRelay);
    connect(p, &P::notifyEmergencyInfo, this, &E::onNotifyEmergencyInfo);
    connect(p, &P::notifyEpgUpdate, this, &E::onNotifyEpgUpdate);
    connect(p, &P::notifyLogoImageCreated, this, &E::onNotifyLogoImageCreated);
    connect(p, &P::notifyBilingualModeChanged, this, &E::onNotifyBilingualModeChanged);
    connect(p, &P::notiryEventVideoError, this, &E::onNotiryEventVideoError);

    using D = KvrOzbFSegDBManager;
    connect(m_pOzbDBManager, &D::notifyStationDataChanged, this, &E::onNotifyStationDataChanged);
    connect(m_pOzbDBManager, &D::notifyChannelListChanged, this, &E::onNotifyChannelListChanged);

    using S = ISDBtDataManager;
    connect(m_pDataManager, &S::notifyCurrStrTimeChanged, this, &E::onNotifyCurrStrTimeChanged);
    connect(m_pDataManager, &S::notifyCurrProgramNameChanged, this, &E::onNotifyCurrProgramNameChanged);
    connect(m_pDataManager, &S::notifyCurrServiceIDChanged, this, &E::onNotifyCurrServiceIDChanged);
    LOG_I("[%s] done", __func__);
}

bool ISDBtAppEngine::eventFilter(QObject* watched, QEvent* event)
{
    // Installed on the engine itself; it lets everything through.
    return AppEngineIF::eventFilter(watched, event);
}

void ISDBtAppEngine::start()
{
    LOG_H("[%s]==================== start ====================", __func__);
    if (m_bPowerOn) {
        setOzbState(Preparing);
        m_pJobThread->startJobThread();
        m_pJobThread->request(ISDBtThread::AccOnAndPrepareMode, -1, -1, -1, -1, nullptr, -1);
    } else {
        LOG_I("[%s] Power is off!! skip prepare", __func__);
    }

    // --- settings ---
    showBootLogo();

    loadQMLSource();

    // --- launcher ---
    SendDBusSetRunning(1);
    SendDBusRequestPowerMode(0, 0);

    if (!m_bPowerOn)
        setEnablePowerOnOffState(true);
    m_bInProcessing = false;
}

bool ISDBtAppEngine::setTranslator(int language)
{
    LOG_I("[%s] ucLanguage(%d)", __func__, language);
    if (m_pTranslator == nullptr)
        return false;
    const QString name = language == 1   ? QStringLiteral(":/ISDBt_en")
                         : language == 2 ? QStringLiteral(":/ISDBt_ko")
                                         : QStringLiteral(":/ISDBt_ja");
    if (!m_pTranslator->load(name)) {
        LOG_I("[%s] TranslatorFile load fail - ucLanguage(%d)", __func__, language);
        return false;
    }
    if (m_bTranslatorInstalled)
        return true;
    m_bTranslatorInstalled = QCoreApplication::installTranslator(m_pTranslator);
    if (!m_bTranslatorInstalled) {
        LOG_I("[%s] TranslatorFile load success - ucLanguage(%d)", __func__, language);
        return false;
    }
    return true;
}

void ISDBtAppEngine::loadQMLSource()
{
    LOG_I("[%s]==================== ISDBtAppEngine loadQMLSource====================", __func__);
    setContextProperty();
    setViewContent(m_pView, QUrl(QString::fromLatin1(kMainQml)), m_pRootContext);
    m_pView->setClearBeforeRendering(true);
    m_pView->setColor(Qt::transparent);
    m_pView->setPersistentOpenGLContext(false);
    m_pView->setPersistentSceneGraph(false);
    m_pView->show();
    focusView();
}

int ISDBtAppEngine::deviceResolution(int& width, int& height)
{
    if (width <= 1920 && height >= 1) {
        if (height <= 500)
            return 0;
        return width > 1280 ? 2 : 1;
    }
    width = 720;
    height = 480;
    return 1;
}

void ISDBtAppEngine::setContextProperty()
{
    if (m_pRootContext == nullptr)
        return;
    LOG_I("[%s]==================== ISDBtAppEngine setContextProperty ====================", __func__);
    m_pRootContext->setContextProperty(QStringLiteral("ISDBtEngine"), this);
    m_pRootContext->setContextProperty(QStringLiteral("ISDBtData"), m_pDataManager);
    m_pRootContext->setContextProperty(QStringLiteral("ISDBtSingalInfo"), m_pSignalInfo);
    m_pRootContext->setContextProperty(QStringLiteral("ISDBtThreshold"), m_pThreshold);
    m_pRootContext->setContextProperty(QStringLiteral("ISDBtFileIO"), m_pFileIO);
    const int mode = m_pDataManager->getMode();
    m_pRootContext->setContextProperty(QStringLiteral("StationListModel"),
                                       m_pOzbDBManager->getStationProxyModel(mode));
    m_pRootContext->setContextProperty(QStringLiteral("ChannelListModel"),
                                       m_pOzbDBManager->getChannelProxyModel(mode));
    m_pRootContext->setContextProperty(QStringLiteral("EpgListModel"), m_pOzbDBManager->getEpgListModel(mode));
    m_pRootContext->setContextProperty(QStringLiteral("EpgDayListModel"), m_pOzbDBManager->getEpgDayListModel());
    for (int day = 0; day < 8; ++day) {
        m_pRootContext->setContextProperty(QStringLiteral("EpgDay%1TimeListModel").arg(day),
                                           m_pOzbDBManager->getEpgDayTimeListModel(day));
    }
    m_pRootContext->setContextProperty(QStringLiteral("FactoryData"), m_pFactoryDataManager);

    const QList<QScreen*> screens = QGuiApplication::screens();
    for (int i = 0; i < screens.size(); ++i) {
        const QRect g = screens[i]->geometry();
        LOG_I("[%s] [%d][%s]screen info : %d x %d", __func__, i,
             screens[i]->name().toLocal8Bit().constData(), g.width(), g.height());
    }

    int width = 0;
    int height = 0;
    if (m_pScreen != nullptr) {
        const QRect g = m_pScreen->geometry();
        width = g.right() - g.left() + 1;
        height = g.bottom() - g.top() + 1;
    }
    const bool inRange = width <= 1920 && height >= 1;
    m_nDeviceResolution = deviceResolution(width, height);
    m_pRootContext->setContextProperty(QStringLiteral("DEVICE_WIDTH"), width);
    m_pRootContext->setContextProperty(QStringLiteral("DEVICE_HEIGHT"), height);
    m_pRootContext->setContextProperty(QStringLiteral("DEVICE_RESOLUTION"), m_nDeviceResolution);
    if (inRange)
        LOG_I("[%s] Set screen info : %d x %d (%s)", __func__, width, height,
             kResolutionNames[m_nDeviceResolution]);
    else
        LOG_I("[%s] W(%d)/H(%d) is out of range. Set default screen info : %d x %d (%s)", __func__,
             width, height, width, height, kResolutionNames[m_nDeviceResolution]);

    m_pRootContext->setContextProperty(QStringLiteral("MODEL_NAME"), QString::fromLatin1(kModelName));

    publishSharedTables();
}

void ISDBtAppEngine::setViewContent(QQuickView* view, const QUrl& url, QQmlContext* context)
{
    QQmlComponent* component = new QQmlComponent(view->engine(), url, view);
    if (component->isError()) {
        for (const QQmlError& e : component->errors())
            LOG_I("[%s] QQmlComponent - error [%s][%d]", __func__,
                 e.url().toString().toLocal8Bit().constData(), e.line());
        return;
    }
    QObject* object = component->create(context);
    if (component->isError()) {
        for (const QQmlError& e : component->errors())
            LOG_I("[%s] QQmlComponent - error [%s][%d]", __func__,
                 e.url().toString().toLocal8Bit().constData(), e.line());
        delete object;
        return;
    }
    view->setContent(url, component, object);
}

void ISDBtAppEngine::AppDebug(QString message, bool highlight)
{
    if (highlight)
        LOG_H("== [%s] %s", "AppDebug", message.toLocal8Bit().constData());
    else
        LOG_I("== [%s] %s", "AppDebug", message.toLocal8Bit().constData());
}

void ISDBtAppEngine::setChangeChByKey(bool byKey)
{
    m_bChangeChByKey = byKey;
    emit notifyChangeChByKeyChanged(byKey ? 1 : 0);
    const int searchTime = m_pDataManager->m_nStationSearchTime;
    if (searchTime != 0)
        m_pStationSearchStartTimer->setInterval(byKey ? 1500 : stationSearchWaitMs(searchTime));
    m_bChangeChByKey = false;
}

void ISDBtAppEngine::pushScreen(QString screenName)
{
    m_qmlStack.push(screenName);
    LOG_I("[%s] m_qmlStack.count(%d) : [%s]", __func__, m_qmlStack.count(),
         screenName.toLocal8Bit().constData());
    for (int i = 0; i < m_qmlStack.count(); ++i)
        LOG_I("[%s] m_qmlStack[%d] : [%s]", __func__, i, m_qmlStack.at(i).toLocal8Bit().constData());
}

QString ISDBtAppEngine::popScreen()
{
    if (m_qmlStack.isEmpty()) {
        LOG_I("[%s] screenName : %s", __func__, "");
        return QString();
    }
    for (int i = 0; i < m_qmlStack.count(); ++i)
        LOG_I("[%s] m_qmlStack[%d] : [%s]", __func__, i, m_qmlStack.at(i).toLocal8Bit().constData());
    return m_qmlStack.pop();
}

void ISDBtAppEngine::setMainState(QString state)
{
    LOG_I("[%s] %s", __func__, state.toLocal8Bit().constData());
    m_sCurrentScreen = state;
    // The touch entry counts touches on the live-TV screen only: touches of
    // a step split by another screen are not one repeat.
    if (state != QLatin1String(kPlayerMain))
        m_nEngTouchCount = 0;
    if (state == QLatin1String("ISDBtStationListMain"))
        checkProgramNameStationList();
}

void ISDBtAppEngine::setImageRootDir(const QString& sVal)
{
    m_sImageRootDir = sVal;
    emit notifyImageRootDirChanged(sVal);
}

void ISDBtAppEngine::setEngMode(bool bVal)
{
    m_bEngMode = bVal;
    emit notifyEngModeChanged(bVal);
}

void ISDBtAppEngine::setCurrAvailSegType(int nVal)
{
    m_nCurrAvailSegType = nVal;
    emit notifyCurrAvailSegTypeChanged(nVal);
}

void ISDBtAppEngine::setBilingualText(const QString& sVal)
{
    m_sBilingualText = sVal;
    emit notifyBilingualTextChanged(sVal);
}

void ISDBtAppEngine::setFactoryReset(bool bVal)
{
    m_bFactoryReset = bVal;
    emit notifyFactoryResetChanged(bVal);
}

void ISDBtAppEngine::setAppPowerOn(bool bVal)
{
    m_bPowerOn = bVal;
    emit notifyAppPowerOnChanged(bVal);
}

void ISDBtAppEngine::setStartServiceDone(bool bVal)
{
    m_bStartServiceDone = bVal;
    emit notifyStartServiceDoneChanged(bVal);
}

void ISDBtAppEngine::setAvRenderOn(bool bVal)
{
    m_bAvRenderOn = bVal;
    emit notifyAvRenderOnChanged(bVal);
}

void ISDBtAppEngine::setOzbState(int nVal)
{
    m_nOzbState = nVal;
    emit notifyOzbStateChanged(nVal);
}

void ISDBtAppEngine::setUsbDetection(int nVal)
{
    m_nUsbDetection = nVal;
    emit notifyUsbDetectionChanged(nVal);
}

void ISDBtAppEngine::setInCopyingLog(bool bVal)
{
    m_bInCopyingLog = bVal;
    emit notifyInCopyingLogChanged(bVal ? 1 : 0);
}
