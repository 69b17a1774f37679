#pragma once
// The application's one engine object, published to QML as "ISDBtEngine". It
// creates or looks up every service of the program, owns the QML view and
// loads the user interface into it, and keeps the engine state and the
// screen bookkeeping the QML reports.

#include "AppEngineIF.h"

#include <QList>
#include <QObject>
#include <QStack>
#include <memory>
#include <QString>
#include <QUrl>

struct BilingualInfo;
class ChannelItem;
class FileIO;
class QEvent;
class QKeyEvent;
class QMouseEvent;
class ISDBtDataManager;
class ISDBtFactoryDataManager;
class ISDBtThread;
class KvrOzbFSegDBManager;
class KvrOzbFSegPlayer;
class QQmlContext;
class QQmlEngine;
class QQuickView;
class QScreen;
class QTimer;
class QTranslator;
class SignalInfoItem;
class ThresholdItem;
class ChannelItem;
class ReceptionMonitor;
class EngineReceptionHost;
// --- settings ---
class ISDBtBootLogoThread;
class ISDBtDevDetectHandler;

// One HDMI resolution the display manager offers.
struct tagHdmiResolution {
    int id = 0;        // the display manager's resolution id
    QString name;      // upper-cased, e.g. "1920X1080@60P"
};

class ISDBtAppEngine : public AppEngineIF
{
    Q_OBJECT
    Q_PROPERTY(QString sImageRootDir READ getImageRootDir WRITE setImageRootDir NOTIFY notifyImageRootDirChanged)
    Q_PROPERTY(bool bEngMode READ getEngMode WRITE setEngMode NOTIFY notifyEngModeChanged)
    Q_PROPERTY(int nCurrAvailSegType READ getCurrAvailSegType WRITE setCurrAvailSegType NOTIFY notifyCurrAvailSegTypeChanged)
    Q_PROPERTY(QString sBilingualText READ getBilingualText WRITE setBilingualText NOTIFY notifyBilingualTextChanged)
    Q_PROPERTY(bool bFactoryReset READ getFactoryReset WRITE setFactoryReset NOTIFY notifyFactoryResetChanged)
    Q_PROPERTY(bool bAppPowerOn READ getAppPowerOn WRITE setAppPowerOn NOTIFY notifyAppPowerOnChanged)
    Q_PROPERTY(bool bStartServiceDone READ getStartServiceDone WRITE setStartServiceDone NOTIFY notifyStartServiceDoneChanged)
    Q_PROPERTY(bool bAvRenderOn READ getAvRenderOn WRITE setAvRenderOn NOTIFY notifyAvRenderOnChanged)
    Q_PROPERTY(int nOzbState READ getOzbState WRITE setOzbState NOTIFY notifyOzbStateChanged)
    Q_PROPERTY(int nUsbDetection READ getUsbDetection WRITE setUsbDetection NOTIFY notifyUsbDetectionChanged)
    Q_PROPERTY(bool bInCopyingLog READ getInCopyingLog WRITE setInCopyingLog NOTIFY notifyInCopyingLogChanged)

public:
    enum OzbState {
        None = 0,
        Released = 1,
        Preparing = 2,
        Prepared = 3,
    };
    Q_ENUM(OzbState)

    ISDBtAppEngine(int appId, QQmlEngine* engine, QObject* parent = nullptr);
    ~ISDBtAppEngine() override;

    void init();
    void start();
    // The connections of the worker objects' signals to the engine's slots.
    void setObjectConnect();

    bool setTranslator(int language);
    void loadQMLSource();
    void setContextProperty();
    void setViewContent(QQuickView* view, const QUrl& url, QQmlContext* context);

