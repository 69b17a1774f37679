/* Audio elementary-stream headers: the entry that dispatches by codec
 * identifier, and the MPEG audio, DTS and LPCM parsers. */
#include "ts_es_internal.h"

enum { AUDIO_NONE, AUDIO_MPEG, AUDIO_ADTS, AUDIO_LATM, AUDIO_AC3, AUDIO_EAC3, AUDIO_DTS,
       AUDIO_LPCM_BD, AUDIO_LPCM_DVD };

static int audio_codec_kind(uint32_t id) {
  switch (id) {
    case 0x10003u: case 0x10004u: case 0x20003u: case 0x20004u: case 0x30003u: case 0x30004u:
    case 0xFFFF0003u: case 0xFFFF0004u:
      return AUDIO_MPEG;
    case 0x1000Fu: case 0x2000Fu: case 0x5000Fu: case 0xFFFF000Fu:
      return AUDIO_ADTS;
    case 0x10011u: case 0x20011u: case 0xFFFF0011u:
      return AUDIO_LATM;
    case 0x20081u: case 0x20083u: case 0x30081u: case 0x40081u: case 0x50081u: case 0xFFFF0081u:
      return AUDIO_AC3;
    case 0x10087u: case 0x20084u: case 0x200A1u: case 0x40087u: case 0xFFFF0084u: case 0xFFFF00A1u:
      return AUDIO_EAC3;
    case 0x20082u: case 0x20085u: case 0x20086u: case 0x200A2u: case 0xFFFF0082u: case 0xFFFF0085u:
    case 0xFFFF0086u: case 0xFFFF008Au: case 0xFFFF00A2u:
      return AUDIO_DTS;
    case 0x20080u:
      return AUDIO_LPCM_BD;
    case 0x50083u: case 0xFFFF0083u:
      return AUDIO_LPCM_DVD;
    default:
      return AUDIO_NONE;
  }
}

/* ---- MPEG audio (Layers I-III, MPEG-1, MPEG-2 and MPEG-2.5) ---- */

static const uint16_t kMpegRate[3][3] = {
    {44100, 48000, 32000}, /* MPEG-1 */
    {22050, 24000, 16000}, /* MPEG-2 */
    {11025, 12000, 8000},  /* MPEG-2.5 */
};
/* kbit/s by [lower-sampling-frequency][layer - 1][index]. */
static const uint16_t kMpegBitRate[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
};

/* Describes the header at p (4 bytes readable) and returns its frame length,
 * or 0 when the bytes are not an acceptable header. */
static uint32_t mpeg_audio_header(AudioHeaderInfo* info, const uint8_t* p) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return 0;
  uint32_t versionBits = (p[1] >> 3) & 3u; /* 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1 */
  uint32_t layerBits = (p[1] >> 1) & 3u;   /* 0 reserved, 1 III, 2 II, 3 I */
  uint32_t brIndex = p[2] >> 4;
  uint32_t srIndex = (p[2] >> 2) & 3u;
  if (versionBits == 1 || layerBits == 0 || srIndex == 3 || brIndex == 0 || brIndex == 15) return 0;
  uint32_t version = versionBits == 3 ? 0 : versionBits == 2 ? 1 : 2;
  uint32_t layer = 4 - layerBits;
  uint32_t padding = (p[2] >> 1) & 1u;
  uint32_t rate = kMpegRate[version][srIndex];
  uint32_t kbps = kMpegBitRate[version == 0 ? 0 : 1][layer - 1][brIndex];
  static const uint32_t kTag[3] = {0xCC01, 0x0050, 0x0055};
  info->bitsPerSample = 16;
  info->sampleRate = rate;
  info->bitRate = kbps;
  info->formatTag = kTag[layer - 1];
  info->channelCount = (p[3] >> 6) == 3 ? 1 : 2;
  if (layer == 1) return (12000u * kbps / rate + padding) * 4u;
  if (layer == 3 && version != 0) return 72000u * kbps / rate + padding;
  return 144000u * kbps / rate + padding;
}

static int32_t parse_mpeg_audio(AudioHeaderInfo* info, const uint8_t* p, int32_t n) {
  int32_t pos = 0;
  int32_t left = n;
  int found = 0;
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
  while (left >= 4) {
    uint32_t len = mpeg_audio_header(info, p + pos);
    if (len) {
      found = 1;
      if (len > (uint32_t)left) {
        info->frameLength = len;
        info->frameBytesSeen = (uint32_t)left;
        return 1;
      }
      pos += (int32_t)len;
      left -= (int32_t)len;
      info->frameLength = info->frameBytesSeen = len;
      continue;
    }
    pos++;
    left--;
    info->frameBytesSeen++;
    if (info->frameBytesSeen > info->frameLength) info->frameLength = 0;
  }
  return found;
}

/* ---- DTS core header ---- */

