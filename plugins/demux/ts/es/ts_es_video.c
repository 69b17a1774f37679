/* Sequence-level video headers: picture size, frame rate, codec tag, aspect
 * ratio, bit rate and interlace flag of MPEG-1/2, MPEG-4 Visual, VC-1, AVS,
 * H.264 (with its MVC subset SPS) and HEVC. */
#include <string.h>

#include "ts_es_internal.h"


/* Parameter sets are copied into a bounded buffer before they are read. */
#define NAL_COPY_MAX 4096

int tsd_video_codec_kind(uint32_t codecId) {
  switch (codecId) {
    case 0xFFFF0001u: case 0xFFFF0002u: case 0xFFFF0080u: case 0x10001u: case 0x10002u:
    case 0x20001u: case 0x20002u: case 0x30001u: case 0x30002u: case 0x30080u: case 0x40002u:
      return TSD_VIDEO_MPEG12;
    case 0xFFFF0010u: case 0x10010u: case 0x20010u:
      return TSD_VIDEO_MPEG4;
    case 0xFFFF001Bu: case 0x2001Bu: case 0x5001Bu:
      return TSD_VIDEO_H264;
    case 0xFFFF0020u: case 0x20020u:
      return TSD_VIDEO_MVC;
    case 0xFFFF0024u:
      return TSD_VIDEO_HEVC;
    case 0xFFFF0042u:
      return TSD_VIDEO_AVS;
    case 0xFFFF00EAu: case 0x200EAu:
      return TSD_VIDEO_VC1;
    default:
      return TSD_VIDEO_NONE;
  }
}

static const uint32_t kMpegFrameRate[16] = {0,     23976, 24000, 25000, 29970, 30000, 50000, 59940,
                                            60000, 15000, 5000,  10000, 12000, 15000, 0,     0};
static const uint32_t kMpegAspect[16] = {0,     10000, 6735,  7031,  7615,  8055,  8437,  8935,
                                         9157,  9815,  10255, 10695, 10950, 11575, 12015, 0};
static const uint32_t kAvsFrameRate[16] = {0, 23976, 24000, 25000, 29970, 30000, 50000, 59940,
                                           0, 0,     0,     0,     0,     0,     0,     0};
static const uint32_t kAvsAspect[16] = {0, 10000, 7500, 5625, 4524, 0, 0, 0,
                                        0, 0,     0,    0,    0,    0, 0, 0};
static const uint32_t kVc1RateDr1[8] = {0, 24000, 25000, 30000, 50000, 60000, 48000, 72000};
static const uint32_t kVc1RateDr2[8] = {0, 23976, 24975, 29970, 49950, 59940, 47952, 71928};
static const uint32_t kH263Width[8] = {0, 128, 176, 352, 704, 1408, 0, 0};
static const uint32_t kH263Height[8] = {0, 96, 144, 288, 576, 1152, 0, 0};
static const uint32_t kSubWidthC[4] = {1, 2, 2, 1};
static const uint32_t kSubHeightC[4] = {1, 2, 1, 1};

static void clear_words(TsdVideoHeader* h) {
  h->width = h->height = h->frameRate = h->codecTag = 0;
  h->reserved = h->aspectRatio = h->bitRate = h->interlaced = 0;
}

/* MPEG-1/2: the fixed fields of the sequence header. */
static int parse_mpeg12(TsdVideoHeader* h, const uint8_t* b, int32_t n) {
  int32_t i = tsd_find_start_code(b, n, 0xB3);
  if (i < 0) return 0;
  const uint8_t* s = b + i;
  uint32_t code = s[7] & 15u;
  h->width = (uint32_t)s[4] << 4 | s[5] >> 4;
  h->height = (uint32_t)(s[5] & 15) << 8 | s[6];
  h->frameRate = code <= 8 ? kMpegFrameRate[code] : 0;
  h->codecTag = tsd_fourcc("mpeg");
  h->aspectRatio = kMpegAspect[s[7] >> 4];
  h->bitRate = ((uint32_t)s[8] << 10 | (uint32_t)s[9] << 2 | s[10] >> 6) * 400u;
  h->interlaced = 0;
  return 1;
}

