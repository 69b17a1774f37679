// Writes the fuzz seeds of the header parsers: hand-built headers of every
// codec, and the first bytes of the ffmpeg-made elementary streams. Each
// seed starts with the split byte of the fuzz targets (0x80: one payload).
//   tsd_es_make_seeds OUT_DIR [MEDIA_DIR]
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "es_audio_samples.h"
#include "es_samples.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool write(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
  std::ofstream out(dir + "/" + name, std::ios::binary);
  out.put(char(0x80));
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

std::string kindOf(const std::string& name) {
  static const char* kVideo[] = {".h264", ".hevc", ".m2v", ".m4v"};
  for (const char* ext : kVideo)
    if (name.size() > 5 && name.rfind(ext) == name.size() - std::string(ext).size()) return "video";
  return "audio";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s OUT_DIR [MEDIA_DIR]\n", argv[0]);
    return 2;
  }
  std::string out = argv[1];
  std::string video = out + "/video", audio = out + "/audio";
  mkdir(out.c_str(), 0755);
  mkdir(video.c_str(), 0755);
  mkdir(audio.c_str(), 0755);
  bool ok = true;

  H264Sps field;
  field.frameMbsOnly = false;
  field.pocType = 1;
  field.pocCycle = 4;
  field.scalingMatrix = true;
  Vc1Seq vc1;
  vc1.displayExt = true;
  vc1.rateMode = 2;
  vc1.nr = 3;
  vc1.dr = 2;
  ok &= write(video, "h264_sps", concat({nalUnit({0x09}, {0x10}), h264Sps(H264Sps{}),
                                         nalUnit({0x65}, {0x88, 0x84})}));
  ok &= write(video, "h264_field", h264Sps(field));
  ok &= write(video, "mvc_subset", concat({h264Sps(H264Sps{}), mvcSubsetSps(128, 1001, 48000)}));
  ok &= write(video, "hevc", concat({hevcVps(1001, 60000, 1), hevcSps(HevcSps{}),
                                     nalUnit({0x26, 0x01}, {0xAF, 0x10})}));
  ok &= write(video, "mpeg2", concat({mpeg2Sequence(720, 576, 3, 4, 15000), mpeg2Picture(1),
                                      mpeg2Picture(2)}));
  ok &= write(video, "vc1", concat({vc1Sequence(vc1), {0, 0, 1, 0x0D, 0xC0, 0x00}}));
  ok &= write(video, "avs", concat({avsSequence(1920, 1080, 0, 2, 3), {0, 0, 1, 0xB3, 0, 0},
                                    {0, 0, 1, 0xB6, 0, 0}}));
  ok &= write(video, "mpeg4_vol", concat({mpeg4Vol(640, 480, 30000, 1001, 1), mpeg4Vop(0)}));
  ok &= write(video, "mpeg4_short", mpeg4ShortHeader(2));

  Eac3 dependent;
  dependent.strmtyp = 2;
  dependent.numblkscod = 1;
  dependent.acmod = 7;
  dependent.lfeon = 1;
  Bytes truehd = {0xF8, 0x72, 0x6F, 0xBA, 0, 0, 0, 0};
  ok &= write(audio, "mp3", concat({mpegAudioFrame(3, 1, 9, 0, 0, 0, 417), mpegAudioFrame(3, 1, 9, 0, 0, 0, 100)}));
  ok &= write(audio, "mp2_lsf", mpegAudioFrame(2, 2, 14, 1, 0, 0, 960));
  ok &= write(audio, "ac3_truehd", concat({ac3Frame(0, 12, 5, 1, 384), truehd, ac3Frame(1, 13, 7, 1, 418)}));
  ok &= write(audio, "eac3", concat({eac3Frame(Eac3{}), eac3Frame(dependent)}));
  ok &= write(audio, "adts", concat({adtsFrame(3, 6), adtsFrame(4, 2)}));
  ok &= write(audio, "loas", loasFrame({0x12, 0x10}, 16));
  ok &= write(audio, "loas_v1", loasFrame({0x11, 0x90}, 16, 0, 1));
  ok &= write(audio, "dts", dtsFrame(9, 13, 15, 5, 1));
  ok &= write(audio, "lpcm_bd", {0x00, 0x08, 0x31, 0x40, 1, 2, 3, 4});

  // The start of each ffmpeg-made stream.
  if (argc > 2) {
    DIR* d = opendir(argv[2]);
    if (!d) {
      fprintf(stderr, "cannot read %s\n", argv[2]);
      return 1;
    }
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name[0] == '.' || name.size() < 6 || name.find(".m2ts") != std::string::npos) continue;
      std::ifstream in(std::string(argv[2]) + "/" + name, std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (bytes.size() > 6000) bytes.resize(6000);
      ok &= write(kindOf(name) == "video" ? video : audio, "ffmpeg_" + name, bytes);
    }
    closedir(d);
  }
  if (!ok) {
    fprintf(stderr, "writing the seeds failed\n");
    return 1;
  }
  return 0;
}
