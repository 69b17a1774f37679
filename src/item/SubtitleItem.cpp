#include "SubtitleItem.h"

#include "KelpAppLog.h"
#include "PixelOrder.h"

#include <cstring>

SubtitleItem* SubtitleItem::m_pInstance = nullptr;

namespace {
constexpr unsigned int kSize720 = 720 * 480 * 4;
constexpr unsigned int kSize960 = 960 * 540 * 4;
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
        pixelorder::bgraToRgba(m_buffer720, pixels, size);
    } else if (pixels && size == kSize960) {
        m_nType = 0;
        m_nWidth = 960;
        m_nHeight = 540;
        pixelorder::bgraToRgba(m_buffer960, pixels, size);
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
