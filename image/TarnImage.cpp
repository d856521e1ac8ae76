// Opening the image database: the lock, the profile and its XPath context.
#include <syslog.h>

#include <cstring>
#include <stdexcept>

#include "image/tarn_image.h"
#include "store/unique_dir.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/syslog.h"

namespace TarnImage {

TarnImage::TarnImage() {
    LockImageDB();
    if (!lockFile) throw std::runtime_error("Failed to lock imageDB.");
    TarnPlatform::SysLog(LOG_INFO, "Tarn imagedb locked.");

    const std::string profilePath = GetImageProfilePath();
    if (profilePath.empty()) Fail("Failed to get image profile path.");
    profileDoc = ParseXmlFile(profilePath);
    if (!profileDoc) Fail("Failed to parse image profile.");
    profileXPath.reset(xmlXPathNewContext(profileDoc.get()));
    if (!profileXPath) {
        profileDoc.reset();
        Fail("Failed to create xPath context for image profile.");
    }
}

TarnImage::~TarnImage() {
    profileXPath.reset();
    profileDoc.reset();
    UnlockImageDB();
}

void TarnImage::Fail(const char* message) {
    UnlockImageDB();
    throw std::runtime_error(message);
}

std::string TarnImage::GetImageProfilePath() {
    const std::string dir = TarnPlatform::HostPath(IMAGE_PROFILES_DIR);
    TarnConfigStore::UniqueDir stream = TarnConfigStore::OpenDir(dir);
    if (!stream) {
        TarnPlatform::SysLog(LOG_ERR, "Cannot open image database profiles folder");
        return "";
    }
    // The installer keeps one profile; of several, the directory's order
    // decides.
    while (const dirent* entry = readdir(stream.get())) {
        if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
        if (IsRegularFile(dir, *entry)) return dir + "/" + entry->d_name;
    }
    TarnPlatform::SysLog(LOG_ERR, "No image profile found");
    return "";
}

void TarnImage::ExecuteXpathExpr(const std::string& expr, const XpathHandler& handler) {
    XPathObject result(xmlXPathEvalExpression(BAD_CAST expr.c_str(), profileXPath.get()));
    if (!result) throw std::runtime_error("Cannot allocate memory for xpath operation.");
    handler(*this, result->nodesetval);
}

} // namespace TarnImage
