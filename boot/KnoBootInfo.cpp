#include "boot/kno_boot_info.h"

#include <cstdint>
#include <cstring>

#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/kno/kno.h"
#include "tarn/platform/kno/kno_tree.h"
#include "tarn/upgrade_detection.h"

namespace TarnConfigStore {

namespace {

// Buffers as large as the kernel's own text nodes.
constexpr uint32_t BOOT_CMDLINE_SIZE = 4096;
constexpr uint32_t BOOT_MAC_SIZE = 24;
constexpr uint32_t BOOT_FS_UUID_SIZE = 40;
constexpr uint32_t KNO_SIG_DATE_SIZE = 21;

// Reads a text node into a zero-filled buffer; false when the read fails.
// The text ends at the first NUL, or at the buffer's end if it has none.
template <uint32_t Size>
bool ReadTextNode(uint32_t node, std::string& text) {
    char buffer[Size];
    std::memset(buffer, 0, sizeof buffer);
    if (KNO_Get(node, nullptr, buffer, Size) != KES_OK) return false;
    text.assign(buffer, strnlen(buffer, Size));
    return true;
}

} // namespace

void CheckKnoSignature() {
    // Neither the build date nor the mismatch flag matters here: the status
    // alone says whether the definitions can be used.
    char buildDate[KNO_SIG_DATE_SIZE];
    int mismatch = 0;
    KES_ReturnStatus status = KNO_CheckSig(buildDate, KNO_SIG_DATE_SIZE, &mismatch);
    if (status == KES_OK) return;
    // When the tree could not be loaded, the status alone does not tell the
    // operator what to mend; the loader's message names the file and the
    // problem.
    if (status == KES_NO_TREE || status == KES_IO_ERROR || status == KES_BAD_TREE)
        CSLogger::Log(0, "Kernel-info tree: %s", KNO_LastError());
    throw ConfigStoreException("Failed to invoke KNO_CheckSig");
}

std::string ReadBootCmdLine() {
    std::string line;
    if (!ReadTextNode<BOOT_CMDLINE_SIZE>(KNO_NODE_system_bootCmdLine, line))
        throw ConfigStoreException("Failed to get boot command line");
    return line;
}

std::string ReadBootMac() {
    std::string mac;
    if (!ReadTextNode<BOOT_MAC_SIZE>(KNO_NODE_system_bootMAC, mac))
        throw ConfigStoreException("Failed to get boot nic mac address.");
    return mac;
}

std::string GetBootFsUUID(bool checkSignature) {
    if (checkSignature) CheckKnoSignature();
    std::string uuid;
    if (!ReadTextNode<BOOT_FS_UUID_SIZE>(KNO_NODE_system_bootFsUUID, uuid))
        throw ConfigStoreException("Failed to get boot fs uuid.");
    return uuid;
}

} // namespace TarnConfigStore
