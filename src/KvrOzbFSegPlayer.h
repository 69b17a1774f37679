#pragma once
// The one class that talks to the broadcast player engine: it turns each
// request of the application into engine calls, keeps the state the engine
// does not report back, and turns the engine's events into Qt signals.
//
// Threads: the GUI thread and the job thread call the operations; the
// engine calls eventListener() on a thread of its own, so every signal is
// emitted there and reaches receivers on other threads queued. The handover
// lock m_mutex guards m_bHandover; the application engine takes it itself
// around its reads of m_bHandover and around cancelHandover(), which
// therefore does not take it (the lock is not recursive).

#include "DbIconItem.h"

#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>

namespace dtv {
class ISDBTPlayer;
}
class ISDBtDataManager;
class ImageMakeThread;
class SubtitleItem;

// Audio-language information of the service on air.
struct BilingualInfo {
    int32_t totalAudioPID = 0;
    int32_t audioMode = 0;
    int32_t audioMain[3] = {0, 0, 0};  // ISO 639-2, packed three letters
    int32_t audioSub[3] = {0, 0, 0};
    QString audioMainText[3];
    QString audioSubText[3];
};

// A physical memory region as listed in /proc/pmap.
struct tagPmap {
    unsigned int base = 0;
    unsigned int size = 0;
};

class KvrOzbFSegPlayer : public QObject {
    Q_OBJECT
public:
    // Player states.
    enum {
        StateNone = 0,
        StateCreating = 1,
        StateCreated = 11,
        StatePreparing = 2,
        StatePrepared = 12,
        StateScanning = 3,
        StateTuning = 4,
        StateIdle = 20,
        StateStopped = 21,
        StateHandover = 5,
        StateHandover2TS = 6,
        StateAvStarted = 22,
        StateVideoOutput = 23,
    };

    static KvrOzbFSegPlayer* getInstance();
    explicit KvrOzbFSegPlayer(QObject* parent = nullptr);
    ~KvrOzbFSegPlayer() override;

    // Lifecycle.
    void initialize();
    void prepare(unsigned int value);
    int scan(int type);
    void scanCancel();
    void searchCancel();
    int setChannel(int fullSegID, int oneSegID, int audioMode, int segType);
    void stop();
    void setMode(int mode);
    void release();

    // Station search (handover).
    bool requestHandover(int n);
    bool requestHandover2TS();
    int cancelHandover();

    // Audio, captions and picture.
    void setAudioIndex(int index);
    void setAudioDualMono(int n);
    void setDualChannel(int n);
    void setSubtitle(int n);
    void setSuperImpose(int n);
    bool startAvRender();
    bool stopAvRender();
    void changeZoomOnOff();
    void setScreenMode(int n);
    void setScreenScale(int percent);
    void setVideoDelay(int ms);
    void setHDMIMode(int mode);
    void setBackSearchInfo2TS(unsigned int mode, unsigned int kind);
    void clear2TsSearchResult();

    // Queries and service calls.
    int getSignalStrength(float* cnr, int* values);
    int getCurrentDateTime(int* date, int* hour, int* minute, int* second);
    int getApTemperature();
    int getAntenaOpenCheckPinState();
    int setChLogEpgDb_OpenClose(unsigned int n);
    int copyLogFilesToUsb();
    int setChannelFor2TS(int fullSegID, int oneSegID, int segType);
    int getSignalStrengthFor2TS(float* cnr, int* values);
    void stationSearch();
    void getChannelInfo(int modeType, int channelNumber, int serviceID);
    void getStationlLogo(int modeType, int channelNumber, int serviceID, bool force);
    bool checkLogoImage(int networkID);
    void makeLogoImage(int channelNumber, int networkID, int width, int height, unsigned char* bgra);