    void AppDebug(QString message, bool highlight) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // --- power ---
    Q_INVOKABLE void execPower();
    Q_INVOKABLE void execFactoryReset();
    Q_INVOKABLE void execFactoryTestComplete();
    void power();
    void powerOn(bool byRemocon);
    void powerOff(bool bSave);
    // End of the process, after the event loop.
    void release();
    void factoryReset();
    void AppReqAccOff();
    void AppReqFactoryReset();
    void AppResponsePowerMode(int mode) override;
    void AppRequestPowerDownControl() override;
    void AppRequestHPDControl(int state) override;
    void stopService();
    void stopAV(bool unmute);
    // Power-offs that wait for a running scan or station search to end:
    // the scan's completion or the search's end powers off.
    void stopScanAndPowerOff();
    void stopSearchAndPowerOff();

    // --- settings ---
    // Each command checks its value and stores it; a bad value is logged and
    // ignored. Without an argument (from QML) the value is -1. The audio and
    // picture commands of the same family live with those features.
    Q_INVOKABLE void execClockDisplayChange(int value = -1);
    Q_INVOKABLE void execEventRelayChange(int value = -1);
    Q_INVOKABLE void execAccOpChange(int value = -1);
    // Copies the application's and the broadcast engine's logs to the USB
    // stick; the outcome arrives as sendToastMessage and sendCompleteLogCopy.
    Q_INVOKABLE void execLogCopy();
    Q_INVOKABLE void printLog(QString text);
    Q_INVOKABLE void printLogAll(QString text);
    // Hidden entry into the engineering and factory modes: every remote key
    // (press or long press) and every touch on the live-TV screen is offered.
    Q_INVOKABLE bool checkEngMode(int x, int y);
    bool checkEngModeByKey(int key, int status);
    bool checkFactoryModeByKey(int key, int status);
    // Boot logo and USB detector.
    void showBootLogo();
    Q_INVOKABLE void execStartUsbDetect();
    Q_INVOKABLE bool execFactoryCheckUsbAccess();
    // Ends the detector's polling (release, factory test completion).
    void stopUsbDetect();
    // --- view ---
    // A QML object of `url` created in the engine's root context (null with
    // the errors logged when it cannot be made).
    static QObject* createObject(QQmlEngine* engine, const QUrl& url);
    // Publishes "colorInfo", "imageInfo" and "systemInfo".
    void publishSharedTables();
    // Gives the view's content the key focus when no item of it has it, so
    // that keys reach the item the screens focused. A window that no window
    // system activated (no window manager) or that one deactivated gets it
    // only this way.
    void focusView();

    void setEnablePowerOnOffState(bool enable);

    // --- launcher ---
    void AppRequestAlive() override;

    // --- keys ---
    // The gate: which remote keys reach the QML in the engine's state.
    void AppKeyEvent(int type, int key, int status, QKeyEvent* event) override;
    void AppTouchPosition(int x, int y) override;
    void AppSteeringKeyEvent(int key) override;
    void AppTouchReceive(int x, int y);
    void postMouseEvent(int status, QMouseEvent* event);
    bool checkPlayerScanState();
    bool checkPlayerInHandoverState();

