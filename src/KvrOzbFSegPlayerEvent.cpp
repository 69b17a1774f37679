// The broadcast engine's listener: every event becomes a Qt signal of the
// player wrapper. Runs on the engine's own thread.
#include "KvrOzbFSegPlayer.h"

#include "DevRoot.h"
#include "ISDBtDataManager.h"
#include "KelpAppLog.h"
#include "SubtitleItem.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Event codes of the broadcast engine.
enum {
    EVENT_PREPARED = 1,
    EVENT_SEARCH_COMPLETE = 2,
    EVENT_CHANNEL_UPDATE = 3,
    EVENT_SEARCH_PERCENT = 5,
    EVENT_VIDEO_OUTPUT = 6,
    EVENT_SUBTITLE_UPDATE = 9,
    EVENT_VIDEODEFINITION_UPDATE = 10,
    EVENT_EPG_UPDATE = 30,
    EVENT_HANDOVER_CHANNEL = 32,
    EVENT_EMERGENCY_INFO = 33,
    EVENT_AUTOSEARCH_UPDATE = 36,
    EVENT_AUTOSEARCH_DONE = 37,
    EVENT_EVENT_RELAY = 39,
    EVENT_SERVICEID_CHECK = 41,
    EVENT_AV_INDEX_UPDATE = 48,
    EVENT_SEARCH_AND_SETCHANNEL = 50,
    EVENT_VIDEO_ERROR = 56,
    EVENT_2TS_RELAY_SEARCH_INFO = 60,
    EVENT_2TS_COMPARISON_START = 61,
    EVENT_2TS_HANDOVER_RESULT = 62,
    EVENT_2TS_CHANNEL_UPDATE = 63,
    EVENT_ANTENA_SHORT_STATUS = 100,
};

const char* boolText(bool b)
{
    return b ? "true" : "false";
}

}  // namespace

int KvrOzbFSegPlayer::eventListener(int msg, int ext1, int ext2, void* obj)
{
    getInstance()->handleEvent(msg, ext1, ext2, static_cast<const int32_t*>(obj));
    return 0;
}

