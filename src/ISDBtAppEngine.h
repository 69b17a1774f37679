#pragma once
// The application's one engine object, published to QML as "ISDBtEngine". It
// creates or looks up every service of the program, owns the QML view and
// loads the user interface into it, and keeps the engine state and the
// screen bookkeeping the QML reports.

#include "AppEngineIF.h"

#include <QObject>
#include <QStack>
#include <QString>
#include <QUrl>

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
    // --- view ---
    // A QML object of `url` created in the engine's root context (null with
    // the errors logged when it cannot be made).
    static QObject* createObject(QQmlEngine* engine, const QUrl& url);
    // Publishes "colorInfo", "imageInfo" and "systemInfo".
    void publishSharedTables();

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
    // The service start after the prepared event; channel selection builds
    // on these.
    void startAV(bool resetUIRemoconID);
    void startService(bool skipSetChannel);
    int selectChannelByRemoconID(int remoconID, int subChannel, int segType);
    int setChannel(int remoconID, int subChannel, int fullSegChannelId, int oneSegChannelId, int segType);
    void setPollingTimer(bool on);
    void setChangeChByKey(bool byKey);

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
    QTimer* makeTimer(const char* name, int intervalMs, bool repeating);

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
};
