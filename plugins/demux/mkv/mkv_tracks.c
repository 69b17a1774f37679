/* Matroska demuxer: the Tracks element. Each TrackEntry is read into a
 * scratch record, checked, and appended to the track list and the list of
 * its kind; encrypted or otherwise unusable entries are dropped. */

#include "mkv_internal.h"

#define TE_TAG(name) "<read_box_track_entry." name

typedef struct {
  mkv_track_t t;
  uint8_t* codec_private;
  uint32_t codec_private_size;
  uint8_t* comp_settings;
  uint32_t comp_settings_size;
  uint32_t encodings;
  uint64_t scope;
  int drop;
} Entry;

static void entry_release(mkv_dmx_t* ctx, Entry* e) {
  mkv_free(ctx, e->codec_private);
  mkv_free(ctx, e->comp_settings);
  mkv_free(ctx, e->t.codec_id);
  mkv_free(ctx, e->t.language);
  mkv_free(ctx, e->t.name);
  mkv_free(ctx, e->t.codec_name);
}

/* A 32-bit picture field: the value, or the named refusal. */
static int32_t read_dim(mkv_dmx_t* ctx, uint64_t size, uint32_t* out, const char* too_large, const char* tag) {
  uint64_t v;
  if (read_uint(ctx->pst_cur_bs, size, &v) < 0) return MKV_TAG(ctx, tag);
  if (v > 0xFFFFFFFFu) return MKV_ERRV(ctx, MKV_ERR_INVALID, v, too_large);
  *out = (uint32_t)v;
  return 0;
}

static int32_t read_video(mkv_dmx_t* ctx, Entry* e, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  /* A display size that the master does not give follows the picture
   * size, whichever order the elements come in. */
  int display_width_seen = 0, display_height_seen = 0;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child, v;
    int32_t r = 0;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<read_video_in_track");
    switch (id) {
      case 0xB0:
        r = read_dim(ctx, child, &e->t.u.v.pixel_width, "PixelWidth is too large",
                     "<read_video_in_track.VIDEO_EID_PIXEL_WIDTH");
        if (r >= 0 && !display_width_seen) e->t.u.v.display_width = e->t.u.v.pixel_width;
        break;
      case 0xBA:
        r = read_dim(ctx, child, &e->t.u.v.pixel_height, "PixelHeight is too large",
                     "<read_video_in_track.VIDEO_EID_PIXEL_HEIGHT");
        if (r >= 0 && !display_height_seen) e->t.u.v.display_height = e->t.u.v.pixel_height;
        break;
      case 0x54B0:
        r = read_dim(ctx, child, &e->t.u.v.display_width, "DisplayWidth is too large",
                     "<read_video_in_track.VIDEO_EID_DISPLAY_WIDTH");
        display_width_seen = 1;
        break;
      case 0x54BA:
        r = read_dim(ctx, child, &e->t.u.v.display_height, "DisplayHeight is too large",
                     "<read_video_in_track.VIDEO_EID_DISPLAY_HEIGHT");
        display_height_seen = 1;
        break;
      case 0x54CC:
        r = read_dim(ctx, child, &e->t.u.v.pixel_crop_left, "PixelCropLeft is too large",
                     "<read_video_in_track.VIDEO_EID_PIXEL_CROP_LEFT");
        break;
      case 0x54BB:
        r = read_dim(ctx, child, &e->t.u.v.pixel_crop_top, "PixelCropTop is too large",
                     "<read_video_in_track.VIDEO_EID_PIXEL_CROP_TOP");
        break;
      case 0x54DD:
        r = read_dim(ctx, child, &e->t.u.v.pixel_crop_right, "PixelCropRight is too large",
                     "<read_video_in_track.VIDEO_EID_PIXEL_CROP_RIGHT");
        break;
      case 0x54AA:
        r = read_dim(ctx, child, &e->t.u.v.pixel_crop_bottom, "PixelCropBottom is too large",
                     "<read_video_in_track.VIDEO_EID_PIXEL_CROP_BOTTOM");
        break;
      case 0x54B3:
        if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, "<read_video_in_track.VIDEO_EID_ASPECT_RATIO_TYPE");
        if (v >= 3) return MKV_ERRV(ctx, MKV_ERR_INVALID, v, "Invalid AspectRatioType");
        e->t.u.v.aspect_ratio_type = (uint32_t)v;
        break;
      case 0x53B8:
        if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, "<read_video_in_track.VIDEO_EID_STEREO_MODE");
        if (v >= 15) return MKV_ERR(ctx, MKV_ERR_INVALID, "Invalid stereo mode");
        e->t.u.v.stereo_mode = (uint32_t)v;
        break;
      case 0x54B2:
        if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, "<read_video_in_track.VIDEO_EID_DISPLAY_UNIT");
        e->t.u.v.display_unit = (uint32_t)v;
        break;
      case 0x9A:
        if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, "<read_video_in_track.VIDEO_EID_FLAG_INTERLACED");
        e->t.u.v.flag_interlaced = (uint32_t)v;
        break;
      case 0x2EB524:
        if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, "<read_video_in_track.VIDEO_EID_COLOR_SPACE");
        e->t.u.v.colour_space = (uint32_t)v;
        break;
      case 0x2383E3:
        if (read_float(bs, child, &e->t.u.v.frame_rate) < 0)
          return MKV_TAG(ctx, "<read_video_in_track.VIDEO_EID_FRAME_RATE");
        break;
      default:
        if (mkv_dmx_bs_skip_bytes(bs, child) < 0) return MKV_TAG(ctx, "<read_video_in_track.default");
        break;
    }
    if (r < 0) return r;
  }
  return 0;
}

