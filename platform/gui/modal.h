#pragma once
// The seam where tests take over modal loops: while an interceptor is installed, a modal
// dialog, sheet or popup menu does not wait for a user but hands itself to the interceptor
// (zfw::testing::ModalHooks) and ends when the interceptor returns.
namespace zfw {

class Wnd;
class Menu;

class ModalInterceptor {
 public:
  virtual ~ModalInterceptor() = default;
  // `window` is open (created, initialised and shown). When this returns and the window
  // has not ended itself, it ends as cancelled.
  virtual void runModal(Wnd& window, int modalId) = 0;
  // A popup menu opens: the command chosen, 0 for none.
  virtual int runMenu(const Menu& menu) = 0;
};

ModalInterceptor* modalInterceptor();
// Installs `i` (nullptr: real modal loops); returns the previous one.
ModalInterceptor* setModalInterceptor(ModalInterceptor* i);

}  // namespace zfw
