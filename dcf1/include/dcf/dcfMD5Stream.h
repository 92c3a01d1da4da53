#pragma once
// The library's process-wide source of random bytes (supplicant nonces, challenges, the TLS
// library's seed): MD5 over a 56-byte counter, seeded once from system entropy on first use.
// A child process after fork() reseeds on its first request, so that parent and child never
// hand out the same bytes.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <sys/types.h>

#include <dcf/dcfCriticalSection.h>

// Fills length bytes at buffer (length may be 0) from the process-wide dcfMD5Stream. Any
// thread may call it; concurrent requests receive disjoint parts of the stream.
void GetRandomBytes(void* buffer, std::size_t length);

// Always true: the source seeds itself on first use.
bool RandomSourceReady();

// The output construction: each block is MD5 of the counter after it has been incremented
// as one 448-bit big-endian number; bytes of a block not yet handed out go to the next
// request. Wiped by the destructor.
class Md5CounterStream {
 public:
  static constexpr std::size_t kStateSize = 56;
  static constexpr std::size_t kBlockSize = 16;

  Md5CounterStream() = default;
  Md5CounterStream(const Md5CounterStream&) = delete;
  Md5CounterStream& operator=(const Md5CounterStream&) = delete;
  ~Md5CounterStream();

  // Takes a new counter value; the rest of the current block is dropped, so the next
  // request starts with MD5 of the incremented new value.
  void Restart(const std::uint8_t state[kStateSize]);
  void Read(std::uint8_t* buffer, std::size_t length);

 private:
  void NextBlock();

  std::uint8_t state_[kStateSize] = {};
  std::uint8_t block_[kBlockSize] = {};
  std::uint32_t position_ = kBlockSize;  // bytes of block_ handed out; 16 = used up
};

class dcfMD5Stream {
 public:
  // The seconds clock the seed reads; null means std::time. Tests pass one that ticks
  // faster than the wall clock.
  using SecondsClock = std::time_t (*)();

  explicit dcfMD5Stream(SecondsClock clock = nullptr);
  dcfMD5Stream(const dcfMD5Stream&) = delete;
  dcfMD5Stream& operator=(const dcfMD5Stream&) = delete;

  // The body of GetRandomBytes.
  void Read(void* buffer, std::size_t length);

 private:
  void Seed();
  void ReseedAfterFork(pid_t pid);
  // counter = a fresh UUID || digest || 24 zero bytes.
  void Restart(const std::uint8_t digest[16]);
  std::time_t Seconds() const;

  bool seeded_ = false;
  dcfCriticalSection lock_;
  Md5CounterStream counter_;
  pid_t seededIn_ = 0;  // the process whose entropy the counter holds
  SecondsClock clock_;
};
