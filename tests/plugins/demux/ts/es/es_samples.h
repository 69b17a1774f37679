#ifndef ES_SAMPLES_H
#define ES_SAMPLES_H
// Hand-built elementary-stream headers for the parser tests and the fuzz
// seeds: each builder writes the syntax field by field from the values given.
#include <cstdint>
#include <vector>

#include "bit_writer.h"

struct H264Sps {
  uint32_t profile = 100;
  uint32_t chroma = 1;
  bool scalingMatrix = false;
  uint32_t pocType = 0;
  uint32_t pocCycle = 0;       // entries of the type-1 cycle
  uint32_t widthMbs = 120;     // pic_width_in_mbs_minus1 + 1
  uint32_t heightUnits = 68;   // pic_height_in_map_units_minus1 + 1
  bool frameMbsOnly = true;
  uint32_t crop[4] = {0, 0, 0, 0};  // left, right, top, bottom
  bool vui = true;
  uint32_t unitsInTick = 1001, timeScale = 60000;
  bool timing = true;
  bool hrd = true;
};

inline void writeH264Hrd(BitWriter& w) {
  w.ue(1).put(3, 4).put(5, 4);
  for (int i = 0; i < 2; i++) w.ue(2000).ue(3000).put(1, 1);
  w.put(23, 5).put(23, 5).put(23, 5).put(24, 5);
}

// seq_parameter_set_data with its VUI; no trailing bits.
inline void writeH264SpsData(BitWriter& w, const H264Sps& s) {
  w.put(s.profile, 8).put(0, 8).put(40, 8).ue(0);
  if (s.profile == 100 || s.profile == 110 || s.profile == 122 || s.profile == 244 ||
      s.profile == 44 || s.profile == 83 || s.profile == 86 || s.profile == 118 || s.profile == 128) {
    w.ue(s.chroma);
    if (s.chroma == 3) w.put(0, 1);
    w.ue(0).ue(0).put(0, 1).put(s.scalingMatrix, 1);
    if (s.scalingMatrix) {
      int lists = s.chroma == 3 ? 12 : 8;
      for (int i = 0; i < lists; i++) {
        w.put(1, 1);
        int size = i < 6 ? 16 : 64;
        // A few deltas, then one that brings the next scale to 0.
        w.se(4).se(-2).se(int32_t(-(8 + 4 - 2)));
        (void)size;
      }
    }
  }
  w.ue(4).ue(s.pocType);
  if (s.pocType == 0) w.ue(4);
  if (s.pocType == 1) {
    w.put(0, 1).se(-1).se(2).ue(s.pocCycle);
    for (uint32_t i = 0; i < s.pocCycle; i++) w.se(int32_t(i % 7) - 3);
  }
  w.ue(4).put(0, 1).ue(s.widthMbs - 1).ue(s.heightUnits - 1).put(s.frameMbsOnly, 1);
  if (!s.frameMbsOnly) w.put(1, 1);
  w.put(1, 1);
  bool crop = s.crop[0] || s.crop[1] || s.crop[2] || s.crop[3];
  w.put(crop, 1);
  if (crop)
    for (uint32_t c : s.crop) w.ue(c);
  w.put(s.vui, 1);
  if (!s.vui) return;
  w.put(1, 1).put(255, 8).put(16, 16).put(11, 16);  // sample aspect 16:11
  w.put(1, 1).put(0, 1);                            // overscan
  w.put(1, 1).put(5, 3).put(0, 1).put(1, 1).put(0x010101, 24);
  w.put(1, 1).ue(1).ue(1);                          // chroma location
  w.put(s.timing, 1);
  if (s.timing) w.put(s.unitsInTick, 32).put(s.timeScale, 32).put(1, 1);
  w.put(s.hrd, 1);
  if (s.hrd) writeH264Hrd(w);
  w.put(s.hrd, 1);
  if (s.hrd) writeH264Hrd(w);
  if (s.hrd) w.put(0, 1);
  w.put(0, 1);                                      // pic_struct_present_flag
  w.put(1, 1).put(1, 1).ue(2).ue(1).ue(16).ue(16).ue(4).ue(4);
}

