#ifndef OMX_ADAPTER_H
#define OMX_ADAPTER_H
/* Shared by the audio decoder components: the colour-framed log lines on
 * standard output, the output channel rule, the output-port update, the
 * parameter records both ports share and the steps of OMX_ComponentInit. */

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "omx_audiodec_component.h"

#define OMX_ADAPTER_EXPORT __attribute__((visibility("default")))

#define OMX_ADAPTER_RED "\33[31m"
#define OMX_ADAPTER_GREEN "\33[32m"
#define OMX_ADAPTER_MAGENTA "\33[35m"

/* One message: colour, tag and level ("[OMXWAVDEC:" "E" "]"), the text, then
 * the colour reset on a line of its own. */
static inline void omx_adapter_log(const char* tag, char level, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
static inline void omx_adapter_log(const char* tag, char level, const char* fmt, ...)
{
  const char* colour = level == 'E' ? OMX_ADAPTER_RED
                       : level == 'W' ? OMX_ADAPTER_MAGENTA
                                      : OMX_ADAPTER_GREEN;
  va_list ap;
  va_start(ap, fmt);
  printf("%s%s%c]", colour, tag, level);
  vprintf(fmt, ap);
  printf("\n\33[0m\n");
  va_end(ap);
  fflush(stdout);
}

/* The component's private record (the base's record first, the
 * component's own fields after it), null for a null handle. */
static inline void* omx_adapter_private(OMX_HANDLETYPE handle)
{
  OMX_COMPONENTTYPE* c = (OMX_COMPONENTTYPE*)handle;
  return c ? c->pComponentPrivate : NULL;
}

/* Whether Init was asked for this component's `expected` name; a wrong or
 * missing name is logged. */
static inline int omx_adapter_name_matches(const char* name, const char* expected, const char* tag)
{
  if (name && strcmp(name, expected) == 0) return 1;
  omx_adapter_log(tag, 'E', " OMX_ErrorInvalidComponentName %s", name ? name : "(null)");
  return 0;
}

/* More than two input channels: two output channels when the base is asked
 * to down-mix, else all of them ("multichannel out"). Fewer leave the output
 * as it is. */
static inline void omx_adapter_channel_rule(omx_audiodec_component_PrivateType* priv,
                                            OMX_U32 inputChannels, const char* tag)
{
  if (inputChannels <= 2) return;
  const OMX_U32 out = priv->bDownmix == 1 ? 2 : inputChannels;
  if (priv->bDownmix != 1) omx_adapter_log(tag, 'I', " multichannel out");
  priv->outFormat.channels = (int32_t)out;
  priv->pcmOut.nChannels = out;
}

/* The port-settings step every component shares: the decoder's channel
 * count and rate into the output port's PCM record. */
static inline void omx_adapter_update_pcm_out(omx_audiodec_component_PrivateType* priv)
{
  if (priv->outFormat.channels > 0) priv->pcmOut.nChannels = (OMX_U32)priv->outFormat.channels;
  if (priv->outFormat.sample_rate > 0) priv->pcmOut.nSamplingRate = (OMX_U32)priv->outFormat.sample_rate;
}

/* Role record (136 bytes) holding `role`. */
static inline OMX_ERRORTYPE omx_adapter_get_role(OMX_PTR record, const char* role)
{
  OMX_ERRORTYPE err = checkHeader(record, sizeof(OMX_PARAM_COMPONENTROLETYPE));
  if (err != OMX_ErrorNone) return err;
  OMX_PARAM_COMPONENTROLETYPE* r = (OMX_PARAM_COMPONENTROLETYPE*)record;
  memset(r->cRole, 0, sizeof r->cRole);
  strncpy((char*)r->cRole, role, sizeof r->cRole - 1);
  return OMX_ErrorNone;
}

static inline OMX_ERRORTYPE omx_adapter_set_role(OMX_PTR record, const char* role)
{
  const OMX_PARAM_COMPONENTROLETYPE* r = (const OMX_PARAM_COMPONENTROLETYPE*)record;
  return strncmp((const char*)r->cRole, role, sizeof r->cRole) == 0 ? OMX_ErrorNone
                                                                   : OMX_ErrorBadParameter;
}

/* Input port setup shared by Init: buffer size, MIME type and coding. */
static inline void omx_adapter_setup_input(omx_audiodec_component_PrivateType* priv,
                                           OMX_U32 bufferSize, const char* mime,
                                           OMX_U32 coding)
{
  OMX_PARAM_PORTDEFINITIONTYPE* def = &priv->ports[OMX_AUDIODEC_INPUT_PORT].sPortParam;
  def->nBufferSize = bufferSize;
  def->format.audio.cMIMEType = (OMX_STRING)mime;
  def->format.audio.eEncoding = coding;
}

/* Where a port's parameter record names its port: after the size and the
 * version, in every record that has one. */
static inline OMX_U32 omx_adapter_port_of(const void* record)
{
  OMX_U32 port;
  memcpy(&port, (const char*)record + offsetof(OMX_AUDIO_PARAM_PCMMODETYPE, nPortIndex), sizeof port);
  return port;
}

/* GetParameter of the output port's PCM record. */
static inline OMX_ERRORTYPE omx_adapter_get_pcm_out(const omx_audiodec_component_PrivateType* priv,
                                                    OMX_PTR record)
{
  OMX_ERRORTYPE err = checkHeader(record, sizeof(OMX_AUDIO_PARAM_PCMMODETYPE));
  if (err != OMX_ErrorNone) return err;
  OMX_AUDIO_PARAM_PCMMODETYPE* pcm = (OMX_AUDIO_PARAM_PCMMODETYPE*)record;
  if (pcm->nPortIndex != OMX_AUDIODEC_OUTPUT_PORT) return OMX_ErrorBadPortIndex;
  *pcm = priv->pcmOut;
  return OMX_ErrorNone;
}

/* SetParameter's checks of a PCM record for either port: a rate above the
 * system's most is refused (and logged), then the base's sanity check. */
static inline OMX_ERRORTYPE omx_adapter_check_pcm(OMX_HANDLETYPE handle,
                                                  const omx_audiodec_component_PrivateType* priv,
                                                  const OMX_AUDIO_PARAM_PCMMODETYPE* pcm, const char* tag)
{
  if (pcm->nSamplingRate > priv->nMaxSampleRate) {
    omx_adapter_log(tag, 'E', " This system doesn't support over %dHz sampling rate!",
                    (int)priv->nMaxSampleRate);
    return OMX_ErrorUnsupportedSetting;
  }
  return omx_base_component_ParameterSanityCheck(handle, pcm->nPortIndex, (OMX_PTR)pcm, sizeof *pcm);
}

/* SetParameter of the output port's PCM record, where the input port takes
 * a codec record instead. */
static inline OMX_ERRORTYPE omx_adapter_set_pcm_out(OMX_HANDLETYPE handle,
                                                    omx_audiodec_component_PrivateType* priv,
                                                    OMX_PTR record, const char* tag)
{
  const OMX_AUDIO_PARAM_PCMMODETYPE* pcm = (const OMX_AUDIO_PARAM_PCMMODETYPE*)record;
  OMX_ERRORTYPE err = omx_adapter_check_pcm(handle, priv, pcm, tag);
  if (err != OMX_ErrorNone) return err;
  if (pcm->nPortIndex == OMX_AUDIODEC_INPUT_PORT) return OMX_ErrorBadPortIndex;
  priv->pcmOut = *pcm;
  return OMX_ErrorNone;
}

/* GetParameter of the input port's codec record (`size` bytes kept at
 * `stored`). */
static inline OMX_ERRORTYPE omx_adapter_get_input_record(OMX_PTR record, const void* stored, OMX_U32 size)
{
  OMX_ERRORTYPE err = checkHeader(record, size);
  if (err != OMX_ErrorNone) return err;
  if (omx_adapter_port_of(record) != OMX_AUDIODEC_INPUT_PORT) return OMX_ErrorBadPortIndex;
  memcpy(record, stored, size);
  return OMX_ErrorNone;
}

/* SetParameter's checks of the input port's codec record of `size` bytes. */
static inline OMX_ERRORTYPE omx_adapter_check_input_record(OMX_HANDLETYPE handle, OMX_PTR record,
                                                           OMX_U32 size)
{
  OMX_ERRORTYPE err = omx_base_component_ParameterSanityCheck(handle, OMX_AUDIODEC_INPUT_PORT, record, size);
  if (err != OMX_ErrorNone) return err;
  return omx_adapter_port_of(record) != OMX_AUDIODEC_INPUT_PORT ? OMX_ErrorBadPortIndex : OMX_ErrorNone;
}

/* The stream's channel count and rate, from the codec record, as the
 * decoder's input and (until it says otherwise) output format. */
static inline void omx_adapter_stream_format(omx_audiodec_component_PrivateType* priv, OMX_U32 channels,
                                             OMX_U32 sampleRate)
{
  priv->inFormat.channels = priv->outFormat.channels = (int32_t)channels;
  priv->inFormat.sample_rate = priv->outFormat.sample_rate = (int32_t)sampleRate;
}

/* The port-settings step of a component with a codec record: the output
 * PCM record, then the codec record's channel count and rate. */
static inline void omx_adapter_update_stream(omx_audiodec_component_PrivateType* priv, OMX_U32* channels,
                                             OMX_U32* sampleRate)
{
  omx_adapter_update_pcm_out(priv);
  if (priv->outFormat.channels > 0) *channels = (OMX_U32)priv->outFormat.channels;
  if (priv->outFormat.sample_rate > 0) *sampleRate = (OMX_U32)priv->outFormat.sample_rate;
}

/* Init's first step once the name is checked: the base over a component
 * record of `privateSize` bytes, then the input port's setup. */
static inline OMX_ERRORTYPE omx_adapter_init_base(OMX_COMPONENTTYPE* component, OMX_STRING name,
                                                  OMX_U32 privateSize, OMX_U32 bufferSize,
                                                  const char* mime, OMX_U32 coding)
{
  OMX_ERRORTYPE err = omx_audiodec_component_Init(component, name, privateSize);
  if (err != OMX_ErrorNone) return err;
  omx_audiodec_component_PrivateType* priv = (omx_audiodec_component_PrivateType*)component->pComponentPrivate;
  omx_adapter_setup_input(priv, bufferSize, mime, coding);
  return OMX_ErrorNone;
}

/* Init's last step: the decoder library, then the component's parameter
 * calls and the base's settings for a 16-bit output. The component sets its
 * hooks after it. */
static inline OMX_ERRORTYPE omx_adapter_init_finish(OMX_COMPONENTTYPE* component,
                                                    omx_audiodec_component_PrivateType* priv,
                                                    const char* library, OMX_U32 decoderKind,
                                                    OMX_ERRORTYPE (*getParameter)(OMX_HANDLETYPE, OMX_INDEXTYPE, OMX_PTR),
                                                    OMX_ERRORTYPE (*setParameter)(OMX_HANDLETYPE, OMX_INDEXTYPE, OMX_PTR))
{
  if (omx_audiodec_component_library_Load(priv, library) != OMX_ErrorNone)
    return OMX_ErrorInsufficientResources;
  component->GetParameter = getParameter;
  component->SetParameter = setParameter;
  priv->nDecoderKind = decoderKind;
  priv->nOutputSampleBytes = 2;
  priv->nDecodeErrors = 0;
  return OMX_ErrorNone;
}

#endif