static int32_t read_audio(mkv_dmx_t* ctx, Entry* e, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child, v;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<read_audio_in_track");
    switch (id) {
      case 0xB5:
        if (read_float(bs, child, &e->t.u.a.sampling_frequency) < 0)
          return MKV_TAG(ctx, "<read_audio_in_track.AUDIO_EID_SAMPLING_FREQUENCY");
        break;
      case 0x78B5:
        if (read_float(bs, child, &e->t.u.a.output_sampling_frequency) < 0)
          return MKV_TAG(ctx, "<read_audio_in_track.AUDIO_EID_OUTPUT_SAMPLING_FREQ");
        break;
      case 0x9F:
        if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, "<read_audio_in_track.AUDIO_EID_CHANNELS");
        if (v < 1 || v > 255) return MKV_ERR(ctx, MKV_ERR_INVALID, "Invalid Channels value");
        e->t.u.a.channels = (uint32_t)v;
        break;
      case 0x6264:
        if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, "<read_audio_in_track.AUDIO_EID_BITDEPTH");
        e->t.u.a.bit_depth = (uint32_t)v;
        break;
      default:
        if (mkv_dmx_bs_skip_bytes(bs, child) < 0) return MKV_TAG(ctx, "<read_audio_in_track.default");
        break;
    }
  }
  if (!e->t.u.a.channels) e->t.u.a.channels = 1;
  if (!mkv_trunc_float(e->t.u.a.sampling_frequency)) mkv_integer_to_float(&e->t.u.a.sampling_frequency, 8000);
  if (!mkv_trunc_float(e->t.u.a.output_sampling_frequency))
    e->t.u.a.output_sampling_frequency = e->t.u.a.sampling_frequency;
  return 0;
}

/* Returns 0, or a negative code; sets e->drop for a layer the library cannot
 * describe (encryption, an unknown algorithm, oversized settings). */
