/* Elementary-stream tables, header decoders, the frame finders of the video
 * and sub-picture rings and the key-frame test. */
#include "kvr_h264_scaling.h"
#include "mpg_internal.h"

const uint16_t gmMPEGAudioSampleFreq[16] = {11025, 12000, 8000, 0, 0, 0, 0, 0,
                                            22050, 24000, 16000, 0, 44100, 48000, 32000, 0};

/* Index: version (2 bits) << 6 | layer bits << 4 | bit-rate index. */
#define MPG_ZERO16 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0
#define MPG_V2_L1 0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0
#define MPG_V2_L23 0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0
const uint16_t gmMPEGAudioBitrate[256] = {
    /* version 0 (MPEG-2.5): reserved layer, III, II, I */
    MPG_ZERO16, MPG_V2_L23, MPG_V2_L23, MPG_V2_L1,
    /* version 1: reserved */
    MPG_ZERO16, MPG_ZERO16, MPG_ZERO16, MPG_ZERO16,
    /* version 2 (MPEG-2) */
    MPG_ZERO16, MPG_V2_L23, MPG_V2_L23, MPG_V2_L1,
    /* version 3 (MPEG-1) */
    MPG_ZERO16,
    0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0,
    0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0,
    0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0};

const uint32_t gmAACAudioSampleFreq[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                           16000, 12000, 11025, 8000,  7350,  0,     0,     0};
const uint16_t gmAC3SampleRate[3] = {48000, 44100, 32000};
const uint16_t gmAC3BitRate[38] = {32,  32,  40,  40,  48,  48,  56,  56,  64,  64,  80,  80,  96,
                                   96,  112, 112, 128, 128, 160, 160, 192, 192, 224, 224, 256, 256,
                                   320, 320, 384, 384, 448, 448, 512, 512, 576, 576, 640, 640};
const uint16_t gmAC3FrameSize[57] = {
    64,  80,  96,  112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 640, 768, 896, 1024, 1152, 1280,
    69,  87,  104, 121, 139, 174, 208, 243, 278, 348, 417, 487, 557, 696, 835, 975, 1114, 1253, 1393,
    96,  120, 144, 168, 192, 240, 288, 336, 384, 480, 576, 672, 768, 960, 1152, 1344, 1536, 1728, 1920};
const uint8_t gmAC3ChannelInfo[8] = {2, 1, 2, 3, 3, 4, 4, 5};
const uint16_t gmDTSSampleRate[17] = {0, 8000, 16000, 32000, 0, 0, 11025, 22050, 44100,
                                      0, 0,    12000, 24000, 48000, 0, 0, 0};
const uint16_t gmDTSBitRate[32] = {32,   56,   64,   96,   112,  128,  192,  224,  256,  320, 384,
                                   448,  512,  576,  640,  768,  960,  1024, 1152, 1280, 1344, 1408,
                                   1411, 1472, 1536, 1920, 2048, 3072, 3840, 0,    0,    0};
const uint8_t gmDTSChannelInfo[16] = {1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 6, 7, 8, 8};
const uint32_t gmPCMSampleRate[4] = {48000, 96000, 44100, 32000};
const uint32_t gmPCMBitSize[4] = {16, 20, 24, 0};
const uint8_t gmPCMChannelInfo[8] = {1, 2, 2, 2, 2, 2, 2, 2};

static const uint32_t kFrameRate[16] = {0, 23976, 24000, 25000, 29970, 30000, 50000, 59940, 60000,
                                        0, 0,     0,     0,     0,     0,     0};
static const uint32_t kMpeg4Aspect[6] = {0, 10000, 9167, 11000, 6875, 8250};
static const uint32_t kAvcAspect[14] = {0, 10000, 9167, 11000, 6875, 8250, 4583, 5500, 3438, 4125, 6111, 7333,
                                        5156, 6188};

/* ---- video headers ---- */

