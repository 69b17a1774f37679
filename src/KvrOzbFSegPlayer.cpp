#include "KvrOzbFSegPlayer.h"

#include "ISDBTPlayer.h"
#include "ISDBtDataManager.h"
#include "ISDBtUtil.h"
#include "ImageMakeThread.h"
#include "KelpAppLog.h"
#include "PixelOrder.h"
#include "SubtitleItem.h"

#include <QImage>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr int kLogoBufferBytes = 32768;
constexpr int kTextUnits = 256;
constexpr int kAudioTextUnits = 33;

// The 47 outputs of the engine's channel information, zeroed before a call.
struct ChannelInfoOut {
    int networkID, o2, o3, o4;
    unsigned short o5[kTextUnits];
    int o6, totalAudioPID, o8, o9, audioMode, o11;
    struct Audio {
        int main, sub;
        unsigned short mainText[kAudioTextUnits];
        unsigned int mainLen;
        unsigned short subText[kAudioTextUnits];
        unsigned int subLen;
    } audio[3];
    int o30, o31, o32;
    int startDate, startHour, startMinute, startSecond;
    int o37, o38, o39;
    unsigned short programName[kTextUnits];
    int programNameLen;
    int logoWidth, logoHeight;
    unsigned char logo[kLogoBufferBytes];
    unsigned short o45[kTextUnits];
    int o46, o47;
};

int callChannelInfo(dtv::ISDBTPlayer* p, int channelNumber, int serviceID, ChannelInfoOut* o)
{
    memset(o, 0, sizeof *o);
    ChannelInfoOut::Audio* a = o->audio;
    return p->getChannelInfo(channelNumber, serviceID, &o->networkID, &o->o2, &o->o3, &o->o4, o->o5,
                             &o->o6, &o->totalAudioPID, &o->o8, &o->o9, &o->audioMode, &o->o11,
                             &a[0].main, &a[0].sub, a[0].mainText, &a[0].mainLen, a[0].subText,
                             &a[0].subLen, &a[1].main, &a[1].sub, a[1].mainText, &a[1].mainLen,
                             a[1].subText, &a[1].subLen, &a[2].main, &a[2].sub, a[2].mainText,
                             &a[2].mainLen, a[2].subText, &a[2].subLen, &o->o30, &o->o31, &o->o32,
                             &o->startDate, &o->startHour, &o->startMinute, &o->startSecond,
                             &o->o37, &o->o38, &o->o39, o->programName, &o->programNameLen,
                             &o->logoWidth, &o->logoHeight, o->logo, o->o45, &o->o46, &o->o47);
}

// A text of `lengthBytes` bytes from a buffer of `units` UTF-16 units. The
// engine's length is not trusted: it is clamped to the buffer.
QString takeText(const unsigned short* buffer, long long lengthBytes, int units)
{
    long long n = lengthBytes / 2;
    if (n <= 0)
        return QString();
    if (n > units)
        n = units;
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer), static_cast<int>(n));
}

const char* boolText(bool b)
{
    return b ? "true" : "false";
}

// Sets a caption or superimpose selection and starts or ends its playing: a
// selection is made before playing starts, and dropped after it ends.
void selectAndPlay(int n, const std::function<int(int)>& select, const char* selectName,
                   const std::function<int(int)>& play, const char* playName)
{
    auto call = [](const std::function<int(int)>& f, const char* name, int v) {
        const int r = f(v);
        if (r < 0)
            LOG_H("=======> m_pPlayer->%s(%d) fail(%d).", name, v, r);
    };
    if (n != 0) {
        call(select, selectName, n);
        call(play, playName, 1);
    } else {
        call(play, playName, 0);
        call(select, selectName, 0);
    }
}

}  // namespace