static int32_t read_compression(mkv_dmx_t* ctx, Entry* e, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child, v;
    if (read_box_header(bs, &id, &child) < 0)
      return MKV_TAG(ctx, TE_TAG("CONTENT_EID_CONTENT_ENCODING_COMPRESSION.read_box_header"));
    if (id == 0x4254) {
      if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, TE_TAG("ENCODING_COMP_ID_CONTENTCOMPALGO"));
      e->t.content_compressed = 1;
      if (v != 0 && v != 3) {
        MKV_TAG(ctx, TE_TAG("ENCODING_COMP_ID_CONTENTCOMPALGO.default"));
        e->drop = 1;
        return 0;
      }
      e->t.comp_algo = (uint32_t)v;
    } else if (id == 0x4255) {
      if (child > 256) {
        MKV_TAG(ctx, TE_TAG("ENCODING_COMP_ID_CONTENTCOMPSETTINGS.len"));
        e->drop = 1;
        return 0;
      }
      mkv_free(ctx, e->comp_settings);
      e->comp_settings = 0;
      e->comp_settings_size = 0;
      if (child) {
        e->comp_settings = (uint8_t*)mkv_malloc(ctx, (size_t)child);
        if (!e->comp_settings)
          return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to allocate of pby_comp_method_private");
        if (mkv_dmx_bs_read_bytes(bs, e->comp_settings, (int32_t)child) < 0)
          return MKV_TAG(ctx, TE_TAG("ENCODING_COMP_ID_CONTENTCOMPSETTINGS"));
      }
      e->comp_settings_size = (uint32_t)child;
    } else if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
      return MKV_TAG(ctx, "<read_box_block_additions.default");
    }
  }
  return 0;
}

static int32_t read_encoding(mkv_dmx_t* ctx, Entry* e, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  if (++e->encodings > 1) return MKV_ERR(ctx, MKV_ERR_INVALID, "only one compression layer supported");
  e->t.content_compressed = 1;
  e->t.comp_algo = 0;
  e->scope = 1;
  while (mkv_bs_pos(bs) < end && !e->drop) {
    uint32_t id;
    uint64_t child, v;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, TE_TAG("TRACK_EID_CONTENT_ENCODING.read_box_header"));
    switch (id) {
      case 0x5031:
        if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, TE_TAG("CONTENT_EID_CONTENT_ENCODING_ORDER"));
        break;
      case 0x5032:
        if (read_uint(bs, child, &e->scope) < 0) return MKV_TAG(ctx, TE_TAG("CONTENT_EID_CONTENT_ENCODING_SCOPE"));
        break;
      case 0x5033:
        if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, TE_TAG("CONTENT_EID_CONTENT_ENCODING_TYPE"));
        if (v != 0) {
          MKV_TAG(ctx, TE_TAG("CONTENT_EID_CONTENT_ENCODING_TYPE.encryption is not supported"));
          e->drop = 1;
        }
        break;
      case 0x5034:
        if (read_compression(ctx, e, child) < 0) return MKV_TAG(ctx, TE_TAG("CONTENT_EID_CONTENT_ENCODING_COMPRESSION"));
        break;
      default:
        if (mkv_dmx_bs_skip_bytes(bs, child) < 0) return MKV_TAG(ctx, "<read_box_block_additions.default");
        break;
    }
  }
  return 0;
}

static int32_t read_encodings(mkv_dmx_t* ctx, Entry* e, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  while (mkv_bs_pos(bs) < end && !e->drop) {
    uint32_t id;
    uint64_t child;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, TE_TAG("sub-routines.read_box_header"));
    if (id == 0x6240) {
      if (read_encoding(ctx, e, child) < 0) return MKV_TAG(ctx, TE_TAG("TRACK_EID_CONTENT_ENCODING"));
    } else if (mkv_dmx_bs_skip_bytes(bs, child) < 0) {
      return MKV_TAG(ctx, "<read_box_block_additions.default");
    }
  }
  return 0;
}