static int32_t decode_mpeg12(MpgVideoEntry* e, const uint8_t* b) {
  uint32_t width = (uint32_t)b[4] << 4 | b[5] >> 4;
  uint32_t height = (uint32_t)(b[5] & 0xF) << 8 | b[6];
  uint32_t bits = (uint32_t)b[8] << 10 | (uint32_t)b[9] << 2 | b[10] >> 6;
  if (!width || !height || !(b[10] & 0x20)) return MPG_ERR_NO_END_COMMAND;
  e->codec = MPG_VIDEO_MPEG;
  e->width = width;
  e->height = height;
  e->aspect = b[7] >> 4;
  e->frame_rate = kFrameRate[b[7] & 0xF];
  e->bit_rate = (uint32_t)((uint64_t)bits * 400 / 1024);
  return MPG_OK;
}

static int32_t decode_mpeg4(MpgVideoEntry* e, const uint8_t* b) {
  uint32_t i = 4;
  while (i + 4 <= MPG_HEADER_BYTES && !(b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && (b[i + 3] & 0xF0) == 0x20))
    ++i;
  if (i + 4 > MPG_HEADER_BYTES) return MPG_ERR_NO_END_COMMAND;
  MpgBitReader r;
  initbits(&r, b + i + 4, MPG_HEADER_BYTES - i - 4);
  getbits(&r, 1);
  uint32_t type = getbits(&r, 8);
  if (type < 1 || type > 18) return MPG_ERR_NO_END_COMMAND;
  if (getbits(&r, 1)) getbits(&r, 7);
  uint32_t aspect = getbits(&r, 4);
  if (aspect >= 1 && aspect <= 5) {
    e->aspect = kMpeg4Aspect[aspect];
  } else if (aspect == 15) {
    e->aspect = 0;
    getbits(&r, 16);
  } else {
    return MPG_ERR_NO_END_COMMAND;
  }
  if (getbits(&r, 1)) {
    if (getbits(&r, 2) == 0) return MPG_ERR_NO_END_COMMAND;
    getbits(&r, 1);
    if (getbits(&r, 1)) {
      uint32_t first = getbits(&r, 15);
      getbits(&r, 1);
      uint32_t latter = getbits(&r, 15);
      getbits(&r, 1);
      e->bit_rate = (uint32_t)((uint64_t)(first << 15 | latter) * 400 / 1024);
      getbits(&r, 15 + 1 + 3 + 11 + 1 + 15 + 1);
    }
  }
  e->codec = MPG_VIDEO_MP4V;
  if (getbits(&r, 2) != 0) return MPG_OK;
  getbits(&r, 1);
  uint32_t resolution = getbits(&r, 16);
  getbits(&r, 1);
  e->frame_rate = resolution * 1000;
  if (getbits(&r, 1)) {
    uint32_t bits = 1;
    while (bits < 16 && ((resolution - 1) >> bits)) ++bits;
    uint32_t increment = getbits(&r, bits);
    if (increment) e->frame_rate = (uint32_t)((uint64_t)resolution * 1000 / increment);
  }
  getbits(&r, 1);
  e->width = getbits(&r, 13);
  getbits(&r, 1);
  e->height = getbits(&r, 13);
  return MPG_OK;
}

static uint32_t read_ue(MpgBitReader* r) {
  uint32_t zeros = 0;
  while (zeros < 31 && getbits(r, 1) == 0) ++zeros;
  if (!zeros) return 0;
  return ((1u << zeros) - 1) + getbits(r, zeros);
}

static int32_t read_se(MpgBitReader* r) {
  uint32_t v = read_ue(r);
  return (v & 1) ? (int32_t)((v + 1) / 2) : -(int32_t)(v / 2);
}

static void skip_scaling_list(MpgBitReader* r, int size) {
  int32_t last = 8, next = 8;
  for (int j = 0; j < size; ++j) {
    if (next) next = kvr_h264_next_scale(last, read_se(r));
    last = next ? next : last;
  }
}

/* A cap on the picture-order cycle: the standard allows 255 entries. */
#define MPG_MAX_POC_CYCLE 255

