#pragma once

#include "platform/desktop/ErrorHandling.h"

#include <utility>

// The number of the run-time error that a call raised; 0 when it raised none.
// Any other exception is the run time's error it becomes (ErrorHandling).
template <class Call>
int raisedError(Call&& call) {
  const auto error = platform::runCatchingErrors(std::forward<Call>(call));
  return error ? error->number() : 0;
}