static int parse_avs(TsdVideoHeader* h, const uint8_t* b, int32_t n) {
  int32_t i = tsd_find_start_code(b, n, 0xB0);
  if (i < 0) return 0;
  TsdBits br;
  tsd_bits_init(&br, b + i + 4, (size_t)(n - i - 4));
  clear_words(h);
  tsd_bits_skip(&br, 16); /* profile_id, level_id */
  uint32_t progressive = tsd_bits_read(&br, 1);
  h->width = tsd_bits_read(&br, 14);
  h->height = tsd_bits_read(&br, 14);
  tsd_bits_skip(&br, 5); /* chroma_format, sample_precision */
  h->aspectRatio = kAvsAspect[tsd_bits_read(&br, 4)];
  h->frameRate = kAvsFrameRate[tsd_bits_read(&br, 4)];
  h->interlaced = progressive ? 0 : 1;
  h->codecTag = tsd_fourcc("AVS ");
  return 1;
}

static int parse_vc1(TsdVideoHeader* h, const uint8_t* b, int32_t n) {
  int32_t i = tsd_find_start_code(b, n, 0x0F);
  if (i < 0) return 0;
  TsdBits br;
  tsd_bits_init(&br, b + i + 4, (size_t)(n - i - 4));
  clear_words(h);
  h->codecTag = tsd_fourcc("wvc1");
  tsd_bits_skip(&br, 2 + 3 + 2); /* PROFILE, LEVEL, COLORDIFF_FORMAT */
  uint32_t frmrtq = tsd_bits_read(&br, 3);
  uint32_t bitrtq = tsd_bits_read(&br, 5);
  tsd_bits_skip(&br, 1); /* POSTPROCFLAG */
  uint32_t maxW = tsd_bits_read(&br, 12);
  uint32_t maxH = tsd_bits_read(&br, 12);
  tsd_bits_skip(&br, 1); /* PULLDOWN */
  uint32_t interlace = tsd_bits_read(&br, 1);
  tsd_bits_skip(&br, 4); /* TFCNTRFLAG, FINTERPFLAG, RESERVED, PSF */
  uint32_t displayExt = tsd_bits_read(&br, 1);
  if (frmrtq == 0 && bitrtq == 31) {
    /* no coarse rates */
  } else if (frmrtq == 0 && bitrtq == 30) {
    h->frameRate = 2000;
    h->bitRate = 1952;
  } else {
    h->frameRate = frmrtq < 7 ? 4000 * frmrtq + 2000 : 30000;
    h->bitRate = bitrtq <= 30 ? 64 * bitrtq + 32 : 2016;
  }
  h->width = (maxW + 1) * 2;
  h->height = (maxH + 1) * 2;
  h->interlaced = interlace;
  if (!displayExt) return 1;
  h->width = tsd_bits_read(&br, 14) + 1;
  h->height = tsd_bits_read(&br, 14) + 1;
  if (tsd_bits_read(&br, 1)) {           /* ASPECT_RATIO_FLAG */
    if (tsd_bits_read(&br, 4) == 15) tsd_bits_skip(&br, 16);
  }
  if (!tsd_bits_read(&br, 1)) return 1;  /* FRAMERATE_FLAG */
  if (tsd_bits_read(&br, 1)) {           /* FRAMERATEIND */
    uint32_t exp = tsd_bits_read(&br, 16);
    h->frameRate = (uint32_t)((double)(exp + 1) * 31.25);
  } else {
    uint32_t nr = tsd_bits_read(&br, 8);
    uint32_t dr = tsd_bits_read(&br, 4);
    /* Numerators above 7, and denominators other than 1000 and 1001 (dr 1
     * and 2), have no row: the coarse rate stays. */
    if (nr <= 7 && dr == 1) h->frameRate = kVc1RateDr1[nr];
    else if (nr <= 7 && dr == 2) h->frameRate = kVc1RateDr2[nr];
  }
  return 1;
}

