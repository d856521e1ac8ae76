// What the kernel-info tree says about this boot: the definitions' signature
// check and the three texts upgrade detection reads. Every failure throws
// ConfigStoreException with a fixed message.
#pragma once

#include <string>

namespace TarnConfigStore {

// Throws "Failed to invoke KNO_CheckSig" when the check does not pass.
void CheckKnoSignature();

// The kernel's boot command line; throws "Failed to get boot command line".
std::string ReadBootCmdLine();

// MAC address text of the NIC the host booted from, empty when it did not
// boot from the network; throws "Failed to get boot nic mac address.".
std::string ReadBootMac();

} // namespace TarnConfigStore
