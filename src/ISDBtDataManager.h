#pragma once
// The TV application's user settings (settings.ini) and its live status.
//
// One object for the whole process, published to QML as "ISDBtData". The
// members are the truth once the file has been loaded; every persisted change
// is written through at once (QSettings::setValue, sync, then the shell's
// "sync"), so a power cut never loses a setting.

#include <QMutex>
#include <QObject>
#include <QString>

class QSettings;

class ISDBtDataManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool bInitialized READ getInitialized WRITE setInitialized NOTIFY notifyInitializedChanged)
    Q_PROPERTY(int nStartPower READ getStartPower WRITE setStartPower NOTIFY notifyStartPowerChanged)
    Q_PROPERTY(bool bPowerOn READ getPowerOn WRITE setPowerOn NOTIFY notifyPowerOnChanged)
    Q_PROPERTY(bool bAvRenderOn READ getAvRenderOn WRITE setAvRenderOn NOTIFY notifyAvRenderOnChanged)
    Q_PROPERTY(int nLanguage READ getLanguage WRITE setLanguage NOTIFY notifyLanguageChanged)
    Q_PROPERTY(int nMode READ getMode WRITE setMode NOTIFY notifyModeChanged)
    Q_PROPERTY(int nScanType READ getScanType WRITE setScanType NOTIFY notifyScanTypeChanged)
    Q_PROPERTY(int nHomeRemoconID READ getHomeRemoconID WRITE setHomeRemoconID NOTIFY notifyHomeRemoconIDChanged)
    Q_PROPERTY(int nHomeSubChannel READ getHomeSubChannel WRITE setHomeSubChannel NOTIFY notifyHomeSubChannelChanged)
    Q_PROPERTY(int nDriveRemoconID READ getDriveRemoconID WRITE setDriveRemoconID NOTIFY notifyDriveRemoconIDChanged)
    Q_PROPERTY(int nDriveSubChannel READ getDriveSubChannel WRITE setDriveSubChannel NOTIFY notifyDriveSubChannelChanged)
    Q_PROPERTY(int nSegMode READ getSegMode WRITE setSegMode NOTIFY notifySegModeChanged)
    Q_PROPERTY(int nShowChannelInfo READ getShowChannelInfo WRITE setShowChannelInfo NOTIFY notifyShowChannelInfoChanged)
    Q_PROPERTY(int nStationSearchType READ getStationSearchType WRITE setStationSearchType NOTIFY notifyStationSearchTypeChanged)
    Q_PROPERTY(int nStationSearchTime READ getStationSearchTime WRITE setStationSearchTime NOTIFY notifyStationSearchTimeChanged)
    Q_PROPERTY(int nSubtitle READ getSubtitle WRITE setSubtitle NOTIFY notifySubtitleChanged)
    Q_PROPERTY(int nSuperImpose READ getSuperImpose WRITE setSuperImpose NOTIFY notifySuperImposeChanged)
    Q_PROPERTY(int nBilingual READ getBilingual WRITE setBilingual NOTIFY notifyBilingualChanged)
    Q_PROPERTY(int nAudioLevel READ getAudioLevel WRITE setAudioLevel NOTIFY notifyAudioLevelChanged)
    Q_PROPERTY(int nShowTime READ getShowTime WRITE setShowTime NOTIFY notifyShowTimeChanged)
    Q_PROPERTY(int nScreenRatio READ getScreenRatio WRITE setScreenRatio NOTIFY notifyScreenRatiolChanged)
    Q_PROPERTY(int nScreenScale READ getScreenScale WRITE setScreenScale NOTIFY notifyScreenScaleChanged)
    Q_PROPERTY(int nVideoDelay READ getVideoDelay WRITE setVideoDelay NOTIFY notifyVideoDelayChanged)
    Q_PROPERTY(int nVideoType READ getVideoType WRITE setVideoType NOTIFY notifyVideoTypeChanged)
    Q_PROPERTY(int nHDMIMode READ getHDMIMode WRITE setHDMIMode NOTIFY notifyHDMIModeChanged)
    Q_PROPERTY(int nBackgroundSearch READ getBackgroundSearch WRITE setBackgroundSearch NOTIFY notifyBackgroundSearchChanged)
    Q_PROPERTY(int nEventRelay READ getEventRelay WRITE setEventRelay NOTIFY notifyEventRelayChanged)
    Q_PROPERTY(int nCurrChannelNumber READ getCurrChannelNumber WRITE setCurrChannelNumber NOTIFY notifyCurrChannelNumberChanged)
    Q_PROPERTY(int nCurrServiceID READ getCurrServiceID WRITE setCurrServiceID NOTIFY notifyCurrServiceIDChanged)
    Q_PROPERTY(int nCurrSegType READ getCurrSegType WRITE setCurrSegType NOTIFY notifyCurrSegTypeChanged)
    Q_PROPERTY(QString sCurrStrDate READ getCurrStrDate WRITE setCurrStrDate NOTIFY notifyCurrStrDateChanged)
    Q_PROPERTY(QString sCurrStrTime READ getCurrStrTime WRITE setCurrStrTime NOTIFY notifyCurrStrTimeChanged)
    Q_PROPERTY(int nCurrRemoconID READ getCurrRemoconID WRITE setCurrRemoconID NOTIFY notifyCurrRemoconIDChanged)
    Q_PROPERTY(int nCurrSubChannel READ getCurrSubChannel WRITE setCurrSubChannel NOTIFY notifyCurrSubChannelChanged)
    Q_PROPERTY(int nCurrDispSubChannel READ getCurrDispSubChannel WRITE setCurrDispSubChannel NOTIFY notifyCurrDispSubChannelChanged)
    Q_PROPERTY(int nCurrNetworkID READ getCurrNetworkID WRITE setCurrNetworkID NOTIFY notifyCurrNetworkIDChanged)
    Q_PROPERTY(int nCurrRemoconIdCount READ getCurrRemoconIdCount WRITE setCurrRemoconIdCount NOTIFY notifyCurrRemoconIdCountChanged)
    Q_PROPERTY(int nCurrThreeDigitNumber READ getCurrThreeDigitNumber WRITE setCurrThreeDigitNumber NOTIFY notifyCurrThreeDigitNumberChanged)
    Q_PROPERTY(QString sCurrChName READ getCurrChName WRITE setCurrChName NOTIFY notifyCurrChNameChanged)
    Q_PROPERTY(int nCurrStationIndex READ getCurrStationIndex WRITE setCurrStationIndex NOTIFY notifyCurrStationIndexChanged)
    Q_PROPERTY(int nCurrAudioPid READ getCurrAudioPid WRITE setCurrAudioPid NOTIFY notifyCurrAudioPidChanged)
    Q_PROPERTY(int nCurrAudioIndex READ getCurrAudioIndex WRITE setCurrAudioIndex NOTIFY notifyCurrAudioIndexChanged)
    Q_PROPERTY(int nCurrAudioMode READ getCurrAudioMode WRITE setCurrAudioMode NOTIFY notifyCurrAudioModeChanged)
    Q_PROPERTY(int nCurrAudioSel READ getCurrAudioSel WRITE setCurrAudioSel NOTIFY notifyCurrAudioSelChanged)
    Q_PROPERTY(QString sCurrProgramName READ getCurrProgramName WRITE setCurrProgramName NOTIFY notifyCurrProgramNameChanged)
    Q_PROPERTY(int nCurrChannelListCnt READ getCurrChannelListCnt WRITE setCurrChannelListCnt NOTIFY notifyCurrChannelListCntChanged)
    Q_PROPERTY(int nCurrStationListCnt READ getCurrStationListCnt WRITE setCurrStationListCnt NOTIFY notifyCurrStationListCntChanged)
    Q_PROPERTY(int nCurrEpgListCnt READ getCurrEpgListCnt WRITE setCurrEpgListCnt NOTIFY notifyCurrEpgListCntChanged)
    Q_PROPERTY(int nAntennaState READ getAntennaState WRITE setAntennaState NOTIFY notifyAntennaStateChanged)
    Q_PROPERTY(int nSignalLevel READ getSignalLevel WRITE setSignalLevel NOTIFY notifySignalLevelChanged)
    Q_PROPERTY(int nAntStrengthLevel READ getAntStrengthLevel WRITE setAntStrengthLevel NOTIFY notifyAntStrengthLevelChanged)
    Q_PROPERTY(double fCnrAvg READ getCnrAvg WRITE setCnrAvg NOTIFY notifyCnrAvgChanged)
    Q_PROPERTY(bool b2TsCompStatus READ get2TsCompStatus WRITE set2TsCompStatus NOTIFY notify2TsCompStatusChanged)
    Q_PROPERTY(QString sSwVer READ getSwVer WRITE setSwVer NOTIFY notifySwVerChanged)
    Q_PROPERTY(QString sMicomVer READ getMicomVer WRITE setMicomVer NOTIFY notifyMicomVerChanged)
    Q_PROPERTY(QString sFwVer READ getFwVer WRITE setFwVer NOTIFY notifyFwVerChanged)
    Q_PROPERTY(QString sChrontelVer READ getChrontelVer WRITE setChrontelVer NOTIFY notifyChrontelVerChanged)
    Q_PROPERTY(bool bUsePcber READ getUsePcber WRITE setUsePcber NOTIFY notifyUsePcberChanged)
    Q_PROPERTY(bool bAudioMute READ getAudioMute WRITE setAudioMute NOTIFY notifyAudioMuteChanged)

