#pragma once
// Acting on modal windows in tests. While a ModalHooks lives, a modal dialog or sheet that
// opens runs the first unused hook registered for its id (its template id, or a sheet's
// caption string id) and ends when the hook returns; popup menus take the next menu
// choice. A modal window without a hook, a hook that leaves its window open, and hooks
// never used are test failures.
//
//   ModalHooks hooks;
//   hooks.expect<CWepKeyDlg>(121, [](CWepKeyDlg& d) { click(d, zfw::IDOK); });
//   page.OnConfigureWepKeys();
#include <deque>
#include <functional>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gui/modal.h"
#include "platform/gui/wnd.h"

namespace zfw::testing {

class ModalHooks final : public ModalInterceptor {
 public:
  ModalHooks();
  ~ModalHooks() override;
  ModalHooks(const ModalHooks&) = delete;
  ModalHooks& operator=(const ModalHooks&) = delete;

  template <class T = Wnd>
  ModalHooks& expect(int modalId, std::function<void(std::type_identity_t<T>&)> act) {
    hooks_.push_back(Hook{modalId, [act = std::move(act), modalId](Wnd& w) {
                            T* target = dynamic_cast<T*>(&w);
                            if (!target) {
                              ADD_FAILURE() << "modal window " << modalId << " is not a " << typeid(T).name();
                              return;
                            }
                            act(*target);
                          }});
    return *this;
  }
  // The next popup menu chooses `command` (0: dismissed).
  ModalHooks& chooseMenu(int command);

  void runModal(Wnd& window, int modalId) override;
  int runMenu(const Menu& menu) override;

  // Ids of the modal windows that opened, in order.
  const std::vector<int>& opened() const { return opened_; }
  size_t unused() const { return hooks_.size() + menuChoices_.size(); }

 private:
  struct Hook {
    int modalId;
    std::function<void(Wnd&)> act;
  };
  std::deque<Hook> hooks_;
  std::deque<int> menuChoices_;
  std::vector<int> opened_;
  ModalInterceptor* previous_;
};

}  // namespace zfw::testing
