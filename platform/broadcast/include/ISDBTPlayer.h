#pragma once
// Stand-in for the board's broadcast player engine. It has the methods,
// arguments and results the application relies on, and plays a scenario
// (BroadcastSim.h) instead of a tuner: it scans, writes the channel and guide
// databases, tunes, hands over, reports reception and delivers captions.
// The listener is only ever called from the engine's own thread.

namespace dtv {

class ISDBTPlayer {
public:
    typedef int (*Listener)(int msg, int ext1, int ext2, void* obj);

    ISDBTPlayer();
    ~ISDBTPlayer();
    ISDBTPlayer(const ISDBTPlayer&) = delete;
    ISDBTPlayer& operator=(const ISDBTPlayer&) = delete;

    int setListener(Listener listener);
    int prepare(unsigned int value);
    int search(int type, int arg2, int arg3, int arg4, int arg5);
    int searchCancel();
    int setChannel(int fullSegID, int oneSegID, int arg3, int arg4, int audioMode, int arg6,
                   int arg7, int arg8, int arg9, int segType);
    int setChannel_ForMassProductionTestOf2Ts(int fullSegID, int oneSegID, int arg3, int arg4,
                                              int arg5, int arg6, int arg7, int arg8, int arg9,
                                              int segType);
    int stop();
    int release();
    int setPresetMode(int mode);

    int startHandover(int arg, int searchType);
    int startHandover2TS();
    int stopHandover();
    int stopHandover2TS();

    int setAudio(int index);
    int setAudioDualMono(int n);
    int setDualChannel(int n);
    int setSubtitle(int n);
    int playSubtitle(int on);
    int setSuperImpose(int n);
    int playSuperimpose(int on);
    int setAudioMuteOnOff(int on);
    int setVideoPauseOnOff(int on);
    int changeZoomOnOff();
    int setScreenMode(unsigned int mode);
    int setScreenScale(unsigned int percent);
    int setVideoDelay(unsigned int ms);
    int setHDMIMode(unsigned int mode);
    int setBackSearchInfo2TS(unsigned int mode, unsigned int kind);

    // Channel information of one service. Texts are UTF-16 with a separate
    // length in bytes; buffers: 256 units (o5, programName, o45), 33 units
    // (audio texts), 32768 bytes of B,G,R,A logo pixels. The lengths report the
    // text's own size, which may be more than the buffer holds.
    int getChannelInfo(int channelNumber, int serviceID,
                       int* networkID, int* o2, int* o3, int* o4,
                       unsigned short* serviceName, int* serviceNameLen,
                       int* totalAudioPID, int* o8, int* o9, int* audioMode, int* o11,
                       int* main0, int* sub0, unsigned short* mainText0, unsigned int* mainLen0,
                       unsigned short* subText0, unsigned int* subLen0,
                       int* main1, int* sub1, unsigned short* mainText1, unsigned int* mainLen1,
                       unsigned short* subText1, unsigned int* subLen1,
                       int* main2, int* sub2, unsigned short* mainText2, unsigned int* mainLen2,
                       unsigned short* subText2, unsigned int* subLen2,
                       int* o30, int* o31, int* o32,
                       int* startDate, int* startHour, int* startMinute, int* startSecond,
                       int* o37, int* o38, int* o39,
                       unsigned short* programName, int* programNameLen,
                       int* logoWidth, int* logoHeight, unsigned char* logoPixels,
                       unsigned short* programText, int* programTextLen, int* o47);

    // cnr in dB; values: at least 14 ints (see BroadcastSim.h, SignalPoint).
    int getSignalStrength(float* cnr, int* values);
    int getSignalStrength_ForMassProductionTestOf2Ts(float* cnr, int* values);
    int getCurrentDateTime(int* mjd, int* hour, int* minute, int* second, int* o5, int* o6,
                           int* o7);
    int getApTemperature();
    int getAntenaOpenCheckPinState();
    int setChLogEpgDb_OpenClose(unsigned int open);
    int copyLogFilesToUsb();

private:
    struct Impl;
    Impl* d;
};

}  // namespace dtv