static int32_t parse_dts(AudioHeaderInfo* info, const uint8_t* p, int32_t n) {
  static const uint32_t kRate[16] = {0, 8000, 16000, 32000, 0, 0, 11025, 22050,
                                     44100, 0, 0, 12000, 24000, 48000, 0, 0};
  static const uint32_t kChannels[16] = {1, 2, 2, 2, 2, 3, 3, 4, 4, 5, 6, 6, 6, 7, 8, 8};
  static const uint32_t kWidth[8] = {16, 16, 20, 20, 0, 24, 24, 0};
  static const uint32_t kBitRate[32] = {32,   56,   64,   96,   112,  128,  192,  224,
                                        256,  320,  384,  448,  512,  576,  640,  768,
                                        960,  1024, 1152, 1280, 1344, 1408, 1411, 1472,
                                        1536, 1920, 2048, 3072, 3840, 0,    0,    0};
  if (n < 14) return 0;
  for (int32_t i = 0; i == 0 || i <= n - 15; i++) {
    if (p[i] != 0x7F || p[i + 1] != 0xFE || p[i + 2] != 0x80 || p[i + 3] != 0x01 ||
        (p[i + 4] & 0xFC) != 0xFC)
      continue;
    TsdBits br;
    tsd_bits_init(&br, p + i + 4, (size_t)(n - i - 4));
    tsd_bits_skip(&br, 6);                  /* FTYPE, SHORT */
    uint32_t crcPresent = tsd_bits_read(&br, 1);
    tsd_bits_skip(&br, 7 + 14);            /* NBLKS, FSIZE */
    uint32_t amode = tsd_bits_read(&br, 6);
    uint32_t sfreq = tsd_bits_read(&br, 4);
    uint32_t rate = tsd_bits_read(&br, 5);
    tsd_bits_skip(&br, 10 + 2 + 1);        /* MIX .. ASPF, LFF, HFLAG */
    if (crcPresent) tsd_bits_skip(&br, 16);
    tsd_bits_skip(&br, 1 + 4 + 2);         /* FILTS, VERNUM, CHIST */
    uint32_t width = kWidth[tsd_bits_read(&br, 3)];
    uint32_t sampleRate = kRate[sfreq];
    /* A reserved sampling code, channel arrangement or sample width: a frame,
     * but nothing in it to describe the stream by. */
    if (sampleRate == 0 || amode > 15 || width == 0) return 1;
    info->sampleRate = sampleRate;
    info->bitsPerSample = width;
    info->formatTag = 0x2001;
    info->channelCount = kChannels[amode];
    info->bitRate = kBitRate[rate]; /* 0 for the open, variable and lossless codes */
    return 1;
  }
  return 0;
}

/* ---- LPCM ---- */

static int32_t parse_lpcm_bd(AudioHeaderInfo* info, const uint8_t* p, int32_t n) {
  static const uint32_t kChannels[16] = {0, 2, 2, 2, 4, 4, 4, 4, 6, 6, 8, 8, 0, 0, 0, 0};
  static const uint32_t kWidth[4] = {0, 16, 20, 24};
  uint32_t size = (uint32_t)p[0] << 8 | p[1];
  if (size > (uint32_t)n) return 0;
  uint32_t rateCode = p[2] & 15u;
  info->formatTag = 1;
  info->subKind = 9;
  info->sampleRate = rateCode == 1 ? 48000 : rateCode == 4 ? 96000 : rateCode == 5 ? 192000 : 0;
  info->channelCount = kChannels[p[2] >> 4];
  info->bitsPerSample = kWidth[p[3] >> 6];
  return 1;
}

static int32_t parse_lpcm_dvd(AudioHeaderInfo* info, const uint8_t* p) {
  uint32_t b = p[3];
  uint32_t rate = (b >> 3) & 7u;
  uint32_t ch = b & 7u;
  info->formatTag = 1;
  info->subKind = 10;
  info->bitsPerSample = (b >> 6) == 0 ? 16 : 0;
  info->sampleRate = rate == 1 ? 44100 : rate == 2 ? 48000 : 0;
  info->channelCount = ch <= 1 ? 2 : 0;
  return 1;
}

KVR_EXPORT int32_t TSD_ParseAudioHeader(void* context, uint32_t codecId, AudioHeaderInfo* info) {
  int32_t n = 0;
  const uint8_t* p = tsd_es_payload(context, &n);
  if (p == NULL || n < 4) {
    tsd_es_set_error(context, -4001, 31);
    return 0;
  }
  int kind = audio_codec_kind(codecId);
  if (kind == AUDIO_NONE || info == NULL) {
    tsd_es_set_error(context, -3002, 104);
    return 0;
  }
  int32_t ok = 0;
  switch (kind) {
    case AUDIO_MPEG: ok = parse_mpeg_audio(info, p, n); break;
    case AUDIO_ADTS: ok = tsd_adts_parse(info, p, n); break;
    case AUDIO_LATM: ok = tsd_latm_parse(info, p, n); break;
    case AUDIO_AC3: ok = tsd_ac3_walk(info, p, n, 0); break;
    case AUDIO_EAC3: ok = n >= 7 ? tsd_eac3_parse(info, p, n, 0) : 0; break;
    case AUDIO_DTS: ok = parse_dts(info, p, n); break;
    case AUDIO_LPCM_BD: ok = parse_lpcm_bd(info, p, n); break;
    case AUDIO_LPCM_DVD: ok = parse_lpcm_dvd(info, p); break;
    default: break;
  }
  if (!ok) {
    tsd_es_set_error(context, -3004, 110);
    return 0;
  }
  return 1;
}
