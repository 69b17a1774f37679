#include "ImageItem.h"

#include "SubtitleItem.h"

#include <QPainter>

ImageItem::ImageItem(QQuickItem* parent) : QQuickPaintedItem(parent) {}

ImageItem::~ImageItem()
{
    clearImage();
}

void ImageItem::clearImage()
{
    delete m_pImage;
    m_pImage = nullptr;
}

void ImageItem::updateImage()
{
    clearImage();
    SubtitleItem* holder = SubtitleItem::getInstance();
    {
        QMutexLocker lock(&holder->m_dataMutex);
        uchar* buffer = holder->m_nType ? holder->m_buffer720 : holder->m_buffer960;
        m_pImage = new QImage(buffer, holder->m_nWidth, holder->m_nHeight, QImage::Format_RGBA8888);
    }
    update();
}

void ImageItem::paint(QPainter* painter)
{
    if (!m_pImage || m_pImage->isNull())
        return;
    const QRectF box = boundingRect();
    const QRect target(qRound(box.x()), qRound(box.y()), qRound(box.width()), qRound(box.height()));
    QMutexLocker lock(&SubtitleItem::getInstance()->m_dataMutex);
    const QImage scaled = m_pImage->scaled(target.width(), target.height(), Qt::IgnoreAspectRatio,
                                           Qt::FastTransformation);
    QPoint position = target.center() - scaled.rect().center();
    if (position.x() < 0)
        position.setX(0);
    if (position.y() < 0)
        position.setY(0);
    painter->drawImage(position, scaled);
}