void KvrOzbFSegPlayer::handleEvent(int msg, int ext1, int ext2, const int32_t* obj)
{
    switch (msg) {
    case EVENT_PREPARED:
        setPlayerState(StatePrepared);
        LOG_H("EVENT_PREPARED, specific_info(%08X)", static_cast<unsigned>(ext1));
        emit notifyPrepared();
        break;
    case EVENT_SEARCH_COMPLETE: {
        setPlayerState(StateIdle);
        const bool result = ext1 != 1;
        LOG_H("EVENT_SEARCH_COMPLETE, result(%d)", result);
        emit notifySearchComplete(result);
        break;
    }
    case EVENT_CHANNEL_UPDATE:
        LOG_H("EVENT_CHANNEL_UPDATE, result(%d) serviceID(%d)", ext1, ext2);
        if (ext1 == 0)
            emit notifyChannelUpdate(ext2);
        break;
    case EVENT_SEARCH_PERCENT:
        setPlayerState(StateScanning);
        LOG_H("EVENT_SEARCH_PERCENT, progress(%d%%) channel(%d)", ext1, ext2);
        if (ext2 >= 0)
            ++m_nFoundChannels;
        emit notifySearchPercent(ext1, m_nFoundChannels);
        break;
    case EVENT_VIDEO_OUTPUT:
        if (m_nPlayerState == StateScanning) {
            LOG_H("=======> m_pPlayer state is scanning. EVENT_VIDEO_OUTPUT is returned!!");
            break;
        }
        setPlayerState(StateVideoOutput);
        LOG_H("EVENT_VIDEO_OUTPUT, chIdx(%d) serviceID(%d)", ext1, ext2);
        emit notifyVideoOutput(ext1);
        break;
    case EVENT_SUBTITLE_UPDATE:
        onSubtitleUpdate(ext1, ext2, obj);
        break;
    case EVENT_VIDEODEFINITION_UPDATE:
        LOG_H("EVENT_VIDEODEFINITION_UPDATE, chIdx(%d) serviceID(%d)", ext1, ext2);
        emit notifyVideoDefinitionUpdate(ext1, ext2);
        break;
    case EVENT_EPG_UPDATE:
        LOG_H("EVENT_EPG_UPDATE, serviceID(%d)(0x%x) tableID(%d)", ext1, static_cast<unsigned>(ext1), ext2);
        emit notifyEpgUpdate(ext1, ext2);
        break;
    case EVENT_HANDOVER_CHANNEL: {
        setPlayerState(StateHandover);
        QMutexLocker lock(&m_mutex);
        if (m_bHandover)
            emit notifyHandoverChannel(ext1, ext2);
        break;
    }
    case EVENT_EMERGENCY_INFO:
        LOG_H("EVENT_EMERGENCY_INFO, status(%d)(0:stop/1:start) chIdx(%d)", ext1, ext2);
        if (obj && ext1 == 1) {
            LOG_W("EVENT_EMERGENCY_INFO(obj), serviceID(%d) startendflag(%d) signaltype(%d) area_code_length(%d)",
                  obj[0], obj[1], obj[2], obj[3]);
            emit notifyEmergencyInfo(ext2, obj[0]);
        }
        break;
    case EVENT_AUTOSEARCH_UPDATE:
        LOG_H("EVENT_AUTOSEARCH_UPDATE, status(%d) percent(%d)", ext1, ext2);
        if (obj)
            LOG_W("EVENT_AUTOSEARCH_UPDATE(obj), chIdx(%d)", obj[2]);
        break;
    case EVENT_AUTOSEARCH_DONE:
        LOG_H("EVENT_AUTOSEARCH_DONE, result(%d)", ext1);
        if (obj)
            LOG_W("EVENT_AUTOSEARCH_DONE(obj), mainRowID(%d) subRowID(%d) count(%d)", obj[1], obj[2], obj[3]);
        break;
    case EVENT_EVENT_RELAY:
        LOG_H("EVENT_EVENT_RELAY, channelIndex(%d)", ext1);
        if (obj) {
            LOG_W("EVENT_EVENT_RELAY(obj), serviceID(%d) eventID(%d) networkID(%d) transportStreamID(%d)", obj[0],
                  obj[1], obj[2], obj[3]);
            emit notifyEventRelay(ext1, obj[0]);
        }
        break;
    case EVENT_SERVICEID_CHECK:
        LOG_H("EVENT_SERVICEID_CHECK, validServiceID(%d) chIdx(%d)", ext1, ext2);
        break;
    case EVENT_AV_INDEX_UPDATE:
        onAvIndexUpdate(obj);
        break;
    case EVENT_SEARCH_AND_SETCHANNEL:
        LOG_H("EVENT_SEARCH_AND_SETCHANNEL, result(%d)", ext1);
        if (obj)
            LOG_W("EVENT_SEARCH_AND_SETCHANNEL(obj), country(%d) chNum(%d) mainID(%d) subID(%d)", obj[0], obj[1],
                  obj[2], obj[3]);
        break;
    case EVENT_VIDEO_ERROR:
        LOG_H("EVENT_VIDEO_ERROR, type(%d)", ext1);
        emit notiryEventVideoError(ext1);
        break;
    case EVENT_2TS_RELAY_SEARCH_INFO:
        m_nRelayCount = ext1;
        m_nAffiliationCount = ext2;
        if (ext1 >= 1 || ext2 >= 1)
            LOG_H("EVENT_2TS_RELAY_SEARCH_INFO, relay(%d) affiliation(%d)", ext1, ext2);
        break;
    case EVENT_2TS_COMPARISON_START:
        LOG_H("EVENT_2TS_COMPARISON_START, status(%d) (0:stop/1:start)", ext1);
        emit notify2TsComparisonStatus(ext1);
        break;
    case EVENT_2TS_HANDOVER_RESULT: {
        setPlayerState(StateIdle);
        QMutexLocker lock(&m_mutex);
        LOG_H("EVENT_2TS_HANDOVER_RESULT, result(%d), m_bHandover(%s)", ext1, boolText(m_bHandover));
        if (m_bHandover) {
            if (ext1 == -1) {
                m_bHandover = false;
                clear2TsSearchResult();
            }
            emit notify2TsHandoverResult(ext1);
        }
        break;
    }
    case EVENT_2TS_CHANNEL_UPDATE:
        on2TsChannelUpdate(obj);
        break;
    case EVENT_ANTENA_SHORT_STATUS:
        if (ext1 == ISDBtDataManager::getInstance()->getAntennaState())
            break;
        LOG_H("EVENT_ANTENA_SHORT_STATUS, short? = %d(%s)", ext1, ext1 ? "yes" : "no");
        emit notifyAntenaShortStatus(ext1);
        break;
    default:
        LOG_W("[%s] received msg(%d), ext1(%d), ext2(%d), obj(%p)", "eventListener", msg, ext1, ext2,
              static_cast<const void*>(obj));
        break;
    }
}

void KvrOzbFSegPlayer::onAvIndexUpdate(const int32_t* obj)
{
    setPlayerState(StateAvStarted);
    if (!obj)
        return;
    const int chNum = obj[0], networkID = obj[1], serviceID = obj[2], serviceSubID = obj[3];
    const int audioIndex = obj[4], videoIndex = obj[5], channelIndex = obj[6];
    LOG_W("EVENT_AV_INDEX_UPDATE(obj), chNum(%d) networkID(%d) serviceID(%d) serviceSubID(%d) audioIndex(%d) "
          "videoIndex(%d) channelIndex(%d)",
          chNum, networkID, serviceID, serviceSubID, audioIndex, videoIndex, channelIndex);
    bool endedHandover = false;
    {
        QMutexLocker lock(&m_mutex);
        if (m_bHandover) {
            LOG_W("EVENT_AV_INDEX_UPDATE, isHandover : true -> false, call onHandoverComplete()");
            emit notifyHandoverComplete(true, chNum, channelIndex != 0 ? serviceSubID : serviceID, channelIndex);
            m_bChannelSet = true;
            m_bHandover = false;
            endedHandover = true;
        }
    }
    m_bChannelSet = true;
    emit notifyChannelChanged(endedHandover);
}

