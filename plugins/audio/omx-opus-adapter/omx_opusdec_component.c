/* "OMX.KVR.opusdec": the audio-decoder base over libkvropusdec, with the Opus
 * record of the input port, the output PCM record and the open hook that
 * hands the decoder the codec extra data. */

#include "omx_adapter.h"

#define OPUSDEC_NAME "OMX.KVR.opusdec"
#define OPUSDEC_ROLE "audio_decoder.opus"
#define OPUSDEC_MIME "audio/x-opus"
#define OPUSDEC_LIBRARY "libkvropusdec.so"
#define OPUSDEC_TAG "[OMXOPUSDEC:"
#define OPUSDEC_INPUT_BUFFER_SIZE 16384u
#define OPUSDEC_BOARD_PRIVATE_SIZE 888u
#define OPUSDEC_DECODER_KIND 25u
#define OPUSDEC_MAX_CHANNELS 2u

typedef struct omx_opusdec_component_PrivateType {
  omx_audiodec_component_PrivateType base;
  OMX_AUDIO_PARAM_OPUSTYPE opus;
} omx_opusdec_component_PrivateType;

#if defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4
_Static_assert(sizeof(omx_opusdec_component_PrivateType) <= OPUSDEC_BOARD_PRIVATE_SIZE,
               "the component record fits the board's size");
#endif

static OMX_ERRORTYPE omx_opusdec_component_GetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                        OMX_PTR record)
{
  omx_opusdec_component_PrivateType* priv = omx_adapter_private(handle);
  if (!record || !priv) return OMX_ErrorBadParameter;
  switch ((uint32_t)index) {
  case OMX_IndexParamStandardComponentRole:
    return omx_adapter_get_role(record, OPUSDEC_ROLE);
  case OMX_IndexParamAudioPcm:
    return omx_adapter_get_pcm_out(&priv->base, record);
  case OMX_IndexParamAudioOpus:
    return omx_adapter_get_input_record(record, &priv->opus, sizeof priv->opus);
  default:
    return omx_audiodec_component_GetParameter(handle, index, record);
  }
}

static OMX_ERRORTYPE omx_opusdec_component_SetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                        OMX_PTR record)
{
  omx_opusdec_component_PrivateType* priv = omx_adapter_private(handle);
  if (!record || !priv) return OMX_ErrorBadParameter;
  OMX_ERRORTYPE err;
  switch ((uint32_t)index) {
  case OMX_IndexParamStandardComponentRole:
    return omx_adapter_set_role(record, OPUSDEC_ROLE);
  case OMX_IndexParamAudioPcm:
    return omx_adapter_set_pcm_out(handle, &priv->base, record, OPUSDEC_TAG);
  case OMX_IndexParamAudioOpus: {
    const OMX_AUDIO_PARAM_OPUSTYPE* o = (const OMX_AUDIO_PARAM_OPUSTYPE*)record;
    err = omx_adapter_check_input_record(handle, record, sizeof *o);
    if (err != OMX_ErrorNone) return err;
    /* Refused before anything is stored: a refused stream leaves the
     * component as it was, and the client hears an OpenMAX error. */
    if (o->nChannels > OPUSDEC_MAX_CHANNELS) return OMX_ErrorUnsupportedSetting;
    priv->opus = *o;
    omx_adapter_stream_format(&priv->base, o->nChannels, o->nSampleRate);
    return OMX_ErrorNone;
  }
  default:
    return omx_audiodec_component_SetParameter(handle, index, record);
  }
}

static int32_t opus_open(omx_audiodec_component_PrivateType* base)
{
  base->init.common.extra = base->extraData;
  base->init.common.extra_size = (int32_t)base->extraSize;
  return base->decoderEntry(KVR_WAV_DEC_OPEN, &base->decoderHandle, &base->init, NULL);
}

static void opus_port_settings(omx_audiodec_component_PrivateType* base)
{
  omx_opusdec_component_PrivateType* priv = (omx_opusdec_component_PrivateType*)base;
  omx_adapter_update_stream(base, &priv->opus.nChannels, &priv->opus.nSampleRate);
}

OMX_ADAPTER_EXPORT OMX_ERRORTYPE OMX_ComponentInit(OMX_HANDLETYPE handle, OMX_STRING name)
{
  if (!name || strcmp(name, OPUSDEC_NAME) != 0) {
    omx_adapter_log(OPUSDEC_TAG, 'E', " In %s OMX_ErrorInvalidComponentName %s", "OMX_ComponentInit",
                    name ? name : "(null)");
    return OMX_ErrorInvalidComponentName;
  }
  OMX_COMPONENTTYPE* component = (OMX_COMPONENTTYPE*)handle;
  OMX_ERRORTYPE err = omx_adapter_init_base(
      component, name, (OMX_U32)OMX_AUDIODEC_PRIVATE_SIZE(OPUSDEC_BOARD_PRIVATE_SIZE, omx_opusdec_component_PrivateType),
      OPUSDEC_INPUT_BUFFER_SIZE, OPUSDEC_MIME, (OMX_U32)OMX_AUDIO_CodingOPUS);
  if (err != OMX_ErrorNone) return err;
  omx_opusdec_component_PrivateType* priv = omx_adapter_private(component);
  setHeader(&priv->opus, sizeof priv->opus);
  priv->opus.nPortIndex = OMX_AUDIODEC_INPUT_PORT;
  priv->opus.nChannels = 2;
  priv->opus.nSampleRate = 48000;

  err = omx_adapter_init_finish(component, &priv->base, OPUSDEC_LIBRARY, OPUSDEC_DECODER_KIND,
                                omx_opusdec_component_GetParameter, omx_opusdec_component_SetParameter);
  if (err != OMX_ErrorNone) return err;
  priv->base.portSettingsHook = opus_port_settings;
  priv->base.openHook = opus_open;
  return OMX_ErrorNone;
}
