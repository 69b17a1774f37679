/* Audio codec headers of FLV files: the first MPEG audio frame header of an
 * MP3 tag and the AudioSpecificConfig of an AAC sequence header. */
#include "flv_internal.h"
#include "ts_es_internal.h"

/* Sampling rates by version field (0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1) and index. */
static const uint32_t kMpegRate[4][3] = {
    {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

/* kbit/s by [MPEG-1 or not][layer field 3 I, 2 II, 1 III][index]. */
static const uint16_t kMpegBitRate[2][4][16] = {
    {/* MPEG-2 and 2.5 */
     {0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}},
    {/* MPEG-1 */
     {0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}}};

static int32_t parse_mpeg_audio(const uint8_t* p, int32_t n, FlvdAudioRecord* rec) {
  if (p == NULL || n < 4) return -1;
  for (int32_t i = 0; i + 4 <= n; i++) {
    const uint8_t* h = p + i;
    uint32_t version = (h[1] >> 3) & 3u, layer = (h[1] >> 1) & 3u, rate = (h[2] >> 2) & 3u;
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || version == 1 || layer == 0 || rate == 3) continue;
    rec->info.sampleRate = kMpegRate[version][rate];
    rec->info.bitsPerSample = 16;
    rec->info.channels = (h[3] >> 6) == 3 ? 1 : 2;
    rec->info.codecId = layer == 2 ? FLVD_AUDIO_MP2 : FLVD_AUDIO_MP3;
    rec->bitRateKbps = kMpegBitRate[version == 3][layer][h[2] >> 4];
    return 0;
  }
  return -1;
}

KVR_EXPORT int32_t FLVD_ParseAudioHeader(int32_t soundFormat, const uint8_t* bytes, int32_t length,
                                         FlvdAudioRecord* record) {
  if (record == NULL) return -1;
  if (soundFormat == 2 || soundFormat == 14) return parse_mpeg_audio(bytes, length, record);
  if (soundFormat != 10) return -1;
  TsdBits br;
  tsd_bits_init(&br, bytes, length > 0 && bytes ? (size_t)length : 0);
  uint32_t rate = 0, channels = 0;
  tsd_parse_audio_specific_config(&br, &rate, &channels);
  record->info.sampleRate = rate;
  record->info.channels = channels;
  return 0;
}
