#pragma once
// System services, shaped like the service control manager: open, query, stop, start.
// Linux has no Zero Configuration service, so by default no service exists. For tests of
// the code that takes an adapter over from it, ZELCON_ZERO_CONFIG=<file> selects a
// simulated manager whose state lives in that file, one service a line:
//   <name> <running|stopped> [<queries a stop takes>]
// e.g. "WZCSVC running 3": after a stop, the service reports "stop pending" to two
// queries and "stopped" from the third on.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace zfw {

enum : uint32_t { SERVICE_STOPPED = 1, SERVICE_START_PENDING = 2, SERVICE_STOP_PENDING = 3, SERVICE_RUNNING = 4 };

class IServiceControl {
 public:
  virtual ~IServiceControl() = default;
  // False when the service does not exist (or cannot be reached).
  virtual bool open(const std::string& name) = 0;
  virtual bool queryStatus(const std::string& name, uint32_t& state) = 0;
  virtual bool stop(const std::string& name) = 0;
  virtual bool start(const std::string& name) = 0;
};

class NoServiceControl final : public IServiceControl {
 public:
  bool open(const std::string&) override { return false; }
  bool queryStatus(const std::string&, uint32_t&) override { return false; }
  bool stop(const std::string&) override { return false; }
  bool start(const std::string&) override { return false; }
};

class SimulatedServiceControl final : public IServiceControl {
 public:
  struct Service {
    uint32_t state = SERVICE_STOPPED;
    int queriesPerStop = 1;  // queries until a stop completes
    int queriesLeft = 0;     // while stop pending
    int stops = 0;           // stop requests seen
    int starts = 0;          // start requests seen
  };

  // In memory only (tests).
  SimulatedServiceControl() = default;
  // Backed by `file` (read now, written after each change).
  explicit SimulatedServiceControl(std::string file);

  bool open(const std::string& name) override;
  bool queryStatus(const std::string& name, uint32_t& state) override;
  bool stop(const std::string& name) override;
  bool start(const std::string& name) override;

  void add(const std::string& name, uint32_t state, int queriesPerStop = 1);
  const Service* find(const std::string& name) const;

  // The file form, read and written (lines that cannot be read are reported and skipped).
  static std::map<std::string, Service> parse(const std::string& text, std::string* problems = nullptr);
  static std::string format(const std::map<std::string, Service>& services);

 private:
  void save() const;
  std::string file_;
  std::map<std::string, Service> services_;
};

// The service manager the environment selects (see above).
std::unique_ptr<IServiceControl> serviceControlFromEnvironment();

}  // namespace zfw