public:
    static ISDBtDataManager* getInstance()
    {
        if (m_pInstance == nullptr) {
            static QMutex qmutex;
            qmutex.lock();
            if (m_pInstance == nullptr)
                m_pInstance = new ISDBtDataManager(nullptr);
            qmutex.unlock();
        }
        return m_pInstance;
    }

    ~ISDBtDataManager() override;

    static const QString KEY_INITIALIZED;
    static const QString KEY_STARTPOWER;
    static const QString KEY_POWERON;
    static const QString KEY_AVRENDERON;
    static const QString KEY_LANGUAGE;
    static const QString KEY_MODE;
    static const QString KEY_SCANTYPE;
    static const QString KEY_HOMEREMOCONID;
    static const QString KEY_HOMESUBCHANNEL;
    static const QString KEY_DRIVERREMOCONID;
    static const QString KEY_DRIVERSUBCHANNEL;
    static const QString KEY_SEGMODE;
    static const QString KEY_SEGMODEPRIORITY;
    static const QString KEY_SHOWCHANNELINFO;
    static const QString KEY_STATIONSEARCHTYPE;
    static const QString KEY_STATIONSEARCHTIME;
    static const QString KEY_SUBTITLE;
    static const QString KEY_SUPERIMPOSE;
    static const QString KEY_BILINGUAL;
    static const QString KEY_AUDIOLEVEL;
    static const QString KEY_SHOWTIME;
    static const QString KEY_SCREENRATIO;
    static const QString KEY_SCREENSCALE;
    static const QString KEY_VIDEODELAY;
    static const QString KEY_VIDEOTYPE;
    static const QString KEY_HDMIMODE;
    static const QString KEY_BACKGROUNDSEARCH;
    static const QString KEY_EVENTRELAY;
    static const QString KEY_CURRENTCHANNELNUMBER;
    static const QString KEY_CURRENTSERVICEID;
    static const QString KEY_CURRENTSEGTYPE;
    static const QString KEY_HOMEREMOCONID_;
    static const QString KEY_DRIVEREMOCONID_;

    // Readers of the properties.
    bool getInitialized() const { return m_bInitialized; }
    int getStartPower() const { return m_nStartPower; }
    bool getPowerOn() const { return m_bPowerOn; }
    bool getAvRenderOn() const { return m_bAvRenderOn; }
    int getLanguage() const { return m_nLanguage; }
    int getMode() const { return m_nMode; }
    int getScanType() const { return m_nScanType; }
    int getHomeRemoconID() const { return m_nHomeRemoconID; }
    int getHomeSubChannel() const { return m_nHomeSubChannel; }
    int getDriveRemoconID() const { return m_nDriveRemoconID; }
    int getDriveSubChannel() const { return m_nDriveSubChannel; }
    int getSegMode() const { return m_nSegMode; }
    int getShowChannelInfo() const { return m_nShowChannelInfo; }
    int getStationSearchType() const { return m_nStationSearchType; }
    int getStationSearchTime() const { return m_nStationSearchTime; }
    int getSubtitle() const { return m_nSubtitle; }
    int getSuperImpose() const { return m_nSuperImpose; }
    int getBilingual() const { return m_nBilingual; }
    int getAudioLevel() const { return m_nAudioLevel; }
    int getShowTime() const { return m_nShowTime; }
    int getScreenRatio() const { return m_nScreenRatio; }
    int getScreenScale() const { return m_nScreenScale; }
    int getVideoDelay() const { return m_nVideoDelay; }
    int getVideoType() const { return m_nVideoType; }
    int getHDMIMode() const { return m_nHDMIMode; }
    int getBackgroundSearch() const { return m_nBackgroundSearch; }
    int getEventRelay() const { return m_nEventRelay; }
    int getCurrChannelNumber() const { return m_nCurrChannelNumber; }
    int getCurrServiceID() const { return m_nCurrServiceID; }
    int getCurrSegType() const { return m_nCurrSegType; }
    QString getCurrStrDate() const { return m_sCurrStrDate; }
    QString getCurrStrTime() const { return m_sCurrStrTime; }
    int getCurrRemoconID() const { return m_nCurrRemoconID; }
    int getCurrSubChannel() const { return m_nCurrSubChannel; }
    int getCurrDispSubChannel() const { return m_nCurrDispSubChannel; }
    int getCurrNetworkID() const { return m_nCurrNetworkID; }
    int getCurrRemoconIdCount() const { return m_nCurrRemoconIdCount; }
    int getCurrThreeDigitNumber() const { return m_nCurrThreeDigitNumber; }
    QString getCurrChName() const { return m_sCurrChName; }
    int getCurrStationIndex() const { return m_nCurrStationIndex; }
    int getCurrAudioPid() const { return m_nCurrAudioPid; }
    int getCurrAudioIndex() const { return m_nCurrAudioIndex; }
    int getCurrAudioMode() const { return m_nCurrAudioMode; }
    int getCurrAudioSel() const { return m_nCurrAudioSel; }
    QString getCurrProgramName() const { return m_sCurrProgramName; }
    int getCurrChannelListCnt() const { return m_nCurrChannelListCnt; }
    int getCurrStationListCnt() const { return m_nCurrStationListCnt; }
    int getCurrEpgListCnt() const { return m_nCurrEpgListCnt; }
    int getAntennaState() const { return m_nAntennaState; }
    int getSignalLevel() const { return m_nSignalLevel; }
    int getAntStrengthLevel() const { return m_nAntStrengthLevel; }
    double getCnrAvg() const { return m_fCnrAvg; }
    bool get2TsCompStatus() const { return m_b2TsCompStatus; }
    QString getSwVer() const { return m_sSwVer; }
    QString getMicomVer() const { return m_sMicomVer; }
    QString getFwVer() const { return m_sFwVer; }
    QString getChrontelVer() const { return m_sChrontelVer; }
    bool getUsePcber() const { return m_bUsePcber; }
    bool getAudioMute() const { return m_bAudioMute; }

    // Setters: validated, persisted, persisted with the misc record, or
    // memory-only, each as its setting requires.
    void setInitialized(bool bVal);
    void setStartPower(int nVal);
    void setPowerOn(bool bVal);
    void setAvRenderOn(bool bVal);
    void setLanguage(int nVal);
    void setMode(int nVal);
    void setScanType(int nVal);
    void setHomeRemoconID(int nVal);
    void setHomeSubChannel(int nVal);
    void setDriveRemoconID(int nVal);
    void setDriveSubChannel(int nVal);
    void setSegMode(int nVal);
    void setShowChannelInfo(int nVal);
    void setStationSearchType(int nVal);
    void setStationSearchTime(int nVal);
    void setSubtitle(int nVal);
    void setSuperImpose(int nVal);
    void setBilingual(int nVal);
    void setAudioLevel(int nVal);
    void setShowTime(int nVal);
    void setScreenRatio(int nVal);
    void setScreenScale(int nVal);
    void setVideoDelay(int nVal);
    void setVideoType(int nVal);
    void setHDMIMode(int nVal);
    void setBackgroundSearch(int nVal);
    void setEventRelay(int nVal);
    void setCurrChannelNumber(int nVal);
    void setCurrServiceID(int nVal);
    void setCurrSegType(int nVal);
    void setCurrStrDate(const QString& sVal);
    void setCurrStrTime(const QString& sVal);
    void setCurrRemoconID(int nVal);
    void setCurrSubChannel(int nVal);
    void setCurrDispSubChannel(int nVal);
    void setCurrNetworkID(int nVal);
    void setCurrRemoconIdCount(int nVal);
    void setCurrThreeDigitNumber(int nVal);
    void setCurrChName(const QString& sVal);
    void setCurrStationIndex(int nVal);
    void setCurrAudioPid(int nVal);
    void setCurrAudioIndex(int nVal);
    void setCurrAudioMode(int nVal);
    void setCurrAudioSel(int nVal);
    void setCurrProgramName(const QString& sVal);
    void setCurrChannelListCnt(int nVal);
    void setCurrStationListCnt(int nVal);
    void setCurrEpgListCnt(int nVal);
    void setAntennaState(int nVal);
    void setSignalLevel(int nVal);
    void setAntStrengthLevel(int nVal);
    void setCnrAvg(double fVal);
    void set2TsCompStatus(bool bVal);
    void setSwVer(const QString& sVal);
    void setMicomVer(const QString& sVal);
    void setFwVer(const QString& sVal);
    void setChrontelVer(const QString& sVal);
    void setUsePcber(bool bVal);
    void setAudioMute(bool bVal);

    void saveProperty(bool writeRecord);
    void saveUnsavedData();
    void reset();

    // Remote ID and sub-channel of the current reception mode (HOME or DRIVE).
    void getChannel(int* remoconID, int* subChannel);
    void setChannel(int remoconID, int subChannel, int fullSegID, int oneSegID);
    void setCurrChannel(int remoconID, int subChannel, int channelNumber, int serviceID);
    void setEPGTable(int channelNumber, int serviceID);

    // One-touch button maps: key n maps the database's remote ID n to the
    // number the user interface shows for it.
    int getUIRemoconID(int mode, int id);
    void clearUIRemoconID(int mode);
    void initUIRemoconID(int mode);
    int checkUIRemoconID(int mode, int id, int origin);
    void setUIRemoconID(int mode, int dbID, int uiID);

    void audioLevelSet(int mixerLevel);
    int getRealAudioLevel(int level);
    void audioFixedLevelSet();

    void setCurrentChannelInfo(int remoconID, int subChannel, int dispSubChannel, int serviceID,
                               int channelNumber, int threeDigitNumber, int stationIndex,
                               int networkID, QString chName, int remoconIdCount);
    void setCurrentDataTime(int mjd, int secondsOfDay);
    int getAntStrengthLevel(double cnr);
    void updateAntStrengthLevel(double cnr);

    void loadSwVersion();
    void loadMicomVersion();
    void loadChrontelVersion();

    // Channel-list IDs of the current channel's two services (set by setChannel).
    int fullSegID = -1;
    int oneSegID = -1;
    // The channel whose programme guide was requested last.
    int epgChannelNumber = 0;
    int epgServiceID = 0;