/* MPEG-4 Visual: video object layer, or the short (H.263) header. */
static int parse_mpeg4(TsdVideoHeader* h, const uint8_t* b, int32_t n) {
  for (int32_t i = 0; i + 4 < n; i++) {
    if (!tsd_is_start_code(b, i) || b[i + 3] > 0x1F) continue;
    TsdBits br;
    tsd_bits_init(&br, b + i + 4, (size_t)(n - i - 4));
    clear_words(h);
    uint32_t next = tsd_bits_read(&br, 32);
    if (next >= 0x00000120u && next <= 0x0000012Fu) {
      h->codecTag = tsd_fourcc("MP4V");
      tsd_bits_skip(&br, 1 + 8); /* random_accessible_vol, video_object_type_indication */
      uint32_t verid = 1;
      if (tsd_bits_read(&br, 1)) {
        verid = tsd_bits_read(&br, 4);
        tsd_bits_skip(&br, 3);
      }
      if (tsd_bits_read(&br, 4) == 15) tsd_bits_skip(&br, 16); /* extended PAR */
      if (tsd_bits_read(&br, 1)) {                              /* vol_control_parameters */
        tsd_bits_skip(&br, 3);                                  /* chroma_format, low_delay */
        if (tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 79);     /* vbv_parameters */
      }
      uint32_t shape = tsd_bits_read(&br, 2);
      if (shape == 3 && verid != 1) tsd_bits_skip(&br, 4);
      tsd_bits_skip(&br, 1);
      uint32_t resolution = tsd_bits_read(&br, 16);
      tsd_bits_skip(&br, 1);
      uint32_t increment = 0;
      if (tsd_bits_read(&br, 1)) {
        int bits = 1;
        while (bits < 16 && ((resolution - 1) >> bits) != 0) bits++;
        increment = tsd_bits_read(&br, bits);
      }
      if (shape == 2) continue; /* binary only: no size */
      tsd_bits_skip(&br, 1);
      h->width = tsd_bits_read(&br, 13);
      tsd_bits_skip(&br, 1);
      h->height = tsd_bits_read(&br, 13);
      tsd_bits_skip(&br, 1);
      h->interlaced = tsd_bits_read(&br, 1);
      h->frameRate = increment ? (uint32_t)((uint64_t)resolution * 1000u / increment) : 0;
      return 1;
    }
    if ((next >> 10) == 0x20) {
      tsd_bits_init(&br, b + i + 4, (size_t)(n - i - 4));
      tsd_bits_skip(&br, 22 + 8 + 2 + 3); /* marker, temporal_reference, two bits, three flags */
      uint32_t format = tsd_bits_read(&br, 3);
      h->codecTag = tsd_fourcc("MP4V");
      h->width = kH263Width[format];
      h->height = kH263Height[format];
      h->frameRate = 29970;
      return 1;
    }
  }
  return 0;
}

/* ---- H.264 / MVC ---- */

static void skip_h264_scaling_list(TsdBits* br, int size) {
  uint32_t last = 8, next = 8;
  for (int j = 0; j < size; j++) {
    if (next != 0) {
      int32_t delta = tsd_bits_se(br);
      next = (uint32_t)((((int64_t)last + delta) % 256 + 256) % 256);
      if (next == 0) break; /* the rest of the list repeats the last scale */
    }
    last = next;
  }
}

static void skip_h264_hrd(TsdBits* br) {
  uint32_t cpbCount = tsd_bits_ue_max(br, 31) + 1;
  tsd_bits_skip(br, 8);
  for (uint32_t i = 0; i < cpbCount && !tsd_bits_exhausted(br); i++) {
    tsd_bits_ue(br);
    tsd_bits_ue(br);
    tsd_bits_skip(br, 1);
  }
  tsd_bits_skip(br, 20);
}

static uint32_t h264_rate(uint32_t units, uint32_t scale) {
  uint64_t divisor = units ? 2ull * units : 2ull;
  return (uint32_t)((uint64_t)scale * 1000ull / divisor);
}

