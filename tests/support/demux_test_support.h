#pragma once
// Helpers that the demuxer tests share: whole files in and out, a private
// temporary folder per test, and the plug-in under test loaded once.
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "mediahost/plugin.h"
#include "temp_dir.h"

namespace demuxtest {

using Bytes = std::vector<uint8_t>;

inline Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const Bytes& bytes, bool append = false) {
  std::ofstream out(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A folder of its own (testsupport::makeTempDir), removed with the files
// handed out by file().
class TempDir {
 public:
  explicit TempDir(const std::string& prefix) : path_(testsupport::makeTempDir(prefix)) {}
  ~TempDir() {
    for (const std::string& f : files_) unlink(f.c_str());
    rmdir(path_.c_str());
  }
  std::string file(const std::string& name) {
    files_.push_back(path_ + "/" + name);
    return files_.back();
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

// The plug-in at `path`, loaded on the first call and kept until the program
// ends; aborts when it cannot be loaded. Each test program loads one plug-in.
inline mediahost::Plugin& loadPluginOnce(const char* path) {
  static mediahost::Plugin* p = [path] {
    std::string error;
    auto loaded = mediahost::Plugin::load(path, &error);
    if (!loaded) {
      fprintf(stderr, "cannot load %s: %s\n", path, error.c_str());
      abort();
    }
    return loaded.release();
  }();
  return *p;
}

}  // namespace demuxtest