    // --- tuning ---
    // Step 1 of a user's channel change announces the target
    // (sendChangeChannel); step 2, 100 ms later from the live-TV screen, tunes.
    Q_INVOKABLE void execChangeChannel(int lcn, int subChannel);
    Q_INVOKABLE void execPrevChannel();
    Q_INVOKABLE void execNextChannel();
    Q_INVOKABLE void selectFirstStation();
    Q_INVOKABLE int changeChannel(int lcn, int subChannel);
    Q_INVOKABLE void selectPrevStation();
    Q_INVOKABLE void selectNextStation();
    Q_INVOKABLE void execHomeList();
    Q_INVOKABLE int getChannelListCount();
    Q_INVOKABLE int getStationListCount();
    Q_INVOKABLE int getEpgListCount();
    Q_INVOKABLE int getCountForRemoconID(int remoconID);
    Q_INVOKABLE int getCountOfRemoconID(int remoconID);
    Q_INVOKABLE QString getLogoName(int key);
    Q_INVOKABLE int getStationNetworkID(int channelNumber);
    Q_INVOKABLE QString getStationLogoPath(int channelNumber, int networkID = -1);
    Q_INVOKABLE int findAvailableOtherSubChannel(int lcn, int subChannel);
    void AppReqStartChannel(int chNum, int lcn, int subChannel);
    void AppReqStartPrevChannel();
    void AppReqStartNextChannel();
    // 0 tuned, -1 refused (antenna shorted, no service), -2 buffered while
    // tuning is busy, else the player's failure code.
    int setChannel(int remoconID, int subChannel, int fullSegChannelId, int oneSegChannelId, int segType);
    int selectChannelByRemoconID(int remoconID, int subChannel, int segType);
    int selectChannelByStationIndex(int index);
    // Step 2 of previous/next for station row `index`, under the handover lock.
    void selectStationStep(int index, int rows, const char* func);
    void startAV(bool resetUIRemoconID);
    void startService(bool skipSetChannel);
    void AppReqStartStopPlay(int start);
    void startChannel(bool bEventRelay);
    void startEndChannel();
    bool isCurrentChannel(int remoconID, int subChannel);
    void setCurrentChannelItem(ChannelItem* item, bool fromItem);
    void setCurrentChannelInfoUpdate(int mode, int remoconID, int subChannel, int segType);
    void setCurrentChannelInfoUpdateByChangeSeg(int mode, int segType);
    void setChannelPlaySettings();
    void homeListBackup();
    void homeListRestore();
    // The segment a look-up prefers in the current segment mode.
    int preferredSegType();
    static int getSegModeIndexModule(int v);
    static int getSegModeIndexHost(int v);

    // --- scan ---
    Q_INVOKABLE void execInitScan();
    Q_INVOKABLE void execScan(bool bhomeListBackup = false);
    Q_INVOKABLE void execAdditionalScan(bool bhomeListBackup = false);
    Q_INVOKABLE void execStopScan(int scanType = -1);
    // True when the player started the scan.
    bool allScan(bool initScan);
    void AppReqScan();
    bool additionalScan();
    void stopScan();
    void AppReqScanProgress(bool bComplete);

    // --- reception ---
    Q_INVOKABLE void resetWeakCount();
    Q_INVOKABLE int getAntenaOpen();
    Q_INVOKABLE void setEngScreenStatus(bool on);
    Q_INVOKABLE int getAntPort01Cnr() const { return m_nAntPortCnr[0]; }
    Q_INVOKABLE int getAntPort02Cnr() const { return m_nAntPortCnr[1]; }
    Q_INVOKABLE int getAntPort03Cnr() const { return m_nAntPortCnr[2]; }
    Q_INVOKABLE int getAntPort04Cnr() const { return m_nAntPortCnr[3]; }
    Q_INVOKABLE void setEngAuto1toF(int type, int value);
    Q_INVOKABLE void setEngAutoFto1(int type, int value);
    Q_INVOKABLE void setEngOp1Auto1toF(int type, int value);
    Q_INVOKABLE void setEngOp1AutoFto1(int type, int value);
    Q_INVOKABLE void setEngOpFAuto1toF(int type, int value);
    Q_INVOKABLE void setEngOpFAutoFto1(int type, int value);
    Q_INVOKABLE void execSegModeChange(int value = -1);
    void setPollingTimer(bool on);
    void flushSignalBuffer();
    void setSingnalQos(int* values);
    void setSignalLevel(double cnrAvg);
    void changeSeg(int segType, bool force);
    void changeToFixedOneSeg();
    void changeToFixedFullSeg();
    bool checkSegModeForSegType(int segType);
    bool checkAvailSegTypeForSegType(int segType);
    void AppReqSetSegMode(int mode);
    bool isPolling() const { return m_bPolling; }

    // --- handover ---
    Q_INVOKABLE void execStationSearch();
    Q_INVOKABLE void execStopSearch();
    Q_INVOKABLE void execStationSearchOpChange(int val = -1);
    Q_INVOKABLE void execAutoStationSearchChange(int val = -1);
    Q_INVOKABLE void execBackgroundSearchChange(int val = -1);
    void stationSearch(bool b2TS);
    void stopSearch();
    // Called with the handover lock held.
    bool checkHandoverAndCancel();
    bool checkHandoverAvailable();
    bool checkHandover2TsAvailable();
    void setBackSearchInfo2TS();
    // The wait before a station search, in milliseconds, for the stored time
    // in seconds. The file may hold a time whose milliseconds no int holds:
    // the wait is then the longest a timer has.
    static int stationSearchWaitMs(int seconds);

