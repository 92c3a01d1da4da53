#include "platform/gui/desktop/service_control.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/gui/desktop/file_util.h"

namespace zfw {

SimulatedServiceControl::SimulatedServiceControl(std::string file) : file_(std::move(file)) {
  std::ifstream in(file_, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string problems;
  services_ = parse(text.str(), &problems);
  if (!problems.empty()) std::fprintf(stderr, "%s: %s", file_.c_str(), problems.c_str());
}

std::map<std::string, SimulatedServiceControl::Service> SimulatedServiceControl::parse(const std::string& text,
                                                                                         std::string* problems) {
  std::map<std::string, Service> services;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    std::istringstream words(line);
    std::string name, state, extra;
    int queries = 1;
    if (!(words >> name) || name[0] == '#') continue;
    bool ok = static_cast<bool>(words >> state) && (state == "running" || state == "stopped");
    if (ok && (words >> queries)) ok = queries >= 1 && queries <= 1000 && !(words >> extra);
    else if (ok) queries = 1;
    if (!ok) {
      if (problems) *problems += "line " + std::to_string(number) + ": expected <name> <running|stopped> [<queries>]\n";
      continue;
    }
    Service s;
    s.state = state == "running" ? SERVICE_RUNNING : SERVICE_STOPPED;
    s.queriesPerStop = queries;
    services[name] = s;
  }
  return services;
}

std::string SimulatedServiceControl::format(const std::map<std::string, Service>& services) {
  std::string text;
  for (const auto& [name, s] : services) {
    // A pending stop is written as done: the file holds only settled states.
    text += name + (s.state == SERVICE_RUNNING ? " running " : " stopped ") + std::to_string(s.queriesPerStop) + "\n";
  }
  return text;
}

void SimulatedServiceControl::save() const {
  if (file_.empty()) return;
  if (!writeFileAtomically(file_, format(services_))) std::fprintf(stderr, "%s: cannot write the service state\n", file_.c_str());
}

void SimulatedServiceControl::add(const std::string& name, uint32_t state, int queriesPerStop) {
  Service s;
  s.state = state;
  s.queriesPerStop = queriesPerStop;
  services_[name] = s;
  save();
}

const SimulatedServiceControl::Service* SimulatedServiceControl::find(const std::string& name) const {
  auto it = services_.find(name);
  return it == services_.end() ? nullptr : &it->second;
}

bool SimulatedServiceControl::open(const std::string& name) { return services_.count(name) != 0; }

bool SimulatedServiceControl::queryStatus(const std::string& name, uint32_t& state) {
  auto it = services_.find(name);
  if (it == services_.end()) return false;
  Service& s = it->second;
  if (s.state == SERVICE_STOP_PENDING && --s.queriesLeft <= 0) {
    s.state = SERVICE_STOPPED;
    save();
  }
  state = s.state;
  return true;
}

bool SimulatedServiceControl::stop(const std::string& name) {
  auto it = services_.find(name);
  if (it == services_.end()) return false;
  Service& s = it->second;
  ++s.stops;
  if (s.state != SERVICE_RUNNING) return false;  // not running: the control is refused
  s.state = SERVICE_STOP_PENDING;
  s.queriesLeft = s.queriesPerStop;
  save();
  return true;
}

bool SimulatedServiceControl::start(const std::string& name) {
  auto it = services_.find(name);
  if (it == services_.end()) return false;
  Service& s = it->second;
  ++s.starts;
  if (s.state == SERVICE_RUNNING) return false;  // already running
  s.state = SERVICE_RUNNING;
  save();
  return true;
}

std::unique_ptr<IServiceControl> serviceControlFromEnvironment() {
  const char* file = std::getenv("ZELCON_ZERO_CONFIG");
  if (file && *file) return std::make_unique<SimulatedServiceControl>(file);
  return std::make_unique<NoServiceControl>();
}

}  // namespace zfw