signals:
    void notifyInitializedChanged(bool bVal);
    void notifyStartPowerChanged(int nVal);
    void notifyPowerOnChanged(bool bVal);
    void notifyAvRenderOnChanged(bool bVal);
    void notifyLanguageChanged(int nVal);
    void notifyModeChanged(int nVal);
    void notifyScanTypeChanged(int nVal);
    void notifyHomeRemoconIDChanged(int nVal);
    void notifyHomeSubChannelChanged(int nVal);
    void notifyDriveRemoconIDChanged(int nVal);
    void notifyDriveSubChannelChanged(int nVal);
    void notifySegModeChanged(int nVal);
    void notifyShowChannelInfoChanged(int nVal);
    void notifyStationSearchTypeChanged(int nVal);
    void notifyStationSearchTimeChanged(int nVal);
    void notifySubtitleChanged(int nVal);
    void notifySuperImposeChanged(int nVal);
    void notifyBilingualChanged(int nVal);
    void notifyAudioLevelChanged(int nVal);
    void notifyShowTimeChanged(int nVal);
    void notifyScreenRatiolChanged(int nVal);
    void notifyScreenScaleChanged(int nVal);
    void notifyVideoDelayChanged(int nVal);
    void notifyVideoTypeChanged(int nVal);
    void notifyHDMIModeChanged(int nVal);
    void notifyBackgroundSearchChanged(int nVal);
    void notifyEventRelayChanged(int nVal);
    void notifyCurrChannelNumberChanged(int nVal);
    void notifyCurrServiceIDChanged(int nVal);
    void notifyCurrSegTypeChanged(int nVal);
    void notifyCurrStrDateChanged(const QString& sVal);
    void notifyCurrStrTimeChanged(const QString& sVal);
    void notifyCurrRemoconIDChanged(int nVal);
    void notifyCurrSubChannelChanged(int nVal);
    void notifyCurrDispSubChannelChanged(int nVal);
    void notifyCurrNetworkIDChanged(int nVal);
    void notifyCurrRemoconIdCountChanged(int nVal);
    void notifyCurrThreeDigitNumberChanged(int nVal);
    void notifyCurrChNameChanged(const QString& sVal);
    void notifyCurrStationIndexChanged(int nVal);
    void notifyCurrAudioPidChanged(int nVal);
    void notifyCurrAudioIndexChanged(int nVal);
    void notifyCurrAudioModeChanged(int nVal);
    void notifyCurrAudioSelChanged(int nVal);
    void notifyCurrProgramNameChanged(const QString& sVal);
    void notifyCurrChannelListCntChanged(int nVal);
    void notifyCurrStationListCntChanged(int nVal);
    void notifyCurrEpgListCntChanged(int nVal);
    void notifyAntennaStateChanged(int nVal);
    void notifySignalLevelChanged(int nVal);
    void notifyAntStrengthLevelChanged(int nVal);
    void notifyCnrAvgChanged(double fVal);
    void notify2TsCompStatusChanged(bool bVal);
    void notifySwVerChanged(const QString& sVal);
    void notifyMicomVerChanged(const QString& sVal);
    void notifyFwVerChanged(const QString& sVal);
    void notifyChrontelVerChanged(const QString& sVal);
    void notifyUsePcberChanged(bool bVal);
    void notifyAudioMuteChanged(bool bVal);

