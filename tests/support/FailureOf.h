#pragma once
// The message an action fails with, or "" when it completes: most failure
// tests compare exactly this text.
#include <functional>
#include <string>

#include "signal/Errors.h"

namespace sonavir::testsupport {

inline std::string FailureOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const SonavirError& e) {
        return e.what();
    }
    return {};
}

}  // namespace sonavir::testsupport
