#include "mediahost/cli.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "mediahost/adapter.h"
#include "mediahost/host.h"
#include "mediahost/md5.h"
#include "mediahost/plugin.h"
#include "mediahost/wav.h"

namespace mediahost {
namespace {

const char kUsage[] =
    "usage: mediahost info LIB FILE [host options]\n"
    "       mediahost dump LIB FILE [--kind K] [--select KIND:TRACK]... [--frames N]\n"
    "                      [--seek MS[:FLAGS]]... [host options]\n"
    "       mediahost decode LIB FILE.wav [--chunk BYTES] [host options]\n"
    "host options: --memory --fail-alloc N --fail-seek N --short-read BYTES --stats\n";

struct SeekStep {
  long long ms;
  int flags;
};

struct Selection {
  std::string kind;
  long long track;
};

struct Options {
  std::string command, lib, file, kind;
  std::vector<Selection> selections;
  long long frames = -1;  // per run, -1 unlimited
  size_t chunk = 4096;
  std::vector<SeekStep> seeks;
  bool memory = false;
  bool stats = false;
  Faults faults;
};

bool parseNumber(const std::string& s, long long* v) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long r = strtoll(s.c_str(), &end, 0);
  if (errno || *end) return false;
  *v = r;
  return true;
}

bool parseArgs(int argc, char** argv, Options* o, std::string* error) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](long long* v, long long min) {
      if (i + 1 >= argc || !parseNumber(argv[i + 1], v) || *v < min) {
        *error = "bad or missing value for " + a;
        return false;
      }
      ++i;
      return true;
    };
    long long v = 0;
    if (a == "--kind") {
      if (i + 1 >= argc) return *error = "missing value for --kind", false;
      o->kind = argv[++i];
    } else if (a == "--select") {
      if (i + 1 >= argc) return *error = "missing value for --select", false;
      std::string s = argv[++i];
      size_t colon = s.find(':');
      Selection sel{s.substr(0, colon), 0};
      if (sel.kind.empty() || colon == std::string::npos || !parseNumber(s.substr(colon + 1), &sel.track))
        return *error = "bad --select value " + s + " (KIND:TRACK)", false;
      o->selections.push_back(sel);
    } else if (a == "--frames") {
      if (!value(&v, 0)) return false;
      o->frames = v;
    } else if (a == "--chunk") {
      if (!value(&v, 1)) return false;
      o->chunk = size_t(v);
    } else if (a == "--seek") {
      if (i + 1 >= argc) return *error = "missing value for --seek", false;
      std::string s = argv[++i];
      SeekStep step{0, 0};
      size_t colon = s.find(':');
      long long flags = 0;
      if (!parseNumber(s.substr(0, colon), &step.ms) ||
          (colon != std::string::npos && !parseNumber(s.substr(colon + 1), &flags)))
        return *error = "bad --seek value " + s, false;
      step.flags = int(flags);
      o->seeks.push_back(step);
    } else if (a == "--memory") {
      o->memory = true;
    } else if (a == "--stats") {
      o->stats = true;
    } else if (a == "--fail-alloc") {
      if (!value(&v, 1)) return false;
      o->faults.failAllocAt = (unsigned long)v;
    } else if (a == "--fail-seek") {
      if (!value(&v, 1)) return false;
      o->faults.failSeekAt = (unsigned long)v;
    } else if (a == "--short-read") {
      if (!value(&v, 1)) return false;
      o->faults.shortReadMax = size_t(v);
    } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      *error = "unknown option " + a;
      return false;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 3) {
    *error = "expected a command, a library and a file";
    return false;
  }
  o->command = positional[0];
  o->lib = positional[1];
  o->file = positional[2];
  if (o->command != "info" && o->command != "dump" && o->command != "decode") {
    *error = "unknown command " + o->command;
    return false;
  }
  return true;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

void printFrame(std::ostream& out, const Frame& f) {
  out << f.kind << ',' << f.track << ',' << f.timeMs << ',' << f.size << ',' << f.keyFlag() << ','
      << md5Hex(f.data, f.size) << '\n';
}

// Reads frames until the end, a failure or the per-run limit. Returns 0, or
// the library's negative code.
int dumpRun(DemuxSession& s, const Options& o, std::ostream& out, std::ostream& err) {
  for (long long n = 0; o.frames < 0 || n < o.frames; ++n) {
    Frame f;
    int r = s.next(o.kind, &f);
    if (r == kEnd) return 0;
    if (r != kOk) {
      err << "mediahost: reading a frame failed: " << r << '\n';
      return r;
    }
    printFrame(out, f);
  }
  return 0;
}

// The host's closing checks: nothing left allocated or open, no misuse.
int hostVerdict(const Options& o, std::ostream& err) {
  Host& h = Host::get();
  AllocStats a = h.allocStats();
  if (o.stats)
    err << "allocations: " << a.allocations << " failed: " << a.failedAllocations
        << " peak bytes: " << a.peakBytes << " live bytes: " << a.liveBytes << '\n';
  std::string leaks = h.leakReport();
  bool bad = !leaks.empty() || !h.violations().empty();
  err << leaks;
  for (const std::string& v : h.violations()) err << "violation: " << v << '\n';
  return bad ? 3 : 0;
}