KvrOzbFSegPlayer* KvrOzbFSegPlayer::getInstance()
{
    static QMutex mutex;
    static KvrOzbFSegPlayer* instance = nullptr;
    static std::atomic<KvrOzbFSegPlayer*> published{nullptr};
    KvrOzbFSegPlayer* p = published.load(std::memory_order_acquire);
    if (!p) {
        QMutexLocker lock(&mutex);
        if (!instance) {
            instance = new KvrOzbFSegPlayer(nullptr);
            published.store(instance, std::memory_order_release);
        }
        p = instance;
    }
    return p;
}

KvrOzbFSegPlayer::KvrOzbFSegPlayer(QObject* parent) : QObject(parent)
{
    LOG_I("[%s]==================== Start ====================", "KvrOzbFSegPlayer");
    m_pDataManager = ISDBtDataManager::getInstance();
    m_pSubtitleItem = SubtitleItem::getInstance();
    m_pImageMakeThread = new ImageMakeThread(parent);
    m_pBilingualInfo = new BilingualInfo();
    m_pPmap = new tagPmap();
    connect(m_pImageMakeThread, SIGNAL(sendSaveLogoComplete(int, int, QString)), this,
            SLOT(onSendSaveLogoComplete(int, int, QString)));
}

KvrOzbFSegPlayer::~KvrOzbFSegPlayer()
{
    delete m_pPmap;
    delete m_pBilingualInfo;
    delete m_pImageMakeThread;
    delete m_pPlayer;
    m_logoMap.clear();
}

void KvrOzbFSegPlayer::setPlayerState(int state)
{
    if (m_nPlayerState.exchange(state) != state)
        LOG_I("[%s] state(%d)", "setPlayerState", state);
}

void KvrOzbFSegPlayer::initialize()
{
    setPlayerState(StateCreating);
    m_pPlayer = new dtv::ISDBTPlayer();
    const int r = m_pPlayer->setListener(eventListener);
    if (r != 0)
        LOG_H("=======> m_pPlayer->setListener fail(%d).", r);
    else
        LOG_I("=======> m_pPlayer->setListener success(%d).", r);
    m_pDataManager->setCurrProgramName(QString());
    m_pImageMakeThread->init();
    setPlayerState(StateCreated);
}

void KvrOzbFSegPlayer::prepare(unsigned int value)
{
    m_bPrepared = true;
    setPlayerState(StatePreparing);
    const int r = m_pPlayer->prepare(value);
    if (r < 0)
        LOG_H("=======> m_pPlayer->prepare fail(%d).", r);
    else
        LOG_I("=======> m_pPlayer->prepare success(%d).", r);
}

int KvrOzbFSegPlayer::scan(int type)
{
    stop();
    m_nFoundChannels = 0;
    const int r = m_pPlayer->search(type, 0, 0, 0, 0);
    if (r >= 0) {
        setPlayerState(StateScanning);
        LOG_I("=======> m_pPlayer->search success(%d).", r);
    } else {
        LOG_H("=======> m_pPlayer->search fail(%d).", r);
    }
    if (type == 0)
        m_pDataManager->setCurrProgramName(QString());
    return r;
}

void KvrOzbFSegPlayer::scanCancel()
{
    const int r = m_pPlayer->searchCancel();
    if (r >= 0) {
        setPlayerState(StateIdle);
        LOG_I("=======> m_pPlayer->searchCancel success(%d).", r);
    } else {
        LOG_H("=======> m_pPlayer->searchCancel fail(%d).", r);
    }
}

void KvrOzbFSegPlayer::searchCancel()
{
    scanCancel();
}

int KvrOzbFSegPlayer::setChannel(int fullSegID, int oneSegID, int audioMode, int segType)
{
    LOG_I("=======> m_pPlayer->setChannel (fullSegID : %d, oneSegID : %d, audioMode : %d, ch_index(segType) : %d)",
          fullSegID, oneSegID, audioMode, segType);
    setPlayerState(StateTuning);
    const int r = m_pPlayer->setChannel(fullSegID, oneSegID, 0, 0, audioMode, 0, 0, 0, 0, segType);
    setPlayerState(StateIdle);
    if (r < 0) {
        LOG_H("=======> m_pPlayer->setChannel fail(%d).", r);
        return r;
    }
    LOG_I("=======> m_pPlayer->setChannel success.");
    m_bChannelSet = true;
    *m_pBilingualInfo = BilingualInfo();
    return r;
}