    // --- emergency ---
    Q_INVOKABLE void startEWS(int ewsServiceID);
    void setChangeChByKey(bool byKey);

    // --- audio ---
    Q_INVOKABLE void execBilingualChange(int mode = -1);
    Q_INVOKABLE void execAudioIndexChange(int index = -1);
    Q_INVOKABLE void execSetSubtitle(int value = -1);
    Q_INVOKABLE void execSetSuperImpose(int value = -1);
    Q_INVOKABLE void execChangeAudioMute();
    Q_INVOKABLE void execChangeShowChannelInfo();
    Q_INVOKABLE void execAudioLevelChange(int value = -1);
    Q_INVOKABLE void execChangeAudioLevel(bool up);
    Q_INVOKABLE void clearSubtitleImage();
    void changeBilingual(int mode, bool toggle);
    void changeBilingualMode(int mode);
    void changeBilingualToggle();
    void setAudioSel(int n);
    void setAudioIndex(int n);
    QString makeBilingualInfoText();
    QString getAudioEsText();
    QString getDualAudioLanguageText();
    void notifyBilingualSettingInfo();
    void notifyAudioIndexSettingInfo();
    void notifySegSettingInfo();
    void changeAudioLevel(int level);
    void setBilingualAfterSetChannel();
    void AppReqSetAudioIndex(int value);

    // --- display ---
    Q_INVOKABLE void execScreenRatioChange(int value = -1);
    Q_INVOKABLE void execScreenScaleChange(int value = -1);
    Q_INVOKABLE void setScreenScale(int value);
    Q_INVOKABLE void setVideoDelay(int value);
    Q_INVOKABLE void execVideoDelayChange(int value);
    Q_INVOKABLE int checkDispCable();
    Q_INVOKABLE void checkCurrentHdmiResolution();
    Q_INVOKABLE bool checkAvailableHdmiResolution();
    Q_INVOKABLE void changeHDMIMode();
    // Cable kind of a kernel command line of `length` bytes (not terminated):
    // 0 "DUAL", 1 "CVBS", 2 "HDMI" or no such token.
    static int parseDispCable(const char* text, size_t length);
    // Resolutions of a supported-resolution line (the well-formed tokens).
    static QList<tagHdmiResolution> parseSupportedResolutions(QString line);
    // HDMI mode (0 1080P, 1 720P, -1 unknown) of the resolution id that
    // `line` holds, by `list` first and by the bare id otherwise.
    static int hdmiModeForId(const QList<tagHdmiResolution>& list, const QString& line);
    void setScreenRatio(int value);
    void loadSupportedResolutionFile();
    void parsingSupportedResolutionFile(QString line);
    int loadHdmiResolutionFile();
    void startCheckVideoError();
    void stopCheckVideoError();
    void rebootByVideoError();
    void refreshScreen(bool bViewUpdate, bool bPlayerUpdate);

    // --- guide ---
    Q_INVOKABLE void execEnterEpgScreen();
    Q_INVOKABLE void execExitEpgScreen();
    Q_INVOKABLE void requestEpgListUpdate();
    Q_INVOKABLE void setEpgListUpdate();
    Q_INVOKABLE QString getEpgDetailDataByProxyIndex(int row);
    Q_INVOKABLE int getIntEpgDataByProxyIndex(int row, QString key);
    Q_INVOKABLE QString getStrEpgDataByProxyIndex(int row, QString key);
    Q_INVOKABLE void setJumpEpgIndex(int index);
    Q_INVOKABLE void setEpgScreenExited();
    static bool isGuideScreen(const QString& screen);
    void AppReqEnterEpgScreen();
    void AppReqExitEpgScreen();
    void checkEpgTimer();
    // The channel row whose present and following events a guide-update
    // event of `serviceID` and table `tableID` has the engine fetch again:
    // only the current, shown service's, on a guide screen. Null otherwise.
    ChannelItem* presentFollowingChannel(int serviceID, int tableID);
    void checkProgramNameStationList();
    void getAllStationInfo();
    void clearStationLogo();

