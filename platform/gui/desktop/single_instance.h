#pragma once
// One running instance per user session. The first start holds a lock file and listens on
// a local socket, both in $XDG_RUNTIME_DIR and named after a hash of the instance name; a
// second start finds the lock held, sends its code to the first and ends.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zfw {

class ISingleInstance {
 public:
  enum class Claim {
    First,   // this process is the instance; messages from later starts arrive on the GUI thread
    Second,  // another process is the instance
    Failed,  // the instance could not be marked (the program runs unguarded)
  };
  virtual ~ISingleInstance() = default;
  virtual Claim claim(const std::string& name, std::function<void(uint32_t code)> onMessage) = 0;
  // A second start: tells the first instance `code`; false when it could not be reached.
  virtual bool sendToFirst(uint32_t code) = 0;
  virtual void release() = 0;
};

class LocalSingleInstance final : public ISingleInstance {
 public:
  // `directory` empty: $XDG_RUNTIME_DIR, else a private directory under /tmp.
  explicit LocalSingleInstance(std::string directory = {});
  ~LocalSingleInstance() override;
  Claim claim(const std::string& name, std::function<void(uint32_t code)> onMessage) override;
  bool sendToFirst(uint32_t code) override;
  void release() override;

  // File name stem of the lock and the socket for an instance name.
  static std::string key(const std::string& name);
  // A message line ("1002\n") read back into its code; false for anything else.
  static bool parseMessage(const std::string& line, uint32_t& code);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace zfw