private:
    explicit ISDBtDataManager(QObject* parent);

    void initialize();
    void loadProperties();
    void printProperties();
    void writeMiscRecord();
    QString remoconPrefix(int mode) const;

    // The setter kinds. storeChanged: memory only, signal on a change.
    // persistChanged: on a change store, write the key, signal, then flush
    // (and rewrite the misc record when asked). persistInRange: the same for
    // a value in 0..maxValue, and a logged refusal for any other.
    template <typename T, typename Arg>
    void storeChanged(T& member, const T& value, void (ISDBtDataManager::*notify)(Arg));
    template <typename T>
    void persistChanged(T& member, T value, const QString& key, void (ISDBtDataManager::*notify)(T),
                        bool writeRecord = false);
    void persistInRange(const char* setter, int& member, int nVal, unsigned maxValue, const QString& key,
                        void (ISDBtDataManager::*notify)(int));
    int remoconKeyCount(const QString& prefix) const;

    static ISDBtDataManager* m_pInstance;

    QSettings* m_pSettings = nullptr;

public:
    // Members of the properties; other parts of the application read them directly.
    bool m_bInitialized = false;
    int m_nStartPower = 0;
    bool m_bPowerOn = true;
    bool m_bAvRenderOn = true;
    int m_nLanguage = 0;
    int m_nMode = 1;
    int m_nScanType = 0;
    int m_nHomeRemoconID = 0;
    int m_nHomeSubChannel = 0;
    int m_nDriveRemoconID = 0;
    int m_nDriveSubChannel = 0;
    int m_nSegMode = 4;
    int m_nShowChannelInfo = 0;
    int m_nStationSearchType = 0;
    int m_nStationSearchTime = 60;
    int m_nSubtitle = 0;
    int m_nSuperImpose = 0;
    int m_nBilingual = 0;
    int m_nAudioLevel = 15;
    int m_nShowTime = 0;
    int m_nScreenRatio = 0;
    int m_nScreenScale = 100;
    int m_nVideoDelay = 0;
    int m_nVideoType = 0;
    int m_nHDMIMode = 1;
    int m_nBackgroundSearch = 2;
    int m_nEventRelay = 1;
    int m_nCurrChannelNumber = 0;
    int m_nCurrServiceID = 0;
    int m_nCurrSegType = 0;
    QString m_sCurrStrDate = QString();
    QString m_sCurrStrTime = QString();
    int m_nCurrRemoconID = 0;
    int m_nCurrSubChannel = 0;
    int m_nCurrDispSubChannel = 0;
    int m_nCurrNetworkID = 0;
    int m_nCurrRemoconIdCount = 1;
    int m_nCurrThreeDigitNumber = 0;
    QString m_sCurrChName = QString();
    int m_nCurrStationIndex = -1;
    int m_nCurrAudioPid = 1;
    int m_nCurrAudioIndex = 0;
    int m_nCurrAudioMode = 1;
    int m_nCurrAudioSel = 0;
    QString m_sCurrProgramName = QString();
    int m_nCurrChannelListCnt = 0;
    int m_nCurrStationListCnt = 0;
    int m_nCurrEpgListCnt = 0;
    int m_nAntennaState = 0;
    int m_nSignalLevel = 0;
    int m_nAntStrengthLevel = 0;
    double m_fCnrAvg = 0.0;
    bool m_b2TsCompStatus = false;
    QString m_sSwVer = QStringLiteral("N/A");
    QString m_sMicomVer = QStringLiteral("N/A");
    QString m_sFwVer = QStringLiteral("N/A");
    QString m_sChrontelVer = QStringLiteral("N/A");
    bool m_bUsePcber = false;
    bool m_bAudioMute = false;
    // The broadcast clock as numbers, for the programme-guide queries: MJD and
    // seconds of the day; -1 until the broadcast has given the time.
    int m_nCurrMJD = -1;
    int m_nCurrSecondsOfDay = -1;

};

// Antenna strength in percent, indexed by the carrier-to-noise ratio in whole dB.
extern const int antStrengthTable[39];