    // Output size class of a screen: 0 480P, 1 720P, 2 1080P. A screen wider
    // than 1920 (or without height) counts as 720 x 480 at 720P, and
    // `width`/`height` are replaced by those defaults.
    static int deviceResolution(int& width, int& height);

    // Screen bookkeeping, reported by the QML.
    Q_INVOKABLE void pushScreen(QString screenName);
    Q_INVOKABLE QString popScreen();
    Q_INVOKABLE void setMainState(QString state);
    QString currentScreen() const { return m_sCurrentScreen; }

    QString getImageRootDir() const { return m_sImageRootDir; }
    bool getEngMode() const { return m_bEngMode; }
    int getCurrAvailSegType() const { return m_nCurrAvailSegType; }
    QString getBilingualText() const { return m_sBilingualText; }
    bool getFactoryReset() const { return m_bFactoryReset; }
    bool getAppPowerOn() const { return m_bPowerOn; }
    bool getStartServiceDone() const { return m_bStartServiceDone; }
    bool getAvRenderOn() const { return m_bAvRenderOn; }
    int getOzbState() const { return m_nOzbState; }
    int getUsbDetection() const { return m_nUsbDetection; }
    bool getInCopyingLog() const { return m_bInCopyingLog; }

    // Property writers: store and signal, changed or not.
    void setImageRootDir(const QString& sVal);
    void setEngMode(bool bVal);
    void setCurrAvailSegType(int nVal);
    void setBilingualText(const QString& sVal);
    void setFactoryReset(bool bVal);
    void setAppPowerOn(bool bVal);
    void setStartServiceDone(bool bVal);
    void setAvRenderOn(bool bVal);
    void setOzbState(int nVal);
    void setUsbDetection(int nVal);
    void setInCopyingLog(bool bVal);

public slots:
    // --- power ---
    void onSendPowerOn();
    void onSendCompleteThreadAndPowerOff();
    void onNotifyPrepared();
    void onNotifyAntenaShortStatus(int status);
    // --- launcher ---
    void aliveCheckTimerHandler();
    // --- keys ---
    void mouseReleaseTimerHandler();
    // --- tuning ---
    void onNotifyChannelChanged(bool isHandover);
    void onNotifyVideoOutput(int chIdx);
    void channelInfoUpdateTimerHandler();
    void enableHomeListTimerHandler();
    // --- scan ---
    void scanCompleteTimerHandler();
    void onNotifySearchPercent(int progress, int count);
    void onNotifySearchComplete(bool success);
    void onNotifyEventRelay(int channelIndex, int serviceID);
    void onNotifyChannelUpdate(int serviceID);
    void onNotify2TsComparisonStatus(int status);
    void onNotify2TsChannelUpdateRemove(int channelNumber);
    void onNotify2TsChannelUpdateAdd(int channelNumber);
    void onNotifyVideoDefinitionUpdate(int chIdx, int serviceID);
    void onSendChannelUpdateMode(int modeType, int remoconID);
    void onSendOtherChannelUpdate2TsComplete(int modeType, int channelNumber);
    // --- reception ---
    void signalCheckTimerHandler();
    // --- handover ---
    void sationSearchStartTimerHandler();
    void handoverTimerHandler();
    void onNotifyHandoverChannel(int type, int chNum);
    void onNotifyHandoverComplete(bool result, int channelNumber, int serviceID, int segType);
    void onNotify2TsHandoverResult(int result);
    // --- emergency ---
    void onNotifyEmergencyInfo(int channelIndex, int ewsServiceID);
    // --- settings ---
    void engChenckTimerHandler();
    void engKeyCheckTimerHandler();
    void factoryKeyCheckTimerHandler();
    void onSendUsbDetectStatus(int status);