void KvrOzbFSegPlayer::stop()
{
    const int r = m_pPlayer->stop();
    if (r < 0) {
        LOG_H("=======> m_pPlayer->stop fail(%d).", r);
        return;
    }
    LOG_I("=======> m_pPlayer->stop success(%d).", r);
    setPlayerState(StateStopped);
    m_bChannelSet = false;
}

void KvrOzbFSegPlayer::setMode(int mode)
{
    stop();
    const int r = m_pPlayer->setPresetMode(mode);
    if (r < 0)
        LOG_H("=======> m_pPlayer->setPresetMode fail(%d).", r);
    else
        LOG_I("=======> m_pPlayer->setPresetMode success(%d).", r);
    m_pDataManager->setCurrProgramName(QString());
}

void KvrOzbFSegPlayer::release()
{
    m_pImageMakeThread->stop();
    if (!m_pPlayer)
        return;
    if (m_bPrepared) {
        stop();
        m_bPrepared = false;
    }
    const int r = m_pPlayer->release();
    if (r >= 0) {
        setPlayerState(StateNone);
        LOG_I("=======> m_pPlayer->release success(%d).", r);
    } else {
        LOG_H("=======> m_pPlayer->release fail(%d).", r);
    }
    delete m_pPlayer;
    m_pPlayer = nullptr;
}

bool KvrOzbFSegPlayer::requestHandover(int n)
{
    if (m_bHandover) {
        LOG_W("[%s] already startHandover", __func__);
        return false;
    }
    stop();
    const int r = m_pPlayer->startHandover(0, n);
    if (r == 0) {
        setPlayerState(StateHandover);
        LOG_I("=======> m_pPlayer->startHandover(%d) success!!", n);
        m_bHandover = true;
        m_b2TsHandover = false;
        return true;
    }
    LOG_H("=======> m_pPlayer->startHandover(%d) fail!!", n);
    m_bHandover = false;
    m_b2TsHandover = false;
    return false;
}

bool KvrOzbFSegPlayer::requestHandover2TS()
{
    if (m_bHandover) {
        LOG_W("[%s] already requestHandover", __func__);
        return false;
    }
    stop();
    const int r = m_pPlayer->startHandover2TS();
    if (r == 0) {
        setPlayerState(StateHandover2TS);
        LOG_I("=======> m_pPlayer->startHandover2TS(), m_bHandover : %s -> true", boolText(m_bHandover));
        m_bHandover = true;
        m_b2TsHandover = true;
        return true;
    }
    LOG_H("=======> m_pPlayer->startHandover2TS() fail!!");
    m_bHandover = false;
    m_b2TsHandover = false;
    return false;
}

int KvrOzbFSegPlayer::cancelHandover()
{
    if (!m_bHandover) {
        LOG_W("[%s] already stopHandover", __func__);
        return -2;
    }
    int r;
    if (m_b2TsHandover) {
        r = m_pPlayer->stopHandover2TS();
        LOG_I("=======> m_pPlayer->stopHandover2TS() returns %d (0: Success, -1: Fail, -2: State Error)", r);
    } else {
        r = m_pPlayer->stopHandover();
        LOG_I("=======> m_pPlayer->stopHandover() returns %d (0: Success, -1: Fail, -2: State Error)", r);
    }
    if (r == 0) {
        LOG_I("[%s] cancelHandover, m_bHandover : %s -> false", __func__, boolText(m_bHandover));
        setPlayerState(StateIdle);
        m_bHandover = false;
        emit notifyHandoverComplete(false, -1, -1, -1);
    }
    m_bChannelSet = true;
    return r;
}

