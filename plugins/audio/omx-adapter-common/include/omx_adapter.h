#ifndef OMX_ADAPTER_H
#define OMX_ADAPTER_H
/* Shared by the audio decoder components: the colour-framed log lines on
 * standard output, the output channel rule and the output-port update. */

#include <stdarg.h>
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

#endif
