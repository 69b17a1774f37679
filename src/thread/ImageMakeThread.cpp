#include "ImageMakeThread.h"

#include "DevRoot.h"
#include "ISDBtUtil.h"
#include "KelpAppLog.h"

#include <QImage>

#include <malloc.h>

#include <cstdio>
#include <cstring>

ImageMakeThread::ImageMakeThread(QObject* parent) : QThread(parent)
{
    LOG_I("[%s] ==================== ImageMakeThread Start ====================", "ImageMakeThread");
}

ImageMakeThread::~ImageMakeThread()
{
    // A QThread must not be destroyed while its thread runs.
    stop();
    wait();
}

QString ImageMakeThread::logoDirectory()
{
    return QString::fromStdString(devroot::path("/home/root/isdbt/logo/"));
}

void ImageMakeThread::init()
{
    LOG_I("[%s] ==================== ImageMakeThread init ====================", "init");
    // "Running" is decided under the lock: a thread that has already seen the
    // stop flag ends even though isRunning() may still say true, and must be
    // replaced, or queued logos would wait for the next init().
    bool begin;
    {
        QMutexLocker lock(&m_mutex);
        if (m_bStop)
            m_bStop = false;
        begin = !m_bLooping;
        m_bLooping = true;
    }
    if (begin) {
        wait();  // the old thread, if any, is only returning from run()
        start(QThread::InheritPriority);
    }
}

void ImageMakeThread::stop()
{
    LOG_I("[%s] ==================== ImageMakeThread stop ====================", "stop");
    QMutexLocker lock(&m_mutex);
    m_bStop = true;
}

void ImageMakeThread::pushData(std::shared_ptr<tagDbIconItem> item)
{
    QMutexLocker lock(&m_mutex);
    if (m_bStop)
        return;
    m_queue.append(std::move(item));
}

bool ImageMakeThread::busy()
{
    QMutexLocker lock(&m_mutex);
    return m_bWriting || !m_queue.isEmpty();
}

void ImageMakeThread::run()
{
    LOG_I("[%s] ==================== ImageMakeThread run ====================", "run");
    for (;;) {
        std::shared_ptr<tagDbIconItem> item;
        {
            QMutexLocker lock(&m_mutex);
            if (m_bStop) {
                m_bLooping = false;
                return;
            }
            if (!m_queue.isEmpty()) {
                item = m_queue.takeFirst();
                m_bWriting = true;
            }
        }
        if (item) {
            // Written outside the lock: pushData() on the GUI thread must not
            // wait for a PNG encode and a flash flush.
            makeImage(item);
            item.reset();
            bool empty;
            {
                QMutexLocker lock(&m_mutex);
                m_bWriting = false;
                empty = m_queue.isEmpty();
            }
            if (empty)
                malloc_trim(0);
        }
        msleep(100);
    }
}

void ImageMakeThread::makeImage(std::shared_ptr<tagDbIconItem> item)
{
    LOG_I("[%s]", "makeImage");
    if (!item)
        return;
    const tagDbIconItem icon = *item;
    if (icon.networkID <= 0 || icon.width <= 0 || icon.height <= 0)
        return;
    // A record never holds more than its pixel buffer.
    if (!logoFitsRecord(icon.width, icon.height))
        return;

    const QString path = sutil::makeLogoName(logoDirectory(), icon.networkID);
    const QByteArray pathText = path.toLocal8Bit();
    QImage image(icon.pixels, icon.width, icon.height, icon.width * 4, QImage::Format_RGBA8888);
    if (!image.save(path, "PNG")) {
        LOG_I("[%s] Could not save the image(%s)", "makeImage", pathText.constData());
        return;
    }
    LOG_I("[%s] save the image(%s)", "makeImage", pathText.constData());
    if (!sutil::RunCmd("sync"))
        printf("[isdbt] [%s] runCmd(sync) fail!!\n", "makeImage");
    emit sendSaveLogoComplete(icon.channelNumber, icon.networkID, path);
}
