/* Matroska demuxer: the SegmentInfo element (time scale, duration, date,
 * identities and texts). */

#include "mkv_internal.h"

typedef struct {
  uint32_t id;
  int text;      /* TEXT_* or -1 */
  uint32_t cap;  /* buffer cap for texts */
  const char* tag;
} InfoChild;

static const InfoChild kTexts[] = {
    {0x7384, TEXT_SEGMENT_FILENAME, 1024, "<element_segment_info.SEG_INFO_EID_SEGMENT_FILENAME"},
    {0x3C83AB, TEXT_PREV_FILENAME, 1024, "<element_segment_info.SEG_INFO_EID_PREV_FILENAME"},
    {0x3E83BB, TEXT_NEXT_FILENAME, 1024, "<element_segment_info.SEG_INFO_EID_NEXT_FILENAME"},
    {0x7BA9, TEXT_TITLE, 1024, "<element_segment_info.SEG_INFO_EID_TITLE"},
    {0x4D80, TEXT_MUXING_APP, 128, "<element_segment_info.SEG_INFO_EID_MUXING_APP"},
    {0x5741, TEXT_WRITING_APP, 128, "<element_segment_info.SEG_INFO_EID_WRITING_APP"},
};

static int32_t read_uid(mkv_dmx_t* ctx, uint64_t size, uint8_t* dst, const char* bad_size, const char* tag) {
  if (size != 16) return MKV_ERRV(ctx, MKV_ERR_INVALID, size, bad_size);
  if (mkv_dmx_bs_read_bytes(ctx->pst_cur_bs, dst, 16) < 0) return MKV_TAG(ctx, tag);
  return 0;
}

int32_t element_segment_info(mkv_dmx_t* ctx, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  mkv_float duration = 0;
  uint64_t end;
  if (ctx->read_flags & READ_INFO) {
    if (mkv_dmx_bs_skip_bytes(bs, size) < 0) return MKV_TAG(ctx, "<element_segment_info");
    return 0;
  }
  ctx->read_flags |= READ_INFO;
  ctx->timecode_scale = 1000000;
  end = mkv_bs_pos(bs) + size;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id, i;
    uint64_t child;
    int32_t r;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<element_segment_info");
    switch (id) {
      case 0x73A4:
        r = read_uid(ctx, child, ctx->segment_uid, "invalid size of SegmentUID",
                     "<element_segment_info.SEG_INFO_EID_SEGMENT_UID");
        if (r < 0) return r;
        continue;
      case 0x3CB923:
        r = read_uid(ctx, child, ctx->prev_uid, "invalid size of PrevUID", "<element_segment_info.SEG_INFO_EID_PREV_UID");
        if (r < 0) return r;
        continue;
      case 0x3EB923:
        r = read_uid(ctx, child, ctx->next_uid, "invalid size of NextUID", "<element_segment_info.SEG_INFO_EID_NEXT_UID");
        if (r < 0) return r;
        continue;
      case 0x2AD7B1:
        ctx->timecode_scale = 0;
        if (read_uint(bs, child, &ctx->timecode_scale) < 0)
          return MKV_TAG(ctx, "<element_segment_info.SEG_INFO_EID_TIMECODE_SCALE");
        if (!ctx->timecode_scale) return MKV_ERR(ctx, MKV_ERR_INVALID, "Segment timecode scale is zero");
        continue;
      case 0x4489:
        if (read_float(bs, child, &duration) < 0) return MKV_TAG(ctx, "<element_segment_info.SEG_INFO_EID_DURATION");
        continue;
      case 0x4461:
        if (read_sint(bs, child, &ctx->date_utc) < 0) return MKV_TAG(ctx, "<element_segment_info.SEG_INFO_EID_DATE_UTC");
        continue;
      default:
        break;
    }
    for (i = 0; i < sizeof kTexts / sizeof kTexts[0]; ++i)
      if (kTexts[i].id == id) break;
    if (i < sizeof kTexts / sizeof kTexts[0]) {
      if (mkv_read_text(ctx, child, kTexts[i].cap, &ctx->texts[kTexts[i].text]) < 0) return MKV_TAG(ctx, kTexts[i].tag);
      continue;
    }
    if (mkv_dmx_bs_skip_bytes(bs, child) < 0) return MKV_TAG(ctx, "<element_segment_info.default");
  }
  ctx->duration_ns = mkv_mul_fixed(ctx->timecode_scale, duration);
  return 0;
}
