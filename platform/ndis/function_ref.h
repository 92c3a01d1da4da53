#pragma once
// A non-owning reference to a callable for the length of one call: what std::function would
// copy (and, for a closure of more than two pointers, allocate), this only points at.
#include <memory>
#include <type_traits>
#include <utility>

namespace ndis {

template <class Signature>
class FunctionRef;

template <class Result, class... Args>
class FunctionRef<Result(Args...)> {
public:
  template <class F>
    requires(!std::is_same_v<std::decay_t<F>, FunctionRef> && std::is_invocable_r_v<Result, F&, Args...>)
  FunctionRef(F&& callable)  // NOLINT: converts like std::function
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
        call_([](void* object, Args... args) -> Result {
          return (*static_cast<std::remove_reference_t<F>*>(object))(std::forward<Args>(args)...);
        }) {}

  Result operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

private:
  void* object_;
  Result (*call_)(void*, Args...);
};

}  // namespace ndis
