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

static omx_opusdec_component_PrivateType* opus_private(OMX_HANDLETYPE handle)
{
  OMX_COMPONENTTYPE* c = (OMX_COMPONENTTYPE*)handle;
  return c ? (omx_opusdec_component_PrivateType*)c->pComponentPrivate : NULL;
}

static OMX_ERRORTYPE omx_opusdec_component_GetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                        OMX_PTR record)
{
  omx_opusdec_component_PrivateType* priv = opus_private(handle);
  if (!record || !priv) return OMX_ErrorBadParameter;
  OMX_ERRORTYPE err;
  switch ((uint32_t)index) {
  case OMX_IndexParamStandardComponentRole:
    return omx_adapter_get_role(record, OPUSDEC_ROLE);
  case OMX_IndexParamAudioPcm: {
    if ((err = checkHeader(record, sizeof(OMX_AUDIO_PARAM_PCMMODETYPE))) != OMX_ErrorNone) return err;
    OMX_AUDIO_PARAM_PCMMODETYPE* pcm = (OMX_AUDIO_PARAM_PCMMODETYPE*)record;
    if (pcm->nPortIndex != OMX_AUDIODEC_OUTPUT_PORT) return OMX_ErrorBadPortIndex;
    *pcm = priv->base.pcmOut;
    return OMX_ErrorNone;
  }
  case OMX_IndexParamAudioOpus: {
    if ((err = checkHeader(record, sizeof(OMX_AUDIO_PARAM_OPUSTYPE))) != OMX_ErrorNone) return err;
    OMX_AUDIO_PARAM_OPUSTYPE* o = (OMX_AUDIO_PARAM_OPUSTYPE*)record;
    if (o->nPortIndex != OMX_AUDIODEC_INPUT_PORT) return OMX_ErrorBadPortIndex;
    *o = priv->opus;
    return OMX_ErrorNone;
  }
  default:
    return omx_audiodec_component_GetParameter(handle, index, record);
  }
}

static OMX_ERRORTYPE omx_opusdec_component_SetParameter(OMX_HANDLETYPE handle, OMX_INDEXTYPE index,
                                                        OMX_PTR record)
{
  omx_opusdec_component_PrivateType* priv = opus_private(handle);
  if (!record || !priv) return OMX_ErrorBadParameter;
  OMX_ERRORTYPE err;
  switch ((uint32_t)index) {
  case OMX_IndexParamStandardComponentRole:
    return omx_adapter_set_role(record, OPUSDEC_ROLE);
  case OMX_IndexParamAudioPcm: {
    const OMX_AUDIO_PARAM_PCMMODETYPE* pcm = (const OMX_AUDIO_PARAM_PCMMODETYPE*)record;
    if (pcm->nSamplingRate > priv->base.nMaxSampleRate) {
      omx_adapter_log(OPUSDEC_TAG, 'E', " This system doesn't support over %dHz sampling rate!",
                      (int)priv->base.nMaxSampleRate);
      return OMX_ErrorUnsupportedSetting;
    }
    err = omx_base_component_ParameterSanityCheck(handle, pcm->nPortIndex, record, sizeof *pcm);
    if (err != OMX_ErrorNone) return err;
    if (pcm->nPortIndex == OMX_AUDIODEC_INPUT_PORT) return OMX_ErrorBadPortIndex;
    priv->base.pcmOut = *pcm;
    return OMX_ErrorNone;
  }
  case OMX_IndexParamAudioOpus: {
    const OMX_AUDIO_PARAM_OPUSTYPE* o = (const OMX_AUDIO_PARAM_OPUSTYPE*)record;
    err = omx_base_component_ParameterSanityCheck(handle, OMX_AUDIODEC_INPUT_PORT, record, sizeof *o);
    if (err != OMX_ErrorNone) return err;
    if (o->nPortIndex != OMX_AUDIODEC_INPUT_PORT) return OMX_ErrorBadPortIndex;
    /* Refused before anything is stored: a refused stream leaves the
     * component as it was, and the client hears an OpenMAX error. */
    if (o->nChannels > OPUSDEC_MAX_CHANNELS) return OMX_ErrorUnsupportedSetting;
    priv->opus = *o;
    priv->base.inFormat.channels = priv->base.outFormat.channels = (int32_t)o->nChannels;
    priv->base.inFormat.sample_rate = priv->base.outFormat.sample_rate = (int32_t)o->nSampleRate;
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
  omx_adapter_update_pcm_out(base);
  if (base->outFormat.channels > 0) priv->opus.nChannels = (OMX_U32)base->outFormat.channels;
  if (base->outFormat.sample_rate > 0) priv->opus.nSampleRate = (OMX_U32)base->outFormat.sample_rate;
}

OMX_ADAPTER_EXPORT OMX_ERRORTYPE OMX_ComponentInit(OMX_HANDLETYPE handle, OMX_STRING name)
{
  if (!name || strcmp(name, OPUSDEC_NAME) != 0) {
    omx_adapter_log(OPUSDEC_TAG, 'E', " In %s OMX_ErrorInvalidComponentName %s", "OMX_ComponentInit",
                    name ? name : "(null)");
    return OMX_ErrorInvalidComponentName;
  }
  OMX_COMPONENTTYPE* component = (OMX_COMPONENTTYPE*)handle;
  OMX_ERRORTYPE err = omx_audiodec_component_Init(
      component, name,
      (OMX_U32)OMX_AUDIODEC_PRIVATE_SIZE(OPUSDEC_BOARD_PRIVATE_SIZE, omx_opusdec_component_PrivateType));
  if (err != OMX_ErrorNone) return err;
  omx_opusdec_component_PrivateType* priv = opus_private(component);
  omx_adapter_setup_input(&priv->base, OPUSDEC_INPUT_BUFFER_SIZE, OPUSDEC_MIME, (OMX_U32)OMX_AUDIO_CodingOPUS);
  setHeader(&priv->opus, sizeof priv->opus);
  priv->opus.nPortIndex = OMX_AUDIODEC_INPUT_PORT;
  priv->opus.nChannels = 2;
  priv->opus.nSampleRate = 48000;

  if (omx_audiodec_component_library_Load(&priv->base, OPUSDEC_LIBRARY) != OMX_ErrorNone)
    return OMX_ErrorInsufficientResources;

  component->GetParameter = omx_opusdec_component_GetParameter;
  component->SetParameter = omx_opusdec_component_SetParameter;
  priv->base.portSettingsHook = opus_port_settings;
  priv->base.openHook = opus_open;
  priv->base.nDecoderKind = OPUSDEC_DECODER_KIND;
  priv->base.nOutputSampleBytes = 2;
  priv->base.nDecodeErrors = 0;
  return OMX_ErrorNone;
}
