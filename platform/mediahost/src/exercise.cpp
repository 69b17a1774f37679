#include "mediahost/exercise.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mediahost/host.h"
#include "mediahost/wav.h"

namespace mediahost {
namespace {

const char kInputName[] = "mem:exercise-input";

uint64_t fnv1a(const uint8_t* data, size_t size) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
  return h;
}

Faults faultsFor(uint64_t hash) {
  Faults f;
  switch (hash % 8) {
    case 0: f.failAllocAt = 1 + (hash >> 8) % 12; break;
    case 1: f.shortReadMax = 1 + (hash >> 16) % 512; break;
    case 2: f.failSeekAt = 1 + (hash >> 24) % 6; break;
    default: break;
  }
  return f;
}

// Reads every byte of a delivered payload so that a frame pointing past its
// buffer shows up under the address sanitizer.
volatile uint8_t g_sink;
void touch(const uint8_t* data, size_t size) {
  uint8_t x = 0;
  for (size_t i = 0; i < size; ++i) x ^= data[i];
  g_sink = x;
}

void checkResult(int r, const char* op) {
  if (r != kOk && r != kEnd && r != kUnsupported && r >= 0)
    Host::get().violation(std::string(op) + " returned the non-negative code " + std::to_string(r));
}

void verdict() {
  Host& h = Host::get();
  std::string leaks = h.leakReport();
  if (leaks.empty() && h.violations().empty()) return;
  fputs(leaks.c_str(), stderr);
  for (const std::string& v : h.violations()) fprintf(stderr, "violation: %s\n", v.c_str());
  abort();
}

void readFrames(DemuxSession& s, int limit) {
  for (int n = 0; n < limit; ++n) {
    Frame f;
    int r = s.next("", &f);
    checkResult(r, "next");
    if (r != kOk) return;
    if (f.size && !f.data) {
      Host::get().violation("a frame with bytes but no data pointer");
      return;
    }
    touch(f.data, f.size);
  }
}

}  // namespace

int exerciseDemux(const DemuxAdapter& adapter, KvrEntryFn entry, const uint8_t* data,
                  size_t size, const ExerciseLimits& limits) {
  Host& h = Host::get();
  h.reset();
  h.addMemoryFile(kInputName, data, size);
  uint64_t hash = fnv1a(data, size);
  h.setFaults(limits.injectFaults ? faultsFor(hash) : Faults());
  int code = 0;
  {
    std::unique_ptr<DemuxSession> s = adapter.open(entry, kInputName, &code);
    if (!s) {
      if (code >= 0) h.violation("open refused with the non-negative code " + std::to_string(code));
    } else {
      code = kOk;
      std::vector<StreamDesc> streams;
      checkResult(s->streams(&streams), "streams");
      if (!limits.openOnly) {
        readFrames(*s, limits.maxFrames);
        const long long targets[] = {0, static_cast<long long>((hash >> 32) % 600000), 1};
        for (long long t : targets) {
          long long landed = 0;
          int r = s->seek(t, static_cast<int>((hash >> 40) & 1), &landed);
          checkResult(r, "seek");
          if (r == kOk) readFrames(*s, 50);
        }
      }
      checkResult(s->close(), "close");
    }
  }
  h.removeMemoryFile(kInputName);
  h.setFaults(Faults());
  verdict();
  return code;
}

int exerciseDecoder(const DecoderAdapter& adapter, KvrEntryFn entry, const uint8_t* data,
                    size_t size, const ExerciseLimits& limits) {
  WavFormat format;
  size_t offset = 0, length = 0;
  if (!parseWav(data, size, &format, &offset, &length, nullptr)) return -1;
  Host& h = Host::get();
  h.reset();
  uint64_t hash = fnv1a(data, size);
  Faults faults = limits.injectFaults ? faultsFor(hash) : Faults();
  faults.shortReadMax = 0;
  faults.failSeekAt = 0;
  h.setFaults(faults);
  int code = 0;
  {
    std::unique_ptr<DecodeSession> s = adapter.open(entry, format, &code);
    if (!s) {
      if (code >= 0) h.violation("decoder open refused with the non-negative code " + std::to_string(code));
    } else {
      code = kOk;
      size_t chunk = 1 + (hash >> 16) % 8192;
      size_t pos = 0;
      std::vector<uint8_t> pcm;
      for (int calls = 0; pos < length && calls < limits.maxFrames; ++calls) {
        size_t avail = length - pos < chunk ? length - pos : chunk;
        size_t used = 0;
        pcm.clear();
        int r = s->decode(data + offset + pos, avail, &used, &pcm);
        if (r != kNeedMore) checkResult(r, "decode");
        touch(pcm.data(), pcm.size());
        if (r == kNeedMore) {
          if (avail == length - pos) break;
          chunk *= 2;
          continue;
        }
        if (r != kOk) break;
        if (used > avail) {
          h.violation("decoder consumed more input than it was given");
          break;
        }
        if (used == 0 && pcm.empty()) break;
        pos += used;
      }
      checkResult(s->close(), "close");
    }
  }
  h.setFaults(Faults());
  verdict();
  return code;
}

}  // namespace mediahost
