/* Picture counting and key-frame tests over video elementary-stream bytes,
 * without decoding them. */
#include "ts_es_internal.h"


/* Offset of a start code at i, one byte earlier when a zero byte precedes it
 * (four-byte start code) and lies inside the searched range. */
static int32_t nal_offset(const uint8_t* b, int32_t from, int32_t i) {
  return (i > from && b[i - 1] == 0) ? i - 1 : i;
}

/* Boundary searches: return the offset (from b[0]) of the next picture start
 * at or after `from`, or -1. `flag` is the codec's header-pending flag. */

static int32_t next_mpeg12(const uint8_t* b, int32_t from, int32_t n, int32_t* flag) {
  for (int32_t i = from; i + 3 < n; i++) {
    if (!tsd_is_start_code(b, i)) continue;
    if (b[i + 3] == 0xB3) {
      *flag = 1;
      return i;
    }
    if (b[i + 3] == 0x00) {
      if (*flag == 1) {
        *flag = 0; /* the picture belongs to the sequence header before it */
        continue;
      }
      return i;
    }
  }
  return -1;
}

static int32_t next_vc1(const uint8_t* b, int32_t from, int32_t n, int32_t* flag) {
  for (int32_t i = from; i + 3 < n; i++) {
    if (!tsd_is_start_code(b, i)) continue;
    if (b[i + 3] == 0x0F) {
      *flag = 1;
      return i;
    }
    if (b[i + 3] == 0x0D) {
      if (*flag == 1) {
        *flag = 0;
        continue;
      }
      return i;
    }
  }
  return -1;
}

static int32_t next_mpeg4(const uint8_t* b, int32_t from, int32_t n, int32_t* flag) {
  for (int32_t i = from; i + 3 < n; i++) {
    if (!tsd_is_start_code(b, i)) continue;
    if (b[i + 3] == 0xB6) {
      *flag = 1;
      return i;
    }
    if (b[i + 3] <= 0x1F) {
      if (*flag == 1) {
        *flag = 0;
        continue;
      }
      return i;
    }
  }
  return -1;
}

static int32_t next_h264(const uint8_t* b, int32_t from, int32_t n, TsdVideoHeader* h) {
  for (int32_t i = from; i + 3 < n; i++) {
    if (!tsd_is_start_code(b, i)) continue;
    int type = b[i + 3] & 31;
    if (type == 9) {
      h->audSeen = 1;
      return nal_offset(b, from, i);
    }
    if (h->audSeen == 0 && (type == 1 || type == 5)) {
      uint8_t copy[16];
      int32_t avail = n - i - 4;
      size_t len = tsd_unescape_nal(b + i + 4, (size_t)(avail < 16 ? avail : 16), copy, sizeof copy);
      TsdBits br;
      tsd_bits_init(&br, copy, len);
      if (tsd_bits_ue(&br) == 0) return nal_offset(b, from, i);
    }
  }
  return -1;
}

static int32_t next_hevc(const uint8_t* b, int32_t from, int32_t n) {
  for (int32_t i = from; i + 4 < n; i++) {
    if (!tsd_is_start_code(b, i)) continue;
    int type = (b[i + 3] >> 1) & 63;
    if (!(type <= 9 || (type >= 16 && type <= 21))) continue;
    uint8_t copy[8];
    int32_t avail = n - i - 5;
    size_t len = tsd_unescape_nal(b + i + 5, (size_t)(avail < 8 ? avail : 8), copy, sizeof copy);
    if (len > 0 && (copy[0] & 0x80)) return nal_offset(b, from, i);
  }
  return -1;
}

int32_t tsd_avs_frame_start(const uint8_t* bytes, int32_t count, int32_t* flag) {
  if (count <= 3) return -1;
  for (int32_t i = 0; i + 3 < count; i++) {
    if (!tsd_is_start_code(bytes, i)) continue;
    uint8_t code = bytes[i + 3];
    if (code == 0xB0) {
      *flag = 1;
      return i;
    }
    if (code == 0xB3 || code == 0xB6) {
      if (*flag == 1) {
        *flag = 0; /* the picture that follows a sequence header belongs to it */
        continue;
      }
      return i;
    }
  }
  return -1;
}

KVR_EXPORT int32_t TSD_GetAVSFrameStartPos(const uint8_t* bytes, int32_t count) {
  int32_t* flags = tsd_es_pending_flags(NULL);
  if (bytes == NULL) {
    flags[TSD_PENDING_AVS] = 0;
    return 0;
  }
  return tsd_avs_frame_start(bytes, count, &flags[TSD_PENDING_AVS]);
}