/* Reads a TrackEntry into `e`. */
static int32_t read_entry(mkv_dmx_t* ctx, Entry* e, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end = mkv_bs_pos(bs) + size;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child, v;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<read_box_track_entry");
    switch (id) {
      case 0xD7:
        if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, TE_TAG("TRACK_EID_TRACK_NUMBER"));
        e->t.track_number = (uint32_t)v;
        break;
      case 0x73C5:
        if (read_uint(bs, child, &e->t.track_uid) < 0) return MKV_TAG(ctx, TE_TAG("TRACK_EID_TRACK_UID"));
        break;
      case 0x83:
        if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, TE_TAG("TRACK_EID_TRACK_TYPE"));
        if (v < 1 || v > 254) return MKV_ERRV(ctx, MKV_ERR_INVALID, v, "Track type is > 255");
        e->t.track_type = v == 0x11 ? MKV_TRACK_SUBTITLE : (uint32_t)v;
        break;
      case 0x23E383:
        if (read_uint(bs, child, &e->t.default_duration) < 0) return MKV_TAG(ctx, TE_TAG("TRACK_EID_DEFAULT_DURATION"));
        break;
      case 0x23314F:
        if (read_float(bs, child, &e->t.track_timecode_scale) < 0)
          return MKV_TAG(ctx, TE_TAG("TRACK_EID_TRACK_TIMECODE_SCALE"));
        break;
      case 0xB9: case 0x88: case 0x9C: case 0x6DE7: case 0x6DF8: case 0x55EE: case 0x6FAB:
        if (read_uint(bs, child, &v) < 0) return MKV_TAG(ctx, "<read_box_track_entry.flags");
        break;
      case 0x86:
        if (e->t.codec_id) goto skip;
        if (mkv_read_text(ctx, child, 32, &e->t.codec_id) < 0) return MKV_TAG(ctx, TE_TAG("TRACK_EID_CODEC_ID"));
        break;
      case 0x22B59C:
        if (e->t.language) goto skip;
        if (mkv_read_text(ctx, child, 32, &e->t.language) < 0) return MKV_TAG(ctx, TE_TAG("TRACK_EID_LANGUAGE"));
        break;
      case 0x536E:
        if (e->t.name) goto skip;
        if (mkv_read_text(ctx, child, 128, &e->t.name) < 0) return MKV_TAG(ctx, TE_TAG("TRACK_EID_NAME"));
        break;
      case 0x258688:
        if (mkv_read_text(ctx, child, 128, &e->t.codec_name) < 0) return MKV_TAG(ctx, TE_TAG("TRACK_EID_CODEC_NAME"));
        break;
      case 0x63A2:
        if (e->codec_private_size || e->codec_private) goto skip;
        if (child > (e->t.track_type == MKV_TRACK_VIDEO ? 0x100000u : 0x40000u))
          return MKV_ERRV(ctx, MKV_ERR_INVALID, child, "CodecPrivate is too large");
        if (child) {
          e->codec_private = (uint8_t*)mkv_malloc(ctx, (size_t)child);
          if (!e->codec_private) return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to allocate of private data");
          if (mkv_dmx_bs_read_bytes(bs, e->codec_private, (int32_t)child) < 0)
            return MKV_TAG(ctx, TE_TAG("TRACK_EID_CODEC_PRIVATE"));
        }
        e->codec_private_size = (uint32_t)child;
        break;
      case 0xE0:
        if (read_video(ctx, e, child) < 0) return MKV_TAG(ctx, TE_TAG("TRACK_EID_VIDEO"));
        break;
      case 0xE1:
        if (read_audio(ctx, e, child) < 0) return MKV_TAG(ctx, TE_TAG("TRACK_EID_AUDIO_INFO"));
        break;
      case 0x6D80:
        if (read_encodings(ctx, e, child) < 0) return MKV_TAG(ctx, TE_TAG("TRACK_EID_CONTENT_ENCODING"));
        if (e->drop) return mkv_dmx_bs_fseek(bs, end) < 0 ? MKV_TAG(ctx, "<read_box_track_entry.default") : 0;
        break;
      default:
      skip:
        if (mkv_dmx_bs_skip_bytes(bs, child) < 0) return MKV_TAG(ctx, "<read_box_track_entry.default");
        break;
    }
  }
  return 0;
}

