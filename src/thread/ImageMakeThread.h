#pragma once
// Writes station logos as PNG files in the background, one at a time, so
// that neither the file write nor the flash flush holds up the GUI thread.

#include "DbIconItem.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>

#include <memory>

class ImageMakeThread : public QThread {
    Q_OBJECT
public:
    explicit ImageMakeThread(QObject* parent = nullptr);
    ~ImageMakeThread() override;

    // Starts the thread unless it runs, and clears the stop flag.
    void init();
    // Asks the thread to end after the current pass; does not wait.
    void stop();
    // Queues a logo; dropped while stopped.
    void pushData(std::shared_ptr<tagDbIconItem> item);
    // Writes one logo file now, on the calling thread.
    void makeImage(std::shared_ptr<tagDbIconItem> item);

    // True while logos are queued or one is being written.
    bool busy();

    // The directory the logos are written to.
    static QString logoDirectory();

signals:
    void sendSaveLogoComplete(int channelNumber, int networkID, QString name);

protected:
    void run() override;

private:
    bool m_bStop = false;
    bool m_bLooping = false;  // a thread runs the loop and has not seen the stop flag
    bool m_bWriting = false;  // the loop has taken a logo and not finished writing it
    QMutex m_mutex;           // guards m_bStop, m_bLooping, m_bWriting and m_queue
    QList<std::shared_ptr<tagDbIconItem>> m_queue;
};
