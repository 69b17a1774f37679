#pragma once
// The reception poll of the live channel: one call of poll() per 200 ms
// tick. It keeps the short sample queues, decides weak and good reception,
// paces the publications by the tick counter and, in the automatic segment
// modes, decides when to switch between the full-segment and the one-segment
// service. Everything it needs from the engine and the player goes through
// ReceptionHost, so the decisions can be driven sample by sample.

#include <cstddef>
#include <deque>

// One set of switching thresholds: a CNR level (dB) or a PER sign, the count
// of samples that must meet the condition, and the period in seconds (the
// window is period x 5 samples).
struct ReceptionThreshold {
    float cnrLevel = 0.0f;
    int perSign = 0;
    int count = 0;
    int period = 0;
};

class ReceptionHost
{
public:
    virtual ~ReceptionHost() = default;
    virtual int stationCount() = 0;
    // Fills cnr and values (kSignalValues entries, zeroed by the caller).
    virtual void readSignal(float* cnr, int* values) = 0;
    virtual int segMode() = 0;
    virtual int currSegType() = 0;
    virtual int availSegType() = 0;
    virtual bool engScreen() = 0;
    virtual ReceptionThreshold threshold(int set) = 0;
    // Weak announced (true) after 10 weak evaluations, good (false) after 5 good ones.
    virtual void announceSignal(bool weak, double cnrAvg, int perA) = 0;
    virtual void publishQos(const int* values, double cnrAvg) = 0;
    virtual void publishAntStrength(double cnrAvg) = 0;
    virtual void publishLevel(double cnrAvg) = 0;
    virtual void publishExceeded(int count1toF, int countFto1) = 0;
    // A switch to segType; the host restarts the poll (flush()).
    virtual void changeSeg(int segType) = 0;
};

class ReceptionMonitor
{
public:
    static constexpr int kSignalValues = 257;
    static constexpr int kCnrQueue = 25;
    static constexpr int kPerBQueue = 25;
    static constexpr int kPerAQueue = 5;
    static constexpr int kWeakAnnounce = 10;
    static constexpr int kWeakMax = 600;
    static constexpr int kGoodAnnounce = 5;

    // Threshold sets.
    enum {
        OpFSeg_Fto1 = 1,
        OpFSeg_1toF = 2,
        Op1Seg_Fto1 = 3,
        Op1Seg_1toF = 4,
        OpAuto_Fto1 = 5,
        OpAuto_1toF = 6,
    };

    explicit ReceptionMonitor(ReceptionHost* host) : m_host(host) {}

    // Every start and stop of the poll: counters and queues back to zero.
    void flush();
    // One tick. True when the tick evaluated a sample (after the skip phase).
    bool poll();

    // The average of the last five CNR samples (positive ones summed, divided
    // by the number looked at).
    double averageOfCnr() const;
    // Integer average of the layer-A error queue (0 until it is full).
    int averageOfPerA() const;
    // Erroneous samples among the last ten of layer B.
    int perCountForFixedFSegWeakSignal() const;
    bool cnrThresholdExceeded(int set);
    bool perThresholdExceeded(int set);
    void checkThresholdForChangeSeg();

    // Level 0..3 of a CNR average for the segment type.
    static int signalLevel(int segType, double cnrAvg);
    static const char* setName(int set);

    void resetWeakCount() { m_weakCount = 0; }
    void setChannelChangedState(int state) { m_channelChangedState = state; }
    int channelChangedState() const { return m_channelChangedState; }
    int tick() const { return m_tick; }
    int skipCount() const { return m_skipCount; }
    int weakCount() const { return m_weakCount; }
    int goodCount() const { return m_goodCount; }
    bool signalWeak() const { return m_signalWeak; }
    size_t cnrSamples() const { return m_cnr.size(); }

private:
    ReceptionHost* m_host;
    std::deque<float> m_cnr;
    std::deque<int> m_perB;
    std::deque<int> m_perA;
    int m_skipCount = 0;
    int m_tick = 0;
    int m_goodCount = 0;
    int m_weakCount = 0;
    bool m_signalWeak = false;
    int m_channelChangedState = 0;
    unsigned m_flushes = 0;
};