KVR_EXPORT int32_t TSD_GetVideoFrameCount(void* context, uint32_t codecId, TsdVideoHeader* header) {
  int kind = tsd_video_codec_kind(codecId);
  if (kind == TSD_VIDEO_MVC) return -1;
  if (kind == TSD_VIDEO_NONE) return 0;
  int32_t n = 0;
  const uint8_t* b = tsd_es_payload(context, &n);
  if (b == NULL || n <= 0) return 0;
  /* The pending flags belong to the handle, so one stream's state never
   * reaches another handle's count. */
  int32_t* flags = tsd_es_pending_flags(context);
  TsdVideoHeader scratch = {0};
  TsdVideoHeader* h = header ? header : &scratch;

  int32_t count = 0;
  int32_t p = 0;
  while (p < n) {
    int32_t at;
    switch (kind) {
      case TSD_VIDEO_MPEG12: at = next_mpeg12(b, p, n, &flags[TSD_PENDING_MPEG12]); break;
      case TSD_VIDEO_VC1: at = next_vc1(b, p, n, &flags[TSD_PENDING_VC1]); break;
      case TSD_VIDEO_MPEG4: at = next_mpeg4(b, p, n, &flags[TSD_PENDING_MPEG4]); break;
      case TSD_VIDEO_H264: at = next_h264(b, p, n, h); break;
      case TSD_VIDEO_HEVC: at = next_hevc(b, p, n); break;
      case TSD_VIDEO_AVS: {
        int32_t r = tsd_avs_frame_start(b + p, n - p, &flags[TSD_PENDING_AVS]);
        at = r < 0 ? -1 : p + r;
        break;
      }
      default: at = -1; break;
    }
    if (at < 0) break;
    count++;
    p = at + 4;
  }
  return count;
}

/* ---- key-frame checkers ---- */

static int32_t key_mpeg12(const TsdVideoHeader* h, const uint8_t* b, int32_t n) {
  (void)h;
  if (b == NULL || n < 6) return 0;
  for (int32_t i = 0; i + 3 < n; i++) {
    if (!tsd_is_start_code(b, i)) continue;
    if (b[i + 3] == 0xB3) return 1;
    if (b[i + 3] == 0x00 && i + 5 < n && ((b[i + 5] >> 3) & 7) == 1) return 1;
  }
  return 0;
}

static int32_t key_mpeg4(const TsdVideoHeader* h, const uint8_t* b, int32_t n) {
  (void)h;
  if (b == NULL || n < 6) return 0;
  for (int32_t i = 0; i + 4 < n; i++)
    if (tsd_is_start_code(b, i) && b[i + 3] == 0xB6 && b[i + 4] < 64) return 1;
  return 0;
}

static int32_t key_h264(const TsdVideoHeader* h, const uint8_t* b, int32_t n) {
  (void)h;
  if (b == NULL || n < 5) return 0;
  for (int32_t i = 0; i + 3 < n; i++) {
    if (!tsd_is_start_code(b, i)) continue;
    int type = b[i + 3] & 31;
    if (type == 7 || type == 5) return 1;
    if (type == 9 && i + 4 < n && b[i + 4] < 32) return 1;
  }
  return 0;
}

static int32_t key_hevc(const TsdVideoHeader* h, const uint8_t* b, int32_t n) {
  (void)h;
  if (b == NULL || n < 5) return 0;
  for (int32_t i = 0; i + 3 < n; i++) {
    if (!tsd_is_start_code(b, i)) continue;
    int type = (b[i + 3] >> 1) & 63;
    if (type >= 16 && type <= 21) return 1;
  }
  return 0;
}

static int32_t key_vc1(const TsdVideoHeader* h, const uint8_t* b, int32_t n) {
  if (b == NULL || n < 5) return 0;
  for (int32_t i = 0; i + 3 < n; i++) {
    if (!tsd_is_start_code(b, i) || b[i + 3] != 0x0D) continue;
    if (i + 4 >= n) return 0;
    uint8_t v = b[i + 4];
    uint32_t index;
    if (h == NULL || h->interlaced == 0) index = v >> 4;
    else if ((v & 0x80) == 0) index = (v >> 3) & 15u; /* progressive frame coding mode */
    else index = (v >> 2) & 15u;                      /* two-bit frame coding mode */
    return (index == 12 || index == 13) ? 1 : 0;      /* I; P, B, BI and skipped are not */
  }
  return 0;
}

static int32_t key_avs(const TsdVideoHeader* h, const uint8_t* b, int32_t n) {
  (void)h;
  if (b == NULL || n < 6) return 0;
  for (int32_t i = 0; i + 3 < n; i++)
    if (tsd_is_start_code(b, i) && b[i + 3] == 0xB3) return 1;
  return 0;
}

KVR_EXPORT int32_t TSD_GetKeyFrameChecker(void* context, uint32_t codecId, TsdKeyFrameChecker* checker) {
  TsdKeyFrameChecker fn = NULL;
  switch (tsd_video_codec_kind(codecId)) {
    case TSD_VIDEO_MPEG12: fn = key_mpeg12; break;
    case TSD_VIDEO_MPEG4: fn = key_mpeg4; break;
    case TSD_VIDEO_H264: fn = key_h264; break;
    case TSD_VIDEO_HEVC: fn = key_hevc; break;
    case TSD_VIDEO_VC1: fn = key_vc1; break;
    case TSD_VIDEO_AVS: fn = key_avs; break;
    case TSD_VIDEO_MVC:
      if (checker) *checker = NULL;
      return 1;
    default:
      tsd_es_set_error(context, -3001, 3055);
      return 0;
  }
  if (checker) *checker = fn;
  return 1;
}
