// Bounded mutation driver: feeds deterministic mutated and truncated copies of
// seed files to LLVMFuzzerTestOneInput, so every CI run exercises a parser's
// fuzz target without libFuzzer. Each input runs under a hang alarm.
//
//   <target>_mutation [--iterations N] [--timeout-ms T] [--rng-seed S]
//                     [--seed-dir DIR]... [SEED_FILE]...
//   <target>_mutation --replay FILE            runs one saved input
//   <target>_mutation ... --only N --save FILE writes mutated input N to FILE
//
// HOLVIK_TEST_TIER=long runs twenty times the iterations (the deeper round
// for before a release or after a parser change; CI runs the given number).
//
// An input is named by its label ("seed 2", "truncation 2/7", "mutation 815")
// in every failure message; --only reproduces a mutation by its number.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));
extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

namespace {

char g_label[96] = "(none)";
const uint8_t* g_input = nullptr;
size_t g_inputSize = 0;
long g_timeoutMs = 5000;

void writeStr(const char* s) {
  ssize_t r = write(2, s, strlen(s));
  (void)r;
}

// Writes the current input next to the working directory as a reproducer.
void saveCurrent(const char* prefix) {
  char name[160];
  snprintf(name, sizeof name, "%s-input.bin", prefix);
  int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  size_t done = 0;
  while (done < g_inputSize) {
    ssize_t w = write(fd, g_input + done, g_inputSize - done);
    if (w <= 0) break;
    done += size_t(w);
  }
  close(fd);
  writeStr("mutation driver: the input was saved as ");
  writeStr(name);
  writeStr(" (run the driver with --replay on it)\n");
}

void onAlarm(int) {
  writeStr("mutation driver: HANG: ");
  writeStr(g_label);
  writeStr(" ran longer than the per-input limit\n");
  saveCurrent("hang");
  _exit(70);
}

void onDeath() {
  writeStr("mutation driver: CRASH on ");
  writeStr(g_label);
  writeStr("\n");
  saveCurrent("crash");
}

void onAbort(int sig) {
  onDeath();
  signal(sig, SIG_DFL);
  raise(sig);
}

void armAlarm(long ms) {
  itimerval t{};
  t.it_value.tv_sec = ms / 1000;
  t.it_value.tv_usec = (ms % 1000) * 1000;
  setitimer(ITIMER_REAL, &t, nullptr);
}

void runOne(const std::vector<uint8_t>& input, const char* label) {
  snprintf(g_label, sizeof g_label, "%s", label);
  // libFuzzer hands over a fresh heap copy; do the same so reads past the
  // end hit the sanitizer's redzone rather than a neighbour's bytes.
  uint8_t* copy = static_cast<uint8_t*>(malloc(input.size() ? input.size() : 1));
  if (!input.empty()) memcpy(copy, input.data(), input.size());
  g_input = copy;
  g_inputSize = input.size();
  armAlarm(g_timeoutMs);
  LLVMFuzzerTestOneInput(copy, input.size());
  armAlarm(0);
  g_input = nullptr;
  free(copy);
}

struct Rng {
  uint64_t s;
  uint64_t next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t below(size_t n) { return n ? size_t(next() % n) : 0; }
};

// Most structure lives at the start and the end of a file: aim half of the
// changes at the first 512 bytes and some at the last 64.
size_t pickPos(Rng& r, size_t size) {
  if (size == 0) return 0;
  size_t which = r.below(20);
  if (which < 10) return r.below(size < 512 ? size : 512);
  if (which < 13) return size > 64 ? size - 1 - r.below(64) : r.below(size);
  return r.below(size);
}

void mutate(Rng& r, std::vector<uint8_t>& d) {
  static const uint32_t interesting[] = {0,          1,          2,          3,          4,
                                         0x7F,       0x80,       0xFF,       0x100,      0x7FFF,
                                         0x8000,     0xFFFF,     0x10000,    0x7FFFFFFF, 0x80000000u,
                                         0xFFFFFFFFu, 0xFFFFFFFEu, 4500,      215040,     0x1000};
  size_t count = 1 + r.below(4);
  for (size_t i = 0; i < count; ++i) {
    switch (r.below(9)) {
      case 0:  // flip a bit
        if (!d.empty()) d[pickPos(r, d.size())] ^= uint8_t(1u << r.below(8));
        break;
      case 1:  // random byte
        if (!d.empty()) d[pickPos(r, d.size())] = uint8_t(r.next());
        break;
      case 2:
      case 3: {  // interesting 8/16/32-bit value, little- or big-endian
        if (d.empty()) break;
        uint32_t v = interesting[r.below(sizeof interesting / sizeof interesting[0])];
        size_t width = size_t(1) << r.below(3);
        size_t pos = pickPos(r, d.size());
        bool big = r.below(2);
        for (size_t k = 0; k < width && pos + k < d.size(); ++k)
          d[pos + k] = uint8_t(v >> (8 * (big ? width - 1 - k : k)));
        break;
      }
      case 4:  // truncate
        d.resize(r.below(d.size() + 1));
        break;
      case 5: {  // erase a range
        if (d.empty()) break;
        size_t pos = pickPos(r, d.size());
        size_t len = 1 + r.below(d.size() - pos < 256 ? d.size() - pos : 256);
        d.erase(d.begin() + long(pos), d.begin() + long(pos + len));
        break;
      }
      case 6: {  // duplicate a range somewhere else
        if (d.empty() || d.size() > (1u << 26)) break;
        size_t from = r.below(d.size());
        size_t len = 1 + r.below(d.size() - from < 512 ? d.size() - from : 512);
        std::vector<uint8_t> piece(d.begin() + long(from), d.begin() + long(from + len));
        size_t to = pickPos(r, d.size());
        d.insert(d.begin() + long(to), piece.begin(), piece.end());
        break;
      }
      case 7: {  // insert random bytes
        size_t len = 1 + r.below(32);
        size_t to = pickPos(r, d.size());
        std::vector<uint8_t> piece(len);
        for (auto& b : piece) b = uint8_t(r.next());
        d.insert(d.begin() + long(to), piece.begin(), piece.end());
        break;
      }
      case 8: {  // copy a word from one place to another (sizes, offsets)
        if (d.size() < 8) break;
        size_t from = r.below(d.size() - 4);
        size_t to = pickPos(r, d.size() - 4);
        memmove(&d[to], &d[from], 4);
        break;
      }
    }
  }
}

bool readFile(const std::string& path, std::vector<uint8_t>* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool addDir(const std::string& dir, std::vector<std::string>* files) {
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  std::vector<std::string> names;
  while (dirent* e = readdir(d)) {
    std::string path = dir + "/" + e->d_name;
    struct stat st;
    if (e->d_name[0] != '.' && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(path);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  files->insert(files->end(), names.begin(), names.end());
  return true;
}

int usage(const char* msg) {
  fprintf(stderr, "mutation driver: %s\n", msg);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  long iterations = 2000;
  uint64_t rngSeed = 1;
  long only = -1;
  std::string save, replay;
  std::vector<std::string> seedFiles;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool hasValue = i + 1 < argc;
    if (a == "--iterations" && hasValue) {
      iterations = strtol(argv[++i], nullptr, 10);
    } else if (a == "--timeout-ms" && hasValue) {
      g_timeoutMs = strtol(argv[++i], nullptr, 10);
    } else if (a == "--rng-seed" && hasValue) {
      rngSeed = strtoull(argv[++i], nullptr, 10);
    } else if (a == "--seed-dir" && hasValue) {
      if (!addDir(argv[++i], &seedFiles)) return usage((std::string("cannot read ") + argv[i]).c_str());
    } else if (a == "--only" && hasValue) {
      only = strtol(argv[++i], nullptr, 10);
    } else if (a == "--save" && hasValue) {
      save = argv[++i];
    } else if (a == "--replay" && hasValue) {
      replay = argv[++i];
    } else if (a.compare(0, 2, "--") == 0) {
      return usage(("unknown option " + a).c_str());
    } else {
      seedFiles.push_back(a);
    }
  }
  if (g_timeoutMs <= 0) g_timeoutMs = 5000;
  // Under an emulator (the 32-bit build on a machine that cannot run it) the
  // same input takes ten to twenty times as long: a hang is still a hang.
  const char* emulator = getenv("HOLVIK_EMULATOR");
  if (emulator && *emulator) g_timeoutMs *= 20;
  const char* tier = getenv("HOLVIK_TEST_TIER");
  if (tier && strcmp(tier, "long") == 0 && only < 0) iterations *= 20;
  signal(SIGALRM, onAlarm);
  signal(SIGABRT, onAbort);
  signal(SIGSEGV, onAbort);
  signal(SIGFPE, onAbort);
  if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(onDeath);
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);

  if (!replay.empty()) {
    std::vector<uint8_t> input;
    if (!readFile(replay, &input)) return usage(("cannot read " + replay).c_str());
    runOne(input, ("replay of " + replay).c_str());
    printf("mutation driver: %s ran clean\n", replay.c_str());
    return 0;
  }

  std::vector<std::vector<uint8_t>> seeds;
  for (const std::string& f : seedFiles) {
    std::vector<uint8_t> bytes;
    if (!readFile(f, &bytes)) return usage(("cannot read seed " + f).c_str());
    seeds.push_back(std::move(bytes));
  }
  // A run without seeds would pass without testing anything.
  if (seeds.empty()) return usage("no seed files");

  char label[96];
  long ran = 0;
  if (only < 0) {
    for (size_t s = 0; s < seeds.size(); ++s) {
      snprintf(label, sizeof label, "seed %zu (%s)", s, seedFiles[s].c_str());
      runOne(seeds[s], label);
      ++ran;
      // Every prefix length near the start, then a spread over the file.
      const size_t steps = 24;
      for (size_t k = 0; k < steps; ++k) {
        size_t len = k < 12 ? k * 7 : seeds[s].size() * (k - 11) / (steps - 11);
        if (len >= seeds[s].size()) continue;
        std::vector<uint8_t> cut(seeds[s].begin(), seeds[s].begin() + long(len));
        snprintf(label, sizeof label, "truncation %zu/%zu (%zu bytes)", s, k, len);
        runOne(cut, label);
        ++ran;
      }
    }
  }
  for (long n = 0; n < iterations; ++n) {
    if (only >= 0 && n != only) continue;
    Rng r{rngSeed * 0x100000001B3ull + uint64_t(n)};
    std::vector<uint8_t> input = seeds[r.below(seeds.size())];
    mutate(r, input);
    if (!save.empty()) {
      std::ofstream out(save, std::ios::binary);
      out.write(reinterpret_cast<const char*>(input.data()), std::streamsize(input.size()));
    }
    snprintf(label, sizeof label, "mutation %ld (rng seed %llu)", n, (unsigned long long)rngSeed);
    runOne(input, label);
    ++ran;
  }
  printf("mutation driver: %ld inputs from %zu seeds ran clean\n", ran, seeds.size());
  return 0;
}