void KvrOzbFSegPlayer::setAudioIndex(int index)
{
    const int r = m_pPlayer->setAudio(index);
    if (r < 0)
        LOG_H("=======> m_pPlayer->setAudioIndex(%d) fail(%d).", index, r);
    else
        LOG_I("=======> m_pPlayer->setAudioIndex(%d) success(%d).", index, r);
}

void KvrOzbFSegPlayer::setAudioDualMono(int n)
{
    const int r = m_pPlayer->setAudioDualMono(n);
    if (r < 0)
        LOG_H("=======> m_pPlayer->setAudioDualMono fail(%d).", r);
    else
        LOG_I("=======> m_pPlayer->setAudioDualMono success(%d).", r);
}

void KvrOzbFSegPlayer::setDualChannel(int n)
{
    const int r = m_pPlayer->setDualChannel(n);
    if (r < 0)
        LOG_H("=======> m_pPlayer->setDualChannel(%d) fail(%d).", n, r);
    else
        LOG_I("=======> m_pPlayer->setDualChannel(%d) success(%d).", n, r);
}

void KvrOzbFSegPlayer::setSubtitle(int n)
{
    selectAndPlay(
        n, [this](int v) { return m_pPlayer->setSubtitle(v); }, "setSubtitle",
        [this](int v) { return m_pPlayer->playSubtitle(v); }, "playSubtitle");
}

void KvrOzbFSegPlayer::setSuperImpose(int n)
{
    selectAndPlay(
        n, [this](int v) { return m_pPlayer->setSuperImpose(v); }, "setSuperImpose",
        [this](int v) { return m_pPlayer->playSuperimpose(v); }, "playSuperimpose");
}

bool KvrOzbFSegPlayer::setAvRender(int on, const char* name)
{
    const int mute = m_pPlayer->setAudioMuteOnOff(on);
    if (mute != 0)
        LOG_H("=======> m_pPlayer->setAudioMuteOnOff(%d) fail(%d)", on, mute);
    const int pause = m_pPlayer->setVideoPauseOnOff(on);
    if (pause != 0)
        LOG_H("=======> m_pPlayer->setVideoPauseOnOff(%d) fail(%d)", on, pause);
    // The caller learns whether the engine really changed the rendering.
    const bool ok = mute == 0 && pause == 0;
    if (ok)
        m_bAvRenderOn = on != 0;
    LOG_I("=======> m_pPlayer->%s() returns %s", name, ok ? "success" : "fail");
    return ok;
}

bool KvrOzbFSegPlayer::startAvRender()
{
    return setAvRender(1, "startAvRender");
}

bool KvrOzbFSegPlayer::stopAvRender()
{
    return setAvRender(0, "stopAvRender");
}

void KvrOzbFSegPlayer::changeZoomOnOff()
{
    LOG_I("=======> m_pPlayer->changeZoomOnOff returns %d ", m_pPlayer->changeZoomOnOff());
}

void KvrOzbFSegPlayer::setScreenMode(int n)
{
    LOG_I("=======> m_pPlayer->setScreenMode(%d) returns %d ", n, m_pPlayer->setScreenMode(n));
}

void KvrOzbFSegPlayer::setScreenScale(int percent)
{
    LOG_I("=======> m_pPlayer->setScreenScale(%d) returns %d ", percent, m_pPlayer->setScreenScale(percent));
}

void KvrOzbFSegPlayer::setVideoDelay(int ms)
{
    LOG_I("=======> m_pPlayer->setVideoDelay(%dms) returns %d ", ms, m_pPlayer->setVideoDelay(ms));
}

void KvrOzbFSegPlayer::setHDMIMode(int mode)
{
    LOG_I("=======> m_pPlayer->setHDMIMode(%d) returns %d ", mode, m_pPlayer->setHDMIMode(mode));
}

