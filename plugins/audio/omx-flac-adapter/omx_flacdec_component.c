/* "OMX.KVR.flacdec": the audio-decoder base over libkvrflacdec, with the FLAC
 * record of the input port and the output PCM record. The base opens the
 * decoder itself. */

#include "omx_adapter.h"

#define FLACDEC_NAME "OMX.KVR.flacdec"
#define FLACDEC_ROLE "audio_decoder.flac"
#define FLACDEC_MIME "audio/flac"
#define FLACDEC_LIBRARY "libkvrflacdec.so"
#define FLACDEC_TAG "[OMXFLACDEC:"
#define FLACDEC_INPUT_BUFFER_SIZE 65536u
#define FLACDEC_BOARD_PRIVATE_SIZE 888u
#define FLACDEC_DECODER_KIND 11u

typedef struct omx_flacdec_component_PrivateType {
  omx_audiodec_component_PrivateType base;
  OMX_AUDIO_PARAM_FLACTYPE flac;
} omx_flacdec_component_PrivateType;

#if defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4
_Static_assert(sizeof(omx_flacdec_component_PrivateType) <= FLACDEC_BOARD_PRIVATE_SIZE,
               "the component record fits the board's size");
#endif

static OMX_ERRORTYPE omx_flacdec_component_GetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                        OMX_PTR record)
{
  omx_flacdec_component_PrivateType* priv = omx_adapter_private(handle);
  if (!record || !priv) return OMX_ErrorBadParameter;
  switch ((uint32_t)index) {
  case OMX_IndexParamStandardComponentRole:
    return omx_adapter_get_role(record, FLACDEC_ROLE);
  case OMX_IndexParamAudioPcm:
    return omx_adapter_get_pcm_out(&priv->base, record);
  case OMX_IndexParamAudioFlac:
    return omx_adapter_get_input_record(record, &priv->flac, sizeof priv->flac);
  default:
    return omx_audiodec_component_GetParameter(handle, index, record);
  }
}

static OMX_ERRORTYPE omx_flacdec_component_SetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                        OMX_PTR record)
{
  omx_flacdec_component_PrivateType* priv = omx_adapter_private(handle);
  if (!record || !priv) return OMX_ErrorBadParameter;
  OMX_ERRORTYPE err;
  switch ((uint32_t)index) {
  case OMX_IndexParamStandardComponentRole:
    return omx_adapter_set_role(record, FLACDEC_ROLE);
  case OMX_IndexParamAudioPcm:
    return omx_adapter_set_pcm_out(handle, &priv->base, record, FLACDEC_TAG);
  case OMX_IndexParamAudioFlac: {
    const OMX_AUDIO_PARAM_FLACTYPE* f = (const OMX_AUDIO_PARAM_FLACTYPE*)record;
    err = omx_adapter_check_input_record(handle, record, sizeof *f);
    if (err != OMX_ErrorNone) return err;
    priv->flac = *f;
    omx_adapter_stream_format(&priv->base, f->nChannels, f->nSampleRate);
    omx_adapter_channel_rule(&priv->base, f->nChannels, FLACDEC_TAG);
    return OMX_ErrorNone;
  }
  default:
    return omx_audiodec_component_SetParameter(handle, index, record);
  }
}

static void flac_port_settings(omx_audiodec_component_PrivateType* base)
{
  omx_flacdec_component_PrivateType* priv = (omx_flacdec_component_PrivateType*)base;
  omx_adapter_update_stream(base, &priv->flac.nChannels, &priv->flac.nSampleRate);
}

OMX_ADAPTER_EXPORT OMX_ERRORTYPE OMX_ComponentInit(OMX_HANDLETYPE handle, OMX_STRING name)
{
  if (!omx_adapter_name_matches(name, FLACDEC_NAME, FLACDEC_TAG)) return OMX_ErrorInvalidComponentName;
  OMX_COMPONENTTYPE* component = (OMX_COMPONENTTYPE*)handle;
  OMX_ERRORTYPE err = omx_adapter_init_base(
      component, name, (OMX_U32)OMX_AUDIODEC_PRIVATE_SIZE(FLACDEC_BOARD_PRIVATE_SIZE, omx_flacdec_component_PrivateType),
      FLACDEC_INPUT_BUFFER_SIZE, FLACDEC_MIME, OMX_AUDIO_CodingFLAC);
  if (err != OMX_ErrorNone) return err;
  omx_flacdec_component_PrivateType* priv = omx_adapter_private(component);
  setHeader(&priv->flac, sizeof priv->flac);
  priv->flac.nPortIndex = OMX_AUDIODEC_INPUT_PORT;
  priv->flac.nChannels = 2;
  priv->flac.nSampleRate = 44100;

  err = omx_adapter_init_finish(component, &priv->base, FLACDEC_LIBRARY, FLACDEC_DECODER_KIND,
                                omx_flacdec_component_GetParameter, omx_flacdec_component_SetParameter);
  if (err != OMX_ErrorNone) return err;
  priv->base.portSettingsHook = flac_port_settings;
  return OMX_ErrorNone;
}
