#include "ReceptionMonitor.h"

#include "KelpAppLog.h"

#include <algorithm>
#include <malloc.h>

namespace {

constexpr int kSkipTicks = 5;  // the first evaluation comes 1000 ms after a flush
constexpr int kFixedFullSegMode = 0;
constexpr int kAutoSegMode = 2;
constexpr int kAutoOneSegPriority = 3;
constexpr int kAutoFullSegPriority = 4;

const char* segName(int seg)
{
    return seg == 1 ? "1Seg" : "FSeg";
}

template <typename T>
void pushBounded(std::deque<T>& queue, T value, size_t max)
{
    if (queue.size() > max - 1)
        queue.pop_front();
    queue.push_back(value);
}

}  // namespace

const char* ReceptionMonitor::setName(int set)
{
    switch (set) {
    case OpFSeg_Fto1: return "OpFSeg_Fto1";
    case OpFSeg_1toF: return "OpFSeg_1toF";
    case Op1Seg_Fto1: return "Op1Seg_Fto1";
    case Op1Seg_1toF: return "Op1Seg_1toF";
    case OpAuto_Fto1: return "OpAuto_Fto1";
    case OpAuto_1toF: return "OpAuto_1toF";
    default: return "unknown";
    }
}

void ReceptionMonitor::flush()
{
    ++m_flushes;
    m_tick = 0;
    m_skipCount = 0;
    m_goodCount = 0;
    m_weakCount = 0;
    m_signalWeak = false;
    m_cnr.clear();
    m_perB.clear();
    m_perA.clear();
    m_cnr.shrink_to_fit();
    m_perB.shrink_to_fit();
    m_perA.shrink_to_fit();
    malloc_trim(0);
}

double ReceptionMonitor::averageOfCnr() const
{
    const size_t n = std::min<size_t>(5, m_cnr.size());
    if (n == 0)
        return 0.0;
    double sum = 0.0;
    for (size_t i = m_cnr.size() - n; i < m_cnr.size(); ++i)
        if (m_cnr[i] > 0)
            sum += m_cnr[i];
    return sum == 0.0 ? 0.0 : sum / static_cast<double>(n);
}

int ReceptionMonitor::averageOfPerA() const
{
    if (m_perA.size() != static_cast<size_t>(kPerAQueue))
        return 0;
    long long sum = 0;
    for (int v : m_perA)
        sum += v;
    return static_cast<int>(sum / kPerAQueue);
}

int ReceptionMonitor::perCountForFixedFSegWeakSignal() const
{
    const size_t n = std::min<size_t>(10, m_perB.size());
    int count = 0;
    for (size_t i = m_perB.size() - n; i < m_perB.size(); ++i)
        count += m_perB[i] != 0 ? 1 : 0;
    return count;
}

int ReceptionMonitor::signalLevel(int segType, double cnrAvg)
{
    if (segType == 1) {
        if (cnrAvg <= 5.0)
            return 0;
        return cnrAvg < 9.0 ? 1 : cnrAvg < 12.0 ? 2 : 3;
    }
    if (cnrAvg <= 15.0)
        return 0;
    return cnrAvg < 20.0 ? 1 : cnrAvg < 25.0 ? 2 : 3;
}

bool ReceptionMonitor::cnrThresholdExceeded(int set)
{
    if (m_cnr.size() < 10)
        return false;
    const ReceptionThreshold t = m_host->threshold(set);
    const size_t window = static_cast<size_t>(std::max(0, t.period * 5));
    const size_t n = std::min(window, m_cnr.size());
    int count = 0;
    for (size_t i = m_cnr.size() - n; i < m_cnr.size(); ++i)
        count += m_cnr[i] >= t.cnrLevel ? 1 : 0;
    if (m_host->engScreen())
        m_host->publishExceeded(count, 0);
    if (t.count <= count) {
        LOG_I("[%s]+++++> [%s] thresholdCount(%d) <= exceedCount(%d) !!", "checkCnrThresholdExceeded",
              setName(set), t.count, count);
        return true;
    }
    return false;
}

bool ReceptionMonitor::perThresholdExceeded(int set)
{
    if (m_perB.size() < 10)
        return false;
    const ReceptionThreshold t = m_host->threshold(set);
    const size_t window = static_cast<size_t>(std::max(0, t.period * 5));
    const size_t n = std::min(window, m_perB.size());
    int count = 0;
    for (size_t i = m_perB.size() - n; i < m_perB.size(); ++i) {
        const bool error = m_perB[i] != 0;
        count += (t.perSign == 0) == error ? 1 : 0;
    }
    if (m_host->engScreen()) {
        if (set == OpFSeg_1toF || set == Op1Seg_1toF)
            m_host->publishExceeded(count, 0);
        else
            m_host->publishExceeded(0, count);
    }
    if (t.count <= count) {
        LOG_I("[%s]+++++> [%s] thresholdCount(%d) <= exceededCount(%d) !!", "checkPerThresholdExceeded",
              setName(set), t.count, count);
        return true;
    }
    return false;
}

