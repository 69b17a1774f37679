#pragma once
// Polls the USB controller's "bus connected" state once a second while asked
// to and reports each change; the factory test and the log copy use it to
// know whether a USB stick is plugged in.

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

// The bus-state file (board path): one line "BUS CONNECTED = 0X<state>".
constexpr const char kUsbBusStatePath[] = "/sys/devices/dwc_otg/busconnected";

class ISDBtDevDetectHandler : public QThread
{
    Q_OBJECT
public:
    explicit ISDBtDevDetectHandler(QObject* parent = nullptr);
    // Stops the loop and waits for it.
    ~ISDBtDevDetectHandler() override;

    // Polls the bus state (true) or pauses the polling without ending the loop.
    void setCheckUsb(bool on);
    // Asks the loop to end; does not wait.
    void stop();
    // Runs the loop, also after a stop(): a loop still ending is waited for
    // and started again; a running loop is kept.
    void startDetect();

    void loadDwcOtgBus();
    void parsingDwcOtgBus(QString line);

signals:
    void sendUsbDetectStatus(int status);

protected:
    void run() override;

private:
    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_bStop = false;
    bool m_bCheckUsb = false;
    // A loop runs and has not seen the stop flag.
    bool m_bLooping = false;
    int m_nLastBusState = -1;
};
