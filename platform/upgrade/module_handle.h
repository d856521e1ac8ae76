// An upgrade module loaded with dlopen, unloaded when the handle goes.
#pragma once

#include <string>

#include "tarn/platform/config_upgrade.h"

namespace TarnConfigUpgrade {

class ModuleHandle {
public:
    // Loads the module (symbols resolved at once, kept local to it). Check
    // Loaded(); Error() then says why it failed.
    explicit ModuleHandle(const std::string& path);
    ~ModuleHandle();
    ModuleHandle(const ModuleHandle&) = delete;
    ModuleHandle& operator=(const ModuleHandle&) = delete;

    bool Loaded() const { return m_handle != nullptr; }
    const std::string& Error() const { return m_error; }

    // The module's entry point; nullptr (and Error() set) when it has none.
    TarnConfigUpgradeEntry Entry();

private:
    void* m_handle;
    std::string m_error;
};

} // namespace TarnConfigUpgrade
