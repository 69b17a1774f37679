#pragma once
// A test's own folder under $TMPDIR (or /tmp). A folder that cannot be made
// throws, which fails the test: its files must never land in the root folder.
#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

// Makes `prefix`.XXXXXX and returns its path.
inline std::string makeTempDir(const std::string& prefix) {
  const char* base = getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/" + prefix + ".XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back(0);
  if (!mkdtemp(buf.data())) throw std::runtime_error("cannot make " + tmpl + ": " + std::strerror(errno));
  return buf.data();
}

}  // namespace testsupport
