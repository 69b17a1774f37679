/* Video codec headers of FLV files: the Sorenson H.263 picture header, the
 * VP6 frame header and the AVC sequence parameter set, and the avcC to
 * start-code conversion. */
#include <string.h>

#include "flv_internal.h"
#include "kvr_h264_scaling.h"
#include "ts_es_internal.h"

static int32_t parse_h263(const uint8_t* p, int32_t n, FlvdVideoInfo* rec) {
  for (int32_t i = 0; i + 5 <= n; i++) {
    uint32_t code = ((uint32_t)p[i] << 9) | ((uint32_t)p[i + 1] << 1) | (p[i + 2] >> 7);
    if (code != 1) continue;
    TsdBits br;
    tsd_bits_init(&br, p + i, (size_t)(n - i));
    tsd_bits_skip(&br, 17 + 5 + 8);
    static const uint16_t kSizes[5][2] = {{352, 288}, {176, 144}, {128, 96}, {320, 240}, {160, 120}};
    uint32_t sizeCode = tsd_bits_read(&br, 3);
    if (sizeCode == 0 || sizeCode == 1) {
      int bits = sizeCode == 0 ? 8 : 16;
      rec->width = tsd_bits_read(&br, bits);
      rec->height = tsd_bits_read(&br, bits);
    } else if (sizeCode <= 6) {
      rec->width = kSizes[sizeCode - 2][0];
      rec->height = kSizes[sizeCode - 2][1];
    }
    return 0;
  }
  return -1;
}

static int32_t parse_vp6(const uint8_t* p, int32_t n, int alpha, FlvdVideoInfo* rec) {
  TsdBits br;
  tsd_bits_init(&br, p, (size_t)n);
  uint32_t hAdjust = tsd_bits_read(&br, 4), vAdjust = tsd_bits_read(&br, 4);
  if (alpha) tsd_bits_skip(&br, 24);
  if (tsd_bits_read(&br, 1)) return -1; /* an inter frame has no size */
  tsd_bits_skip(&br, 6);
  uint32_t marker = tsd_bits_read(&br, 1);
  tsd_bits_skip(&br, 5);
  uint32_t profile = tsd_bits_read(&br, 2);
  tsd_bits_skip(&br, 1);
  if (marker == 1 || profile == 0) tsd_bits_skip(&br, 16);
  tsd_bits_skip(&br, 16);
  uint32_t rows = tsd_bits_read(&br, 8), cols = tsd_bits_read(&br, 8);
  rec->width = 16 * cols - hAdjust;
  rec->height = 16 * rows - vAdjust;
  return 0;
}

static int high_profile(uint32_t profile) {
  static const uint8_t kHigh[] = {100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135, 144};
  for (size_t i = 0; i < sizeof(kHigh); i++)
    if (kHigh[i] == profile) return 1;
  return 0;
}

static void skip_scaling_list(TsdBits* br, int size) {
  int32_t last = 8, next = 8;
  for (int j = 0; j < size && !tsd_bits_exhausted(br); j++) {
    if (next != 0) next = kvr_h264_next_scale(last, tsd_bits_se(br));
    last = next == 0 ? last : next;
  }
}

