#include <dcf/dcfMD5Stream.h>

#include <dcf/dcfException.h>
#include <dcf/dcfLock.h>
#include <dcf/dcfSourceFiles.h>
#include <dcf/dcfWipe.h>
#include <dcf/md5.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/win32/disk_space.h"
#include "platform/win32/file_time.h"
#include "platform/win32/tick_count.h"
#include "platform/win32/uuid.h"

namespace {

// A function-local static: it exists as soon as anything asks for it, even from the
// library's constructor at load time, and is destroyed (and wiped) at unload.
dcfMD5Stream& TheRandomSource() {
  static dcfMD5Stream source;
  return source;
}

template <class T>
void Feed(Md5Context& md5, const T& value) {
  Md5Update(md5, &value, sizeof value);
}

}  // namespace

void GetRandomBytes(void* buffer, std::size_t length) { TheRandomSource().Read(buffer, length); }

bool RandomSourceReady() { return true; }

// --- Md5CounterStream ---

Md5CounterStream::~Md5CounterStream() {
  dcfWipe(state_, sizeof state_);
  dcfWipe(block_, sizeof block_);
}

void Md5CounterStream::Restart(const std::uint8_t state[kStateSize]) {
  std::memcpy(state_, state, kStateSize);
  dcfWipe(block_, sizeof block_);
  position_ = kBlockSize;
}

void Md5CounterStream::NextBlock() {
  for (std::size_t i = kStateSize; i-- > 0;) {
    if (++state_[i] != 0) break;  // a carry out of state_[0] is dropped
  }
  Md5Digest(block_, state_, kStateSize);
  position_ = 0;
}

void Md5CounterStream::Read(std::uint8_t* buffer, std::size_t length) {
  std::size_t written = 0;
  while (written < length) {
    if (position_ >= kBlockSize) NextBlock();
    const std::size_t n = std::min<std::size_t>(kBlockSize - position_, length - written);
    if (written + n > length) {
      dcfThrowRunTimeException(dcfRunTimeException("MemCpy would write past array with this data!"), 56,
                               dcfSourceFile::kMD5Stream);
    }
    std::memcpy(buffer + written, block_ + position_, n);
    position_ += static_cast<std::uint32_t>(n);
    written += n;
  }
}

// --- dcfMD5Stream ---

dcfMD5Stream::dcfMD5Stream(SecondsClock clock) : clock_(clock) {}

std::time_t dcfMD5Stream::Seconds() const { return clock_ != nullptr ? clock_() : std::time(nullptr); }

void dcfMD5Stream::Read(void* buffer, std::size_t length) {
  if (buffer == nullptr && length > 0) {
    dcfThrowRangeException(dcfRangeException("random bytes requested into a null buffer"), __LINE__,
                           dcfSourceFile::kMD5Stream);
  }
  dcfLock lock(lock_);
  if (!seeded_) {
    Seed();
  } else if (const pid_t pid = getpid(); pid != seededIn_) {
    ReseedAfterFork(pid);
  }
  counter_.Read(static_cast<std::uint8_t*>(buffer), length);
}

// Cheap system entropy in a fixed order. Every buffer hashed here has a defined value; the
// 32-byte buffer holds fresh kernel randomness. The wait for the next second (up to one
// second, once per process) counts clock readings, which varies with the machine's load.
void dcfMD5Stream::Seed() {
  Md5Context md5;
  Md5Init(md5);
  Feed(md5, plat::TickCount());
  const auto start = static_cast<std::uint32_t>(Seconds());
  Feed(md5, start);
  std::uint32_t readingsInThatSecond = 0;
  while (static_cast<std::uint32_t>(Seconds()) == start) ++readingsInThatSecond;
  Feed(md5, readingsInThatSecond);

  std::uint8_t local[32] = {};
  plat::GetStrongRandom(local, sizeof local);
  Feed(md5, reinterpret_cast<std::uintptr_t>(local));
  Md5Update(md5, local, sizeof local);
  dcfWipe(local, sizeof local);

  Feed(md5, reinterpret_cast<std::uintptr_t>(this));
  std::unique_ptr<std::uint8_t[]> heap[4];
  for (auto& block : heap) {
    block = std::make_unique<std::uint8_t[]>(4);
    Feed(md5, reinterpret_cast<std::uintptr_t>(block.get()));
  }
  Feed(md5, plat::FileTimeNow());
  plat::DiskSpace disk{};
  plat::GetDiskFreeSpace(nullptr, disk);
  Feed(md5, disk.freeBytesAvailableToCaller);
  Feed(md5, disk.totalBytes);
  Feed(md5, disk.totalFreeBytes);
  const pid_t pid = getpid();
  Feed(md5, pid);

  std::uint8_t digest[kMd5DigestSize];
  Md5Final(digest, md5);
  Restart(digest);
  dcfWipe(digest, sizeof digest);
  seededIn_ = pid;
  seeded_ = true;
}

// A child of fork() holds its parent's counter and the rest of its current block: it
// draws a new counter from that state, its own process id, the clocks and fresh kernel
// randomness. No wait here: a forked worker should not stall on its first nonce.
void dcfMD5Stream::ReseedAfterFork(pid_t pid) {
  Md5Context md5;
  Md5Init(md5);
  std::uint8_t inherited[Md5CounterStream::kBlockSize];
  counter_.Read(inherited, sizeof inherited);
  Md5Update(md5, inherited, sizeof inherited);
  dcfWipe(inherited, sizeof inherited);
  Feed(md5, pid);
  Feed(md5, plat::TickCount());
  Feed(md5, plat::FileTimeNow());
  std::uint8_t fresh[32] = {};
  plat::GetStrongRandom(fresh, sizeof fresh);
  Md5Update(md5, fresh, sizeof fresh);
  dcfWipe(fresh, sizeof fresh);

  std::uint8_t digest[kMd5DigestSize];
  Md5Final(digest, md5);
  Restart(digest);
  dcfWipe(digest, sizeof digest);
  seededIn_ = pid;
}

void dcfMD5Stream::Restart(const std::uint8_t digest[16]) {
  plat::Guid uuid{};
  plat::UuidCreate(uuid);
  std::uint8_t state[Md5CounterStream::kStateSize] = {};
  std::memcpy(state, &uuid, sizeof uuid);
  std::memcpy(state + sizeof uuid, digest, 16);
  counter_.Restart(state);
  dcfWipe(state, sizeof state);
  dcfWipe(&uuid, sizeof uuid);
}
