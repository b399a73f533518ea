#pragma once
// What the fuzz targets share: a cursor over the input, a check that stops
// the run on a broken invariant, and a scratch folder for the files a target
// has to put on disk.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

// A broken invariant is a finding like a crash: libFuzzer (and the replay)
// report an abort with its input.
#define FUZZ_CHECK(cond)                                                                  \
  do {                                                                                    \
    if (!(cond)) {                                                                        \
      std::fprintf(stderr, "FUZZ_CHECK failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                       \
    }                                                                                     \
  } while (0)

namespace tavro::fuzz {

// Reads the input front to back; past its end every read gives zeros, so a
// target never has to check the length before taking a field.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  std::size_t Left() const { return size_ - pos_; }

  std::uint8_t Byte() { return Empty() ? 0 : data_[pos_++]; }
  std::uint16_t U16() {
    const std::uint16_t lo = Byte();
    return static_cast<std::uint16_t>(lo | (Byte() << 8));
  }
  std::uint32_t U32() {
    const std::uint32_t lo = U16();
    return lo | (static_cast<std::uint32_t>(U16()) << 16);
  }
  // The next `n` bytes, fewer at the end.
  std::span<const std::uint8_t> Take(std::size_t n) {
    n = n < Left() ? n : Left();
    const std::span<const std::uint8_t> out(data_ + pos_, n);
    pos_ += n;
    return out;
  }
  std::span<const std::uint8_t> Rest() { return Take(Left()); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// A folder of its own for this process, removed when the process ends.
// Placed in memory (/dev/shm) where there is one, so the files a target
// writes for every input cost no disk flushes.
inline const std::string& ScratchFolder() {
  // Never destroyed, so the removal at exit still has the name.
  static const std::string* const folder = [] {
    std::string base = "/dev/shm";
    if (::access(base.c_str(), W_OK) != 0) {
      const char* tmp = std::getenv("TMPDIR");
      base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    }
    std::string pattern = base + "/tavro-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    return new std::string(std::move(pattern));
  }();
  static const bool removeAtExit = [] {
    return std::atexit([] {
             std::error_code ec;
             std::filesystem::remove_all(*folder, ec);
           }) == 0;
  }();
  (void)removeAtExit;
  return *folder;
}

}  // namespace tavro::fuzz