inline std::vector<uint8_t> h264Sps(const H264Sps& s) {
  BitWriter w;
  writeH264SpsData(w, s);
  w.put(1, 1).align();
  return nalUnit({0x67}, w.data());
}

// An MVC subset SPS with two views and an MVC VUI that gives its own rate.
inline std::vector<uint8_t> mvcSubsetSps(uint32_t profile, uint32_t units, uint32_t scale) {
  H264Sps s;
  s.profile = profile;
  BitWriter w;
  writeH264SpsData(w, s);
  if (profile == 118 || profile == 128) {
    w.put(1, 1);                               // bit_equal_to_one
    w.ue(1).ue(0).ue(1);                       // two views, ids 0 and 1
    w.ue(1).ue(0).ue(0);                       // anchor refs of view 1: l0 {0}, l1 {}
    w.ue(1).ue(0).ue(0);                       // non-anchor refs of view 1
    w.ue(0).put(40, 8).ue(1);                  // one level, two operation points
    for (int op = 0; op < 2; op++) w.put(0, 3).ue(1).ue(0).ue(1).ue(1);
    w.put(1, 1).ue(0).put(0, 3).ue(0).ue(1);   // MVC VUI: one op, one output view
    w.put(1, 1).put(units, 32).put(scale, 32).put(1, 1);
    w.put(1, 1);
    writeH264Hrd(w);
    w.put(0, 1).put(0, 1).put(0, 1);
  }
  w.put(1, 1).align();
  return nalUnit({0x6F}, w.data());
}

inline void writeHevcPtl(BitWriter& w, uint32_t maxSubMinus1) {
  w.put(0x01, 8).put(0x60000000, 32).put(0x900000000000ull, 48).put(93, 8);
  for (uint32_t i = 0; i < maxSubMinus1; i++) w.put(1, 1).put(1, 1);
  if (maxSubMinus1 > 0)
    for (uint32_t i = maxSubMinus1; i < 8; i++) w.put(0, 2);
  for (uint32_t i = 0; i < maxSubMinus1; i++) w.put(0x0160000000ull, 40).put(0x900000000000ull, 48).put(90, 8);
}

inline std::vector<uint8_t> hevcVps(uint32_t units, uint32_t scale, uint32_t maxSubMinus1 = 0) {
  BitWriter w;
  w.put(0, 4).put(1, 1).put(1, 1).put(0, 6).put(maxSubMinus1, 3).put(1, 1).put(0xFFFF, 16);
  writeHevcPtl(w, maxSubMinus1);
  w.put(1, 1);
  for (uint32_t i = 0; i <= maxSubMinus1; i++) w.ue(4).ue(2).ue(0);
  w.put(3, 6).ue(2);                            // max layer id 3, three layer sets
  for (int i = 1; i <= 2; i++) w.put(0xA, 4);
  w.put(units != 0 || scale != 0, 1);
  if (units != 0 || scale != 0) w.put(units, 32).put(scale, 32).put(0, 1);
  w.put(0, 1).put(1, 1).align();
  return nalUnit({0x40, 0x01}, w.data());
}

struct HevcSps {
  uint32_t maxSubMinus1 = 1;
  uint32_t chroma = 1;
  uint32_t width = 1920, height = 1088;
  uint32_t window[4] = {0, 0, 0, 4};
  bool scalingList = true;
  bool vui = true;
  bool timing = true;
  uint32_t units = 1001, scale = 60000;
};

