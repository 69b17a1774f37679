#pragma once
// Helpers of the caption renderer's tests: temporary folders with the test
// font, captured log lines, a guarded pixel canvas and a PNG writer.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fonttest {

// Debian's CJK fallback font, installed under the name the renderer opens.
extern const char kSystemFont[];
extern const char kFontFileName[];

// A fresh folder below $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Creates `dir` (and its parents) and copies the test font into it under the
// renderer's file name. Returns false when the font could not be copied.
bool installFont(const std::string& dir);
bool makeDirs(const std::string& dir);

// Captures the utility library's log lines while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    const std::vector<std::pair<int, std::string>>& lines() const { return lines_; }
    bool contains(int level, const std::string& line) const;
    void clear() { lines_.clear(); }

private:
    static void sink(int level, const char* line, void* user);
    std::vector<std::pair<int, std::string>> lines_;
};

// A width x height region with rows `stride` pixels apart, inside a larger
// allocation: a guard row above and below, and the stride padding, all
// pre-filled with a sentinel so that any write outside the region shows.
class Canvas {
public:
    static constexpr uint32_t kSentinel = 0xDEADBEEFu;

    Canvas(uint32_t width, uint32_t height, uint32_t stride = 0, uint32_t fill = 0);

    uint32_t* origin() { return origin_; }
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    uint32_t stride() const { return stride_; }
    uint32_t& at(uint32_t x, uint32_t y) { return origin_[static_cast<size_t>(y) * stride_ + x]; }
    uint32_t at(uint32_t x, uint32_t y) const { return origin_[static_cast<size_t>(y) * stride_ + x]; }
    void fill(uint32_t value);

    // Makes this canvas the drawing layer's destination, directly or through
    // the renderer's own forwarding calls.
    void bind();
    void bindRenderer();
    // True while nothing outside the region has been written.
    bool guardsIntact() const;
    // Rows of the region as text: each pixel through `legend` (value -> char),
    // '?' for values it lacks.
    std::vector<std::string> picture(const std::vector<std::pair<uint32_t, char>>& legend) const;
    // The bounding box of the pixels equal to `value`: {x0, y0, x1, y1} with
    // exclusive ends, or all zero when there are none.
    std::vector<uint32_t> boundsOf(uint32_t value) const;
    size_t count(uint32_t value) const;

private:
    uint32_t width_, height_, stride_;
    std::vector<uint32_t> mem_;
    uint32_t* origin_;
};

// Writes 32-bit 0xAARRGGBB pixels as an RGBA PNG file.
bool writePng(const std::string& path, const uint32_t* pixels, uint32_t width, uint32_t height,
              uint32_t stride);

}  // namespace fonttest