/* Appends the finished entry; takes over its buffers. */
static int32_t add_entry(mkv_dmx_t* ctx, Entry* e) {
  mkv_track_t* t;
  uint32_t i;
  if (!e->t.codec_id) return MKV_ERR(ctx, MKV_ERR_INVALID, "Track has no Codec ID");
  if (e->t.track_uid) {
    for (i = 0; i < ctx->track_count; ++i)
      if (ctx->tracks[i]->track_uid == e->t.track_uid) {
        entry_release(ctx, e);
        return 0;
      }
  }
  if (e->t.content_compressed && !(e->scope & 1)) e->t.content_compressed = 0;
  if (ctx->track_count == ctx->track_cap) {
    uint32_t next = ctx->track_cap ? ctx->track_cap * 2 : 1;
    mkv_track_t** grown = (mkv_track_t**)ctx->host.realloc_fn(ctx->tracks, next * sizeof *grown);
    if (!grown) {
      MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to re-allocate of mkv array");
      return MKV_TAG(ctx, "<read_box_track_entry.ppst_track");
    }
    ctx->tracks = grown;
    ctx->track_cap = next;
  }
  t = (mkv_track_t*)mkv_malloc(ctx, sizeof *t);
  if (!t) return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to re-allocate of track");
  *t = e->t;
  e->t.codec_id = e->t.language = e->t.name = e->t.codec_name = 0;
  if (e->codec_private_size) {
    t->codec_private = e->codec_private;
    t->codec_private_size = e->codec_private_size;
    e->codec_private = 0;
  }
  if (e->comp_settings_size && e->t.content_compressed) {
    t->pby_comp_method_private = e->comp_settings;
    t->comp_settings_size = e->comp_settings_size;
    e->comp_settings = 0;
  } else {
    t->comp_settings_size = 0;
  }
  mkv_free(ctx, e->codec_private);
  mkv_free(ctx, e->comp_settings);
  e->codec_private = e->comp_settings = 0;
  ctx->tracks[ctx->track_count++] = t;
  if (!t->language) {
    t->language = (char*)mkv_malloc(ctx, 4);
    if (!t->language) return MKV_ERR(ctx, MKV_ERR_NO_MEMORY, "Insufficient memory to allocate of language");
    mkv_dmx_strcpy(t->language, "eng");
  }
  switch (t->track_type) {
    case MKV_TRACK_VIDEO:
      if (ctx->video_count < MKV_MAX_PER_KIND) ctx->video_tracks[ctx->video_count++] = t;
      break;
    case MKV_TRACK_AUDIO:
      if (ctx->audio_count < MKV_MAX_PER_KIND) ctx->audio_tracks[ctx->audio_count++] = t;
      if (!mkv_dmx_strcmp(t->codec_id, "A_PCM/INT/BIG") || !mkv_dmx_strcmp(t->codec_id, "A_PCM/INT/LIT"))
        ctx->options |= OPT_PCM;
      break;
    case MKV_TRACK_SUBTITLE:
      if (ctx->subtitle_count < MKV_MAX_PER_KIND) ctx->subtitle_tracks[ctx->subtitle_count++] = t;
      break;
    default:
      break;
  }
  return 0;
}

int32_t element_tracks(mkv_dmx_t* ctx, uint64_t size) {
  mkv_dmx_bs_t* bs = ctx->pst_cur_bs;
  uint64_t end;
  ctx->read_flags |= READ_TRACKS;
  end = mkv_bs_pos(bs) + size;
  while (mkv_bs_pos(bs) < end) {
    uint32_t id;
    uint64_t child;
    Entry e;
    if (read_box_header(bs, &id, &child) < 0) return MKV_TAG(ctx, "<element_tracks");
    if (id != 0xAE || ctx->track_count >= MKV_MAX_TRACKS) {
      if (mkv_dmx_bs_skip_bytes(bs, child) < 0) return MKV_TAG(ctx, "<element_tracks.default");
      continue;
    }
    mkv_zero(ctx, &e, sizeof e);
    mkv_integer_to_float(&e.t.track_timecode_scale, 1);
    if (read_entry(ctx, &e, child) < 0) {
      entry_release(ctx, &e);
      return MKV_TAG(ctx, "<element_tracks.TRACKS_EID_TRACK_ENTRY");
    }
    if (e.drop) {
      entry_release(ctx, &e);
      continue;
    }
    if (add_entry(ctx, &e) < 0) {
      entry_release(ctx, &e);
      return MKV_TAG(ctx, "<element_tracks.TRACKS_EID_TRACK_ENTRY");
    }
  }
  return 0;
}