inline std::vector<uint8_t> hevcSps(const HevcSps& s) {
  BitWriter w;
  w.put(0, 4).put(s.maxSubMinus1, 3).put(1, 1);
  writeHevcPtl(w, s.maxSubMinus1);
  w.ue(0).ue(s.chroma);
  if (s.chroma == 3) w.put(0, 1);
  w.ue(s.width).ue(s.height);
  bool win = s.window[0] || s.window[1] || s.window[2] || s.window[3];
  w.put(win, 1);
  if (win)
    for (uint32_t v : s.window) w.ue(v);
  w.ue(0).ue(0).ue(4);                          // bit depths, log2_max_poc_lsb_minus4 = 4
  w.put(1, 1);
  for (uint32_t i = 0; i <= s.maxSubMinus1; i++) w.ue(4).ue(2).ue(0);
  w.ue(0).ue(3).ue(0).ue(3).ue(1).ue(1);
  w.put(s.scalingList, 1);
  if (s.scalingList) {
    w.put(1, 1);
    for (int sizeId = 0; sizeId < 4; sizeId++) {
      for (int m = 0; m < 6; m += sizeId == 3 ? 3 : 1) {
        if (m % 2 == 0) {
          w.put(0, 1).ue(0);
          continue;
        }
        w.put(1, 1);
        int coefs = 1 << (4 + (sizeId << 1));
        if (coefs > 64) coefs = 64;
        if (sizeId > 1) w.se(8);
        for (int k = 0; k < coefs; k++) w.se(k % 3 - 1);
      }
    }
  }
  w.put(0, 1).put(1, 1);                        // amp, SAO
  w.put(1, 1).put(0x77, 8).ue(0).ue(1).put(1, 1);   // PCM
  w.ue(3);                                      // three short-term sets
  w.ue(2).ue(1).ue(0).put(1, 1).ue(1).put(1, 1).ue(0).put(0, 1);
  w.put(1, 1).put(0, 1).ue(1);                  // predicted from set 0 (3 pictures)
  for (int j = 0; j <= 3; j++) w.put(j % 2, 1).put(j % 2 == 0 ? 1 : 0, j % 2 == 0 ? 1 : 0);
  w.put(0, 1).ue(1).ue(0).ue(0).put(1, 1);      // explicit: one negative picture
  w.put(1, 1).ue(2);                            // two long-term pictures of 8 + 1 bits
  w.put(0x1A5, 9).put(0x0F3, 9);
  w.put(1, 1).put(1, 1);
  w.put(s.vui, 1);
  if (s.vui) {
    w.put(1, 1).put(1, 8);                      // aspect ratio idc 1
    w.put(0, 1);
    w.put(1, 1).put(5, 3).put(0, 1).put(1, 1).put(0x010101, 24);
    w.put(0, 1);
    w.put(0, 1).put(0, 1).put(0, 1);
    w.put(1, 1).ue(0).ue(0).ue(0).ue(0);        // default display window
    w.put(s.timing, 1);
    if (s.timing) w.put(s.units, 32).put(s.scale, 32).put(0, 1);
    w.put(0, 1);
  }
  w.put(0, 1).put(1, 1).align();
  return nalUnit({0x42, 0x01}, w.data());
}

inline std::vector<uint8_t> mpeg2Sequence(uint32_t width, uint32_t height, uint32_t aspect,
                                          uint32_t rateCode, uint32_t bitRate400) {
  BitWriter w;
  w.bytes({0, 0, 1, 0xB3}).put(width, 12).put(height, 12).put(aspect, 4).put(rateCode, 4);
  w.put(bitRate400, 18).put(1, 1).put(112, 10).put(0, 1).put(0, 1).put(0, 1);
  return w.data();
}

// A picture start code with the given picture_coding_type (1 I, 2 P, 3 B).
inline std::vector<uint8_t> mpeg2Picture(uint32_t type) {
  BitWriter w;
  w.bytes({0, 0, 1, 0x00}).put(5, 10).put(type, 3).put(0xFFFF, 16).put(0, 3);
  return w.data();
}

struct Vc1Seq {
  uint32_t frmrtq = 3, bitrtq = 10;
  uint32_t maxW = 959, maxH = 539;  // coded size / 2 - 1
  uint32_t interlace = 0;
  bool displayExt = false;
  uint32_t dispW = 1440, dispH = 1080;
  int rateMode = 0;  // 0 none, 1 FRAMERATEEXP, 2 NR/DR
  uint32_t exp = 0, nr = 0, dr = 0;
};

