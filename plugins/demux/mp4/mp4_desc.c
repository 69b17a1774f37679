/* Track descriptions, the track list and the codec display names. */
#include "mp4_internal.h"

typedef struct { int32_t format; const char* name; } AudioName;

static const AudioName kAudioNames[] = {
  {1, "PCM Audio"}, {2, "MS ADPCM Audio"}, {6, "ALAW Audio"}, {7, "MULAW Audio"},
  {8, "Big-endian PCM Audio"}, {0x11, "ADPCM IMA Audio"}, {22, "BSAC Audio"},
  {32, "YAMAHA ADPCM Audio"}, {69, "G726 Audio"}, {0x50, "MP2 Audio"}, {0x55, "MP3 Audio"},
  {86, "AMR-WP Audio"}, {87, "AMR-NB Audio"}, {88, "AMR-WB Audio"}, {255, "AAC Audio"},
  {0xAAC0, "AAC Audio"}, {0x160, "WMA V1 Audio"}, {0x161, "WMA V2 AUdio"}, {0x162, "WMA Pro Audio"},
  {0x163, "WMA Lossless Audio"}, {2718, "APE Audio"}, {0x2000, "AC3 Audio"}, {0x2001, "DTS Audio"},
  {0x2008, "EAC3(DolbyDigitalPlus) Audio"}, {0x5346, "ADPCM Shockwave Flash Audio"},
  {0x674F, "Vorbis Audio"}, {0x2674F, "Vorbis Audio"}, {0xA1AC, "ALAC"}, {0xCC00, "QCELP Audio"},
  {0xCD00, "EVRC Audio"}, {0xCD01, "EVRC-B Audio"}, {0xCD02, "EVRC-WB Audio"}, {0xF1AC, "FLAC"},
  {0x10011, "IMA QT Audio"},
};

/* Video names with their codes, four bytes each, as stored. */
typedef struct { const char* name; const char* codes; } VideoName;

static const VideoName kVideoNames[] = {
  {"H.264", "AVC1avc1H264h264X264x264DAVCdavcVSSHvssh"},
  {"HEVC", "HM10hm10HVC1hvc1hev1H265h265HEVChevc"},
  {"MPEG-4", "DX50dx50DVX1dvx1M4S2m4s23IV23iv2FMD4fmd4FMP4fmp4RMP4rmp4XVIDXviDXvidxvidDIVXdivxDIVFdivf"
             "SEDGMP4Smp4sMP4Vmp4vFVFWfvfw"},
  {"MPEG-1/2", "mpg1m1v1m2v1hdv1MPG2mpg2MPEGmpegMP2Vmp2v"},
  {"VC-1", "VC1 vc1 WVC1wvc1WMV3wmv3WMVAwmva"},
  {"AVS", "AVS avs CAVS"},
  {"RV", "RV10rv10RV20rv20RV30rv30RV40rv40TROM"},
  {"H263 Video", "H263h263S263s263"},
  {"Sorenson's H.263", "FLV1flv1"},
  {"DIV-3", "MP43mp43DIV3div3DIV4div4MSVC"},
  {"MSMPEG2", "MP42mp42"},
  {"MSMPEG1", "MPG4"},
  {"WMV7", "WMV1wmv1"},
  {"WMV8", "WMV2wmv2"},
  {"SVQ3", "SVQ3"},
  {"MJPEG", "MJPGmjpg"},
  {"JPEG", "jpeg"},
  {"JPEG2000", "mjp2"},
  {"PNG", "png "},
};

static uint32_t code_at(const char* p) { return MP4_FOURCC(p[0], p[1], p[2], p[3]); }

/* The display name of a video code, or null when the code is not listed. */
const char* mp4_video_name(uint32_t code) {
  for (size_t i = 0; i < sizeof(kVideoNames) / sizeof(kVideoNames[0]); ++i)
    for (const char* p = kVideoNames[i].codes; *p; p += 4)
      if (code_at(p) == code) return kVideoNames[i].name;
  return 0;
}

char* mp4_get_video_codec_name(char* buffer, uint32_t code) {
  const char* name = mp4_video_name(code);
  return mp4_dmx_io_strcpy(buffer, name ? name : "Unknown Video");
}

char* mp4_get_audio_codec_name(char* buffer, int32_t format) {
  for (size_t i = 0; i < sizeof(kAudioNames) / sizeof(kAudioNames[0]); ++i)
    if (kAudioNames[i].format == format) return mp4_dmx_io_strcpy(buffer, kAudioNames[i].name);
  return mp4_dmx_io_strcpy(buffer, "Unknown Audio");
}

