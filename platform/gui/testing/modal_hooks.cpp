#include "platform/gui/testing/modal_hooks.h"

#include "platform/gui/dialog.h"
#include "platform/gui/property_sheet.h"

namespace zfw::testing {

ModalHooks::ModalHooks() : previous_(setModalInterceptor(this)) {}

ModalHooks::~ModalHooks() {
  setModalInterceptor(previous_);
  for (const Hook& h : hooks_) ADD_FAILURE() << "no modal window " << h.modalId << " opened for its hook";
  if (!menuChoices_.empty()) ADD_FAILURE() << menuChoices_.size() << " menu choice(s) never used";
}

ModalHooks& ModalHooks::chooseMenu(int command) {
  menuChoices_.push_back(command);
  return *this;
}

static bool ended(Wnd& w) {
  if (auto* d = dynamic_cast<Dialog*>(&w)) return d->isEnded();
  if (auto* s = dynamic_cast<PropertySheet*>(&w)) return s->isEnded();
  return true;
}

void ModalHooks::runModal(Wnd& window, int modalId) {
  opened_.push_back(modalId);
  for (auto it = hooks_.begin(); it != hooks_.end(); ++it) {
    if (it->modalId != modalId) continue;
    Hook hook = std::move(*it);
    hooks_.erase(it);
    hook.act(window);
    if (!ended(window)) {
      ADD_FAILURE() << "modal window " << modalId << " was left open by its hook";
    }
    return;
  }
  ADD_FAILURE() << "modal window " << modalId << " (\"" << window.windowText() << "\") opened without a hook";
}

int ModalHooks::runMenu(const Menu&) {
  if (menuChoices_.empty()) {
    ADD_FAILURE() << "a popup menu opened without a menu choice";
    return 0;
  }
  const int choice = menuChoices_.front();
  menuChoices_.pop_front();
  return choice;
}

}  // namespace zfw::testing