void KvrOzbFSegPlayer::setBackSearchInfo2TS(unsigned int mode, unsigned int kind)
{
    const int r = m_pPlayer->setBackSearchInfo2TS(mode, kind);
    if (r == 0)
        m_bBackSearchOn = mode != 0;
    LOG_I("=======> m_pPlayer->setBackSearchInfo2TS(%s, %s) returns %s",
          mode == 0 ? "off" : mode == 1 ? "current" : "all", kind != 0 ? "Relay" : "Relay/Affiliation",
          r == 0 ? "success" : "error");
}

void KvrOzbFSegPlayer::clear2TsSearchResult()
{
    m_nRelayCount = 0;
    m_nAffiliationCount = 0;
}

int KvrOzbFSegPlayer::getSignalStrength(float* cnr, int* values)
{
    const int r = m_pPlayer->getSignalStrength(cnr, values);
    if (r != 0)
        LOG_H("=======> m_pPlayer->getSignalStrength fail(%d).", r);
    return r;
}

int KvrOzbFSegPlayer::getCurrentDateTime(int* date, int* hour, int* minute, int* second)
{
    int unused[3] = {0, 0, 0};
    const int r = m_pPlayer->getCurrentDateTime(date, hour, minute, second, &unused[0], &unused[1], &unused[2]);
    if (r != 0)
        LOG_H("=======> m_pPlayer->getCurrentDateTime fail(%d).", r);
    return r;
}

int KvrOzbFSegPlayer::getApTemperature()
{
    const int v = m_pPlayer->getApTemperature();
    if (v >= 10 && v <= 125)
        return v;
    LOG_H("=======> m_pPlayer->getApTemperature() value(%d) is invalid", v);
    return 0;
}

int KvrOzbFSegPlayer::getAntenaOpenCheckPinState()
{
    const int v = m_pPlayer->getAntenaOpenCheckPinState();
    LOG_I("=======> m_pPlayer->getAntenaOpenCheckPinState() returns %s", v ? "HIGH" : "LOW");
    return v;
}

int KvrOzbFSegPlayer::setChLogEpgDb_OpenClose(unsigned int n)
{
    const int r = m_pPlayer->setChLogEpgDb_OpenClose(n);
    if (r < 0)
        LOG_H("=======> m_pPlayer->setChLogEpgDb_OpenClose(%d) fail(%d).", n, r);
    return r;
}

int KvrOzbFSegPlayer::copyLogFilesToUsb()
{
    const int r = m_pPlayer->copyLogFilesToUsb();
    if (r != 0)
        LOG_H("=======> m_pPlayer->copyLogFilesToUsb() fail!!(%d)", r);
    else
        LOG_I("=======> m_pPlayer->copyLogFilesToUsb() success!!");
    return r;
}

int KvrOzbFSegPlayer::setChannelFor2TS(int fullSegID, int oneSegID, int segType)
{
    LOG_I("=======> m_pPlayer->setChannel2TS (fullSegID : %d, oneSegID : %d, ch_index(segType) : %d)",
          fullSegID, oneSegID, segType);
    const int r = m_pPlayer->setChannel_ForMassProductionTestOf2Ts(fullSegID, oneSegID, 0, 0, 0, 0, 0, 0, 0, segType);
    if (r < 0)
        LOG_H("=======> m_pPlayer->setChannel_ForMassProductionTestOf2Ts fail(%d).", r);
    m_pDataManager->setCurrProgramName(QString());
    return r;
}

int KvrOzbFSegPlayer::getSignalStrengthFor2TS(float* cnr, int* values)
{
    const int r = m_pPlayer->getSignalStrength_ForMassProductionTestOf2Ts(cnr, values);
    if (r < 0)
        LOG_H("=======> m_pPlayer->getSignalStrength_ForMassProductionTestOf2Ts fail(%d).", r);
    return r;
}

void KvrOzbFSegPlayer::stationSearch() {}

bool KvrOzbFSegPlayer::logoFits(int channelNumber, int networkID, int width, int height) const
{
    if (logoFitsRecord(width, height))
        return true;
    LOG_H("[%s] LogoImage(c:%d)(n:%d) W(%d) H(%d) is larger than the logo buffer", "logoFits",
          channelNumber, networkID, width, height);
    return false;
}

