#ifndef ES_AUDIO_SAMPLES_H
#define ES_AUDIO_SAMPLES_H
// Hand-built audio frames for the parser tests and the fuzz seeds.
#include <cstdint>
#include <vector>

#include "bit_writer.h"

// An MPEG audio frame: header, then filler up to `length` bytes.
inline std::vector<uint8_t> mpegAudioFrame(uint32_t versionBits, uint32_t layerBits, uint32_t brIndex,
                                           uint32_t srIndex, uint32_t padding, uint32_t mode,
                                           size_t length) {
  BitWriter w;
  w.put(0x7FF, 11).put(versionBits, 2).put(layerBits, 2).put(1, 1).put(brIndex, 4).put(srIndex, 2);
  w.put(padding, 1).put(0, 1).put(mode, 2).put(0, 2).put(0, 1).put(0, 1).put(0, 2);
  auto v = w.data();
  v.resize(length < 4 ? 4 : length, 0x55);
  return v;
}

// An AC-3 frame of `length` bytes (the caller gives the length the header
// implies, or less to cut it).
inline std::vector<uint8_t> ac3Frame(uint32_t fscod, uint32_t frmsizecod, uint32_t acmod, uint32_t lfeon,
                                     size_t length, uint32_t bsid = 8) {
  BitWriter w;
  w.put(0x0B77, 16).put(0xABCD, 16).put(fscod, 2).put(frmsizecod, 6).put(bsid, 5).put(0, 3).put(acmod, 3);
  if ((acmod & 1) && acmod != 1) w.put(1, 2);
  if (acmod & 4) w.put(1, 2);
  if (acmod == 2) w.put(0, 2);
  w.put(lfeon, 1).put(0x1F, 5).align();
  auto v = w.data();
  v.resize(length < v.size() ? v.size() : length, 0x5A);
  return v;
}

struct Eac3 {
  uint32_t strmtyp = 0, fscod = 0, fscod2 = 0, numblkscod = 3, acmod = 2, lfeon = 0, bsid = 16;
  bool mixing = true, info = true;
  uint32_t mixdef = 3;
  uint32_t blkid = 1, frmsizecod = 28;
};

inline std::vector<uint8_t> eac3Frame(const Eac3& e, size_t length = 200) {
  BitWriter w;
  w.put(0x0B77, 16).put(e.strmtyp, 2).put(0, 3).put(length / 2 - 1, 11).put(e.fscod, 2);
  uint32_t numblkscod = e.numblkscod;
  if (e.fscod == 3) {
    w.put(e.fscod2, 2);
    numblkscod = 3;
  } else {
    w.put(numblkscod, 2);
  }
  w.put(e.acmod, 3).put(e.lfeon, 1).put(e.bsid, 5).put(27, 5).put(1, 1).put(0x40, 8);
  if (e.acmod == 0) w.put(27, 5).put(0, 1);
  if (e.strmtyp == 1) w.put(1, 1).put(0x1234, 16);
  w.put(e.mixing, 1);
  if (e.mixing) {
    if (e.acmod > 2) w.put(1, 2);
    if ((e.acmod & 1) && e.acmod > 2) w.put(0x2D, 6);
    if (e.acmod & 4) w.put(0x2D, 6);
    if (e.lfeon) w.put(1, 1).put(10, 5);
    if (e.strmtyp == 0) {
      w.put(1, 1).put(33, 6);
      if (e.acmod == 0) w.put(0, 1);
      w.put(0, 1).put(e.mixdef, 2);
      if (e.mixdef == 1) w.put(7, 5);
      if (e.mixdef == 2) w.put(0xABC, 12);
      if (e.mixdef == 3) {
        w.put(2, 5);
        for (int i = 0; i < 4; i++) w.put(0xC3, 8);
      }
      if (e.acmod < 2) {
        w.put(1, 1).put(0x3FFF, 14);
        if (e.acmod == 0) w.put(0, 1);
      }
      w.put(1, 1);
      static const uint32_t kBlocks[4] = {1, 2, 3, 6};
      if (numblkscod == 0) {
        w.put(9, 5);
      } else {
        for (uint32_t b = 0; b < kBlocks[numblkscod]; b++) w.put(b & 1, 1).put(b & 1 ? 9 : 0, b & 1 ? 5 : 0);
      }
    }
  }
  w.put(e.info, 1);
  if (e.info) {
    w.put(0, 3).put(1, 1).put(1, 1);
    if (e.acmod == 2) w.put(2, 2).put(0, 2);
    if (e.acmod >= 6) w.put(1, 2);
    w.put(1, 1).put(20, 5).put(1, 2).put(0, 1);
    if (e.acmod == 0) w.put(0, 1);
    if (e.fscod < 3) w.put(0, 1);
  }
  if (e.strmtyp == 0 && numblkscod != 3) w.put(1, 1);
  if (e.strmtyp == 2) {
    if (numblkscod != 3) w.put(e.blkid, 1);
    if (numblkscod == 3 || e.blkid) w.put(e.frmsizecod, 6);
  }
  w.put(0, 1).align();
  auto v = w.data();
  v.resize(length < v.size() ? v.size() : length, 0x5A);
  return v;
}

