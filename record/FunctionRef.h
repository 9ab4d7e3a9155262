#pragma once

#include <memory>
#include <type_traits>
#include <utility>

// A callable handed down a call and not kept: a pointer to it and to a function that calls it.
// Its code is a few bytes a callable, where std::function's is kilobytes, which the page's module
// pays for. It refers to the callable, so it never outlives the call it is given to.
template <class Signature> class FunctionRef;

template <class Result, class... Arguments> class FunctionRef<Result(Arguments...)> {
public:
    template <class Callable,
              class = std::enable_if_t<!std::is_same_v<std::decay_t<Callable>, FunctionRef>>>
    FunctionRef(Callable&& callable) // NOLINT: takes lambdas as std::function does
        : callable_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
          call_([](void* target, Arguments... arguments) -> Result {
              return (*static_cast<std::remove_reference_t<Callable>*>(target))(
                  std::forward<Arguments>(arguments)...);
          }) {}

    Result operator()(Arguments... arguments) const {
        return call_(callable_, std::forward<Arguments>(arguments)...);
    }

private:
    void* callable_;
    Result (*call_)(void*, Arguments...);
};
