#ifndef ES_BIT_WRITER_H
#define ES_BIT_WRITER_H
// Builds header bytes field by field for the parser tests and seeds.
#include <cstdint>
#include <initializer_list>
#include <vector>

class BitWriter {
 public:
  BitWriter& put(uint64_t value, int bits) {
    for (int i = bits - 1; i >= 0; i--) bit(int((value >> i) & 1));
    return *this;
  }
  BitWriter& ue(uint32_t v) {
    uint64_t x = uint64_t(v) + 1;
    int len = 0;
    while ((x >> len) > 1) len++;
    put(0, len);
    return put(x, len + 1);
  }
  BitWriter& se(int32_t v) { return ue(v > 0 ? uint32_t(2 * v - 1) : uint32_t(-2 * int64_t(v))); }
  BitWriter& bytes(std::initializer_list<uint8_t> list) {
    for (uint8_t b : list) put(b, 8);
    return *this;
  }
  // Pads with one bits up to a byte boundary (stop bit and trailing ones
  // keep emulation prevention out of the way).
  BitWriter& align(int fill = 0) {
    while (nbits_ % 8) bit(fill);
    return *this;
  }
  std::vector<uint8_t> data() const { return buf_; }

 private:
  void bit(int b) {
    if (nbits_ % 8 == 0) buf_.push_back(0);
    if (b) buf_.back() |= uint8_t(0x80 >> (nbits_ % 8));
    nbits_++;
  }
  std::vector<uint8_t> buf_;
  size_t nbits_ = 0;
};

// A NAL unit with a start code: header bytes, then the payload with
// emulation prevention inserted.
inline std::vector<uint8_t> nalUnit(std::initializer_list<uint8_t> header, const std::vector<uint8_t>& rbsp) {
  std::vector<uint8_t> out = {0, 0, 0, 1};
  out.insert(out.end(), header.begin(), header.end());
  int zeros = 0;
  for (uint8_t b : rbsp) {
    if (zeros >= 2 && b <= 3) {
      out.push_back(3);
      zeros = 0;
    }
    out.push_back(b);
    zeros = b == 0 ? zeros + 1 : 0;
  }
  return out;
}

inline std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

#endif