    // --- audio ---
    void onNotifyBilingualInfoUpdate();
    void onNotifySubtitleUpdate();
    void onNotifyBilingualModeChanged(int mode);
    void subtitleTimerHandler();
    void bilingualUpdateExpireTimerHandler();
    // --- display ---
    void onNotiryEventVideoError(int type);
    void checkVideoErrTimerHandler();
    // --- guide ---
    void epgUpdateTimerHandler();
    void onSendEPGUpdateModeComplete(bool updated, int count);
    void onSendEPGGetModeComplete();
    void onSendCurrentEPGGetModeComplete();
    void onSendEPGModeCanceled();
    void onNotifyEpgUpdate(int serviceID, int tableID);
    void onNotifyCurrStrTimeChanged(QString time);
    void onNotifyCurrProgramNameChanged(QString name);
    void onNotifyCurrServiceIDChanged(int sid);
    void onNotifyLogoImageCreated(int channelNumber, int networkID);
    void onNotifyStationDataChanged(int row);
    void onNotifyChannelListChanged();

signals:
    // --- power ---
    void sendPrepared();
    void sendPowerOn();
    void sendPowerOff();
    void sendGoToMainScreen();
    void sendHPDStateChanged(int hpdState);
    // --- keys ---
    void sendKeyCancel();
    void sendSteeringTrackUp();
    void sendSteeringTrackDown();
    void sendAlertKeyBlock(QString msg);
    void sendShowHideDATouch(bool bShow);
    // --- tuning ---
    void sendStartChannel(bool bEventRelay);
    void sendChangeChannelFail();
    void sendChangeChannel(int lcn, int subChannel, int chNum, int threeDigitNum, QString chName, bool prev,
                           bool next);
    void sendStartEndChannel();
    void sendSetShowOSD(bool isOn);
    void sendNotifyMesssage(QString msg);
    void sendAvIndexUpdated(int remoconId);
    void sendRefreshStaionListStart();
    void sendRefreshStaionListEnd();
    // --- scan ---
    void sendInitScan();
    void sendRefreshScan();
    void sendStartScan();
    void sendAdditionalScan();
    void sendSearchPercent(int percent);
    void sendScanComplete();
    void sendStopScan();
    // --- reception ---
    // Weak reception announced (true) or over (false). Without an argument:
    // the engine dropped a weak announcement without a good one, e.g. when
    // the signal run restarts. One signal with a default, not an overload,
    // so that the live-TV screen's one handler hears both forms.
    void sendSignalWeak(bool bWeak = false);
    // The player reported the video definition of the service (its picture
    // is up): the live-TV screen leaves its weak notice.
    void sendVideoDefinitionUpdate();
    // --- handover ---
    void sendStartSearch();
    void sendStartSearch2TS();
    void sendStopSearch();
    void sendEndSearch(bool bResult);
    void sendHandoverChannel(int type, int chNum);
    void sendHandoverResult(int result);
    // --- emergency ---
    void sendEwsNotifyMessage(QString msg);
    // An emergency warning on `serviceId`, for a root window that asks
    // before switching (startEWS). The engine no longer sends it: a warning
    // is switched to at once on every screen (onNotifyEmergencyInfo), since
    // a question could be declined or time out and the warning be lost.
    void sendEwsReceived(int serviceId);
    // --- settings ---
    void sendToastMessage(QString msg);
    void sendCompleteLogCopy(bool result);
    void sendEnterEngMode();
    void sendExitEngMode();
    void sendEnterFactoryMode();

    // --- audio ---
    void sendSettingInfoMesssage(QString msg);
    void sendSubtitleUpdate();
    // --- guide ---
    void sendEnterEpgScreen();
    void sendExitEpgScreen();
    void sendStartEpgRefresh();
    void sendEndEpgRefresh();
    void jumpEpgIndex(int index);
    void sendChannelLogoUpdated(int channelNumber, int networkID);
    void sendChannelUpdateComplete();

