#ifndef TOY_ADAPTERS_H
#define TOY_ADAPTERS_H

#include "mediahost/adapter.h"

extern const mediahost::DemuxAdapter kToyDemuxAdapter;
extern const mediahost::DecoderAdapter kToyDecoderAdapter;

#endif