/* seq_parameter_set_data and its VUI; leaves the reader after the VUI. */
static void parse_h264_sps_data(TsdVideoHeader* h, TsdBits* br) {
  uint32_t profile = tsd_bits_read(br, 8);
  tsd_bits_skip(br, 16); /* constraint flags, level_idc */
  tsd_bits_ue(br);       /* seq_parameter_set_id */
  uint32_t chroma = 1;
  if (profile == 100 || profile == 110 || profile == 122 || profile == 244 || profile == 44 ||
      profile == 83 || profile == 86 || profile == 118 || profile == 128) {
    chroma = tsd_bits_ue_max(br, 3);
    if (chroma == 3) tsd_bits_skip(br, 1);
    tsd_bits_ue(br);
    tsd_bits_ue(br);
    tsd_bits_skip(br, 1);
    if (tsd_bits_read(br, 1)) {
      int lists = chroma == 3 ? 12 : 8;
      for (int i = 0; i < lists; i++)
        if (tsd_bits_read(br, 1)) skip_h264_scaling_list(br, i < 6 ? 16 : 64);
    }
  }
  tsd_bits_ue(br); /* log2_max_frame_num_minus4 */
  uint32_t pocType = tsd_bits_ue(br);
  if (pocType == 0) {
    tsd_bits_ue(br);
  } else if (pocType == 1) {
    tsd_bits_skip(br, 1);
    tsd_bits_se(br);
    tsd_bits_se(br);
    uint32_t cycle = tsd_bits_ue_max(br, 255);
    for (uint32_t i = 0; i < cycle && !tsd_bits_exhausted(br); i++) tsd_bits_se(br);
  }
  tsd_bits_ue(br); /* max_num_ref_frames */
  tsd_bits_skip(br, 1);
  uint32_t wMbs = tsd_bits_ue(br);
  uint32_t hMaps = tsd_bits_ue(br);
  uint32_t frameMbsOnly = tsd_bits_read(br, 1);
  if (!frameMbsOnly) tsd_bits_skip(br, 1);
  tsd_bits_skip(br, 1); /* direct_8x8_inference_flag */
  uint32_t cl = 0, cr = 0, ct = 0, cb = 0;
  if (tsd_bits_read(br, 1)) {
    cl = tsd_bits_ue(br);
    cr = tsd_bits_ue(br);
    ct = tsd_bits_ue(br);
    cb = tsd_bits_ue(br);
  }
  uint32_t fieldFactor = 2 - frameMbsOnly;
  h->width = 16u * (wMbs + 1) - kSubWidthC[chroma] * (cl + cr);
  h->height = fieldFactor * 16u * (hMaps + 1) - fieldFactor * kSubHeightC[chroma] * (ct + cb);

  if (!tsd_bits_read(br, 1)) return; /* vui_parameters_present_flag */
  if (tsd_bits_read(br, 1)) {
    if (tsd_bits_read(br, 8) == 255) tsd_bits_skip(br, 32);
  }
  if (tsd_bits_read(br, 1)) tsd_bits_skip(br, 1);
  if (tsd_bits_read(br, 1)) {
    tsd_bits_skip(br, 4);
    if (tsd_bits_read(br, 1)) tsd_bits_skip(br, 24);
  }
  if (tsd_bits_read(br, 1)) {
    tsd_bits_ue(br);
    tsd_bits_ue(br);
  }
  if (tsd_bits_read(br, 1)) {
    uint32_t units = tsd_bits_read(br, 32);
    uint32_t scale = tsd_bits_read(br, 32);
    tsd_bits_skip(br, 1);
    h->frameRate = h264_rate(units, scale);
  }
  uint32_t nalHrd = tsd_bits_read(br, 1);
  if (nalHrd) skip_h264_hrd(br);
  uint32_t vclHrd = tsd_bits_read(br, 1);
  if (vclHrd) skip_h264_hrd(br);
  if (nalHrd || vclHrd) tsd_bits_skip(br, 1);
  tsd_bits_skip(br, 1); /* pic_struct_present_flag */
  if (tsd_bits_read(br, 1)) {
    tsd_bits_skip(br, 1);
    for (int i = 0; i < 6; i++) tsd_bits_ue(br);
  }
}