    void notifyImageRootDirChanged(QString sVal);
    void notifyEngModeChanged(bool bVal);
    void notifyCurrAvailSegTypeChanged(int nVal);
    void notifyBilingualTextChanged(QString sVal);
    void notifyFactoryResetChanged(bool bVal);
    void notifyAppPowerOnChanged(bool bVal);
    void notifyStartServiceDoneChanged(bool bVal);
    void notifyAvRenderOnChanged(bool bVal);
    void notifyOzbStateChanged(int nVal);
    void notifyUsbDetectionChanged(int nVal);
    void notifyInCopyingLogChanged(int nVal);
    void notifyChangeChByKeyChanged(int nVal);

protected:
    QTimer* makeTimer(const char* name, int intervalMs, bool repeating, void (ISDBtAppEngine::*handler)());

    QQmlEngine* m_pEngine = nullptr;
    QQmlContext* m_pRootContext = nullptr;
    QQuickView* m_pView = nullptr;
    QScreen* m_pScreen = nullptr;
    QTranslator* m_pTranslator = nullptr;
    bool m_bTranslatorInstalled = false;

    ISDBtDataManager* m_pDataManager = nullptr;
    ISDBtFactoryDataManager* m_pFactoryDataManager = nullptr;
    ISDBtThread* m_pJobThread = nullptr;
    SignalInfoItem* m_pSignalInfo = nullptr;
    ThresholdItem* m_pThreshold = nullptr;
    KvrOzbFSegDBManager* m_pOzbDBManager = nullptr;
    KvrOzbFSegPlayer* m_pPlayer = nullptr;
    FileIO* m_pFileIO = nullptr;

    // Timers of the engine; each one's handler is connected by the code that
    // gives it its behaviour. None runs until that code starts it.
    QTimer* m_pChannelInfoUpdateTimer = nullptr;
    QTimer* m_pSignalCheckTimer = nullptr;
    QTimer* m_pMouseReleaseTimer = nullptr;
    QTimer* m_pAliveCheckTimer = nullptr;
    QTimer* m_pHandoverTimer = nullptr;
    QTimer* m_pStationSearchStartTimer = nullptr;
    QTimer* m_pBilingualUpdateExpireTimer = nullptr;
    QTimer* m_pSubtitleTimer = nullptr;
    QTimer* m_pEnableHomeListTimer = nullptr;
    QTimer* m_pEngCheckTimer = nullptr;
    QTimer* m_pEngKeyCheckTimer = nullptr;
    QTimer* m_pFactoryKeyCheckTimer = nullptr;
    QTimer* m_pEpgUpdateTimer = nullptr;
    QTimer* m_pScanCompleteTimer = nullptr;
    QTimer* m_pCheckVideoErrTimer = nullptr;

    // Application power (published as bAppPowerOn).
    bool m_bPowerOn = false;
    // The power toggle is refused while this is false.
    bool m_bEnablePowerOnOffState = false;
    // Keys are refused while a long operation runs; true until start() ends.
    bool m_bInProcessing = true;
    bool m_bChangeChByKey = false;

    // --- power ---
    // The bSave of a power-off completed later.
    bool m_bSavePowerState = false;
    // A power-off waits for the running channel change to end.
    bool m_bPowerOffAfterSetChannel = false;
    bool m_bFactoryMode = false;
    // Last HDMI hot-plug state, and whether the power still has to follow it.
    int m_bHPDState = 1;
    bool m_bHPDChanged = false;

    // --- launcher ---
    int m_nAliveCount = 0;

    // --- keys ---
    double m_fTouchScaleX = 1.0;
    double m_fTouchScaleY = 1.0;
    // Position of the pending mouse release; -1 when none.
    double m_fMouseX = -1.0;
    double m_fMouseY = -1.0;

