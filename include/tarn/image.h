// The host's image database: the image profile, listing the installed crates
// and their payloads, and one descriptor per installed crate. Each call reads
// it under the image database's lock (shared with the host's installer) and
// releases the lock before it returns. docs/image-database.md describes the
// files.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tarn/export.h"

namespace TarnImage {

inline constexpr char IMAGE_DB_LOCK_FILE[] = "/var/run/liveimgdb.pid";
inline constexpr char IMAGE_PROFILES_DIR[] = "/var/db/tarnimg/profiles";
inline constexpr char IMAGE_CRATES_DIR[] = "/var/db/tarnimg/crates";
inline constexpr char IMAGE_DUMP_FILE[] = "/tmp/image-info.csv";

// One installed crate.
struct CrateInfo {
    std::string name;     // from its descriptor
    std::string version;  // from its descriptor
    std::string vendor;   // from its descriptor
    bool restrictStickyFiles = false;   // the descriptor's software tag RestrictStickyFiles
    std::vector<std::string> payloads;  // payload names of the profile, in document order
};

// Ids (vendor_type_name_version) of the crates the image profile lists.
// Throws std::runtime_error when the database cannot be locked or read.
TARN_EXPORT std::unordered_set<std::string> GetCrateIds();

// Crate id to the crate's details, from the profile and the descriptors.
// Throws std::runtime_error (or std::exception for a descriptor that cannot
// be read) as described in docs/image-database.md.
TARN_EXPORT std::unordered_map<std::string, CrateInfo> GetTarnImage();

// Writes the crate map to /tmp/image-info.csv (one line per crate).
TARN_EXPORT void Dump();

} // namespace TarnImage
