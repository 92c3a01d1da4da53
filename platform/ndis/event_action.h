#pragma once
// The work of one queued event: any callable that takes nothing. Closures up to
// kInlineBytes (what the runtime, the chip and the air queue per frame) live inside the
// object, so queueing them allocates nothing; larger ones go to the heap. Move-only.
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace ndis {

class EventAction {
public:
  static constexpr std::size_t kInlineBytes = 64;

  EventAction() = default;
  template <class F>
    requires(!std::is_same_v<std::decay_t<F>, EventAction> && std::is_invocable_v<std::decay_t<F>&>)
  EventAction(F&& work) {  // NOLINT: a closure converts, as it does to std::function
    using Work = std::decay_t<F>;
    if constexpr (FitsInline<Work>()) {
      ::new (static_cast<void*>(storage_)) Work(std::forward<F>(work));
      ops_ = &InlineOps<Work>::kOps;
    } else {
      *reinterpret_cast<Work**>(storage_) = new Work(std::forward<F>(work));
      ops_ = &HeapOps<Work>::kOps;
    }
  }
  EventAction(EventAction&& other) noexcept { take(other); }
  EventAction& operator=(EventAction&& other) noexcept {
    if (this != &other) {
      reset();
      take(other);
    }
    return *this;
  }
  EventAction(const EventAction&) = delete;
  EventAction& operator=(const EventAction&) = delete;
  ~EventAction() { reset(); }

  explicit operator bool() const { return ops_ != nullptr; }
  void operator()() { ops_->call(storage_); }
  void reset() {
    if (ops_ != nullptr) ops_->destroy(storage_);
    ops_ = nullptr;
  }

private:
  struct Ops {
    void (*call)(void* storage);
    void (*move)(void* from, void* to);  // leaves `from` destroyed
    void (*destroy)(void* storage);
  };
  template <class Work>
  static constexpr bool FitsInline() {
    return sizeof(Work) <= kInlineBytes && alignof(Work) <= alignof(std::max_align_t) &&
           std::is_nothrow_move_constructible_v<Work>;
  }
  template <class Work>
  struct InlineOps {
    static Work* of(void* storage) { return std::launder(static_cast<Work*>(storage)); }
    static constexpr Ops kOps{
        [](void* s) { (*of(s))(); },
        [](void* from, void* to) {
          ::new (to) Work(std::move(*of(from)));
          of(from)->~Work();
        },
        [](void* s) { of(s)->~Work(); }};
  };
  template <class Work>
  struct HeapOps {
    static Work*& of(void* storage) { return *static_cast<Work**>(storage); }
    static constexpr Ops kOps{
        [](void* s) { (*of(s))(); },
        [](void* from, void* to) { *static_cast<Work**>(to) = of(from); },
        [](void* s) { delete of(s); }};
  };

  void take(EventAction& other) noexcept {
    if (other.ops_ == nullptr) return;
    other.ops_->move(other.storage_, storage_);
    ops_ = std::exchange(other.ops_, nullptr);
  }

  alignas(std::max_align_t) unsigned char storage_[kInlineBytes];
  const Ops* ops_ = nullptr;
};

}  // namespace ndis