inline std::vector<uint8_t> adtsFrame(uint32_t srIndex, uint32_t channelConfig, size_t length = 64) {
  BitWriter w;
  w.put(0xFFF, 12).put(0, 1).put(0, 2).put(1, 1).put(1, 2).put(srIndex, 4).put(0, 1);
  w.put(channelConfig, 3).put(0, 4).put(length, 13).put(0x7FF, 11).put(0, 2);
  auto v = w.data();
  v.resize(length, 0x21);
  return v;
}

// AudioSpecificConfig writer for plain configurations.
inline void writeAsc(BitWriter& w, uint32_t objectType, uint32_t srIndex, uint32_t config,
                     uint32_t explicitRate = 0) {
  if (objectType >= 31) w.put(31, 5).put(objectType - 32, 6);
  else w.put(objectType, 5);
  w.put(srIndex, 4);
  if (srIndex == 15) w.put(explicitRate, 24);
  w.put(config, 4);
}

// A LOAS AudioSyncStream frame around an AudioMuxElement whose
// StreamMuxConfig carries the given AudioSpecificConfig bits.
inline std::vector<uint8_t> loasFrame(const std::vector<uint8_t>& ascBits, size_t ascBitCount,
                                      uint32_t useSameStreamMux = 0, uint32_t version = 0,
                                      uint32_t versionA = 0, uint32_t ascLenOverride = 0) {
  BitWriter w;
  w.put(useSameStreamMux, 1);
  if (!useSameStreamMux) {
    w.put(version, 1);
    if (version) {
      w.put(versionA, 1);
      if (!versionA) w.put(0, 2).put(0xFF, 8);  // taraBufferFullness
    }
    w.put(1, 1).put(0, 6).put(0, 4).put(0, 3);
    if (version) w.put(0, 2).put(ascLenOverride ? ascLenOverride : uint32_t((ascBitCount + 7) / 8), 8);
    for (size_t i = 0; i < ascBitCount; i++) w.put((ascBits[i / 8] >> (7 - i % 8)) & 1, 1);
    w.put(0, 3).put(0xFF, 8);  // frameLengthType 0, latmBufferFullness
  }
  w.put(0, 1).put(0, 1).align();
  auto body = w.data();
  body.resize(body.size() + 20, 0x11);
  BitWriter frame;
  frame.put(0x2B7, 11).put(body.size(), 13);
  for (uint8_t b : body) frame.put(b, 8);
  return frame.data();
}

inline std::vector<uint8_t> dtsFrame(uint32_t amode, uint32_t sfreq, uint32_t rate, uint32_t pcmr,
                                     uint32_t crcPresent) {
  BitWriter w;
  w.put(0x7FFE8001u, 32).put(1, 1).put(31, 5).put(crcPresent, 1).put(15, 7).put(1023, 14);
  w.put(amode, 6).put(sfreq, 4).put(rate, 5).put(0, 10).put(0, 2).put(0, 1);
  if (crcPresent) w.put(0xBEEF, 16);
  w.put(0, 1).put(7, 4).put(0, 2).put(pcmr, 3).put(0, 2).put(0, 4);
  auto v = w.data();
  v.resize(40, 0x3C);
  return v;
}

#endif