/* seq_parameter_set_mvc_extension and the MVC VUI extension. */
static void parse_mvc_extension(TsdVideoHeader* h, TsdBits* br) {
  uint32_t views = tsd_bits_ue_max(br, 1023) + 1;
  for (uint32_t i = 0; i < views && !tsd_bits_exhausted(br); i++) tsd_bits_ue(br);
  for (int pass = 0; pass < 2; pass++) { /* anchor, then non-anchor references */
    for (uint32_t i = 1; i < views && !tsd_bits_exhausted(br); i++) {
      for (int list = 0; list < 2; list++) {
        uint32_t refs = tsd_bits_ue_max(br, 15);
        for (uint32_t j = 0; j < refs && !tsd_bits_exhausted(br); j++) tsd_bits_ue(br);
      }
    }
  }
  uint32_t levels = tsd_bits_ue_max(br, 63) + 1;
  for (uint32_t i = 0; i < levels && !tsd_bits_exhausted(br); i++) {
    tsd_bits_skip(br, 8);
    uint32_t ops = tsd_bits_ue_max(br, 1023) + 1;
    for (uint32_t j = 0; j < ops && !tsd_bits_exhausted(br); j++) {
      tsd_bits_skip(br, 3);
      uint32_t targets = tsd_bits_ue_max(br, 1023) + 1;
      for (uint32_t k = 0; k < targets && !tsd_bits_exhausted(br); k++) tsd_bits_ue(br);
      tsd_bits_ue(br); /* applicable_op_num_views_minus1 */
    }
  }
  if (!tsd_bits_read(br, 1)) return; /* mvc_vui_parameters_present_flag */
  uint32_t ops = tsd_bits_ue_max(br, 1023) + 1;
  for (uint32_t i = 0; i < ops && !tsd_bits_exhausted(br); i++) {
    tsd_bits_skip(br, 3);
    uint32_t outputs = tsd_bits_ue_max(br, 1023) + 1;
    for (uint32_t j = 0; j < outputs && !tsd_bits_exhausted(br); j++) tsd_bits_ue(br);
    if (tsd_bits_read(br, 1)) {
      uint32_t units = tsd_bits_read(br, 32);
      uint32_t scale = tsd_bits_read(br, 32);
      tsd_bits_skip(br, 1);
      h->frameRate = h264_rate(units, scale);
    }
    uint32_t nalHrd = tsd_bits_read(br, 1);
    if (nalHrd) skip_h264_hrd(br);
    uint32_t vclHrd = tsd_bits_read(br, 1);
    if (vclHrd) skip_h264_hrd(br);
    if (nalHrd || vclHrd) tsd_bits_skip(br, 1);
    tsd_bits_skip(br, 1);
  }
}

/* Mode 0 takes the first SPS (NAL type 7), mode 1 the first MVC subset SPS
 * (type 15). Access-unit delimiters met on the way set word 9. */
static int parse_h264(TsdVideoHeader* h, const uint8_t* b, int32_t n, int mode) {
  static const int kWanted[2] = {7, 15};
  uint8_t copy[NAL_COPY_MAX];
  for (int32_t i = 0; i + 3 < n; i++) {
    if (!tsd_is_start_code(b, i)) continue;
    int type = b[i + 3] & 31;
    if (type == 9) h->audSeen = 1;
    if (type != kWanted[mode]) continue;
    size_t len = tsd_unescape_nal(b + i + 4, (size_t)(n - i - 4), copy, sizeof copy);
    TsdBits br;
    tsd_bits_init(&br, copy, len);
    clear_words(h);
    uint32_t profile = len ? copy[0] : 0;
    parse_h264_sps_data(h, &br);
    if (mode == 0) {
      h->codecTag = tsd_fourcc("H264");
      return 1;
    }
    if (profile != 118 && profile != 128) continue;
    tsd_bits_skip(&br, 1); /* bit_equal_to_one */
    parse_mvc_extension(h, &br);
    h->codecTag = tsd_fourcc("MVC ");
    return 1;
  }
  return 0;
}

/* ---- HEVC ---- */

static void skip_hevc_profile_tier_level(TsdBits* br, uint32_t maxSubLayersMinus1) {
  uint8_t profilePresent[8] = {0}, levelPresent[8] = {0};
  tsd_bits_skip(br, 96);
  if (maxSubLayersMinus1 > 0) {
    for (uint32_t i = 0; i < maxSubLayersMinus1; i++) {
      profilePresent[i] = (uint8_t)tsd_bits_read(br, 1);
      levelPresent[i] = (uint8_t)tsd_bits_read(br, 1);
    }
    for (uint32_t i = maxSubLayersMinus1; i < 8; i++) tsd_bits_skip(br, 2);
  }
  for (uint32_t i = 0; i < maxSubLayersMinus1; i++) {
    if (profilePresent[i]) tsd_bits_skip(br, 88);
    if (levelPresent[i]) tsd_bits_skip(br, 8);
  }
}

static uint32_t hevc_rate(uint32_t units, uint32_t scale) {
  return (uint32_t)((uint64_t)scale * 1000ull / (units ? units : 1u));
}

