#ifndef MEDIAHOST_ADAPTER_H
#define MEDIAHOST_ADAPTER_H
// Per-library adapters. Each library orders its open record and its
// operations in its own way; an adapter turns them into the host's small
// session interfaces. An adapter lives in its own file under adapters/ and
// registers itself with MEDIAHOST_REGISTER_DEMUX or MEDIAHOST_REGISTER_DECODER;
// the host picks the adapter whose entry name is the library's slot-0 entry.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kvr_plugin.h"

namespace mediahost {

class Plugin;

// Results of the session calls besides the library's own negative codes.
enum SessionResult : int {
  kOk = 0,
  kEnd = 1,         // no further frame
  kNeedMore = 2,    // decoder: give more input
};
// Returned by the optional calls that an adapter does not offer. Positive so
// it cannot be mistaken for a library code.
constexpr int kUnsupported = 1000;

// One stream as `info` prints it: kind, track, then key=value fields. Field
// names follow ffprobe's -show_streams names where one exists (codec_name,
// sample_rate, channels, width, height, bits_per_sample, nb_frames ...), so
// the comparer can check them; other names are printed but not compared.
struct StreamDesc {
  std::string kind;  // "video", "audio", "subtitle", "data" ...
  long long track = 0;
  std::vector<std::pair<std::string, std::string>> fields;
};

// One delivered frame. `data` stays valid until the next session call.
struct Frame {
  std::string kind;
  long long track = 0;
  long long timeMs = 0;
  int key = -1;  // 1/0, or -1 where the library gives no key flag
  // Where the library tells the key flag only through a call that reads the
  // payload, the adapter sets keyQuery (with keySession, its own session)
  // instead of key. The host asks through keyFlag() only where it reports the
  // flag, before the next session call, so plain reading pays nothing for it.
  int (*keyQuery)(const void* keySession, const Frame& frame) = nullptr;
  const void* keySession = nullptr;
  int keyFlag() const { return keyQuery ? keyQuery(keySession, *this) : key; }
  const uint8_t* data = nullptr;
  size_t size = 0;
};

class DemuxSession {
 public:
  virtual ~DemuxSession() = default;
  virtual int streams(std::vector<StreamDesc>* out) = 0;
  // kOk with a frame, kEnd, or a negative library code. `kind` is empty for
  // "any", else the kind the host asks for (--kind).
  virtual int next(const std::string& kind, Frame* frame) = 0;
  // Seeks to `targetMs` with library-specific `flags`; kOk with the landed
  // time in milliseconds, or a negative library code.
  virtual int seek(long long targetMs, int flags, long long* landedMs) = 0;
  virtual int select(const std::string& kind, long long track) { return kUnsupported; }
  // Closes the library handle; the session is dead afterwards. The
  // destructor closes a session that was not closed.
  virtual int close() = 0;
};

struct DemuxAdapter {
  const char* entryName;  // the entry that slot 0 must hold, e.g. "KVR_APE_DMX"
  const char* format;     // short name for messages
  // Opens `path` (a file name that the host's fopen understands). On a
  // refusal returns null and sets `*code` to the library's negative code.
  std::unique_ptr<DemuxSession> (*open)(KvrEntryFn entry, const std::string& path, int* code);
};

// Format of a WAV file as its format chunk gives it.
struct WavFormat {
  uint16_t formatTag = 0;      // for WAVE_FORMAT_EXTENSIBLE: the sub-format's tag
  bool extensible = false;
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint32_t byteRate = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint16_t validBits = 0;      // extensible only
  uint32_t channelMask = 0;    // extensible only
  std::vector<uint8_t> extra;  // bytes after cbSize (the codec's own extension)
};

class DecodeSession {
 public:
  virtual ~DecodeSession() = default;
  // Decodes from `data` (`size` bytes available). Sets `*consumed` to the
  // input bytes used and appends interleaved little-endian samples to `pcm`.
  // kOk, kNeedMore (nothing consumed; more input is wanted) or a negative code.
  virtual int decode(const uint8_t* data, size_t size, size_t* consumed,
                     std::vector<uint8_t>* pcm) = 0;
  virtual int close() = 0;
};

struct DecoderAdapter {
  const char* entryName;  // e.g. "KVR_WAV_DEC"
  const char* format;
  std::unique_ptr<DecodeSession> (*open)(KvrEntryFn entry, const WavFormat& format, int* code);
};

void registerDemuxAdapter(const DemuxAdapter* adapter);
void registerDecoderAdapter(const DecoderAdapter* adapter);
const std::vector<const DemuxAdapter*>& demuxAdapters();
const std::vector<const DecoderAdapter*>& decoderAdapters();

// The adapter whose entry is the plug-in's slot-0 entry, or null.
const DemuxAdapter* findDemuxAdapter(const Plugin& plugin);
const DecoderAdapter* findDecoderAdapter(const Plugin& plugin);

}  // namespace mediahost

#define MEDIAHOST_CONCAT2(a, b) a##b
#define MEDIAHOST_CONCAT(a, b) MEDIAHOST_CONCAT2(a, b)
#define MEDIAHOST_REGISTER_DEMUX(adapter)                                  \
  static const bool MEDIAHOST_CONCAT(mediahost_registered_, __LINE__) =    \
      (::mediahost::registerDemuxAdapter(&(adapter)), true)
#define MEDIAHOST_REGISTER_DECODER(adapter)                                \
  static const bool MEDIAHOST_CONCAT(mediahost_registered_, __LINE__) =    \
      (::mediahost::registerDecoderAdapter(&(adapter)), true)

#endif
