#ifndef KVR_PCMDEC_H
#define KVR_PCMDEC_H
/* The PCM decoder library: linear PCM (little- and big-endian, DVD and BD
 * LPCM), G.711 A-law and mu-law, IMA ADPCM (WAVE blocks and QuickTime
 * packets) and Microsoft ADPCM.
 *
 * Entry: KVR_WAV_DEC(op, slot, in, out) where slot is the address of the word
 * that holds the decoder context.
 *   op 0  open:   in = KvrWavDecInit; the context is stored in *slot.
 *   op 1  decode: in = KvrWavDecInput, out = KvrWavDecOutput.
 *   op 3  close:  frees the context and clears *slot.
 * Results: 0 success, -1 unknown op / no context / allocation failure, -3
 * down-mix or bit depth not possible, -5 parameters or data out of range,
 * -13 not enough input for one block (nothing consumed; append more). */

#include <stdint.h>

#include "kvr_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  KVR_WAV_DEC_OPEN = 0,
  KVR_WAV_DEC_DECODE = 1,
  KVR_WAV_DEC_CLOSE = 3,
};

enum {
  KVR_WAV_DEC_OK = 0,
  KVR_WAV_DEC_EFAIL = -1,
  KVR_WAV_DEC_EUNSUPPORTED = -3,
  KVR_WAV_DEC_EPARAM = -5,
  KVR_WAV_DEC_ENEEDMORE = -13,
};

/* Format codes of the init record. Any code not listed is little-endian
 * linear PCM (or big-endian / DVD as the init record's flags say). */
enum {
  KVR_WAV_FMT_PCM = 0x1,
  KVR_WAV_FMT_MSADPCM = 0x2,
  KVR_WAV_FMT_ALAW = 0x6,
  KVR_WAV_FMT_ULAW = 0x7,
  KVR_WAV_FMT_PCM_BE = 0x8,
  KVR_WAV_FMT_IMAADPCM = 0x11,
  KVR_WAV_FMT_IMAADPCM_QT = 0x10011,
};

/* LPCM layout word of the init record. */
enum { KVR_LPCM_PLAIN = 0, KVR_LPCM_DVD = 1, KVR_LPCM_BD = 2 };

#define KVR_WAV_DEC_MAX_CHANNELS 8

/* Op-1 input record. The input format record of op 0 has the same shape:
 * there the library reads the sampling rate, the channel count and the bits
 * per sample. */
typedef struct KvrWavDecInput {
  const uint8_t* data;   /* word 0: next input byte (advanced by op 1) */
  int32_t length;        /* word 1: bytes available (reduced by op 1) */
  int32_t sample_rate;   /* word 2 */
  int32_t channels;      /* word 3 */
  int32_t reserved[3];   /* words 4-6 */
  int32_t bits;          /* word 7: bits per sample (format record) */
} KvrWavDecInput;

/* Op-1 output record; the output format record of op 0 has the same shape
 * (op 0 reads `interleaved` and `bits`, writes rate, channels, frames=4096
 * and bits). */
typedef struct KvrWavDecOutput {
  void* buffer[KVR_WAV_DEC_MAX_CHANNELS]; /* words 0-7: [0] alone when interleaved */
  int32_t reserved8[8];                   /* words 8-15 */
  int32_t position[8];                    /* words 16-23: output channel (from 1) of speaker P0..P7, 0 absent */
  int32_t sample_rate;                    /* word 24 */
  int32_t reserved25;                     /* word 25 */
  int32_t interleaved;                    /* word 26: 1 interleaved, 0 one buffer per channel */
  int32_t channels;                       /* word 27 */
  int32_t frames;                         /* word 28: sample frames produced (4096 after op 0) */
  int32_t bits;                           /* word 29: output bits per sample (16 or 32-bit container) */
} KvrWavDecOutput;