inline std::vector<uint8_t> vc1Sequence(const Vc1Seq& s) {
  BitWriter w;
  w.bytes({0, 0, 1, 0x0F}).put(3, 2).put(2, 3).put(1, 2).put(s.frmrtq, 3).put(s.bitrtq, 5).put(0, 1);
  w.put(s.maxW, 12).put(s.maxH, 12).put(0, 1).put(s.interlace, 1).put(0, 4).put(s.displayExt, 1);
  if (s.displayExt) {
    w.put(s.dispW - 1, 14).put(s.dispH - 1, 14).put(1, 1).put(15, 4).put(16, 8).put(9, 8);
    w.put(s.rateMode != 0, 1);
    if (s.rateMode == 1) w.put(1, 1).put(s.exp, 16);
    if (s.rateMode == 2) w.put(0, 1).put(s.nr, 8).put(s.dr, 4);
  }
  w.put(0, 1).put(1, 1).align();
  // Entry point and a frame follow in a real stream; a few bytes suffice.
  auto v = w.data();
  v.insert(v.end(), {0, 0, 1, 0x0E, 0x48, 0x00, 0x00});
  return v;
}

inline std::vector<uint8_t> avsSequence(uint32_t width, uint32_t height, uint32_t progressive,
                                        uint32_t aspect, uint32_t rateCode) {
  BitWriter w;
  w.bytes({0, 0, 1, 0xB0}).put(0x20, 8).put(0x42, 8).put(progressive, 1).put(width, 14);
  w.put(height, 14).put(1, 2).put(1, 3).put(aspect, 4).put(rateCode, 4).put(0, 1);
  w.put(0x12345, 18).put(1, 1).put(0, 12).align();
  return w.data();
}

// Visual object sequence, video object and a VOL; `shape` 0 is rectangular.
inline std::vector<uint8_t> mpeg4Vol(uint32_t width, uint32_t height, uint32_t resolution,
                                     uint32_t increment, uint32_t interlaced, uint32_t shape = 0) {
  BitWriter w;
  w.bytes({0, 0, 1, 0xB0, 0xF5, 0, 0, 1, 0x00, 0, 0, 1, 0x20});
  w.put(0, 1).put(1, 8).put(1, 1).put(2, 4).put(1, 3);  // verid 2
  w.put(15, 4).put(12, 8).put(11, 8);                   // extended PAR
  w.put(1, 1).put(1, 2).put(1, 1).put(1, 1);            // vol_control with vbv
  w.put(0x4321, 15).put(1, 1).put(0x1234, 15).put(1, 1).put(0x0FFF, 15).put(1, 1);
  w.put(5, 3).put(0x3FF, 11).put(1, 1).put(0x1FFF, 15).put(1, 1);
  w.put(shape, 2);
  if (shape == 3) w.put(0, 4);
  w.put(1, 1).put(resolution, 16).put(1, 1).put(increment != 0, 1);
  if (increment != 0) {
    int bits = 1;
    while (bits < 16 && ((resolution - 1) >> bits) != 0) bits++;
    w.put(increment, bits);
  }
  if (shape != 2) w.put(1, 1).put(width, 13).put(1, 1).put(height, 13).put(1, 1).put(interlaced, 1);
  w.put(1, 1).put(0, 1).align();
  return w.data();
}

inline std::vector<uint8_t> mpeg4ShortHeader(uint32_t sourceFormat) {
  BitWriter w;
  w.bytes({0, 0, 1, 0x05});
  w.put(0x20, 22).put(7, 8).put(1, 1).put(0, 1).put(0, 3).put(sourceFormat, 3).put(0, 1);
  w.put(0x155, 9).align();
  return w.data();
}

// A VOP start code with vop_coding_type (0 I, 1 P, 2 B).
inline std::vector<uint8_t> mpeg4Vop(uint32_t type) {
  BitWriter w;
  w.bytes({0, 0, 1, 0xB6}).put(type, 2).put(0x2A, 6).put(0xFFFF, 16);
  return w.data();
}

#endif