static int32_t decode_avc(MpgVideoEntry* e, const uint8_t* b) {
  uint8_t raw[MPG_HEADER_BYTES];
  uint32_t n = 0, zeros = 0;
  for (uint32_t i = 4; i < 100; ++i) {
    if (zeros >= 2 && b[i] == 3) {
      zeros = 0;
      continue;
    }
    zeros = b[i] ? 0 : zeros + 1;
    raw[n++] = b[i];
  }
  MpgBitReader r;
  initbits(&r, raw, n);
  uint32_t profile = getbits(&r, 8);
  uint32_t constraints = getbits(&r, 8);
  getbits(&r, 8);
  if (constraints & 0xF) return MPG_ERR_PROFILE;
  if (profile != 66 && profile != 77 && profile != 88 && profile != 100 && profile != 110 && profile != 122 &&
      profile != 144)
    return MPG_ERR_PROFILE;
  read_ue(&r);
  uint32_t chroma = 1, separate = 0;
  if (profile >= 100) {
    chroma = read_ue(&r);
    if (chroma == 3) separate = getbits(&r, 1);
    read_ue(&r);
    read_ue(&r);
    getbits(&r, 1);
    if (getbits(&r, 1))
      for (int i = 0; i < (chroma != 3 ? 8 : 12); ++i)
        if (getbits(&r, 1)) skip_scaling_list(&r, i < 6 ? 16 : 64);
  }
  read_ue(&r);
  uint32_t poc_type = read_ue(&r);
  if (poc_type == 0) {
    read_ue(&r);
  } else if (poc_type == 1) {
    getbits(&r, 1);
    read_se(&r);
    read_se(&r);
    uint32_t cycle = read_ue(&r);
    if (cycle > MPG_MAX_POC_CYCLE) return MPG_ERR_NO_END_COMMAND;
    for (uint32_t i = 0; i < cycle; ++i) read_se(&r);
  }
  read_ue(&r);
  getbits(&r, 1);
  uint32_t mbs_w = read_ue(&r) + 1;
  uint32_t map_h = read_ue(&r) + 1;
  uint32_t frame_mbs_only = getbits(&r, 1);
  if (!frame_mbs_only) getbits(&r, 1);
  getbits(&r, 1);
  uint32_t crop[4] = {0, 0, 0, 0};
  if (getbits(&r, 1))
    for (int i = 0; i < 4; ++i) crop[i] = read_ue(&r);
  uint32_t unit_x = 1, unit_y = 2 - frame_mbs_only;
  if (chroma != 0 && !separate) {
    uint32_t sub_w = chroma == 3 ? 1 : 2, sub_h = chroma == 1 ? 2 : 1;
    unit_x = sub_w;
    unit_y = sub_h * (2 - frame_mbs_only);
  }
  int64_t width = 16 * (int64_t)mbs_w - (int64_t)unit_x * (crop[0] + (int64_t)crop[1]);
  int64_t height = 16 * (int64_t)(2 - frame_mbs_only) * map_h - (int64_t)unit_y * (crop[2] + (int64_t)crop[3]);
  if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return MPG_ERR_NO_END_COMMAND;
  e->codec = MPG_VIDEO_AVC1;
  e->width = (uint32_t)width;
  e->height = (uint32_t)height;
  e->aspect = 0;
  e->frame_rate = 0;
  if (getbits(&r, 1)) {
    if (getbits(&r, 1)) {
      uint32_t idc = getbits(&r, 8);
      if (idc >= 1 && idc <= 13) {
        e->aspect = kAvcAspect[idc];
      } else if (idc == 255) {
        uint32_t sar_w = getbits(&r, 16), sar_h = getbits(&r, 16);
        e->aspect = sar_w ? sar_h * 10000 / sar_w : 0;
      }
    }
    if (getbits(&r, 1)) getbits(&r, 1);
    if (getbits(&r, 1)) {
      getbits(&r, 4);
      if (getbits(&r, 1)) getbits(&r, 24);
    }
    if (getbits(&r, 1)) {
      read_ue(&r);
      read_ue(&r);
    }
    if (getbits(&r, 1)) {
      uint32_t units = getbits(&r, 32), scale = getbits(&r, 32);
      if (units) e->frame_rate = (uint32_t)((uint64_t)scale * 1000 / (2 * (uint64_t)units));
    }
  }
  return MPG_OK;
}

