// The C boundary: no exception leaves a KNO_* call.
#pragma once

#include <exception>
#include <new>

#include "kno/session.h"

namespace TarnPlatform::Kno {

// Runs f and returns its status; an exception becomes KES_NO_MEMORY
// (allocation) or KES_FAILURE, with its text kept for KNO_LastError().
template <typename F>
KES_ReturnStatus Guarded(F f) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return KES_NO_MEMORY;
    } catch (const std::exception& e) {
        SetLastError(e.what());
        return KES_FAILURE;
    } catch (...) {
        return KES_FAILURE;
    }
}

} // namespace TarnPlatform::Kno
