/* AC-3 and E-AC-3 frame headers. The AC-3 walker steps from frame to frame
 * and carries a frame cut at the end of one payload into the next; it also
 * notices TrueHD/MLP data interleaved with the AC-3 frames. */
#include "ts_es_internal.h"

/* Hand-over between the two parsers goes at most this deep. */
#define DOLBY_MAX_DEPTH 4

static const uint32_t kAc3Rate[3] = {48000, 44100, 32000};
static const uint32_t kEac3ReducedRate[4] = {24000, 22050, 16000, 0};
static const uint32_t kBlocks[4] = {1, 2, 3, 6};
static const uint32_t kAcmodChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
/* Nominal kbit/s by frmsizecod / 2. */
static const uint32_t kAc3BitRate[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                         192, 224, 256, 320, 384, 448, 512, 576, 640};

static uint32_t ac3_bit_rate(uint32_t frmsizecod) {
  return frmsizecod <= 37 ? kAc3BitRate[frmsizecod >> 1] : 0;
}

/* Frame length in bytes: 1536 samples at the nominal rate; at 44.1 kHz the
 * odd code of each pair carries one more 16-bit word. */
static uint32_t ac3_frame_bytes(uint32_t fscod, uint32_t frmsizecod) {
  uint32_t kbps = ac3_bit_rate(frmsizecod);
  uint32_t words;
  if (fscod == 0) words = kbps * 2;
  else if (fscod == 2) words = kbps * 3;
  else words = kbps * 1536000u / (44100u * 16u) + (frmsizecod & 1u);
  return words * 2;
}

static int is_major_sync(const uint8_t* p) {
  return p[0] == 0xF8 && p[1] == 0x72 && p[2] == 0x6F && (p[3] == 0xBA || p[3] == 0xBB);
}

int32_t tsd_ac3_walk(AudioHeaderInfo* info, const uint8_t* p, int32_t n, int depth) {
  int32_t pos = 0;
  int32_t left = n;
  int32_t took = 0;
  if (n <= 0) return 0;
  if (info->frameLength && info->frameBytesSeen && info->frameBytesSeen < info->frameLength) {
    uint32_t rest = info->frameLength - info->frameBytesSeen;
    if ((uint32_t)n < rest) {
      info->frameBytesSeen += (uint32_t)n;
      return 0;
    }
    pos += (int32_t)rest;
    left -= (int32_t)rest;
    info->frameBytesSeen = info->frameLength;
  }
  while (left >= 8) {
    if (p[pos] == 0x0B && p[pos + 1] == 0x77) {
      TsdBits br;
      tsd_bits_init(&br, p + pos + 4, (size_t)(left - 4));
      uint32_t fscod = tsd_bits_read(&br, 2);
      uint32_t frmsizecod = tsd_bits_read(&br, 6);
      uint32_t bsid = tsd_bits_read(&br, 5);
      tsd_bits_skip(&br, 3); /* bsmod */
      uint32_t acmod = tsd_bits_read(&br, 3);
      if ((acmod & 1) && acmod != 1) tsd_bits_skip(&br, 2);
      if (acmod & 4) tsd_bits_skip(&br, 2);
      if (acmod == 2) tsd_bits_skip(&br, 2);
      uint32_t lfeon = tsd_bits_read(&br, 1);
      if (bsid == 16) {
        if (depth < DOLBY_MAX_DEPTH && tsd_eac3_parse(info, p + pos, left, depth + 1) == 1) {
          info->interleaved = 0;
          took = 1;
          break;
        }
      } else if (frmsizecod <= 37 && fscod != 3) {
        uint32_t len = ac3_frame_bytes(fscod, frmsizecod);
        info->bitRate = ac3_bit_rate(frmsizecod);
        info->sampleRate = kAc3Rate[fscod];
        info->channelCount = kAcmodChannels[acmod] + lfeon;
        info->bitsPerSample = 16;
        info->formatTag = 0x2000;
        info->frameLength = len;
        took = 1;
        if (len > (uint32_t)left) {
          /* The frame goes on in the next payload. */
          info->frameBytesSeen = (uint32_t)left;
          left = 0;
          break;
        }
        pos += (int32_t)len;
        left -= (int32_t)len;
        info->frameBytesSeen = len;
        if (info->subKind != 0) break;
        continue;
      }
    }
    /* Not a usable frame here: one byte on. */
    pos++;
    left--;
    info->frameBytesSeen++;
    if (info->subKind == 0) {
      if (pos >= 4 && is_major_sync(p + pos - 4)) {
        info->subKind = 3;
        break;
      }
      if (info->frameLength && info->frameBytesSeen > info->frameLength) info->interleaved = 1;
    }
  }
  info->frameBytesSeen += (uint32_t)left;
  return took;
}

