#pragma once
// The process-wide holder of the last caption bitmap. The player wrapper
// writes it on the broadcast engine's thread; ImageItem wraps and paints it
// on the GUI side.

#include <QMutex>
#include <QObject>

class SubtitleItem : public QObject {
    Q_OBJECT
public:
    static SubtitleItem* getInstance();

    void reset();
    // One caption of `size` bytes in the engine's B,G,R,A order: 720 x 480 or
    // 960 x 540 pixels; any other size leaves the holder empty.
    void setData(int sID, unsigned int size, unsigned char* pixels);
    void clearData(int sID);

    int m_nType = 0;    // 0: m_buffer960 holds the caption, 1: m_buffer720
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nSID = 0;
    unsigned char m_buffer960[960 * 540 * 4];
    unsigned char m_buffer720[720 * 480 * 4];

    // Held while the buffers change and while a picture over them is painted,
    // so that a caption arriving during a paint never shows half-written.
    QMutex m_dataMutex;

private:
    SubtitleItem();
    void resetLocked();

    static SubtitleItem* m_pInstance;
};