    // --- tuning ---
    // False while a tune is handed to the player (or a search or scan runs).
    bool m_bEnableSetChannel = true;
    bool m_bForceSetChannelWhenFirstStartService = true;
    // The one channel request kept while tuning is busy; a later one replaces it.
    struct RequestSetChannel {
        bool set = false;
        int remoconID = 0;
        int subChannel = 0;
    };
    RequestSetChannel requestSetChannel;
    void bufferChannelRequest(int remoconID, int subChannel);
    bool m_bEnableHomeList = true;
    bool m_bServiceStopRequested = false;
    // Channel-information clock: date (MJD), seconds of the day, log pacing.
    int m_nClockDate = 0;
    int m_nClockSeconds = 0;
    int m_nClockLogCount = 0;
    bool m_bClockSynced = false;

    // --- scan ---
    bool m_bScanningFull = false;
    bool m_bScanningAdditional = false;
    bool m_bInitialScan = false;
    bool m_bHomeListBackup = false;
    bool m_bStopScanPowerOff = false;
    int m_nScanProgress = -1;
    int m_nScanCount = 0;
    bool m_bCheckRemoconId = false;
    bool m_bRequestChannelUpdate = false;
    // Leaves a scan that never started: tuning back on, the service again.
    void restoreAfterRefusedScan(const char* what);
    // Tunes the channel after a scan or a failed search: the current one when
    // asked for and possible, else the first station.
    void reselectChannel(bool tryCurrent);

    // --- reception ---
    friend class EngineReceptionHost;
    // Made on first use (shared pointers: the types are complete only there).
    std::shared_ptr<EngineReceptionHost> m_pReceptionHost;
    std::shared_ptr<ReceptionMonitor> m_pReception;
    ReceptionMonitor* reception();
    bool m_bPolling = false;
    // The screen was told of weak reception and not told of its end.
    bool m_bWeakAnnounced = false;
    bool m_bAvailStationSearch = false;
    bool m_bEngScreenStatus = false;
    int m_nAntPortCnr[4] = {0, 0, 0, 0};

    // --- handover ---
    bool m_bSuccessHandover = false;
    // A power-off waits for the running station search to end.
    bool m_bStopSearchPowerOff = false;
    // Powers off when a search's end was awaited for it; true when it did.
    bool powerOffAfterSearch();
    // Set while the engine itself cancels a handover: the player's report of
    // that cancel is not a search result.
    bool m_bCancellingHandover = false;
    int cancelHandoverLocked();

    // --- audio ---
    // Set for a while after a tune or a segment switch: the audio label is
    // rebuilt at each channel-information refresh, not only when the
    // player's audio record changes (a switch to a service with the same
    // record leaves the record as it was, but not the label).
    bool m_bBilingualUpdate = false;
    void startBilingualUpdate();
    void refreshBilingualWhileUpdatable();
    // False from a caption clear until the subtitle timer fires, so that a
    // caption of the previous service never reaches the screen.
    bool m_bEnableSubtitleUpdate = false;
    // The player's audio record as it stands (empty without a player).
    BilingualInfo bilingualInfo() const;

    // --- display ---
    QList<tagHdmiResolution> m_hdmiList;
    int m_nVideoErrCount = 0;
    int m_nMemVideoErrCount = 0;

    // --- guide ---
    // Station logos were requested since the last logo clear.
    bool m_bStationLogosFetched = false;

    QString m_sCurrentScreen;
    QStack<QString> m_qmlStack;
    int m_nDeviceResolution = 1;

    QString m_sImageRootDir;
    bool m_bEngMode = false;
    int m_nCurrAvailSegType = -1;
    QString m_sBilingualText;
    bool m_bFactoryReset = false;
    bool m_bStartServiceDone = false;
    bool m_bAvRenderOn = true;
    int m_nOzbState = None;
    int m_nUsbDetection = 0;
    bool m_bInCopyingLog = false;

    // --- settings ---
    ISDBtBootLogoThread* m_pBootLogoThread = nullptr;
    ISDBtDevDetectHandler* m_pDevDetectHandler = nullptr;
    // Hidden-mode entry: level reached and presses (touches) of the current step.
    int m_nEngKeyLevel = 0;
    int m_nEngKeyCount = 0;
    int m_nEngTouchLevel = 0;
    int m_nEngTouchCount = 0;
    int m_nFactoryKeyLevel = 0;
};
