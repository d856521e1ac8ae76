// Mounting file systems for the store's RAM disks. The host's in-memory file
// system "lumenfs" has no counterpart here: a mount of that type becomes a
// tmpfs whose size and mode come from the lumenfs option text (see
// docs/store-ramdisk.md). Every other type goes to mount(2) unchanged.
#pragma once

#include <string>

#include "tarn/export.h"

namespace TarnPlatform {

inline constexpr char LUMENFS_TYPE[] = "lumenfs";

// Like mount(2): 0 on success, -1 with errno set on failure. For "lumenfs"
// a missing target directory is created first (on the host the in-memory
// root file system provides it), and an option text that does not translate
// fails with EINVAL before anything is mounted.
TARN_PLATFORM_EXPORT int Mount(const char* source, const char* target, const char* fileSystemType,
                               unsigned long flags, const void* data);

// Translates the lumenfs option text "min,max,n3,n4,n5,mode,name" (sizes in
// MiB, three further numbers tmpfs has no use for, mode in octal, the RAM
// disk's name) into tmpfs options "size=<max>m,mode=<mode>". False, with
// tmpfsOptions untouched, when the text is not of that form.
TARN_PLATFORM_EXPORT bool TranslateLumenfsOptions(const std::string& lumenfsOptions, std::string* tmpfsOptions);

} // namespace TarnPlatform