void KvrOzbFSegPlayer::on2TsChannelUpdate(const int32_t* obj)
{
    if (!obj)
        return;
    const int removeCount = obj[0];
    const int32_t* removeCh = obj + 1;
    const int addCh = obj[17];
    LOG_H("EVENT_2TS_CHANNEL_UPDATE, removeChCnt(%d)", removeCount);
    int announced = 0;
    for (int i = 0; i < 16; ++i) {
        if (removeCh[i] >= 0) {
            LOG_H("EVENT_2TS_CHANNEL_UPDATE, [%d]removeCh(%d)", announced, removeCh[i]);
            ++announced;
            emit notify2TsChannelUpdateRemove(removeCh[i]);
        }
        if (announced == removeCount)
            break;
    }
    if (addCh >= 0) {
        LOG_H("EVENT_2TS_CHANNEL_UPDATE, addCh(%d)", addCh);
        emit notify2TsChannelUpdateAdd(addCh);
    }
}

void KvrOzbFSegPlayer::onSubtitleUpdate(int chIdx, int serviceID, const int32_t* obj)
{
    LOG_H("EVENT_SUBTITLE_UPDATE,  chIdx(%d) serviceID(%d)", chIdx, serviceID);
    if (!obj)
        return;
    const unsigned int size = static_cast<unsigned int>(obj[1]);
    const unsigned int phyAddr = static_cast<unsigned int>(obj[2]);
    LOG_W("EVENT_SUBTITLE_UPDATE(obj), sound_index(%d) size(%d) phy_addr(0x%x)", obj[0], obj[1], phyAddr);
    if (size == 0) {
        LOG_W("<====== subtitle no-image!!!======>");
        return;
    }
    if (setSubtitleMemoryMapping(serviceID, phyAddr, size))
        emit notifySubtitleUpdate();
}

bool KvrOzbFSegPlayer::setSubtitleMemoryMapping(int serviceID, unsigned int phyAddr, unsigned int size)
{
    if (phyAddr == 0)
        return false;
    if (m_nCcfbFd == -1) {
        m_nCcfbFd = ::open(devroot::path("/dev/ccfb").c_str(), O_RDWR);
        getPmapInfo("overlay1", m_pPmap);
        LOG_I("<===== size[%d], buf_phy[0x%x]=====>", size, phyAddr);
        void* map = MAP_FAILED;
        if (m_nCcfbFd >= 0 && m_pPmap->size > 0)
            map = mmap(nullptr, m_pPmap->size, PROT_READ | PROT_WRITE, MAP_SHARED, m_nCcfbFd,
                       static_cast<off_t>(m_pPmap->base));
        if (map == MAP_FAILED) {
            LOG_H("<===== memory mapping fail!!!=====>");
            if (m_nCcfbFd >= 0)
                ::close(m_nCcfbFd);
            m_nCcfbFd = -1;
            return false;
        }
        m_pCcfbMap = static_cast<unsigned char*>(map);
    }
    // The engine's address and size are checked against the mapped plane:
    // a caption reaching outside it would be read from unmapped memory.
    const unsigned long long base = m_pPmap->base, end = base + m_pPmap->size;
    if (phyAddr < base || static_cast<unsigned long long>(phyAddr) + size > end) {
        LOG_H("<===== caption (0x%x + %u) lies outside the caption plane (0x%x + %u), dropped =====>", phyAddr,
              size, m_pPmap->base, m_pPmap->size);
        return false;
    }
    unsigned char* address = m_pCcfbMap + (phyAddr - m_pPmap->base);
    LOG_I("<===== size[%d], buf_phy[0x%x] vir[%p]=====>", size, phyAddr, static_cast<void*>(address));
    m_pSubtitleItem->setData(serviceID, size, address);
    return true;
}

bool KvrOzbFSegPlayer::getPmapInfo(const char* name, tagPmap* info)
{
    const int fd = ::open(devroot::path("/proc/pmap").c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    char text[2048];
    const ssize_t n = ::read(fd, text, sizeof text);
    ::close(fd);
    const size_t len = n > 0 ? static_cast<size_t>(n) : 0;
    LOG_I("read size is %zu", len);
    return parsePmapText(text, len, name, info);
}

bool KvrOzbFSegPlayer::parsePmapText(const char* data, size_t len, const char* name, tagPmap* info)
{
    // Lines of "0x<base> 0x<size> <name>"; the first well-formed line with the
    // name wins. The text is copied so that it ends where the bytes end.
    std::string text(data, len);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        unsigned int base = 0, size = 0;
        char region[128];
        if (sscanf(line.c_str(), "0x%x 0x%x %127s", &base, &size, region) != 3)
            continue;
        if (strcmp(region, name) != 0)
            continue;
        LOG_I("requested physical memory '%s' (base=0x%x size=0x%x)", name, base, size);
        info->base = base;
        info->size = size;
        return true;
    }
    return false;
}
