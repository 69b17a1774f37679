/* Matroska demuxer: AVC and HEVC decoder configuration records split into
 * their parameter-set NAL units. Every read stays inside the record. */

#include "mkv_internal.h"

static uint32_t be16(const uint8_t* p) { return (uint32_t)p[0] << 8 | p[1]; }

/* Walks `count` length-prefixed units from *at; -1 when one runs past `length`. */
static int walk_units(const uint8_t* bytes, uint32_t length, uint32_t* at, uint32_t count, mkv_dmx_nal_unit_t* units) {
  uint32_t i;
  for (i = 0; i < count; ++i) {
    uint32_t n;
    if (length - *at < 2) return -1;
    n = be16(bytes + *at);
    if (length - *at - 2 < n) return -1;
    units[i].data = bytes + *at + 2;
    units[i].length = n;
    *at += 2 + n;
  }
  return 0;
}

int32_t GetAvcCInfo(mkv_dmx_t* ctx, mkv_dmx_avcc_info_t* info, const uint8_t* bytes, uint32_t length) {
  uint32_t at = 6, bytes_needed;
  mkv_zero(ctx, info, sizeof *info);
  if (!bytes || length <= 6) return MKV_ERRV(ctx, MKV_ERR_AVCC, length, "avcC's length is too short");
  if (bytes[0] != 1) return MKV_ERRV(ctx, MKV_ERR_AVCC, bytes[0], "Unknown avcC version");
  info->sps_count = bytes[5] & 0x1F;
  bytes_needed = info->sps_count ? info->sps_count * (uint32_t)sizeof(mkv_dmx_nal_unit_t) : 1;
  info->sps_list = (mkv_dmx_nal_unit_t*)mkv_malloc(ctx, bytes_needed);
  if (!info->sps_list) return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "insufficient memory to allocate sps buffer");
  mkv_zero(ctx, info->sps_list, bytes_needed);
  if (walk_units(bytes, length, &at, info->sps_count, info->sps_list) < 0 || at >= length)
    return MKV_ERRV(ctx, MKV_ERR_AVCC, length, "avcC's length is too short");
  info->pps_count = bytes[at++];
  bytes_needed = info->pps_count ? info->pps_count * (uint32_t)sizeof(mkv_dmx_nal_unit_t) : 1;
  info->pps_list = (mkv_dmx_nal_unit_t*)mkv_malloc(ctx, bytes_needed);
  if (!info->pps_list) return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "insufficient memory to allocate pps buffer");
  mkv_zero(ctx, info->pps_list, bytes_needed);
  if (walk_units(bytes, length, &at, info->pps_count, info->pps_list) < 0)
    return MKV_ERRV(ctx, MKV_ERR_AVCC, length, "avcC's length is too short");
  info->nal_length_size = (bytes[4] & 3) + 1;
  return 0;
}

int32_t GetHvcCInfo(mkv_dmx_t* ctx, mkv_dmx_hvcc_info_t* info, const uint8_t* bytes, uint32_t length) {
  uint32_t at = 23, i, bytes_needed;
  mkv_zero(ctx, info, sizeof *info);
  if (!bytes || length < 28) return MKV_ERRV(ctx, MKV_ERR_HVCC, length, "hevcC's length is too short");
  if (bytes[0] != 1) return MKV_ERRV(ctx, MKV_ERR_HVCC, bytes[0], "Unknown hevcC version");
  info->nal_length_size = (bytes[21] & 3) + 1;
  info->nal_array_count = bytes[22];
  bytes_needed = info->nal_array_count ? info->nal_array_count * (uint32_t)sizeof(mkv_dmx_nal_array_t) : 1;
  info->nal_arrays = (mkv_dmx_nal_array_t*)mkv_malloc(ctx, bytes_needed);
  if (!info->nal_arrays) return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "insufficient memory to allocate nal_unit_array buffer");
  mkv_zero(ctx, info->nal_arrays, bytes_needed);
  for (i = 0; i < info->nal_array_count; ++i) {
    mkv_dmx_nal_array_t* a = &info->nal_arrays[i];
    uint32_t count;
    if (length - at < 3) return MKV_ERR_HVCC_UNIT;
    a->nal_unit_type = bytes[at] & 0x3F;
    count = be16(bytes + at + 1);
    at += 3;
    bytes_needed = count ? count * (uint32_t)sizeof(mkv_dmx_nal_unit_t) : 1;
    a->nal_units = (mkv_dmx_nal_unit_t*)mkv_malloc(ctx, bytes_needed);
    if (!a->nal_units) return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "insufficient memory to allocate nal_units buffer");
    mkv_zero(ctx, a->nal_units, bytes_needed);
    a->nal_unit_count = count;
    if (walk_units(bytes, length, &at, a->nal_unit_count, a->nal_units) < 0) return MKV_ERR_HVCC_UNIT;
  }
  return 0;
}
