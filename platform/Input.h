#pragma once

// Synthetic pointer input on the real screen. One PointerInput is used by one thread at a time; results
// are not reported (the caller ignores them).

#include <memory>

#include "common/Geometry.h"

namespace platform {

class PointerInput {
  public:
    // Null when there is no screen to talk to.
    static std::unique_ptr<PointerInput> Open();
    virtual ~PointerInput() = default;
    virtual void MoveTo(Point screenPoint) = 0;
    virtual void PressLeft(Point screenPoint) = 0;
    virtual void ReleaseLeft(Point screenPoint) = 0;
};

}  // namespace platform