static void parse_hevc_vps(TsdVideoHeader* h, TsdBits* br) {
  tsd_bits_skip(br, 12);
  uint32_t maxSub = tsd_bits_read(br, 3);
  if (maxSub > 6) maxSub = 6;
  tsd_bits_skip(br, 17);
  skip_hevc_profile_tier_level(br, maxSub);
  uint32_t all = tsd_bits_read(br, 1);
  for (uint32_t i = all ? 0 : maxSub; i <= maxSub; i++) {
    tsd_bits_ue(br);
    tsd_bits_ue(br);
    tsd_bits_ue(br);
  }
  uint32_t maxLayerId = tsd_bits_read(br, 6);
  if (maxLayerId > 62) maxLayerId = 62;
  uint32_t layerSets = tsd_bits_ue_max(br, 1023);
  for (uint32_t i = 1; i <= layerSets && !tsd_bits_exhausted(br); i++)
    tsd_bits_skip(br, maxLayerId + 1);
  if (tsd_bits_read(br, 1)) {
    uint32_t units = tsd_bits_read(br, 32);
    uint32_t scale = tsd_bits_read(br, 32);
    h->frameRate = hevc_rate(units, scale);
  }
}

static void skip_hevc_scaling_list_data(TsdBits* br) {
  for (int sizeId = 0; sizeId < 4; sizeId++) {
    for (int matrixId = 0; matrixId < 6; matrixId += sizeId == 3 ? 3 : 1) {
      if (!tsd_bits_read(br, 1)) {
        tsd_bits_ue(br);
        continue;
      }
      int coefs = 1 << (4 + (sizeId << 1));
      if (coefs > 64) coefs = 64;
      if (sizeId > 1) tsd_bits_se(br);
      for (int k = 0; k < coefs; k++) tsd_bits_se(br);
    }
  }
}

/* short_term_ref_pic_set of the SPS; `deltaPocs` holds each earlier set's
 * picture count, which inter-set prediction refers to. */
static void skip_hevc_st_rps(TsdBits* br, uint32_t idx, uint32_t* deltaPocs) {
  if (idx != 0 && tsd_bits_read(br, 1)) {
    tsd_bits_skip(br, 1);
    tsd_bits_ue(br);
    uint32_t ref = deltaPocs[idx - 1];
    uint32_t count = 0;
    for (uint32_t j = 0; j <= ref; j++) {
      uint32_t used = tsd_bits_read(br, 1);
      uint32_t useDelta = used ? 1 : tsd_bits_read(br, 1);
      if (used || useDelta) count++;
    }
    deltaPocs[idx] = count > 32 ? 32 : count;
    return;
  }
  uint32_t neg = tsd_bits_ue_max(br, 16);
  uint32_t pos = tsd_bits_ue_max(br, 16);
  for (uint32_t j = 0; j < neg + pos && !tsd_bits_exhausted(br); j++) {
    tsd_bits_ue(br);
    tsd_bits_skip(br, 1);
  }
  deltaPocs[idx] = neg + pos;
}