int32_t MPG_DEC_MPG_DecodeSequenceHeader(MpgVideoEntry* e, const uint8_t* b) {
  if (b[0] || b[1] || b[2] != 1) return MPG_ERR_NO_END_COMMAND;
  if (b[3] == 0xB3) return decode_mpeg12(e, b);
  if (b[3] == 0xB0) return decode_mpeg4(e, b);
  if ((b[3] & 0x1F) == 7) return decode_avc(e, b);
  return MPG_ERR_NO_END_COMMAND;
}

/* ---- audio headers ---- */

/* The frame lengths of the audio headers, shared by the header decoders and
 * the audio frame finder. `b` points at the header's first byte. */

static uint32_t adts_frame_length(const uint8_t* b) {
  return (uint32_t)(b[3] & 3) << 11 | (uint32_t)b[4] << 3 | b[5] >> 5;
}

/* MPEG audio: the bit rate in kbit/s and the sampling rate from the tables
 * and the frame length; 0 when either table refuses. */
static uint32_t mpeg_audio_frame(const uint8_t* b, uint32_t* kbps, uint32_t* rate) {
  uint32_t version = (b[1] >> 3) & 3, layer = (b[1] >> 1) & 3;
  *kbps = gmMPEGAudioBitrate[version << 6 | layer << 4 | b[2] >> 4];
  *rate = gmMPEGAudioSampleFreq[version * 4 + ((b[2] >> 2) & 3)];
  if (!*kbps || !*rate) return 0;
  uint32_t factor = (layer == 1 && version != 3) ? 72000 : 144000;
  return *kbps * factor / *rate + ((b[2] >> 1) & 1);
}

/* AC-3: 0 for a reserved sampling rate or frame-size code. */
static uint32_t ac3_frame_length(const uint8_t* b) {
  uint32_t fscod = b[4] >> 6, code = b[4] & 0x3F;
  if (fscod > 2 || code > 37) return 0;
  return 2u * (gmAC3FrameSize[fscod * 19 + code / 2] + (fscod == 1 && (code & 1)));
}

static uint32_t dts_frame_length(const uint8_t* b) {
  return ((uint32_t)(b[5] & 3) << 12 | (uint32_t)b[6] << 4 | b[7] >> 4) + 1;
}

static int is_dts_sync(const uint8_t* b) { return b[0] == 0x7F && b[1] == 0xFE && b[2] == 0x80 && b[3] == 0x01; }

int32_t MPG_DEC_MPG_DecodeADTSHeader(MpgAudioEntry* e, const uint8_t* b) {
  if (b[0] != 0xFF || b[1] <= 0xDF) return MPG_ERR_NO_END_COMMAND;
  if ((b[1] & 0xF) == 1) {
    uint32_t rate = gmAACAudioSampleFreq[(b[2] >> 2) & 0xF];
    uint32_t channels = (uint32_t)(b[2] & 1) << 2 | b[3] >> 6;
    if (!rate || !channels) return MPG_ERR_NO_END_COMMAND;
    e->codec = MPG_AUDIO_AAC;
    e->sample_rate = rate;
    e->bit_rate = 0;
    e->channels = channels;
    e->frame_length = adts_frame_length(b);
    return MPG_OK;
  }
  uint32_t layer = (b[1] >> 1) & 3;
  static const uint32_t kCodec[4] = {MPG_AUDIO_OTHER, MPG_AUDIO_MP3, MPG_AUDIO_MP2, MPG_AUDIO_MP1};
  e->codec = kCodec[layer];
  if (!layer) return MPG_OK;
  uint32_t kbps, rate;
  uint32_t length = mpeg_audio_frame(b, &kbps, &rate);
  if (!length) return MPG_ERR_NO_END_COMMAND;
  e->bit_rate = kbps;
  e->sample_rate = rate;
  e->channels = (b[3] >> 6) == 3 ? 1 : 2;
  e->frame_length = length;
  return MPG_OK;
}

