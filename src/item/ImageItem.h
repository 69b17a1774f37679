#pragma once
// The QML item that shows the held caption bitmap, stretched over the item.

#include <QImage>
#include <QQuickPaintedItem>

class ImageItem : public QQuickPaintedItem {
    Q_OBJECT
public:
    explicit ImageItem(QQuickItem* parent = nullptr);
    ~ImageItem() override;

    // Wraps the current caption (without copying it) and repaints.
    Q_INVOKABLE void updateImage();
    void clearImage();
    void paint(QPainter* painter) override;

private:
    QImage* m_pImage = nullptr;
};