uint32_t mp4_upper_fourcc(uint32_t code) {
  uint32_t r = 0;
  for (int i = 0; i < 4; ++i) r |= (uint32_t)mp4_dmx_io_toupper((int32_t)((code >> (8 * i)) & 0xFF)) << (8 * i);
  return r;
}

char* mp4_dmx_get_file_name(char* dst, const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') name = p + 1;
  return mp4_dmx_io_strcpy(dst, name);
}

void mp4_packet_format_clear(Mp4Track* t) {
  if (t->desc.config && t->desc.config_length >= 0) mp4_release(t->desc.config);
  mp4_fill(&t->desc, 0, sizeof(t->desc));
}

int32_t mp4_packet_format_extra(Mp4Track* t, int32_t n) {
  if (n < 1) {
    mp4_release(t->desc.config);
    t->desc.config = 0;
    t->desc.config_length = 0;
    return 0;
  }
  uint8_t* p = (uint8_t*)mp4_resize(t->desc.config, (size_t)n);
  if (!p) return 0;
  t->desc.config = p;
  t->desc.config_length = n;
  return 1;
}

static void default_pitch(Mp4TrackDesc* d) { (void)d; /* the row pitch is not kept */ }

void mp4_packet_format_default(Mp4Track* t) {
  Mp4TrackDesc* d = &t->desc;
  if (d->kind == MP4_KIND_VIDEO) {
    if (d->codec) {
      d->colour_format = d->codec == 3 ? 4 : 1;
      d->row_order = d->codec == 3 ? 4 : 0;
    } else {
      if (d->depth <= 8) d->colour_format = 2;
      d->row_order = 4;
    }
    default_pitch(d);
    if (d->height < 0) {
      d->height = -d->height;
      d->row_order ^= 4;
    }
    return;
  }
  if (d->kind != MP4_KIND_AUDIO) return;
  if (d->format != 1) {
    if (d->format < 0x2001) return;
    int64_t align = (int64_t)d->channels * d->bits / 8;
    if (!(d->block_align > 0 && d->avg_bytes_per_sec > 0 && d->block_align == align &&
          (int64_t)d->avg_bytes_per_sec == (int64_t)d->block_align * d->sample_rate))
      return;
    d->format = 1;
  }
  d->valid_bits = d->bits - 1;
  if (d->bits < 0 || d->bits > 64) d->bits = 16;
  d->bits = (d->bits + 7) / 8 * 8;
  if (d->bits <= 8) d->format_flags += 4;
  if (d->channels < 0 || d->channels > 0xFFFF) d->channels = 0;
  d->block_align = d->channels * d->bits / 8;
  d->avg_bytes_per_sec = (int32_t)((int64_t)d->sample_rate * d->block_align);
}

void mp4_format_prepair_stream(Mp4Context* c, Mp4Track* t) {
  (void)c;
  t->kind = t->desc.kind;
}

Mp4Track* mp4_format_add_stream(Mp4Context* c, int32_t size) {
  if (c->track_count >= MP4_MAX_TRACKS) return 0;
  Mp4Track* t = (Mp4Track*)mp4_zalloc((size_t)size);
  if (!t) {
    gMp4DmxLastErrorCode = MP4_ERR_MEMORY;
    return 0;
  }
  c->tracks[c->track_count++] = t;
  return t;
}

void mp4_track_release_tables(Mp4Track* t) {
  mp4_dmx_array_clear(&t->stss);
  mp4_dmx_array_clear(&t->stsz);
  mp4_dmx_array_clear(&t->stts);
  mp4_dmx_array_clear(&t->stsc);
  mp4_dmx_array_clear(&t->stco);
}

void mp4_format_remove_stream(Mp4Context* c) {
  if (c->track_count <= 0) return;
  Mp4Track* t = c->tracks[--c->track_count];
  c->tracks[c->track_count] = 0;
  if (c->parsing == t) c->parsing = 0;
  if (c->frag_track == t) c->frag_track = 0;
  mp4_track_release_tables(t);
  mp4_release(t->index64);
  mp4_release(t->index32);
  mp4_release(t->dts);
  mp4_frag_release(t);
  mp4_packet_format_clear(t);
  mp4_release(t);
}

void mp4_packet_video_clear(Mp4VideoPacketRecord* record) {
  if (record->length >= 0) mp4_release(record->data);
  mp4_fill(record, 0, sizeof(*record));
}

void mp4_dmx_packet_audio_clear(Mp4AudioPacketRecord* record) {
  if (record->length >= 0) mp4_release(record->data);
  mp4_fill(record, 0, sizeof(*record));
}