int32_t MPG_DEC_MPG_DecodeVOBAudioHeader(MpgAudioEntry* e, const uint8_t* b) {
  if (b[0] >= 0xA0 && b[0] <= 0xAF) {
    uint32_t bits = gmPCMBitSize[b[5] >> 6], rate = gmPCMSampleRate[(b[5] >> 4) & 3];
    uint32_t channels = (b[5] & 7) + 1u;
    e->codec = MPG_AUDIO_LPCM;
    e->bits = bits;
    e->sample_rate = rate;
    e->channels = channels;
    e->bit_rate = rate * channels * 16;
    e->frame_length = bits * rate * channels / 80;
    return MPG_OK;
  }
  if (b[0] == 0x0B && b[1] == 0x77) {
    uint32_t length = ac3_frame_length(b);
    if (!length) return MPG_ERR_NO_END_COMMAND;
    e->codec = MPG_AUDIO_AC3;
    e->bits = 16;
    e->sample_rate = gmAC3SampleRate[b[4] >> 6];
    e->channels = gmAC3ChannelInfo[b[6] >> 5];
    e->bit_rate = gmAC3BitRate[b[4] & 0x3F];
    e->frame_length = length;
    return MPG_OK;
  }
  if (is_dts_sync(b)) {
    uint32_t amode = (uint32_t)(b[7] & 0xF) << 2 | b[8] >> 6;
    e->codec = MPG_AUDIO_DTS;
    e->bits = 16;
    e->sample_rate = gmDTSSampleRate[(b[8] >> 2) & 0xF];
    e->bit_rate = gmDTSBitRate[(uint32_t)(b[8] & 3) << 3 | b[9] >> 5];
    /* user-defined layouts: the channel count is not known */
    e->channels = amode < 16 ? gmDTSChannelInfo[amode] : 0;
    e->frame_length = dts_frame_length(b);
    return MPG_OK;
  }
  return MPG_ERR_NO_END_COMMAND;
}

/* ---- audio frames ---- */

/* The longest header the audio finder reads: DTS takes its frame size from
 * bytes 5 to 7. */
#define PS_AUDIO_WINDOW 8u

/* The length of the chosen stream's frame whose header begins at `b` (the
 * window's bytes are in), 0 when no such header begins there, or
 * MPG_ERR_AUDIO_VERSION for MPEG audio of the reserved version. */
static int32_t audio_frame_at(const MpgContext* c, const uint8_t* b) {
  uint32_t kbps, rate;
  switch (c->audio_codec) {
    case MPG_AUDIO_MP1:
    case MPG_AUDIO_MP2:
    case MPG_AUDIO_MP3:
      /* the chosen stream's header word, whatever the protection bit says */
      if (((uint32_t)b[0] << 8 | b[1] | 1u) != (c->audio_header | 1u)) return 0;
      if (((b[1] >> 3) & 3) == 1) return MPG_ERR_AUDIO_VERSION;
      return (int32_t)mpeg_audio_frame(b, &kbps, &rate);
    case MPG_AUDIO_AAC:
      if (((uint32_t)b[0] << 8 | b[1]) != c->audio_header) return 0;
      return (int32_t)adts_frame_length(b);
    case MPG_AUDIO_AC3: return b[0] == 0x0B && b[1] == 0x77 ? (int32_t)ac3_frame_length(b) : 0;
    case MPG_AUDIO_DTS: return is_dts_sync(b) ? (int32_t)dts_frame_length(b) : 0;
    default: return 0;
  }
}

