#include "platform/gui/testing/fakes.h"

namespace zfw::testing {

ISingleInstance::Claim FakeSingleInstance::claim(const std::string& name, std::function<void(uint32_t)> onMessage) {
  claimedName = name;
  if (nextClaim == Claim::First) onMessage_ = std::move(onMessage);
  return nextClaim;
}

bool FakeSingleInstance::sendToFirst(uint32_t code) {
  sent.push_back(code);
  return true;
}

void FakeSingleInstance::receive(uint32_t code) {
  if (onMessage_ && !released) onMessage_(code);
}

bool FakeHotKey::registerHotKey(int id, unsigned modifiers, unsigned virtualKey, std::function<void(int)> onPressed) {
  if (failRegistration || registered.count(id)) return false;
  registered[id] = Registration{modifiers, virtualKey, std::move(onPressed)};
  return true;
}

bool FakeHotKey::unregisterHotKey(int id) { return registered.erase(id) != 0; }

bool FakeHotKey::press(int id) {
  auto it = registered.find(id);
  if (it == registered.end()) return false;
  auto onPressed = it->second.onPressed;
  onPressed(id);
  return true;
}

bool FakeTrayIcon::notify(Action action, const TrayIconData& data) {
  bool ok = available;
  if (ok && action == Action::Add) ok = !shown;
  if (ok && action != Action::Add) ok = shown;
  calls.push_back(Call{action, data, ok});
  if (!ok) return false;
  if (action == Action::Delete) {
    shown = false;
    iconId = 0;
    tip.clear();
    balloon.clear();
    return true;
  }
  shown = true;
  if (data.flags & NIF_ICON) iconId = data.iconId;
  if (data.flags & NIF_TIP) tip = data.tip;
  if (data.flags & NIF_INFO) balloon = data.balloon;
  return true;
}

void FakeTrayIcon::mouse(uint32_t message) {
  if (callback_ && shown) {
    auto callback = callback_;
    callback(message);
  }
}

bool FakeDeviceWatcher::start(std::function<void(const DeviceChange&)> onChange) {
  if (failStart) return false;
  setCallback(std::move(onChange));
  started = true;
  return true;
}

void FakeDeviceWatcher::stop() {
  setCallback(nullptr);
  started = false;
}

void FakeDeviceWatcher::plug(const std::string& hardwareId, const std::string& interface) {
  raise(DeviceChange{DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE, NetlinkDeviceWatcher::interfaceName(hardwareId, interface), 0});
}

void FakeDeviceWatcher::unplug(const std::string& hardwareId, const std::string& interface) {
  raise(DeviceChange{DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_DEVICEINTERFACE,
                     NetlinkDeviceWatcher::interfaceName(hardwareId, interface), 0});
}

std::optional<IfRow> FakeIpHelper::ifEntry(uint32_t index) {
  auto it = rows.find(index);
  if (it == rows.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> FakeFileDialog::next() {
  if (answers.empty()) return std::nullopt;
  std::optional<std::string> answer = answers.front();
  answers.pop_front();
  return answer;
}

std::optional<std::string> FakeFileDialog::openFile(Wnd*, const FileDialogSpec& spec) {
  requests.push_back(Request{false, spec});
  return next();
}

std::optional<std::string> FakeFileDialog::saveFile(Wnd*, const FileDialogSpec& spec) {
  requests.push_back(Request{true, spec});
  return next();
}

}  // namespace zfw::testing