int runDemux(const Options& o, const Plugin& plugin, std::ostream& out, std::ostream& err) {
  const DemuxAdapter* adapter = findDemuxAdapter(plugin);
  if (!adapter) {
    err << "mediahost: no demuxer adapter knows the entry of " << o.lib << '\n';
    return 1;
  }
  int status = 0;
  {
    int code = 0;
    std::unique_ptr<DemuxSession> s = adapter->open(plugin.entry(), o.file, &code);
    if (!s) {
      err << "mediahost: open failed: " << code << '\n';
      status = 2;
    } else if (o.command == "info") {
      std::vector<StreamDesc> streams;
      int r = s->streams(&streams);
      if (r < 0) {
        err << "mediahost: listing streams failed: " << r << '\n';
        status = 2;
      }
      for (const StreamDesc& d : streams) {
        out << d.kind << ',' << d.track;
        for (const auto& f : d.fields) out << ',' << f.first << '=' << f.second;
        out << '\n';
      }
    } else {
      for (const Selection& sel : o.selections) {
        int r = s->select(sel.kind, sel.track);
        if (r != kOk) {
          err << "mediahost: selecting " << sel.kind << ':' << sel.track << " failed: " << r << '\n';
          status = 2;
        }
      }
      out << "kind,track,time_ms,size,key,md5\n";
      // Nothing is dumped after a refused selection.
      if (status == 0 && dumpRun(*s, o, out, err) != 0) status = 2;
      for (const SeekStep& step : o.seeks) {
        if (status) break;
        long long landed = 0;
        int r = s->seek(step.ms, step.flags, &landed);
        if (r != kOk) {
          out << "seek," << step.ms << ",failed " << r << '\n';
          continue;
        }
        out << "seek," << step.ms << ',' << landed << '\n';
        if (dumpRun(*s, o, out, err) != 0) status = 2;
      }
    }
    if (s) {
      int r = s->close();
      if (r < 0 && status == 0) {
        err << "mediahost: close failed: " << r << '\n';
        status = 2;
      }
    }
  }
  int verdict = hostVerdict(o, err);
  return verdict ? verdict : status;
}

int runDecode(const Options& o, const Plugin& plugin, std::ostream& out, std::ostream& err) {
  const DecoderAdapter* adapter = findDecoderAdapter(plugin);
  if (!adapter) {
    err << "mediahost: no decoder adapter knows the entry of " << o.lib << '\n';
    return 1;
  }
  std::vector<uint8_t> wav;
  if (!readWholeFile(o.file, &wav)) {
    err << "mediahost: cannot read " << o.file << '\n';
    return 1;
  }
  WavFormat format;
  size_t offset = 0, size = 0;
  std::string why;
  if (!parseWav(wav.data(), wav.size(), &format, &offset, &size, &why)) {
    err << "mediahost: " << o.file << ": " << why << '\n';
    return 1;
  }
  int status = 0;
  {
    int code = 0;
    std::unique_ptr<DecodeSession> s = adapter->open(plugin.entry(), format, &code);
    if (!s) {
      err << "mediahost: decoder open failed: " << code << '\n';
      status = 2;
    } else {
      const uint8_t* data = wav.data() + offset;
      size_t pos = 0;
      size_t window = o.chunk;
      std::vector<uint8_t> pcm;
      while (pos < size) {
        size_t avail = size - pos < window ? size - pos : window;
        size_t used = 0;
        pcm.clear();
        int r = s->decode(data + pos, avail, &used, &pcm);
        out.write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size()));
        if (r == kNeedMore) {
          if (avail == size - pos) break;  // the tail is shorter than one block
          window *= 2;
          continue;
        }
        if (r != kOk) {
          err << "mediahost: decoding failed at byte " << pos << ": " << r << '\n';
          status = 2;
          break;
        }
        if (used > avail) {
          Host::get().violation("decoder consumed more input than it was given");
          break;
        }
        if (used == 0 && pcm.empty()) {
          err << "mediahost: the decoder makes no progress at byte " << pos << '\n';
          status = 2;
          break;
        }
        pos += used;
        window = o.chunk;
      }
      int r = s->close();
      if (r < 0 && status == 0) {
        err << "mediahost: close failed: " << r << '\n';
        status = 2;
      }
    }
  }
  out.flush();
  int verdict = hostVerdict(o, err);
  return verdict ? verdict : status;
}

}  // namespace

int runCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
  Options o;
  std::string error;
  if (!parseArgs(argc, argv, &o, &error)) {
    err << "mediahost: " << error << '\n' << kUsage;
    return 1;
  }
  std::unique_ptr<Plugin> plugin = Plugin::load(o.lib, &error);
  if (!plugin) {
    err << "mediahost: " << error << '\n';
    return 1;
  }
  Host& h = Host::get();
  h.reset();
  if (o.memory && o.command != "decode") {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(o.file, &bytes)) {
      err << "mediahost: cannot read " << o.file << '\n';
      return 1;
    }
    h.addMemoryFile(o.file, bytes.data(), bytes.size());
  }
  h.setFaults(o.faults);
  int r = o.command == "decode" ? runDecode(o, *plugin, out, err) : runDemux(o, *plugin, out, err);
  h.removeMemoryFile(o.file);
  return r;
}

}  // namespace mediahost
