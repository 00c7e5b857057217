#pragma once

#include "platform/desktop/RuntimeError.h"

#include <utility>

// The number of the run-time error that a call raised; 0 when it raised none.
// Any other exception goes on to the test, which then fails.
template <class Call>
int raisedError(Call&& call) {
  try {
    std::forward<Call>(call)();
  } catch (const platform::RuntimeError& error) {
    return error.number();
  }
  return 0;
}
