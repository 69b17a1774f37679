/* "OMX.KVR.pcmdec": the audio-decoder base over libkvrpcmdec, with the PCM
 * records of both ports, the decoder's init record and the PCM decode loop. */

#include "omx_adapter.h"

#define PCMDEC_NAME "OMX.KVR.pcmdec"
#define PCMDEC_ROLE "audio_decoder.pcm_dec"
#define PCMDEC_MIME "audio/x-pcm"
#define PCMDEC_LIBRARY "libkvrpcmdec.so"
#define PCMDEC_TAG "[OMXWAVDEC:"
#define PCMDEC_INPUT_BUFFER_SIZE 131072u
#define PCMDEC_BOARD_PRIVATE_SIZE 968u
#define PCMDEC_DECODER_KIND 16u
/* Most sample frames one op-1 call of the library produces (linear PCM is
 * consumed 2048 frames at a time). */
#define PCMDEC_MAX_FRAMES_PER_CALL 2048u

typedef struct omx_wavdec_component_PrivateType {
  omx_audiodec_component_PrivateType base;
  OMX_AUDIO_PARAM_PCMMODETYPE pcmIn;
  /* Last op-1 result and the frames decoded since the decoder opened. */
  int32_t lastResult;
  OMX_U32 totalFrames;
} omx_wavdec_component_PrivateType;

#if defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4
_Static_assert(sizeof(omx_wavdec_component_PrivateType) <= PCMDEC_BOARD_PRIVATE_SIZE,
               "the component record fits the board's size");
#endif

static OMX_ERRORTYPE omx_wavdec_component_GetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                       OMX_PTR record)
{
  omx_wavdec_component_PrivateType* priv = omx_adapter_private(handle);
  if (!record || !priv) return OMX_ErrorBadParameter;
  switch ((uint32_t)index) {
  case OMX_IndexParamStandardComponentRole:
    return omx_adapter_get_role(record, PCMDEC_ROLE);
  case OMX_IndexParamAudioPcm: {
    OMX_ERRORTYPE err = checkHeader(record, sizeof(OMX_AUDIO_PARAM_PCMMODETYPE));
    if (err != OMX_ErrorNone) return err;
    OMX_AUDIO_PARAM_PCMMODETYPE* pcm = (OMX_AUDIO_PARAM_PCMMODETYPE*)record;
    if (pcm->nPortIndex == OMX_AUDIODEC_OUTPUT_PORT) {
      *pcm = priv->base.pcmOut;
    } else if (pcm->nPortIndex == OMX_AUDIODEC_INPUT_PORT) {
      *pcm = priv->pcmIn;
    } else {
      omx_adapter_log(PCMDEC_TAG, 'E', " %s port index error", "omx_wavdec_component_GetParameter");
      return OMX_ErrorBadPortIndex;
    }
    return OMX_ErrorNone;
  }
  default:
    return omx_audiodec_component_GetParameter(handle, index, record);
  }
}

static OMX_ERRORTYPE omx_wavdec_component_SetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                       OMX_PTR record)
{
  omx_wavdec_component_PrivateType* priv = omx_adapter_private(handle);
  if (!record || !priv) return OMX_ErrorBadParameter;
  switch ((uint32_t)index) {
  case OMX_IndexParamStandardComponentRole:
    return omx_adapter_set_role(record, PCMDEC_ROLE);
  case OMX_IndexParamAudioPcm: {
    const OMX_AUDIO_PARAM_PCMMODETYPE* pcm = (const OMX_AUDIO_PARAM_PCMMODETYPE*)record;
    OMX_ERRORTYPE err = omx_adapter_check_pcm(handle, &priv->base, pcm, PCMDEC_TAG);
    if (err != OMX_ErrorNone) return err;
    if (pcm->nPortIndex != OMX_AUDIODEC_INPUT_PORT) {
      omx_adapter_log(PCMDEC_TAG, 'I', " @@@@ :: nChannels = %d, nBitPerSample = %d, nSamplingRate = %d",
                      (int)pcm->nChannels, (int)pcm->nBitPerSample, (int)pcm->nSamplingRate);
      priv->base.pcmOut = *pcm;
      return OMX_ErrorNone;
    }
    priv->pcmIn = *pcm;
    omx_adapter_channel_rule(&priv->base, pcm->nChannels, PCMDEC_TAG);
    return OMX_ErrorNone;
  }
  default:
    return omx_audiodec_component_SetParameter(handle, index, record);
  }
}