void KvrOzbFSegPlayer::queueLogo(int channelNumber, int serviceID, int networkID, int width,
                                 int height, const unsigned char* bgra)
{
    auto item = std::make_shared<tagDbIconItem>();
    memset(item.get(), 0, sizeof(tagDbIconItem));
    pixelorder::bgraToRgba(item->pixels, bgra, static_cast<size_t>(width) * height * 4);
    item->width = width;
    item->height = height;
    item->channelNumber = channelNumber;
    item->serviceID = serviceID;
    item->networkID = networkID;
    m_pImageMakeThread->pushData(item);
}

void KvrOzbFSegPlayer::getChannelInfo(int modeType, int channelNumber, int serviceID)
{
    auto out = std::make_unique<ChannelInfoOut>();
    const int r = callChannelInfo(m_pPlayer, channelNumber, serviceID, out.get());
    if (r != 0) {
        LOG_H("=======> m_pPlayer->getChannelInfo fail(%d).", r);
        return;
    }

    if (out->programNameLen > 0) {
        const QString name = takeText(out->programName, out->programNameLen, kTextUnits);
        if (name != m_pDataManager->getCurrProgramName()) {
            LOG_I("[%s] program (%d/%d:%d:%d) %s", __func__, out->startDate, out->startHour, out->startMinute,
                  out->startSecond, name.toUtf8().constData());
            m_pDataManager->setCurrProgramName(name);
        }
    }

    BilingualInfo* b = m_pBilingualInfo;
    const int32_t fresh[8] = {out->totalAudioPID, out->audioMode, out->audio[0].main, out->audio[1].main,
                              out->audio[2].main, out->audio[0].sub, out->audio[1].sub, out->audio[2].sub};
    const int32_t old[8] = {b->totalAudioPID, b->audioMode, b->audioMain[0], b->audioMain[1],
                            b->audioMain[2], b->audioSub[0], b->audioSub[1], b->audioSub[2]};
    const bool changed = memcmp(fresh, old, sizeof fresh) != 0;
    b->totalAudioPID = out->totalAudioPID;
    b->audioMode = out->audioMode;
    for (int i = 0; i < 3; ++i) {
        b->audioMain[i] = out->audio[i].main;
        b->audioSub[i] = out->audio[i].sub;
    }
    const int components = qBound(0, out->totalAudioPID, 3);
    for (int i = 0; i < components; ++i) {
        b->audioMainText[i] = takeText(out->audio[i].mainText, out->audio[i].mainLen, kAudioTextUnits);
        b->audioSubText[i] = takeText(out->audio[i].subText, out->audio[i].subLen, kAudioTextUnits);
    }
    if (changed) {
        LOG_I("[%s] bilingualInfo totalAudioPID[%d] audioMode[%d]", __func__, b->totalAudioPID, b->audioMode);
        for (int i = 0; i < 3; ++i) {
            if (b->audioMain[i] >= 1)
                LOG_I("[%s] bilingualInfo.audioMain[%d] : (0x%x(%s))(%s)", __func__, i, b->audioMain[i],
                      sutil::makeLanguageText(b->audioMain[i]).toUtf8().constData(),
                      b->audioMainText[i].toUtf8().constData());
            if (b->audioSub[i] >= 1)
                LOG_I("[%s] bilingualInfo.audioSub[%d] : (0x%x(%s))(%s)", __func__, i, b->audioSub[i],
                      sutil::makeLanguageText(b->audioSub[i]).toUtf8().constData(),
                      b->audioSubText[i].toUtf8().constData());
        }
        emit notifyBilingualInfoUpdate();
    }

    const int networkID = out->networkID, width = out->logoWidth, height = out->logoHeight;
    if (networkID <= 0 || width <= 0 || height <= 0)
        return;
    if (!logoFits(channelNumber, networkID, width, height))
        return;
    auto it = m_logoMap.find(networkID);
    bool write = false;
    if (it == m_logoMap.end()) {
        write = true;
    } else if (it->second != std::make_pair(width, height)) {
        LOG_I("[%s] LogoImage(c:%d)(n:%d) is changed - W(%d->%d) H(%d->%d)", __func__, channelNumber, networkID,
              it->second.first, width, it->second.second, height);
        write = true;
    } else if (!checkLogoImage(networkID)) {
        write = true;
    }
    if (!write)
        return;
    LOG_I("[%s] LogoImage(c:%d)(n:%d) Width : %d / Height : %d", __func__, channelNumber, networkID, width, height);
    m_logoMap[networkID] = std::make_pair(width, height);
    queueLogo(channelNumber, serviceID, networkID, width, height, out->logo);
    LOG_I("[%s]", __func__);
    int pos = 0;
    for (const auto& e : m_logoMap)
        LOG_I("[%s] [%d] (%d)[(%d), (%d)]", __func__, pos++, e.first, e.second.first, e.second.second);
}