static void parse_hevc_sps(TsdVideoHeader* h, TsdBits* br, const uint8_t* copy, size_t len) {
  uint32_t maxSub = len ? (copy[0] >> 1) & 7u : 0;
  if (maxSub > 6) maxSub = 6;
  tsd_bits_skip(br, 8);
  skip_hevc_profile_tier_level(br, maxSub);
  tsd_bits_ue(br); /* sps_seq_parameter_set_id */
  uint32_t chroma = tsd_bits_ue_max(br, 3);
  if (chroma == 3) tsd_bits_skip(br, 1);
  uint32_t width = tsd_bits_ue(br);
  uint32_t height = tsd_bits_ue(br);
  uint32_t cl = 0, cr = 0, ct = 0, cb = 0;
  if (tsd_bits_read(br, 1)) {
    cl = tsd_bits_ue(br);
    cr = tsd_bits_ue(br);
    ct = tsd_bits_ue(br);
    cb = tsd_bits_ue(br);
  }
  h->width = width - kSubWidthC[chroma] * (cl + cr);
  h->height = height - kSubHeightC[chroma] * (ct + cb);
  h->codecTag = tsd_fourcc("HEVC");

  tsd_bits_ue(br);
  tsd_bits_ue(br);
  uint32_t pocLsbBits = tsd_bits_ue_max(br, 12) + 4;
  uint32_t all = tsd_bits_read(br, 1);
  for (uint32_t i = all ? 0 : maxSub; i <= maxSub; i++) {
    tsd_bits_ue(br);
    tsd_bits_ue(br);
    tsd_bits_ue(br);
  }
  for (int i = 0; i < 6; i++) tsd_bits_ue(br);
  if (tsd_bits_read(br, 1) && tsd_bits_read(br, 1)) skip_hevc_scaling_list_data(br);
  tsd_bits_skip(br, 2); /* amp, sample adaptive offset */
  if (tsd_bits_read(br, 1)) {
    tsd_bits_skip(br, 8);
    tsd_bits_ue(br);
    tsd_bits_ue(br);
    tsd_bits_skip(br, 1);
  }
  uint32_t sets = tsd_bits_ue_max(br, 64);
  uint32_t deltaPocs[65] = {0};
  for (uint32_t i = 0; i < sets && !tsd_bits_exhausted(br); i++) skip_hevc_st_rps(br, i, deltaPocs);
  if (tsd_bits_read(br, 1)) {
    uint32_t lt = tsd_bits_ue_max(br, 32);
    for (uint32_t i = 0; i < lt; i++) tsd_bits_skip(br, pocLsbBits + 1);
  }
  tsd_bits_skip(br, 2); /* temporal MVP, strong intra smoothing */
  if (!tsd_bits_read(br, 1)) return;
  if (tsd_bits_read(br, 1)) {
    if (tsd_bits_read(br, 8) == 255) tsd_bits_skip(br, 32);
  }
  if (tsd_bits_read(br, 1)) tsd_bits_skip(br, 1);
  if (tsd_bits_read(br, 1)) {
    tsd_bits_skip(br, 4);
    if (tsd_bits_read(br, 1)) tsd_bits_skip(br, 24);
  }
  if (tsd_bits_read(br, 1)) {
    tsd_bits_ue(br);
    tsd_bits_ue(br);
  }
  tsd_bits_skip(br, 3); /* neutral chroma, field_seq, frame_field_info_present */
  if (tsd_bits_read(br, 1)) {
    for (int i = 0; i < 4; i++) tsd_bits_ue(br);
  }
  if (tsd_bits_read(br, 1)) {
    uint32_t units = tsd_bits_read(br, 32);
    uint32_t scale = tsd_bits_read(br, 32);
    h->frameRate = hevc_rate(units, scale);
  }
}

static int parse_hevc(TsdVideoHeader* h, const uint8_t* b, int32_t n) {
  uint8_t copy[NAL_COPY_MAX];
  uint32_t vpsRate = 0;
  for (int32_t i = 0; i + 4 < n; i++) {
    if (!tsd_is_start_code(b, i)) continue;
    int type = (b[i + 3] >> 1) & 63;
    if (type != 32 && type != 33) continue;
    size_t len = tsd_unescape_nal(b + i + 5, (size_t)(n - i - 5), copy, sizeof copy);
    TsdBits br;
    tsd_bits_init(&br, copy, len);
    if (type == 32) {
      parse_hevc_vps(h, &br);
      vpsRate = h->frameRate;
      continue;
    }
    clear_words(h);
    /* A rate from the VPS stands when the SPS carries no timing. */
    h->frameRate = vpsRate;
    parse_hevc_sps(h, &br, copy, len);
    return 1;
  }
  return 0;
}

KVR_EXPORT int32_t TSD_ParseVideoHeader(void* context, uint32_t codecId, TsdVideoHeader* header) {
  int32_t n = 0;
  const uint8_t* b = tsd_es_payload(context, &n);
  if (b == NULL || n < 8) {
    tsd_es_set_error(context, -4001, 2889);
    return 0;
  }
  int kind = tsd_video_codec_kind(codecId);
  if (kind == TSD_VIDEO_NONE || header == NULL) {
    tsd_es_set_error(context, -3001, 2943);
    return 0;
  }
  int ok = 0;
  switch (kind) {
    case TSD_VIDEO_MPEG12: ok = parse_mpeg12(header, b, n); break;
    case TSD_VIDEO_MPEG4: ok = parse_mpeg4(header, b, n); break;
    case TSD_VIDEO_H264: ok = parse_h264(header, b, n, 0); break;
    case TSD_VIDEO_MVC: ok = parse_h264(header, b, n, 1); break;
    case TSD_VIDEO_HEVC: ok = parse_hevc(header, b, n); break;
    case TSD_VIDEO_AVS: ok = parse_avs(header, b, n); break;
    case TSD_VIDEO_VC1: ok = parse_vc1(header, b, n); break;
    default: break;
  }
  if (!ok) {
    tsd_es_set_error(context, -3003, 2949);
    return 0;
  }
  return 1;
}