/* Fills the library's init record from the stream settings and opens it. */
static int32_t wav_open(omx_audiodec_component_PrivateType* base)
{
  omx_wavdec_component_PrivateType* priv = (omx_wavdec_component_PrivateType*)base;
  KvrWavDecInit* init = &base->init.common;
  init->extra = NULL;
  init->extra_size = 0;
  init->downmix = 1;
  init->format = KVR_WAV_FMT_PCM;
  init->block_align = (int32_t)base->nStreamBlockAlign;
  base->inFormat.channels = (int32_t)base->nStreamChannels;
  base->inFormat.bits = (int32_t)base->nStreamBitsPerSample;
  switch (base->nPcmKind) {
  case OMX_AUDIODEC_PCM_KIND_DVD:
    init->big_endian = 1;
    init->layout = KVR_LPCM_DVD;
    break;
  case OMX_AUDIODEC_PCM_KIND_BD:
    init->big_endian = 1;
    init->layout = KVR_LPCM_BD;
    break;
  default:
    init->big_endian = 0;
    init->layout = KVR_LPCM_PLAIN;
    break;
  }
  priv->lastResult = 0;
  priv->totalFrames = 0;
  /* Op 0 writes the decoder's channel count and rate straight into the
   * base's output settings, which the base then announces. */
  return base->decoderEntry(KVR_WAV_DEC_OPEN, &base->decoderHandle, &base->init, NULL);
}

/* Decodes the stage into `out` until the input is used up, the library
 * wants more input, or the room left could not take the most one call can
 * write (the rest of the input then waits for the next output buffer). */
static int32_t DecodeWav(omx_audiodec_component_PrivateType* base, OMX_BUFFERHEADERTYPE* out)
{
  omx_wavdec_component_PrivateType* priv = (omx_wavdec_component_PrivateType*)base;
  KvrWavDecInput* in = &base->inFormat;
  KvrWavDecOutput* o = &base->outFormat;
  while (in->length > 0) {
    const OMX_U32 frameBytes = o->bits <= 16 ? 2u : 4u;
    const OMX_U32 channels = o->channels > 0 ? (OMX_U32)o->channels : 1u;
    const OMX_U32 used = out->nOffset + out->nFilledLen;
    const OMX_U32 room = out->nAllocLen > used ? out->nAllocLen - used : 0;
    /* Measured against the most one call can write, not against what the
     * last call wrote: a short last call must not let a full one overrun. */
    if (room < PCMDEC_MAX_FRAMES_PER_CALL * frameBytes * channels) {
      omx_adapter_log(PCMDEC_TAG, 'W', "input frame will be split due to memory shortage on the outbuffer");
      return priv->lastResult;
    }
    o->buffer[0] = out->pBuffer + used;
    const int32_t before = in->length;
    const int32_t r = base->decoderEntry(KVR_WAV_DEC_DECODE, &base->decoderHandle, in, o);
    priv->lastResult = r;
    if (r == 0) {
      const OMX_U32 frames = o->frames > 0 ? (OMX_U32)o->frames : 0u;
      priv->totalFrames += frames;
      out->nFilledLen += frames * frameBytes * (o->channels > 0 ? (OMX_U32)o->channels : 1u);
    } else if (r == OMX_AUDIODEC_RESULT_MORE_OUTPUT) {
      /* go on */
    } else if (r == OMX_AUDIODEC_RESULT_NEED_INPUT) {
      return r;
    } else {
      omx_adapter_log(PCMDEC_TAG, 'E', "In %s error %d", "DecodeWav", (int)r);
      in->length = 0;
      return r;
    }
    /* A call that takes nothing would be repeated for ever. */
    if (in->length == before) break;
  }
  return priv->lastResult;
}

static void wav_port_settings(omx_audiodec_component_PrivateType* base)
{
  omx_adapter_update_pcm_out(base);
}

OMX_ADAPTER_EXPORT OMX_ERRORTYPE OMX_ComponentInit(OMX_HANDLETYPE handle, OMX_STRING name)
{
  if (!omx_adapter_name_matches(name, PCMDEC_NAME, PCMDEC_TAG)) return OMX_ErrorInvalidComponentName;
  OMX_COMPONENTTYPE* component = (OMX_COMPONENTTYPE*)handle;
  OMX_ERRORTYPE err = omx_adapter_init_base(
      component, name, (OMX_U32)OMX_AUDIODEC_PRIVATE_SIZE(PCMDEC_BOARD_PRIVATE_SIZE, omx_wavdec_component_PrivateType),
      PCMDEC_INPUT_BUFFER_SIZE, PCMDEC_MIME, OMX_AUDIO_CodingPCM);
  if (err != OMX_ErrorNone) return err;
  omx_wavdec_component_PrivateType* priv = omx_adapter_private(component);
  setHeader(&priv->pcmIn, sizeof priv->pcmIn);
  priv->pcmIn.nPortIndex = OMX_AUDIODEC_INPUT_PORT;
  priv->pcmIn.nChannels = 2;
  priv->pcmIn.nSamplingRate = 44100;
  priv->pcmIn.nBitPerSample = 16;
  priv->pcmIn.eEndian = OMX_EndianLittle;
  priv->pcmIn.bInterleaved = OMX_TRUE;

  err = omx_adapter_init_finish(component, &priv->base, PCMDEC_LIBRARY, PCMDEC_DECODER_KIND,
                                omx_wavdec_component_GetParameter, omx_wavdec_component_SetParameter);
  if (err != OMX_ErrorNone) return err;
  priv->base.portSettingsHook = wav_port_settings;
  priv->base.openHook = wav_open;
  priv->base.decodeHook = DecodeWav;
  return OMX_ErrorNone;
}