typedef struct KvrWavDecInit {
  const uint8_t* extra;       /* word 0: codec extra data (ADPCM: the WAVE format extension) */
  int32_t extra_size;         /* word 1 */
  KvrWavDecInput* in_format;  /* word 2 */
  KvrWavDecOutput* out_format;/* word 3 */
  int32_t downmix;            /* word 4: non-zero asks for at most two output channels */
  KvrMallocFn alloc;          /* word 5 */
  KvrFreeFn release;          /* word 6 */
  KvrMemcpyFn copy;           /* word 7 */
  KvrMemsetFn fill;           /* word 8 */
  uint32_t host_words[8];     /* words 9-16: the caller's own, never read */
  int32_t format;             /* word 17: format code */
  int32_t block_align;        /* word 18 */
  int32_t big_endian;         /* word 19 */
  int32_t layout;             /* word 20: KVR_LPCM_* */
} KvrWavDecInit;

typedef struct KvrWavDecContext KvrWavDecContext;

/* The entry and its table. */
KVR_EXPORT int32_t KVR_WAV_DEC(int32_t op, void* slot, void* in, void* out);

/* Block decoders: (input record, output record, context) -> 0 or a negative
 * code. On success they set out->frames and advance the input record. */
typedef int32_t (*KvrBlockDecoder)(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx);
KVR_EXPORT int32_t LPCM_LE16MIX_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx);
KVR_EXPORT int32_t LPCM_BE16MIX_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx);
KVR_EXPORT int32_t LPCM_DVD16MIX_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx);
KVR_EXPORT int32_t ALAW_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx);
KVR_EXPORT int32_t ULAW_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx);
KVR_EXPORT int32_t IMAADPCM_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx);
KVR_EXPORT int32_t IMAADPCMQT_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx);
KVR_EXPORT int32_t MSADPCM_DECLIB(KvrWavDecInput* in, KvrWavDecOutput* out, KvrWavDecContext* ctx);

/* Channel order: order[k] = output slot of stream channel k. Returns 0 when
 * the order is a complete permutation of the stream's channels, 1 otherwise
 * (the caller then keeps the stream order). The caller zeroes order[0..7]. */
KVR_EXPORT int32_t KV_GetChannelOrder_PCM(const int32_t* positions, int32_t* order,
                                          const KvrWavDecContext* ctx);
KVR_EXPORT void KV_Reorder_ChannelData_InterleavePCM_short(const int16_t* src, int16_t* dst,
                                                           int32_t channels, const int32_t* order);
KVR_EXPORT void KV_Reorder_ChannelData_InterleavePCM_int(const int32_t* src, int32_t* dst,
                                                         int32_t channels, const int32_t* order);

/* Two-channel down-mix: rows of sixteen Q24 weights (0-7 left, 8-15 right). */
KVR_EXPORT extern const int32_t BD_8CH_2[16];
KVR_EXPORT extern const int32_t BD_8CH_1[16];
KVR_EXPORT extern const int32_t BD_6CH_2[16];
KVR_EXPORT extern const int32_t BD_6CH_1[16];
KVR_EXPORT extern const int32_t AD_8CH_2[16];
KVR_EXPORT extern const int32_t AD_8CH_1[16];
KVR_EXPORT extern const int32_t AD_6CH_2[16];
KVR_EXPORT extern const int32_t AD_6CH_1[16];
KVR_EXPORT extern const int32_t ADBD_4CH_2[16];
KVR_EXPORT extern const int32_t ADBD_4CH_1[16];
KVR_EXPORT extern const int32_t ADBD_3CH_1[16];
/* Row by channel count (WAVE family) and by BD channel assignment. */
KVR_EXPORT extern const int32_t* const AD_CHTB[16];
KVR_EXPORT extern const int32_t* const BD_CHTB[16];

/* Each mixes one frame (the DVD routines one two-frame group) and returns the
 * source advanced past what it read. */