static int32_t parse_avc(const uint8_t* p, int32_t n, FlvdVideoInfo* rec) {
  int32_t at = -1;
  for (int32_t i = 0; i + 5 <= n; i++)
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && (p[i + 3] & 31u) == 7) {
      at = i;
      break;
    }
  if (at < 0) return -1;
  rec->width = rec->height = rec->frameRate = rec->fourcc = 0;
  /* The parameter set without its emulation-prevention bytes. */
  uint8_t sps[512];
  size_t len = tsd_unescape_nal(p + at + 4, (size_t)(n - at - 4), sps, sizeof(sps));
  TsdBits br;
  tsd_bits_init(&br, sps, len);
  uint32_t profile = tsd_bits_read(&br, 8);
  tsd_bits_skip(&br, 16);
  tsd_bits_ue(&br);
  uint32_t chroma = 1;
  if (high_profile(profile)) {
    chroma = tsd_bits_ue_max(&br, 3);
    if (chroma == 3) tsd_bits_skip(&br, 1);
    tsd_bits_ue(&br);
    tsd_bits_ue(&br);
    tsd_bits_skip(&br, 1);
    if (tsd_bits_read(&br, 1)) {
      int lists = chroma == 3 ? 12 : 8;
      for (int i = 0; i < lists; i++)
        if (tsd_bits_read(&br, 1)) skip_scaling_list(&br, i < 6 ? 16 : 64);
    }
  }
  tsd_bits_ue(&br);
  uint32_t pocType = tsd_bits_ue(&br);
  if (pocType == 0) {
    tsd_bits_ue(&br);
  } else if (pocType == 1) {
    tsd_bits_skip(&br, 1);
    tsd_bits_se(&br);
    tsd_bits_se(&br);
    uint32_t cycle = tsd_bits_ue_max(&br, 255);
    for (uint32_t i = 0; i < cycle && !tsd_bits_exhausted(&br); i++) tsd_bits_se(&br);
  }
  tsd_bits_ue(&br);
  tsd_bits_skip(&br, 1);
  uint32_t widthMbs = tsd_bits_ue(&br) + 1;
  uint32_t heightUnits = tsd_bits_ue(&br) + 1;
  uint32_t frameMbsOnly = tsd_bits_read(&br, 1);
  if (!frameMbsOnly) tsd_bits_skip(&br, 1);
  tsd_bits_skip(&br, 1);
  uint32_t cropL = 0, cropR = 0, cropT = 0, cropB = 0;
  if (tsd_bits_read(&br, 1)) {
    cropL = tsd_bits_ue(&br);
    cropR = tsd_bits_ue(&br);
    cropT = tsd_bits_ue(&br);
    cropB = tsd_bits_ue(&br);
  }
  if (tsd_bits_read(&br, 1)) {
    if (tsd_bits_read(&br, 1) && tsd_bits_read(&br, 8) == 255) tsd_bits_skip(&br, 32);
    if (tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 1);
    if (tsd_bits_read(&br, 1)) {
      tsd_bits_skip(&br, 4);
      if (tsd_bits_read(&br, 1)) tsd_bits_skip(&br, 24);
    }
    if (tsd_bits_read(&br, 1)) {
      tsd_bits_ue(&br);
      tsd_bits_ue(&br);
    }
    if (tsd_bits_read(&br, 1)) {
      uint32_t tick = tsd_bits_read(&br, 32);
      uint32_t scale = tsd_bits_read(&br, 32);
      uint32_t twice = 2u * tick;
      if (tsd_bits_read(&br, 1) && twice != 0)
        rec->frameRate = (uint32_t)((uint64_t)scale * 1000u / twice);
    }
  }
  uint32_t cropX, cropY;
  if (chroma == 0) {
    cropX = 1;
    cropY = 2 - frameMbsOnly;
  } else {
    uint32_t subW = chroma == 3 ? 1 : 2, subH = chroma == 1 ? 2 : 1;
    cropX = subW;
    cropY = subH * (2 - frameMbsOnly);
  }
  rec->width = 16 * widthMbs - cropX * (cropL + cropR);
  rec->height = 16 * (2 - frameMbsOnly) * heightUnits - cropY * (cropT + cropB);
  memcpy(&rec->fourcc, "H264", 4);
  return 0;
}

KVR_EXPORT int32_t FLVD_ParseVideoHeader(int32_t codecId, const uint8_t* bytes, int32_t length,
                                         FlvdVideoInfo* record) {
  if (bytes == NULL || record == NULL || length < 8) return -1;
  switch (codecId) {
    case 2: return parse_h263(bytes, length, record);
    case 4: return parse_vp6(bytes, length, 0, record);
    case 5: return parse_vp6(bytes, length, 1, record);
    case 7: return parse_avc(bytes, length, record);
    default: return -1;
  }
}

/* Appends the parameter sets of one list; the new output length or -1. */
static int32_t copy_sets(const uint8_t* p, int32_t n, int32_t* pos, uint32_t count, uint8_t* out,
                         int32_t used, int32_t capacity) {
  for (uint32_t i = 0; i < count; i++) {
    if (*pos + 2 > n) return -1;
    int32_t len = (p[*pos] << 8) | p[*pos + 1];
    *pos += 2;
    if (len > n - *pos) return -1; /* a length running past the record */
    if (4 + len > capacity - used) return -1;
    out[used] = 0;
    out[used + 1] = 0;
    out[used + 2] = 0;
    out[used + 3] = 1;
    memcpy(out + used + 4, p + *pos, (size_t)len);
    used += 4 + len;
    *pos += len;
  }
  return used;
}

KVR_EXPORT int32_t FLVD_GetAVCSeqHeaderFromAvcC(const uint8_t* avcc, int32_t length, uint8_t* out,
                                                int32_t capacity) {
  if (avcc == NULL || out == NULL || length < 7 || avcc[0] != 1 || capacity < 0) return 0;
  int32_t pos = 6;
  int32_t used = copy_sets(avcc, length, &pos, avcc[5] & 31u, out, 0, capacity);
  if (used < 0 || pos >= length) return 0;
  uint32_t pps = avcc[pos++];
  used = copy_sets(avcc, length, &pos, pps, out, used, capacity);
  return used < 0 ? 0 : used;
}
