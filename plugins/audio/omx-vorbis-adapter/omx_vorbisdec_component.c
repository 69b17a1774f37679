/* "OMX.KVR.vorbisdec": the audio-decoder base over libkvrvorbisdec, with the
 * Vorbis record of the input port, the output PCM record and the open hook
 * that finds the identification header in the codec extra data. */

#include <stdlib.h>

#include "omx_adapter.h"

#define VORBISDEC_NAME "OMX.KVR.vorbisdec"
#define VORBISDEC_ROLE "audio_decoder.vorbis"
#define VORBISDEC_MIME "audio/vorbis"
#define VORBISDEC_LIBRARY "libkvrvorbisdec.so"
#define VORBISDEC_TAG "[OMXVORBISDEC:"
#define VORBISDEC_INPUT_BUFFER_SIZE 8192u
#define VORBISDEC_BOARD_PRIVATE_SIZE 912u
#define VORBISDEC_DECODER_KIND 18u

typedef struct omx_vorbisdec_component_PrivateType {
  omx_audiodec_component_PrivateType base;
  OMX_AUDIO_PARAM_VORBISTYPE vorbis;
} omx_vorbisdec_component_PrivateType;

#if defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4
_Static_assert(sizeof(omx_vorbisdec_component_PrivateType) <= VORBISDEC_BOARD_PRIVATE_SIZE,
               "the component record fits the board's size");
#endif

static OMX_ERRORTYPE omx_vorbisdec_component_GetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                          OMX_PTR record)
{
  omx_adapter_log(VORBISDEC_TAG, 'I', " %s nParamIndex [0x%x]", "omx_vorbisdec_component_GetParameter",
                  (unsigned)index);
  omx_vorbisdec_component_PrivateType* priv = omx_adapter_private(handle);
  if (!record || !priv) return OMX_ErrorBadParameter;
  switch ((uint32_t)index) {
  case OMX_IndexParamStandardComponentRole:
    return omx_adapter_get_role(record, VORBISDEC_ROLE);
  case OMX_IndexParamAudioPcm:
    return omx_adapter_get_pcm_out(&priv->base, record);
  case OMX_IndexParamAudioVorbis:
    return omx_adapter_get_input_record(record, &priv->vorbis, sizeof priv->vorbis);
  default:
    return omx_audiodec_component_GetParameter(handle, index, record);
  }
}

static OMX_ERRORTYPE omx_vorbisdec_component_SetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                          OMX_PTR record)
{
  omx_adapter_log(VORBISDEC_TAG, 'I', " %s nParamIndex [0x%x]", "omx_vorbisdec_component_SetParameter",
                  (unsigned)index);
  omx_vorbisdec_component_PrivateType* priv = omx_adapter_private(handle);
  if (!record || !priv) return OMX_ErrorBadParameter;
  OMX_ERRORTYPE err;
  switch ((uint32_t)index) {
  case OMX_IndexParamStandardComponentRole:
    return omx_adapter_set_role(record, VORBISDEC_ROLE);
  case OMX_IndexParamAudioPcm: {
    const OMX_AUDIO_PARAM_PCMMODETYPE* pcm = (const OMX_AUDIO_PARAM_PCMMODETYPE*)record;
    err = omx_adapter_check_pcm(handle, &priv->base, pcm, VORBISDEC_TAG);
    if (err != OMX_ErrorNone) return err;
    if (pcm->nPortIndex == OMX_AUDIODEC_INPUT_PORT) return OMX_ErrorBadPortIndex;
    omx_adapter_log(VORBISDEC_TAG, 'I', " @@@@ :: nChannels = %d, nBitPerSample = %d, nSamplingRate = %d",
                    (int)pcm->nChannels, (int)pcm->nBitPerSample, (int)pcm->nSamplingRate);
    priv->base.pcmOut = *pcm;
    return OMX_ErrorNone;
  }
  case OMX_IndexParamAudioVorbis: {
    const OMX_AUDIO_PARAM_VORBISTYPE* v = (const OMX_AUDIO_PARAM_VORBISTYPE*)record;
    err = omx_adapter_check_input_record(handle, record, sizeof *v);
    if (err != OMX_ErrorNone) return err;
    priv->vorbis = *v;
    omx_adapter_stream_format(&priv->base, v->nChannels, v->nSampleRate);
    omx_adapter_channel_rule(&priv->base, v->nChannels, VORBISDEC_TAG);
    return OMX_ErrorNone;
  }
  default:
    return omx_audiodec_component_SetParameter(handle, index, record);
  }
}

/* The extra data may carry a container's preamble (packet sizes) before the
 * headers: the decoder gets it from the identification header on. */
static int32_t vorbis_open(omx_audiodec_component_PrivateType* base)
{
  static const uint8_t kId[7] = {0x01, 'v', 'o', 'r', 'b', 'i', 's'};
  KvrWavDecInit* init = &base->init.common;
  const uint8_t* extra = base->extraData;
  int32_t size = (int32_t)base->extraSize;
  int32_t at = -1;
  for (int32_t i = 0; extra && i + (int32_t)sizeof kId <= size; ++i) {
    if (!memcmp(extra + i, kId, sizeof kId)) {
      at = i;
      break;
    }
  }
  init->extra = at >= 0 ? extra + at : extra;
  init->extra_size = at >= 0 ? size - at : 0;
  base->init.calloc_fn = calloc;
  return base->decoderEntry(KVR_WAV_DEC_OPEN, &base->decoderHandle, &base->init, NULL);
}

static void vorbis_port_settings(omx_audiodec_component_PrivateType* base)
{
  omx_vorbisdec_component_PrivateType* priv = (omx_vorbisdec_component_PrivateType*)base;
  omx_adapter_update_stream(base, &priv->vorbis.nChannels, &priv->vorbis.nSampleRate);
}

OMX_ADAPTER_EXPORT OMX_ERRORTYPE OMX_ComponentInit(OMX_HANDLETYPE handle, OMX_STRING name)
{
  if (!omx_adapter_name_matches(name, VORBISDEC_NAME, VORBISDEC_TAG)) return OMX_ErrorInvalidComponentName;
  OMX_COMPONENTTYPE* component = (OMX_COMPONENTTYPE*)handle;
  OMX_ERRORTYPE err = omx_adapter_init_base(
      component, name, (OMX_U32)OMX_AUDIODEC_PRIVATE_SIZE(VORBISDEC_BOARD_PRIVATE_SIZE, omx_vorbisdec_component_PrivateType),
      VORBISDEC_INPUT_BUFFER_SIZE, VORBISDEC_MIME, OMX_AUDIO_CodingVORBIS);
  if (err != OMX_ErrorNone) return err;
  omx_vorbisdec_component_PrivateType* priv = omx_adapter_private(component);
  setHeader(&priv->vorbis, sizeof priv->vorbis);
  priv->vorbis.nPortIndex = OMX_AUDIODEC_INPUT_PORT;
  priv->vorbis.nChannels = 2;
  priv->vorbis.nSampleRate = 44100;

  err = omx_adapter_init_finish(component, &priv->base, VORBISDEC_LIBRARY, VORBISDEC_DECODER_KIND,
                                omx_vorbisdec_component_GetParameter, omx_vorbisdec_component_SetParameter);
  if (err != OMX_ErrorNone) return err;
  priv->base.portSettingsHook = vorbis_port_settings;
  priv->base.openHook = vorbis_open;
  return OMX_ErrorNone;
}