KVR_EXPORT const uint8_t* KV_PCMDOWNCH_AUDIO16(const uint8_t* src, const int32_t* row, int16_t* dst, int32_t channels);
KVR_EXPORT const uint8_t* KV_PCMDOWNCH_AUDIO24(const uint8_t* src, const int32_t* row, int32_t* dst, int32_t channels);
KVR_EXPORT const uint8_t* KV_PCMDOWNCH_BD16(const uint8_t* src, const int32_t* row, int16_t* dst, int32_t channels);
KVR_EXPORT const uint8_t* KV_PCMDOWNCH_BD24(const uint8_t* src, const int32_t* row, int32_t* dst, int32_t channels);
KVR_EXPORT const uint8_t* KV_PCMDOWNCH_DVD20(const uint8_t* src, const int32_t* row, int32_t* dst, int32_t channels);
KVR_EXPORT const uint8_t* KV_PCMDOWNCH_DVD24(const uint8_t* src, const int32_t* row, int32_t* dst, int32_t channels);

/* Dynamic-range curves: a 32-bit value to a 16-bit sample. */
typedef int16_t (*KvrPcmDrcFn)(int32_t value);
KVR_EXPORT int16_t get_goodvalue0(int32_t value);
KVR_EXPORT int16_t get_goodvalue1(int32_t value);
KVR_EXPORT int16_t get_goodvalue2(int32_t value);
KVR_EXPORT extern const KvrPcmDrcFn gspfPCMDRCList[3];

/* Standard ADPCM tables. */
KVR_EXPORT extern const int16_t step_table[89];
KVR_EXPORT extern const int8_t IndexTab_4bit[16];
KVR_EXPORT extern const int8_t IndexTab_3bit[8];
KVR_EXPORT extern const int16_t psCoefficient1[7];
KVR_EXPORT extern const int16_t psCoefficient2[7];
KVR_EXPORT extern const int16_t psP4[16];

#ifdef __cplusplus
}
#endif

/* The board's 32-bit record layout. */
KVR_ASSERT_OFFSET32(KvrWavDecInput, data, 0);
KVR_ASSERT_OFFSET32(KvrWavDecInput, length, 4);
KVR_ASSERT_OFFSET32(KvrWavDecInput, sample_rate, 8);
KVR_ASSERT_OFFSET32(KvrWavDecInput, channels, 12);
KVR_ASSERT_OFFSET32(KvrWavDecInput, bits, 28);
KVR_ASSERT_SIZE32(KvrWavDecInput, 32);

KVR_ASSERT_OFFSET32(KvrWavDecOutput, buffer, 0);
KVR_ASSERT_OFFSET32(KvrWavDecOutput, position, 64);
KVR_ASSERT_OFFSET32(KvrWavDecOutput, sample_rate, 96);
KVR_ASSERT_OFFSET32(KvrWavDecOutput, interleaved, 104);
KVR_ASSERT_OFFSET32(KvrWavDecOutput, channels, 108);
KVR_ASSERT_OFFSET32(KvrWavDecOutput, frames, 112);
KVR_ASSERT_OFFSET32(KvrWavDecOutput, bits, 116);
KVR_ASSERT_SIZE32(KvrWavDecOutput, 120);

KVR_ASSERT_OFFSET32(KvrWavDecInit, extra, 0);
KVR_ASSERT_OFFSET32(KvrWavDecInit, extra_size, 4);
KVR_ASSERT_OFFSET32(KvrWavDecInit, in_format, 8);
KVR_ASSERT_OFFSET32(KvrWavDecInit, out_format, 12);
KVR_ASSERT_OFFSET32(KvrWavDecInit, downmix, 16);
KVR_ASSERT_OFFSET32(KvrWavDecInit, alloc, 20);
KVR_ASSERT_OFFSET32(KvrWavDecInit, release, 24);
KVR_ASSERT_OFFSET32(KvrWavDecInit, copy, 28);
KVR_ASSERT_OFFSET32(KvrWavDecInit, fill, 32);
KVR_ASSERT_OFFSET32(KvrWavDecInit, format, 68);
KVR_ASSERT_OFFSET32(KvrWavDecInit, block_align, 72);
KVR_ASSERT_OFFSET32(KvrWavDecInit, big_endian, 76);
KVR_ASSERT_OFFSET32(KvrWavDecInit, layout, 80);
KVR_ASSERT_SIZE32(KvrWavDecInit, 84);

#endif
