// The store's exception family. The classes live in libtarnplatform (the host
// component that owns their constructors) and are exported with their type
// information, so any program linking the libraries catches them by type.
#pragma once

#include <exception>
#include <memory>
#include <string>

#include "tarn/export.h"

namespace HostCtl {
namespace Lib {

class TARN_PLATFORM_EXPORT HostCtlException : public std::exception {
public:
    explicit HostCtlException(std::string message);
    ~HostCtlException() override;
    const char* what() const noexcept override;

protected:
    std::string m_message;
    // Attachment for the host's own diagnostics; this library never sets it.
    std::shared_ptr<void> m_attachment;
};

} // namespace Lib
} // namespace HostCtl

namespace TarnConfigStore {

// The generic code: carried by every exception built from a message alone.
constexpr int GENERIC_ERROR_CODE = 2000;

class TARN_PLATFORM_EXPORT ConfigStoreException : public HostCtl::Lib::HostCtlException {
public:
    ConfigStoreException(int code, const char* message);
    explicit ConfigStoreException(const char* message);
    ~ConfigStoreException() override;

    int GetErrorCode() const noexcept { return m_code; }

private:
    int m_code;
};

// Marks input that cannot be parsed.
class TARN_PLATFORM_EXPORT InvalidArgumentException : public ConfigStoreException {
public:
    InvalidArgumentException(int code, const char* message);
    ~InvalidArgumentException() override;
};

// Raised by the JSON layer's consistency checks instead of aborting.
[[noreturn]] TARN_PLATFORM_EXPORT void ThrowInvalidJson();

} // namespace TarnConfigStore
