#include "upgrade/module_handle.h"

#include <dlfcn.h>

namespace TarnConfigUpgrade {
namespace {

std::string LastDlError() {
    const char* text = dlerror();
    return text ? text : "unknown error";
}

} // namespace

ModuleHandle::ModuleHandle(const std::string& path) : m_handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!m_handle) m_error = LastDlError();
}

ModuleHandle::~ModuleHandle() {
    if (m_handle) dlclose(m_handle);
}

TarnConfigUpgradeEntry ModuleHandle::Entry() {
    if (!m_handle) return nullptr;
    dlerror();  // clear a stale error so that the one after dlsym is ours
    void* symbol = dlsym(m_handle, TARN_CONFIG_UPGRADE_ENTRY);
    if (!symbol) {
        m_error = LastDlError();
        return nullptr;
    }
    // POSIX guarantees that a data pointer from dlsym converts to a function pointer.
    return reinterpret_cast<TarnConfigUpgradeEntry>(symbol);
}

} // namespace TarnConfigUpgrade