void KvrOzbFSegPlayer::getStationlLogo(int modeType, int channelNumber, int serviceID, bool force)
{
    auto out = std::make_unique<ChannelInfoOut>();
    const int r = callChannelInfo(m_pPlayer, channelNumber, serviceID, out.get());
    if (r != 0) {
        LOG_H("[%s]=======> m_pPlayer->getChannelInfo fail(%d).", __func__, r);
        return;
    }
    const int networkID = out->networkID, width = out->logoWidth, height = out->logoHeight;
    if (networkID < 0 || width <= 0 || height <= 0)
        return;
    if (!logoFits(channelNumber, networkID, width, height))
        return;
    auto it = m_logoMap.find(networkID);
    if (it != m_logoMap.end()) {
        const bool same = it->second == std::make_pair(width, height);
        if (same && !force)
            return;
        if (!same)
            LOG_I("[%s] LogoImage(c:%d)(n:%d) is changed - W(%d->%d) H(%d->%d)", __func__, channelNumber,
                  networkID, it->second.first, width, it->second.second, height);
    }
    m_logoMap[networkID] = std::make_pair(width, height);
    queueLogo(channelNumber, serviceID, networkID, width, height, out->logo);
}

bool KvrOzbFSegPlayer::checkLogoImage(int networkID)
{
    const QString name = sutil::makeLogoName(ImageMakeThread::logoDirectory(), networkID);
    return !name.isEmpty() && sutil::FileExists(name.toLocal8Bit().constData());
}

void KvrOzbFSegPlayer::makeLogoImage(int channelNumber, int networkID, int width, int height,
                                     unsigned char* bgra)
{
    if (width < 1 || height < 1 || networkID < 0 || !bgra)
        return;
    if (!logoFits(channelNumber, networkID, width, height))
        return;
    std::vector<unsigned char> rgba(kLogoBufferBytes, 0);
    pixelorder::bgraToRgba(rgba.data(), bgra, static_cast<size_t>(width) * height * 4);
    const QString path = sutil::makeLogoName(ImageMakeThread::logoDirectory(), networkID);
    QImage image(rgba.data(), width, height, width * 4, QImage::Format_RGBA8888);
    if (image.save(path, "PNG"))
        LOG_I("[%s] save the image(%s)", __func__, path.toLocal8Bit().constData());
    else
        LOG_I("[%s] Could not save the image(%s)", __func__, path.toLocal8Bit().constData());
    emit notifyLogoImageCreated(channelNumber, networkID);
}

void KvrOzbFSegPlayer::onSendSaveLogoComplete(int channelNumber, int networkID, QString name)
{
    LOG_I("[%s] channelNumber(%d) networkID(%d) name(%s)", __func__, channelNumber, networkID,
          name.toLocal8Bit().constData());
    if (networkID > 0)
        emit notifyLogoImageCreated(channelNumber, networkID);
}