void ReceptionMonitor::checkThresholdForChangeSeg()
{
    const int mode = m_host->segMode();
    const int seg = m_host->currSegType();
    const int avail = m_host->availSegType();
    if (seg == 0 && avail != 0) {
        int set = 0;
        const char* name = nullptr;
        if (mode == kAutoOneSegPriority) {
            set = Op1Seg_Fto1;
            name = "AUTO_ONE_SEG";
        } else if (mode == kAutoFullSegPriority) {
            set = OpFSeg_Fto1;
            name = "AUTO_FULL_SEG";
        } else if (mode == kAutoSegMode) {
            set = OpAuto_Fto1;
            name = "AUTO_SEG";
        }
        if (set != 0 && perThresholdExceeded(set)) {
            LOG_I("[%s] (%s) threshold exceeded ( FSeg -> 1Seg ) !!!", __func__, name);
            m_host->changeSeg(1);
        }
    } else if (seg == 1 && avail != 1) {
        bool exceeded = false;
        if (mode == kAutoOneSegPriority || mode == kAutoFullSegPriority) {
            exceeded = perThresholdExceeded(mode == kAutoOneSegPriority ? Op1Seg_1toF : OpFSeg_1toF);
            if (exceeded)
                LOG_I("[%s] (AUTO_FULL_SEG) threshold exceeded ( 1Seg -> FSeg ) !!! / PER", __func__);
        } else if (mode == kAutoSegMode) {
            exceeded = cnrThresholdExceeded(OpAuto_1toF);
            if (exceeded)
                LOG_I("[%s] (AUTO_SEG) threshold exceeded ( 1Seg -> FSeg ) !!!", __func__);
        }
        if (exceeded)
            m_host->changeSeg(0);
    }
}

bool ReceptionMonitor::poll()
{
    if (m_host->stationCount() < 1)
        return false;

    float cnr = 0.0f;
    int values[kSignalValues];
    if (m_skipCount < kSkipTicks) {
        if (m_skipCount < 3) {
            ++m_skipCount;
            return false;
        }
        if (m_skipCount == 3) {
            // The first figures after a tune are stale: read once and drop them.
            std::fill(values, values + kSignalValues, 0);
            m_host->readSignal(&cnr, values);
            ++m_skipCount;
            return false;
        }
        LOG_I("[%s] m_nSignalCheckSkipCount : %d, %dms skipped~~~", "signalCheckTimerHandler", m_skipCount, 1000);
        ++m_skipCount;
    }

    std::fill(values, values + kSignalValues, 0);
    cnr = 0.0f;
    m_host->readSignal(&cnr, values);
    pushBounded(m_cnr, cnr, kCnrQueue);
    pushBounded(m_perB, values[9], kPerBQueue);
    pushBounded(m_perA, values[7], kPerAQueue);

    const double cnrAvg = averageOfCnr();
    const int perA = averageOfPerA();
    const int mode = m_host->segMode();
    const int seg = m_host->currSegType();
    bool weak;
    if (mode == kFixedFullSegMode)
        weak = perCountForFixedFSegWeakSignal() > 7 || cnrAvg < 15.5;
    else
        weak = cnrAvg < 5.0 || perA >= 1;

    if (weak) {
        m_goodCount = 0;
        if (m_weakCount < kWeakMax) {
            ++m_weakCount;
            if (m_weakCount == kWeakAnnounce) {
                LOG_I("[%s] SIGNAL WEAK [%s](%d)(%f)(%d)(%d)", "signalCheckTimerHandler", segName(seg), mode, cnrAvg,
                      perA, perCountForFixedFSegWeakSignal());
                m_signalWeak = true;
                m_host->announceSignal(true, cnrAvg, perA);
            }
        }
    } else {
        m_weakCount = 0;
        if (m_goodCount <= kGoodAnnounce - 1) {
            ++m_goodCount;
            if (m_goodCount == kGoodAnnounce) {
                LOG_I("[%s] SIGNAL GOOD [%s](%d)(%f)(%d)", "signalCheckTimerHandler", segName(seg), mode, cnrAvg,
                      perA);
                m_signalWeak = false;
                m_host->announceSignal(false, cnrAvg, perA);
            }
        }
    }

    const int t = m_tick;
    if (t % 2 == 1)
        m_host->publishQos(values, cnrAvg);
    if (t % 5 == 1)
        m_host->publishAntStrength(cnrAvg);
    const unsigned run = m_flushes;
    if (t % 5 == 4) {
        m_host->publishLevel(cnrAvg);
        if (mode >= kAutoSegMode && m_host->currSegType() == 0 && m_host->availSegType() != 0 && cnrAvg == 0.0) {
            if (m_channelChangedState >= 1)
                m_host->changeSeg(1);
            else
                LOG_I("[%s] m_nChannelChangedState(%d) is over", "signalCheckTimerHandler", m_channelChangedState);
        }
        if (m_channelChangedState > 0) {
            ++m_channelChangedState;
            if (m_channelChangedState > 2)
                m_channelChangedState = 0;
        }
    }

    // A switch restarted the poll: this tick belongs to the run that ended.
    if (run != m_flushes)
        return true;
    m_tick = m_tick > 49 ? 25 : m_tick + 1;

    if (m_host->segMode() >= kAutoSegMode)
        checkThresholdForChangeSeg();
    return true;
}