    // The engine's listener (always acts on the singleton).
    static int eventListener(int msg, int ext1, int ext2, void* obj);
    // Looks up region `name` in the pmap file; false leaves *info unchanged.
    static bool getPmapInfo(const char* name, tagPmap* info);
    // The same look-up in `len` bytes of pmap text.
    static bool parsePmapText(const char* text, size_t len, const char* name, tagPmap* info);

    int getPlayerState() const { return m_nPlayerState; }
    int getRelayCount() const { return m_nRelayCount; }
    int getAffiliationCount() const { return m_nAffiliationCount; }
    bool isChannelSet() const { return m_bChannelSet; }
    bool isBackSearchOn() const { return m_bBackSearchOn; }
    bool isAvRenderOn() const { return m_bAvRenderOn; }
    bool isPrepared() const { return m_bPrepared; }
    ImageMakeThread* imageMakeThread() const { return m_pImageMakeThread; }

    // Read directly by the application engine.
    BilingualInfo* m_pBilingualInfo = nullptr;
    QMutex m_mutex;  // the handover lock
    bool m_bHandover = false;
    std::atomic<int> m_nPlayerState{StateNone};

signals:
    void notifyAntenaShortStatus(int status);
    void notifyPrepared();
    void notifySearchComplete(bool result);
    void notifySearchPercent(int progress, int count);
    void notifyVideoOutput(int chIdx);
    void notifyBilingualInfoUpdate();
    void notifyChannelChanged(bool isHandover);
    void notifySubtitleUpdate();
    void notifyHandoverComplete(bool bResult, int chNum, int serviceID, int channelIndex);
    void notifyHandoverChannel(int type, int chNum);
    void notifyChannelUpdate(int serviceID);
    void notifyVideoDefinitionUpdate(int chIdx, int serviceID);
    void notify2TsHandoverResult(int result);
    void notify2TsComparisonStatus(int status);
    void notifyEventRelay(int channelIndex, int serviceID);
    void notifyEmergencyInfo(int channelIndex, int serviceID);
    void notifyEpgUpdate(int serviceID, int tableID);
    void notifyLogoImageCreated(int channelNumber, int networkID);
    void notifyBilingualModeChanged(int mode);
    void notify2TsChannelUpdateRemove(int channelNumber);
    void notify2TsChannelUpdateAdd(int channelNumber);
    void notiryEventVideoError(int type);

public slots:
    void onSendSaveLogoComplete(int channelNumber, int networkID, QString name);

private:
    void setPlayerState(int state);
    // Audio mute and video pause both to `on`; true when the engine took both.
    bool setAvRender(int on, const char* name);
    void handleEvent(int msg, int ext1, int ext2, const int32_t* obj);
    void onAvIndexUpdate(const int32_t* obj);
    void on2TsChannelUpdate(const int32_t* obj);
    void onSubtitleUpdate(int chIdx, int serviceID, const int32_t* obj);
    bool setSubtitleMemoryMapping(int serviceID, unsigned int phyAddr, unsigned int size);
    // Refuses logos that do not fit a tagDbIconItem.
    bool logoFits(int channelNumber, int networkID, int width, int height) const;
    void queueLogo(int channelNumber, int serviceID, int networkID, int width, int height,
                   const unsigned char* bgra);

    ISDBtDataManager* m_pDataManager = nullptr;
    SubtitleItem* m_pSubtitleItem = nullptr;
    ImageMakeThread* m_pImageMakeThread = nullptr;
    tagPmap* m_pPmap = nullptr;
    dtv::ISDBTPlayer* m_pPlayer = nullptr;
    bool m_bPrepared = false;
    bool m_b2TsHandover = false;
    std::atomic<int> m_nRelayCount{0};
    std::atomic<int> m_nAffiliationCount{0};
    int m_nCcfbFd = -1;
    unsigned char* m_pCcfbMap = nullptr;
    std::atomic<int> m_nFoundChannels{0};
    std::atomic<bool> m_bChannelSet{false};
    bool m_bBackSearchOn = true;
    bool m_bAvRenderOn = true;
    std::map<int, std::pair<int, int>> m_logoMap;
};