int32_t KVR_MPG_FindOneFrameAudio(MpgContext* c, MpgFrame* frame) {
  uint32_t codec = c->audio_codec;
  if (codec != MPG_AUDIO_MP1 && codec != MPG_AUDIO_MP2 && codec != MPG_AUDIO_MP3 && codec != MPG_AUDIO_AAC &&
      codec != MPG_AUDIO_AC3 && codec != MPG_AUDIO_DTS)
    return MPG_ERR_NO_END_COMMAND;
  PsRing* ring = &c->aring;
  if (!ring->data) return MPG_ERR_INCOMPLETE;
  while (ring->wr - ring->rd >= PS_AUDIO_WINDOW) {
    int32_t n = audio_frame_at(c, ring->data + ring->rd);
    if (n < 0) return n;
    /* A frame shorter than its own header, or longer than the ring could
     * ever hold, is no frame: search on from the next byte. */
    if ((uint32_t)n < PS_AUDIO_WINDOW || (uint32_t)n > ring->size) {
      ring->rd++;
      continue;
    }
    if (ring->wr - ring->rd < (uint32_t)n) return MPG_ERR_INCOMPLETE;
    int32_t e = ps_frame_grow(c, frame, (uint32_t)n);
    if (e < 0) return e;
    c->host.copy(frame->data, ring->data + ring->rd, (uint32_t)n);
    ring->rd += (uint32_t)n;
    frame->length = (uint32_t)n;
    frame->kind = MPG_KIND_AUDIO;
    frame->time_ms = MPG_MS(c->last_audio_pts);
    frame->stream_id = c->audio_id;
    return MPG_OK;
  }
  return MPG_ERR_INCOMPLETE;
}

/* ---- start codes ---- */

/* The byte after the next 00 00 01 in [p, end), or null; that byte lies
 * before `end`. The 0x01 bytes are found eight at a time. */
const uint8_t* ps_next_start(const uint8_t* p, const uint8_t* end) {
  if (end - p < 4) return NULL;
  const uint8_t* q = p + 2;       /* where the 0x01 of a start code may lie */
  const uint8_t* last = end - 1;  /* and before this, so its code byte is in */
  while (last - q >= 8) {
    uint64_t m = ps_byte_mask(q, 0x01);
    while (m) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      const uint8_t* j = q + (__builtin_ctzll(m) >> 3);
#else
      const uint8_t* j = q + (__builtin_clzll(m) >> 3);
#endif
      /* the mask may also flag bytes after a match: look again */
      if (*j == 1 && j[-1] == 0 && j[-2] == 0) return j + 1;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      m &= m - 1;
#else
      m &= ~(0x8000000000000000ull >> (8 * (size_t)(j - q)));
#endif
    }
    q += 8;
  }
  for (; q < last; ++q)
    if (*q == 1 && q[-1] == 0 && q[-2] == 0) return q + 1;
  return NULL;
}

typedef enum { CODE_NONE, CODE_SEQUENCE, CODE_PICTURE } PsCodeKind;

static PsCodeKind code_kind(uint32_t codec, uint8_t code) {
  if (codec == MPG_VIDEO_MPEG) {
    if (code == 0xB3) return CODE_SEQUENCE;
    if (code == 0x00 || code == 0xB6) return CODE_PICTURE;
  } else if (codec == MPG_VIDEO_MP4V) {
    if (code == 0xB0) return CODE_SEQUENCE;
    if (code == 0xB6) return CODE_PICTURE;
  } else if (codec == MPG_VIDEO_AVC1) {
    if ((code & 0x1F) == 7) return CODE_SEQUENCE;
    if ((code & 0x1F) == 5 || (code & 0x1F) == 1) return CODE_PICTURE;
  }
  return CODE_NONE;
}

/* Picture type checks need the two bytes after the code byte. */
static int is_intra(uint32_t codec, const uint8_t* q) {
  if (codec == MPG_VIDEO_MPEG) return q[0] == 0 && ((q[2] >> 3) & 7) == 1;
  if (codec == MPG_VIDEO_MP4V) return q[1] < 0x40;
  return (q[0] & 0x1F) == 5;
}

