#include "SubtitleItem.h"

#include "KelpAppLog.h"

#include <cstring>

SubtitleItem* SubtitleItem::m_pInstance = nullptr;

namespace {
constexpr unsigned int kSize720 = 720 * 480 * 4;
constexpr unsigned int kSize960 = 960 * 540 * 4;

// B,G,R,A to R,G,B,A: the first and third byte of every pixel swap places.
void copySwapped(unsigned char* dst, const unsigned char* src, unsigned int size)
{
    for (unsigned int i = 0; i + 3 < size; i += 4) {
        dst[i] = src[i + 2];
        dst[i + 1] = src[i + 1];
        dst[i + 2] = src[i];
        dst[i + 3] = src[i + 3];
    }
}
}  // namespace

SubtitleItem* SubtitleItem::getInstance()
{
    static QMutex qmutex;
    if (!m_pInstance) {
        QMutexLocker lock(&qmutex);
        if (!m_pInstance)
            m_pInstance = new SubtitleItem();
    }
    return m_pInstance;
}

SubtitleItem::SubtitleItem() : QObject(nullptr)
{
    memset(m_buffer960, 0, sizeof m_buffer960);
    memset(m_buffer720, 0, sizeof m_buffer720);
}

void SubtitleItem::resetLocked()
{
    m_nType = 0;
    m_nWidth = 0;
    m_nHeight = 0;
    m_nSID = 0;
    memset(m_buffer960, 0, sizeof m_buffer960);
    memset(m_buffer720, 0, sizeof m_buffer720);
}

void SubtitleItem::reset()
{
    QMutexLocker lock(&m_dataMutex);
    resetLocked();
}

void SubtitleItem::setData(int sID, unsigned int size, unsigned char* pixels)
{
    QMutexLocker lock(&m_dataMutex);
    resetLocked();
    if (pixels && size == kSize720) {
        m_nType = 1;
        m_nWidth = 720;
        m_nHeight = 480;
        copySwapped(m_buffer720, pixels, size);
    } else if (pixels && size == kSize960) {
        m_nType = 0;
        m_nWidth = 960;
        m_nHeight = 540;
        copySwapped(m_buffer960, pixels, size);
    }
    m_nSID = sID;
}

void SubtitleItem::clearData(int sID)
{
    LOG_I("[%s] sID(%d)", "clearData", sID);
    QMutexLocker lock(&m_dataMutex);
    resetLocked();
    if (sID > 0)
        m_nSID = sID;
}
