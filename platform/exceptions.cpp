#include "tarn/exceptions.h"

#include <utility>

namespace HostCtl {
namespace Lib {

HostCtlException::HostCtlException(std::string message) : m_message(std::move(message)) {}
HostCtlException::~HostCtlException() = default;
const char* HostCtlException::what() const noexcept { return m_message.c_str(); }

} // namespace Lib
} // namespace HostCtl

namespace TarnConfigStore {

ConfigStoreException::ConfigStoreException(int code, const char* message)
    : HostCtlException(message ? message : ""), m_code(code) {}
ConfigStoreException::ConfigStoreException(const char* message)
    : ConfigStoreException(GENERIC_ERROR_CODE, message) {}
ConfigStoreException::~ConfigStoreException() = default;

InvalidArgumentException::InvalidArgumentException(int code, const char* message)
    : ConfigStoreException(code, message) {}
InvalidArgumentException::~InvalidArgumentException() = default;

void ThrowInvalidJson() { throw ConfigStoreException("Invalid JSON"); }

} // namespace TarnConfigStore