static int32_t find_video(MpgContext* c, MpgFrame* frame, int sync) {
  uint32_t codec = c->video_codec;
  if (codec != MPG_VIDEO_MPEG && codec != MPG_VIDEO_MP4V && codec != MPG_VIDEO_AVC1) return MPG_ERR_NO_END_COMMAND;
  PsRing* ring = &c->vring;
  const uint8_t* d = ring->data;
  const uint8_t* end = d + ring->wr;
  uint32_t i = c->scan > ring->rd ? c->scan : ring->rd;
  for (;;) {
    const uint8_t* q = ps_next_start(d + i, end);
    if (!q) break;
    uint32_t code_pos = (uint32_t)(q - 3 - d);
    PsCodeKind kind = code_kind(codec, *q);
    if (kind == CODE_NONE) {
      i = (uint32_t)(q - d);
      continue;
    }
    if (c->frame_started) {
      c->scan = code_pos;
      frame->length = code_pos - c->frame_start;
      return MPG_OK;
    }
    if (kind == CODE_PICTURE && end - q < 3) {
      i = code_pos;  /* the picture type is not in yet */
      break;
    }
    if (kind == CODE_PICTURE && sync && !is_intra(codec, q)) {
      i = (uint32_t)(q - d);
      continue;
    }
    if (!sync && kind == CODE_PICTURE && codec == MPG_VIDEO_MPEG && *q == 0 && ((q[2] >> 3) & 7) == 3)
      c->time_flags |= MPG_TIME_B_PICTURES;
    c->frame_started = 1;
    c->frame_start = code_pos;
    c->frame_time = MPG_MS(c->last_video_pts);
    i = (uint32_t)(q - d);
  }
  /* Keep the last three bytes: a start code may straddle the next packet. */
  uint32_t keep = ring->wr >= 3 ? ring->wr - 3 : 0;
  c->scan = i < keep ? keep : i;
  if (c->scan > ring->wr) c->scan = ring->wr;
  if (!c->frame_started) ring->rd = c->scan < ring->rd ? ring->rd : c->scan;
  return MPG_ERR_INCOMPLETE;
}

int32_t KVR_MPG_FindSyncFrameVideo(MpgContext* c, MpgFrame* frame) { return find_video(c, frame, 1); }
int32_t KVR_MPG_FindOneFrameVideo(MpgContext* c, MpgFrame* frame) { return find_video(c, frame, 0); }

int32_t KVR_MPG_FindOneFrameCaption(MpgContext* c, uint32_t* start, uint32_t* end) {
  PsRing* ring = &c->sring;
  uint32_t have = ring->wr - ring->rd;
  if (have < 2) return MPG_ERR_INCOMPLETE;
  uint32_t size = (uint32_t)ring->data[ring->rd] << 8 | ring->data[ring->rd + 1];
  if (size < 4) {
    /* not the start of a unit: drop what is buffered */
    ring->rd = ring->wr = 0;
    return MPG_ERR_INCOMPLETE;
  }
  if (have < size) return MPG_ERR_INCOMPLETE;
  *start = ring->rd;
  *end = ring->rd + size - 1;
  return MPG_OK;
}

int32_t KVR_MPG_isKeyFrame(const MpgContext* c, const MpgFrame* frame) {
  uint32_t codec = c->video_codec;
  if (frame->kind != MPG_KIND_VIDEO || !frame->data) return 0;
  if (codec != MPG_VIDEO_MPEG && codec != MPG_VIDEO_MP4V && codec != MPG_VIDEO_AVC1) return 0;
  const uint8_t* p = frame->data;
  const uint8_t* end = p + frame->length;
  const uint8_t* q;
  while ((q = ps_next_start(p, end)) != NULL) {
    int two = end - q >= 3;
    if (codec == MPG_VIDEO_MPEG) {
      if (*q == 0xB3 || (*q == 0x00 && two && ((q[2] >> 3) & 7) == 1)) return 1;
    } else if (codec == MPG_VIDEO_MP4V) {
      if (*q == 0xB0 || (*q == 0xB6 && end - q >= 2 && q[1] < 0x40)) return 1;
    } else if ((*q & 0x1D) == 5) {
      return 1;
    }
    p = q;
  }
  return 0;
}
