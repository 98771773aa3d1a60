// The runtime error a call raises, read by its number.
#pragma once

#include <functional>

#include "platform/files/vb_error.h"

namespace testsupport {

// The number of the error the call raises; 0 when it raises none.
inline int ErrorNumber(const std::function<void()>& call) {
    try {
        call();
    } catch (const VbError& e) {
        return e.Number;
    }
    return 0;
}

}  // namespace testsupport
