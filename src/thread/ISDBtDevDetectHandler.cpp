// The USB detector: the bus-state file read once a second, changes reported.

#include "ISDBtDevDetectHandler.h"

#include "DevRoot.h"
#include "KelpAppLog.h"

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStringList>
#include <QTextStream>

namespace {
constexpr int kPollMs = 1000;
}

ISDBtDevDetectHandler::ISDBtDevDetectHandler(QObject* parent)
    : QThread(parent)
{
    LOG_I("[%s]==================== Start ====================", __func__);
}

ISDBtDevDetectHandler::~ISDBtDevDetectHandler()
{
    stop();
    wait();
}

void ISDBtDevDetectHandler::setCheckUsb(bool on)
{
    LOG_I("[%s]==================== %s ====================", __func__, on ? "Start" : "Stop");
    QMutexLocker lock(&m_mutex);
    m_bCheckUsb = on;
}

void ISDBtDevDetectHandler::stop()
{
    LOG_I("[%s]==================== stop ====================", __func__);
    QMutexLocker lock(&m_mutex);
    m_bStop = true;
    m_wake.wakeAll();
}

void ISDBtDevDetectHandler::startDetect()
{
    QMutexLocker lock(&m_mutex);
    // Clearing the flag keeps a loop that has not yet seen it; one that has
    // is left to end, then started again. Without this a stopped detector
    // could never run again.
    m_bStop = false;
    if (m_bLooping)
        return;
    m_bLooping = true;
    lock.unlock();
    wait();
    start(QThread::InheritPriority);
}

void ISDBtDevDetectHandler::run()
{
    LOG_I("[%s]==================== run ====================", __func__);
    QMutexLocker lock(&m_mutex);
    for (;;) {
        if (m_bStop) {
            m_bLooping = false;
            return;
        }
        if (m_bCheckUsb)
            loadDwcOtgBus();
        // A second between passes; a stop() ends the wait early.
        m_wake.wait(&m_mutex, kPollMs);
    }
}

void ISDBtDevDetectHandler::loadDwcOtgBus()
{
    const QString path = QString::fromStdString(devroot::path(kUsbBusStatePath));
    if (!QFileInfo::exists(path)) {
        LOG_H("[%s] file(%s) is not exist !! ", __func__, qPrintable(path));
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        LOG_H("[%s] file(%s) open fail !! ", __func__, qPrintable(path));
        return;
    }
    QTextStream in(&file);
    parsingDwcOtgBus(in.readLine());
}

void ISDBtDevDetectHandler::parsingDwcOtgBus(QString line)
{
    if (line.length() < 19) {
        LOG_H("[%s] strData(%s) is too short(%d) or strData is empty !!", __func__, qPrintable(line),
              static_cast<int>(line.length()));
        return;
    }
    if (!line.toUpper().contains(QLatin1String("BUS CONNECTED = 0X")))
        return;
    const QStringList parts = line.split(QStringLiteral(" = 0X"), Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() != 2)
        return;
    const int state = parts.at(1).toInt();
    if (state != m_nLastBusState) {
        m_nLastBusState = state;
        LOG_I("[%s] BUS CONNECTED : %d !!", __func__, state);
        emit sendUsbDetectStatus(state);
    }
}