int32_t tsd_eac3_parse(AudioHeaderInfo* info, const uint8_t* p, int32_t n, int depth) {
  for (int32_t pos = 0; pos == 0 || n - pos >= 16; pos++) {
    if (pos + 1 >= n) return 0;
    if (p[pos] != 0x0B || p[pos + 1] != 0x77) continue;
    TsdBits br;
    tsd_bits_init(&br, p + pos + 2, (size_t)(n - pos - 2));
    info->formatTag = 0x2000;
    info->bitsPerSample = 16;
    info->sampleRate = info->channelCount = info->bitRate = 0;
    uint32_t strmtyp = tsd_bits_read(&br, 2);
    tsd_bits_skip(&br, 3 + 11); /* substreamid, frmsiz */
    uint32_t fscod = tsd_bits_read(&br, 2);
    uint32_t numblkscod;
    if (fscod < 3) {
      info->sampleRate = kAc3Rate[fscod];
      numblkscod = tsd_bits_read(&br, 2);
    } else {
      info->sampleRate = kEac3ReducedRate[tsd_bits_read(&br, 2)];
      numblkscod = 3;
    }
    uint32_t acmod = tsd_bits_read(&br, 3);
    uint32_t lfeon = tsd_bits_read(&br, 1);
    info->channelCount = kAcmodChannels[acmod] + lfeon;
    uint32_t bsid = tsd_bits_read(&br, 5);
    if (bsid <= 8) {
      int32_t r = depth < DOLBY_MAX_DEPTH ? tsd_ac3_walk(info, p + pos, n - pos, depth + 1) : 0;
      if (r) return r;
      continue;
    }
    tsd_bits_skip(&br, 5); /* dialnorm */
    if (tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 8);
    if (acmod == 0) {
      tsd_bits_skip(&br, 5);
      if (tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 8);
    }
    if (strmtyp == 1 && tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 16);
    if (tsd_bits_read(&br, 1)) { /* mixmdate */
      if (acmod > 2) tsd_bits_skip(&br, 2);
      if ((acmod & 1) && acmod > 2) tsd_bits_skip(&br, 6);
      if (acmod & 4) tsd_bits_skip(&br, 6);
      if (lfeon && tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 5);
      if (strmtyp == 0) {
        if (tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 6);
        if (acmod == 0 && tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 6);
        if (tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 6);
        uint32_t mixdef = tsd_bits_read(&br, 2);
        if (mixdef == 1) tsd_bits_skip(&br, 5);
        else if (mixdef == 2) tsd_bits_skip(&br, 12);
        else if (mixdef == 3) tsd_bits_skip(&br, 8 * (tsd_bits_read(&br, 5) + 2));
        if (acmod < 2) {
          if (tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 14);
          if (acmod == 0 && tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 14);
        }
        if (tsd_bits_read(&br, 1)) { /* frmmixcfginfoe */
          if (numblkscod == 0) {
            tsd_bits_skip(&br, 5);
          } else {
            for (uint32_t blk = 0; blk < kBlocks[numblkscod]; blk++)
              if (tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 5);
          }
        }
      }
    }
    if (tsd_bits_read(&br, 1)) { /* infomdate */
      tsd_bits_skip(&br, 5);      /* bsmod, copyrightb, origbs */
      if (acmod == 2) tsd_bits_skip(&br, 4);
      if (acmod >= 6) tsd_bits_skip(&br, 2);
      if (tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 8);
      if (acmod == 0 && tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 8);
      if (fscod < 3) tsd_bits_skip(&br, 1);
    }
    if (strmtyp == 0 && numblkscod != 3) tsd_bits_skip(&br, 1); /* convsync */
    if (strmtyp == 2) {
      uint32_t blkid = numblkscod == 3 ? 1 : tsd_bits_read(&br, 1);
      if (blkid) info->bitRate = ac3_bit_rate(tsd_bits_read(&br, 6));
    }
    info->subKind = 4;
    return 1;
  }
  return 0;
}
