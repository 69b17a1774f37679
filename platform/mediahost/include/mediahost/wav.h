#ifndef MEDIAHOST_WAV_H
#define MEDIAHOST_WAV_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "mediahost/adapter.h"

namespace mediahost {

// Finds the format and data chunks of a RIFF/WAVE image. The data chunk is
// clamped to the image (files written while streaming often carry a bogus
// length). False with a message in `error` when the image is not usable.
bool parseWav(const uint8_t* data, size_t size, WavFormat* format, size_t* dataOffset,
              size_t* dataSize, std::string* error);

}  // namespace mediahost

#endif
