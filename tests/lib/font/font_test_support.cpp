#include "font_test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "kvr_font.h"
#include "temp_dir.h"
#include "kvr_fontDraw.h"
#include "kvr_mw.h"

namespace fonttest {

const char kSystemFont[] = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf";
const char kFontFileName[] = "DroidSansFallback_OzB.ttf";

TempDir::TempDir() : path_(testsupport::makeTempDir("ozbfont")) {}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

bool makeDirs(const std::string& dir)
{
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        partial = dir.substr(0, pos);
        if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool installFont(const std::string& dir)
{
    if (!makeDirs(dir))
        return false;
    std::ifstream in(kSystemFont, std::ios::binary);
    std::ofstream out(dir + "/" + kFontFileName, std::ios::binary);
    if (!in || !out)
        return false;
    out << in.rdbuf();
    return static_cast<bool>(out);
}

LogCapture::LogCapture()
{
    kvr_mw_set_log_sink(&LogCapture::sink, this);
}

LogCapture::~LogCapture()
{
    kvr_mw_set_log_sink(nullptr, nullptr);
}

void LogCapture::sink(int level, const char* line, void* user)
{
    static_cast<LogCapture*>(user)->lines_.emplace_back(level, line);
}

bool LogCapture::contains(int level, const std::string& line) const
{
    for (const auto& l : lines_)
        if (l.first == level && l.second == line)
            return true;
    return false;
}

Canvas::Canvas(uint32_t width, uint32_t height, uint32_t stride, uint32_t fillValue)
    : width_(width), height_(height), stride_(stride ? stride : width),
      mem_(static_cast<size_t>(height + 2) * stride_, kSentinel), origin_(mem_.data() + stride_)
{
    fill(fillValue);
}

void Canvas::fill(uint32_t value)
{
    for (uint32_t y = 0; y < height_; ++y)
        for (uint32_t x = 0; x < width_ && x < stride_; ++x)
            at(x, y) = value;
}

void Canvas::bind()
{
    kvr_fontDraw_setDestBuf(origin_);
    kvr_fontDraw_setDestRegion(width_, height_, stride_);
}

void Canvas::bindRenderer()
{
    kvr_font_setDestBuf(origin_);
    kvr_font_setDestRegion(width_, height_, stride_);
}

bool Canvas::guardsIntact() const
{
    const size_t begin = stride_;
    for (size_t i = 0; i < mem_.size(); ++i) {
        const bool inRows = i >= begin && i < begin + static_cast<size_t>(height_) * stride_;
        const bool inRegion = inRows && (i - begin) % stride_ < width_;
        if (!inRegion && mem_[i] != kSentinel)
            return false;
    }
    return true;
}

std::vector<std::string> Canvas::picture(const std::vector<std::pair<uint32_t, char>>& legend) const
{
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < height_; ++y) {
        std::string row;
        for (uint32_t x = 0; x < width_; ++x) {
            char c = '?';
            for (const auto& l : legend)
                if (l.first == at(x, y))
                    c = l.second;
            row += c;
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<uint32_t> Canvas::boundsOf(uint32_t value) const
{
    uint32_t x0 = UINT32_MAX, y0 = UINT32_MAX, x1 = 0, y1 = 0;
    for (uint32_t y = 0; y < height_; ++y)
        for (uint32_t x = 0; x < width_; ++x)
            if (at(x, y) == value) {
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x + 1);
                y1 = std::max(y1, y + 1);
            }
    if (x1 == 0)
        return {0, 0, 0, 0};
    return {x0, y0, x1, y1};
}

size_t Canvas::count(uint32_t value) const
{
    size_t n = 0;
    for (uint32_t y = 0; y < height_; ++y)
        for (uint32_t x = 0; x < width_; ++x)
            n += at(x, y) == value;
    return n;
}

namespace {

uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put32(std::vector<uint8_t>& v, uint32_t x)
{
    v.push_back(x >> 24);
    v.push_back(x >> 16);
    v.push_back(x >> 8);
    v.push_back(x);
}

void chunk(std::vector<uint8_t>& file, const char type[4], const std::vector<uint8_t>& data)
{
    put32(file, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    file.insert(file.end(), body.begin(), body.end());
    put32(file, crc32(body.data(), body.size()));
}

}  // namespace

bool writePng(const std::string& path, const uint32_t* pixels, uint32_t width, uint32_t height,
              uint32_t stride)
{
    // Filter byte 0 and RGBA per row, kept in stored (uncompressed) deflate
    // blocks: large files, but no compressor needed.
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(height) * (width * 4 + 1));
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t p = pixels[static_cast<size_t>(y) * stride + x];
            raw.push_back(p >> 16);
            raw.push_back(p >> 8);
            raw.push_back(p);
            raw.push_back(p >> 24);
        }
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    size_t pos = 0;
    do {
        const size_t n = std::min<size_t>(65535, raw.size() - pos);
        z.push_back(pos + n == raw.size() ? 1 : 0);
        z.push_back(n & 0xFF);
        z.push_back(n >> 8);
        z.push_back(~n & 0xFF);
        z.push_back((~n >> 8) & 0xFF);
        z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
        pos += n;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    put32(ihdr, width);
    put32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    chunk(file, "IHDR", ihdr);
    chunk(file, "IDAT", z);
    chunk(file, "IEND", {});
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

}  // namespace fonttest
