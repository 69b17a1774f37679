/* AAC headers: ADTS, LATM/LOAS with an in-band StreamMuxConfig, and the
 * AudioSpecificConfig that the latter carries. */
#include "ts_es_internal.h"

static const uint32_t kAacRate[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                      16000, 12000, 11025, 8000,  7350,  0,     0,     0};
static const uint32_t kAacChannels[16] = {0, 1, 2, 3, 4, 5, 6, 8, 0, 0, 0, 0, 0, 0, 0, 0};

int32_t tsd_adts_parse(AudioHeaderInfo* info, const uint8_t* p, int32_t n) {
  if (n < 14) return 0;
  for (int32_t i = 0; i == 0 || i <= n - 15; i++) {
    if (p[i] != 0xFF || (p[i + 1] & 0xF0) != 0xF0) continue;
    uint32_t sf = (p[i + 2] >> 2) & 15u;
    if (sf > 12) continue;
    info->formatTag = 0xAAC0;
    info->sampleRate = kAacRate[sf];
    info->bitsPerSample = 16;
    info->bitRate = 0;
    info->channelCount = kAacChannels[((p[i + 2] & 1u) << 2) | (p[i + 3] >> 6)];
    return 1;
  }
  return 0;
}

static uint32_t object_type(TsdBits* br) {
  uint32_t t = tsd_bits_read(br, 5);
  return t == 31 ? 32 + tsd_bits_read(br, 6) : t;
}

/* program_config_element up to its element lists: the channel count is the
 * sum over front, side and back elements (2 for a pair) plus the LFEs. */
static uint32_t pce_channels(TsdBits* br) {
  tsd_bits_skip(br, 4 + 2 + 4); /* element_instance_tag, object_type, sampling_frequency_index */
  uint32_t front = tsd_bits_read(br, 4);
  uint32_t side = tsd_bits_read(br, 4);
  uint32_t back = tsd_bits_read(br, 4);
  uint32_t lfe = tsd_bits_read(br, 2);
  tsd_bits_skip(br, 3 + 4); /* assoc data, valid cc */
  if (tsd_bits_read(br, 1)) tsd_bits_skip(br, 4);
  if (tsd_bits_read(br, 1)) tsd_bits_skip(br, 4);
  if (tsd_bits_read(br, 1)) tsd_bits_skip(br, 3);
  uint32_t channels = lfe;
  for (uint32_t i = 0; i < front + side + back; i++) {
    channels += tsd_bits_read(br, 1) ? 2 : 1;
    tsd_bits_skip(br, 4);
  }
  return channels;
}

int32_t tsd_parse_audio_specific_config(TsdBits* br, uint32_t* sampleRate, uint32_t* channels) {
  uint32_t type = object_type(br);
  uint32_t sfIndex = tsd_bits_read(br, 4);
  *sampleRate = sfIndex == 15 ? tsd_bits_read(br, 24) : kAacRate[sfIndex];
  uint32_t config = tsd_bits_read(br, 4);
  *channels = kAacChannels[config];
  if (type == 5) {
    /* Explicit SBR: the extension rate is read past; the core rate stays. */
    if (tsd_bits_read(br, 4) == 15) tsd_bits_skip(br, 24);
    type = object_type(br);
  }
  switch (type) {
    case 1: case 2: case 3: case 4: case 6: case 7: case 17: case 19: case 20: case 21:
    case 22: case 23:
      /* GASpecificConfig: frameLengthFlag, dependsOnCoreCoder (+ delay),
       * extensionFlag; with configuration 0 the program config element
       * gives the channels. What follows it changes no output. */
      tsd_bits_skip(br, 1);
      if (tsd_bits_read(br, 1)) tsd_bits_skip(br, 14);
      tsd_bits_skip(br, 1);
      if (config == 0) *channels = pce_channels(br);
      break;
    default:
      break;
  }
  return 1;
}

/* LatmGetValue: bytesForValue (2 bits) then that many + 1 bytes. */
static uint32_t latm_value(TsdBits* br) {
  uint32_t bytes = tsd_bits_read(br, 2) + 1;
  uint32_t v = 0;
  for (uint32_t i = 0; i < bytes; i++) v = (v << 8) | tsd_bits_read(br, 8);
  return v;
}

int32_t tsd_latm_parse(AudioHeaderInfo* info, const uint8_t* p, int32_t n) {
  if (n < 14) return 0;
  for (int32_t i = 0; i == 0 || i <= n - 15; i++) {
    if (p[i] != 0x56 || (p[i + 1] & 0xE0) != 0xE0) continue;
    TsdBits br;
    tsd_bits_init(&br, p + i + 3, (size_t)(n - i - 3));
    if (tsd_bits_read(&br, 1)) continue; /* useSameStreamMux: no configuration here */
    uint32_t version = tsd_bits_read(&br, 1);
    if (version) {
      if (tsd_bits_read(&br, 1)) continue; /* audioMuxVersionA 1 is not usable */
      latm_value(&br);                     /* taraBufferFullness */
    }
    tsd_bits_skip(&br, 1 + 6);             /* allStreamsSameTimeFraming, numSubFrames */
    tsd_bits_skip(&br, 4 + 3);             /* numProgram, numLayer of the first program */
    if (version) {
      uint32_t ascLen = latm_value(&br);
      if (ascLen >= (uint32_t)(n - i)) return 0;
    }
    return tsd_parse_audio_specific_config(&br, &info->sampleRate, &info->channelCount);
  }
  return 0;
}
