#pragma once
// Status pictures on the framebuffer, shared by both board tools.

namespace micom {

constexpr const char kFbPath[] = "/dev/fb0";

// Geometry assumed when the framebuffer path is a plain file (a development
// root), where the screen-information ioctls do not answer.
constexpr unsigned kFallbackXres = 720;
constexpr unsigned kFallbackYres = 480;

// Asks the framebuffer for 32 bits per pixel on a 720 x 480 mm panel.
// Returns 0, or -1 when the device cannot be opened or refuses the settings.
int fb_display_init();

// Clears the screen and draws the 24-bit BMP file `path` centred. Returns 0
// when it was drawn, -1 (with a message, the screen untouched) otherwise.
int fb_display_draw_bmp(const char* path);

}  // namespace micom
