#include "pcmdec_driver.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "mediahost/host.h"
#include "pcmdec_plugin.h"

namespace pcmtest {

const mediahost::Plugin& plugin() { return loadedPlugin(PCMDEC_PATH); }

KvrEntryFn entry() { return plugin().entry(); }

Decoder::~Decoder() { close(); }

int Decoder::open(const Params& p) {
  params_ = p;
  inFormat_ = KvrWavDecInput{};
  inFormat_.sample_rate = p.rate;
  inFormat_.channels = p.channels;
  inFormat_.bits = p.bits;
  outFormat_ = KvrWavDecOutput{};
  outFormat_.interleaved = p.interleaved;
  outFormat_.bits = p.outBits;
  KvrWavDecInit init{};
  init.extra = p.extra.empty() ? nullptr : p.extra.data();
  init.extra_size = int32_t(p.extra.size());
  init.in_format = &inFormat_;
  init.out_format = &outFormat_;
  init.downmix = p.downmix;
  init.alloc = mediahost::hostMalloc;
  init.release = mediahost::hostFree;
  init.copy = mediahost::hostMemcpy;
  init.fill = mediahost::hostMemset;
  init.format = p.format;
  init.block_align = p.blockAlign;
  init.big_endian = p.bigEndian;
  init.layout = p.layout;
  return entry()(KVR_WAV_DEC_OPEN, &slot_, &init, nullptr);
}

int Decoder::decodeOnce(KvrWavDecInput* in, KvrWavDecOutput* out, std::vector<int32_t>* samples,
                        size_t capacityFrames) {
  const int channels = std::max(outFormat_.channels, 1);
  const size_t width = outFormat_.bits > 16 ? 4 : 2;
  buffers_.assign(params_.interleaved ? 1 : size_t(channels), {});
  for (size_t i = 0; i < buffers_.size(); ++i) {
    buffers_[i].assign(capacityFrames * width * (params_.interleaved ? size_t(channels) : 1), 0);
    out->buffer[i] = buffers_[i].data();
  }
  int r = entry()(KVR_WAV_DEC_DECODE, &slot_, in, out);
  if (r != 0) return r;
  lastChannels = out->channels;
  lastRate = out->sample_rate;
  auto sample = [&](size_t buffer, size_t index) -> int32_t {
    const uint8_t* b = buffers_[buffer].data();
    if (width == 4) {
      int32_t v;
      memcpy(&v, b + 4 * index, 4);
      return v;
    }
    int16_t v;
    memcpy(&v, b + 2 * index, 2);
    return v;
  };
  for (size_t f = 0; f < size_t(out->frames); ++f)
    for (size_t c = 0; c < size_t(out->channels); ++c)
      samples->push_back(params_.interleaved ? sample(0, f * size_t(out->channels) + c) : sample(c, f));
  return 0;
}

int Decoder::decodeAll(const std::vector<uint8_t>& data, size_t chunk, std::vector<int32_t>* samples) {
  size_t pos = 0, window = chunk;
  while (pos < data.size()) {
    size_t avail = std::min(window, data.size() - pos);
    // An exactly sized copy, so that a read past the window is caught.
    std::vector<uint8_t> piece(data.begin() + long(pos), data.begin() + long(pos + avail));
    KvrWavDecInput in{};
    in.data = piece.data();
    in.length = int32_t(avail);
    in.sample_rate = params_.rate;
    in.channels = params_.channels;
    KvrWavDecOutput out{};
    int r = decodeOnce(&in, &out, samples, std::max<size_t>(avail, 16384));
    if (r == KVR_WAV_DEC_ENEEDMORE) {
      if (avail == data.size() - pos) return 0;
      window *= 2;
      continue;
    }
    if (r != 0) return r;
    pos += size_t(in.data - piece.data());
    window = chunk;
  }
  return 0;
}

int Decoder::decodePackets(const std::vector<std::vector<uint8_t>>& packets,
                           std::vector<int32_t>* samples) {
  for (const auto& packet : packets) {
    std::vector<uint8_t> piece(packet);
    KvrWavDecInput in{};
    in.data = piece.data();
    in.length = int32_t(piece.size());
    in.sample_rate = params_.rate;
    in.channels = params_.channels;
    KvrWavDecOutput out{};
    int r = decodeOnce(&in, &out, samples);
    if (r != 0) return r;
  }
  return 0;
}

int Decoder::close() {
  if (!slot_) return 0;
  return entry()(KVR_WAV_DEC_CLOSE, &slot_, nullptr, nullptr);
}

// A folder of this process's own below PCMDEC_WORK_DIR, removed when the
// process ends, so tests running side by side never share a file.
std::string workDir() {
  static struct Folder {
    std::string path = std::string(PCMDEC_WORK_DIR) + "/run-XXXXXX";
    Folder() {
      mkdir(PCMDEC_WORK_DIR, 0755);
      if (!mkdtemp(&path[0])) {
        perror("mkdtemp");
        abort();
      }
    }
    ~Folder() { std::filesystem::remove_all(path); }
  } folder;
  return folder.path;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool ffmpeg(const std::string& args) {
  std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y " + args;
  return std::system(cmd.c_str()) == 0;
}

std::vector<int16_t> readS16(const std::string& path) {
  std::vector<uint8_t> b = readFile(path);
  std::vector<int16_t> v(b.size() / 2);
  memcpy(v.data(), b.data(), v.size() * 2);
  return v;
}

std::vector<int32_t> readS32(const std::string& path) {
  std::vector<uint8_t> b = readFile(path);
  std::vector<int32_t> v(b.size() / 4);
  memcpy(v.data(), b.data(), v.size() * 4);
  return v;
}

static uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
static uint32_t le32(const uint8_t* p) { return uint32_t(le16(p)) | uint32_t(le16(p + 2)) << 16; }
static uint16_t be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
static uint32_t be32(const uint8_t* p) { return uint32_t(be16(p)) << 16 | be16(p + 2); }

// Walks the chunks behind a 12-byte RIFF or FORM header (sizes in the
// file's byte order, bodies padded to even sizes, the last one cut to the
// file) until `visit(id, body, length)` returns true.
template <typename Visit>
static void walkChunks(const std::vector<uint8_t>& file, bool bigEndian, Visit visit) {
  size_t pos = 12;
  while (pos + 8 <= file.size()) {
    const uint8_t* c = file.data() + pos;
    size_t len = bigEndian ? be32(c + 4) : le32(c + 4);
    size_t body = pos + 8;
    if (body + len > file.size()) len = file.size() - body;
    if (visit(c, file.data() + body, len)) return;
    pos = body + len + (len & 1);
  }
}

bool parseWav(const std::vector<uint8_t>& file, Wav* wav) {
  if (file.size() < 12 || memcmp(file.data(), "RIFF", 4) || memcmp(file.data() + 8, "WAVE", 4)) return false;
  bool fmt = false, data = false;
  walkChunks(file, false, [&](const uint8_t* id, const uint8_t* f, size_t len) {
    if (!memcmp(id, "fmt ", 4) && len >= 16) {
      wav->tag = le16(f);
      wav->channels = le16(f + 2);
      wav->rate = le32(f + 4);
      wav->blockAlign = le16(f + 12);
      wav->bits = le16(f + 14);
      if (len >= 18) wav->extra.assign(f + 18, f + 18 + std::min<size_t>(le16(f + 16), len - 18));
      fmt = true;
    } else if (!memcmp(id, "data", 4)) {
      wav->data.assign(f, f + len);
      data = true;
    }
    return data;
  });
  return fmt && data;
}

std::vector<uint8_t> makeWav(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                             uint16_t blockAlign, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> w;
  auto u16 = [&](uint32_t v) { w.push_back(uint8_t(v)); w.push_back(uint8_t(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
  auto tagName = [&](const char* s) { w.insert(w.end(), s, s + 4); };
  tagName("RIFF");
  u32(uint32_t(4 + 8 + 16 + 8 + data.size()));
  tagName("WAVE");
  tagName("fmt ");
  u32(16);
  u16(tag);
  u16(channels);
  u32(rate);
  u32(rate * blockAlign);
  u16(blockAlign);
  u16(bits);
  tagName("data");
  u32(uint32_t(data.size()));
  w.insert(w.end(), data.begin(), data.end());
  return w;
}

static uint32_t extendedRate(const uint8_t* p) {
  // 80-bit IEEE extended: sign+exponent, then a 64-bit mantissa.
  int exponent = ((p[0] & 0x7F) << 8 | p[1]) - 16383;
  uint64_t mantissa = uint64_t(be32(p + 2)) << 32 | be32(p + 6);
  return uint32_t(std::ldexp(double(mantissa), exponent - 63) + 0.5);
}

bool parseAiff(const std::vector<uint8_t>& file, Aiff* aiff) {
  if (file.size() < 12 || memcmp(file.data(), "FORM", 4)) return false;
  bool aifc = !memcmp(file.data() + 8, "AIFC", 4);
  bool comm = false;
  walkChunks(file, true, [&](const uint8_t* id, const uint8_t* b, size_t len) {
    if (!memcmp(id, "COMM", 4) && len >= 18) {
      aiff->channels = be16(b);
      aiff->bits = be16(b + 6);
      aiff->rate = extendedRate(b + 8);
      if (aifc && len >= 22) aiff->compression.assign(reinterpret_cast<const char*>(b + 18), 4);
      comm = true;
    } else if (!memcmp(id, "SSND", 4) && len >= 8) {
      size_t offset = be32(b);
      aiff->data.assign(b + 8 + std::min(offset, len - 8), b + len);
    }
    return false;
  });
  return comm && !aiff->data.empty();
}

// PES payloads of the one private stream in an m2ts file.
std::vector<std::vector<uint8_t>> bdPayloads(const std::vector<uint8_t>& m2ts) {
  std::map<int, std::vector<uint8_t>> open;
  std::vector<std::vector<uint8_t>> done;
  auto finish = [&](std::vector<uint8_t>& pes) {
    if (pes.size() > 9 && pes[0] == 0 && pes[1] == 0 && pes[2] == 1 && pes[3] == 0xBD) {
      size_t start = 9 + size_t(pes[8]);
      if (start < pes.size()) done.emplace_back(pes.begin() + long(start), pes.end());
    }
    pes.clear();
  };
  for (size_t pos = 0; pos + 192 <= m2ts.size(); pos += 192) {
    const uint8_t* p = m2ts.data() + pos + 4;
    if (p[0] != 0x47) continue;
    int pid = (p[1] & 0x1F) << 8 | p[2];
    bool start = p[1] & 0x40;
    int afc = p[3] >> 4 & 3;
    size_t off = 4;
    if (afc & 2) off += 1 + size_t(p[4]);
    if (!(afc & 1) || off >= 188) continue;
    if (start) finish(open[pid]);
    if (start || !open[pid].empty()) open[pid].insert(open[pid].end(), p + off, p + 188);
  }
  for (auto& kv : open) finish(kv.second);
  return done;
}

std::vector<uint8_t> dvdLpcmData(const std::vector<uint8_t>& ps) {
  std::vector<uint8_t> data;
  size_t pos = 0;
  while (pos + 6 <= ps.size()) {
    const uint8_t* p = ps.data() + pos;
    if (p[0] != 0 || p[1] != 0 || p[2] != 1) {
      ++pos;
      continue;
    }
    if (p[3] == 0xBA) {  // pack header, with its stuffing
      if (pos + 14 > ps.size()) break;
      pos += 14 + (p[13] & 7);
      continue;
    }
    size_t end = std::min(ps.size(), pos + 6 + be16(p + 4));
    // Private stream 1, LPCM sub-stream: sub-stream id, frame count, first
    // access unit pointer and the 3-byte LPCM header come before the samples.
    if (p[3] == 0xBD && pos + 9 <= end) {
      size_t start = pos + 9 + p[8];
      if (start + 7 <= end && (ps[start] & 0xF8) == 0xA0)
        data.insert(data.end(), ps.begin() + long(start + 7), ps.begin() + long(end));
    }
    pos = end;
  }
  return data;
}

double snrDb(const std::vector<int32_t>& reference, const std::vector<int32_t>& test) {
  double signal = 0, noise = 0;
  size_t n = std::min(reference.size(), test.size());
  for (size_t i = 0; i < n; ++i) {
    double d = double(reference[i]) - double(test[i]);
    signal += double(reference[i]) * double(reference[i]);
    noise += d * d;
  }
  if (noise == 0) return 1e9;
  return 10 * std::log10(signal / noise);
}

}  // namespace pcmtest
