// The tree file on disk: reading it with its stamp, and replacing it under
// an exclusive lock so that concurrent writers neither lose each other's
// changes nor leave a half-written file (a reader always sees a whole file:
// the old one or the new one).
#pragma once

#include <string>

#include "kno/tree.h"
#include "tarn/rapidjson.h"

namespace TarnPlatform::Kno {

// False when the file cannot be examined (missing).
bool StatFile(const std::string& path, FileStamp& stamp);
// The same for an open file (whatever its name now names).
bool StatOpenFile(int fd, FileStamp& stamp);

// Tree files larger than this are refused; real trees take a few MiB.
constexpr size_t TREE_FILE_MAX_SIZE = size_t(64) << 20;

// The whole file. KES_NO_TREE when missing, KES_IO_ERROR when unreadable,
// KES_BAD_TREE when not a regular file or larger than TREE_FILE_MAX_SIZE;
// problem then says which.
KES_ReturnStatus ReadWholeFile(const std::string& path, std::string& text, FileStamp& stamp, std::string& problem);

// The tree file as JSON text, laid out for people.
std::string FormatTreeJson(const rapidjson::Value& doc);

class LockedTreeFile {
public:
    LockedTreeFile() = default;
    ~LockedTreeFile();
    LockedTreeFile(const LockedTreeFile&) = delete;
    LockedTreeFile& operator=(const LockedTreeFile&) = delete;

    // Opens the file and waits for its exclusive lock. When another writer
    // replaced the file meanwhile, the lock is taken again on the new one.
    KES_ReturnStatus Open(const std::string& path, std::string& problem);
    // The content of the locked file, as ReadWholeFile reads it.
    KES_ReturnStatus Read(std::string& text, FileStamp& stamp, std::string& problem);
    // Writes text to a temporary file beside it and renames it over the
    // file; stamp receives the new file's stamp.
    KES_ReturnStatus Replace(const std::string& text, FileStamp& stamp);

private:
    int fd_ = -1;
    std::string path_;
};

} // namespace TarnPlatform::Kno
