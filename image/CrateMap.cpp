// The crate map: the crates and payloads the profile lists, completed from
// the crate descriptors; and its dump.
#include <syslog.h>

#include <cstdio>
#include <stdexcept>

#include "image/tarn_image.h"
#include "store/unique_dir.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/syslog.h"

namespace TarnImage {
namespace {

bool IsElement(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, BAD_CAST name);
}

std::string Content(const xmlNode* node) { return TakeText(xmlNodeGetContent(node)); }

// A descriptor is a visible file named *.xml: no backup (.xml.bak) and no
// hidden file.
bool IsDescriptorName(const std::string& name) {
    const size_t lastDot = name.rfind('.');
    return name[0] != '.' && lastDot != std::string::npos && name.substr(lastDot) == ".xml";
}

} // namespace

void TarnImage::GetXmlCrateIdDetails(xmlNodeSet* nodes) {
    if (!nodes) return;
    for (int i = 0; i < nodes->nodeNr; ++i)
        crateIds.insert(TakeText(xmlNodeListGetString(profileDoc.get(), nodes->nodeTab[i]->children, 1)));
}

std::unordered_set<std::string> TarnImage::GetCrateIds() {
    ExecuteXpathExpr("/imageprofile/cratelist/crate/crate-id", &TarnImage::GetXmlCrateIdDetails);
    return crateIds;
}

void TarnImage::GetXmlCrateDetails(xmlNodeSet* nodes) {
    if (!nodes || nodes->nodeNr == 0) throw std::runtime_error("Image profile does not contain crates.");
    TarnPlatform::SysLog(LOG_INFO, "Found %d crates in image profile.", nodes->nodeNr);
    for (int i = 0; i < nodes->nodeNr; ++i) {
        std::string id;
        std::vector<std::string> payloads;
        for (const xmlNode* child = nodes->nodeTab[i]->children; child; child = child->next) {
            if (IsElement(child, "crate-id")) id = Content(child);
            if (!IsElement(child, "payloads")) continue;
            for (const xmlNode* payload = child->children; payload; payload = payload->next)
                if (IsElement(payload, "payload")) payloads.push_back(Content(payload));
        }
        crates[id] = CrateInfo{"", "", "", false, std::move(payloads)};
    }
}

void TarnImage::GetTarnCrates() {
    const std::string dir = TarnPlatform::HostPath(IMAGE_CRATES_DIR);
    TarnConfigStore::UniqueDir stream = TarnConfigStore::OpenDir(dir);
    if (!stream) return;
    while (const dirent* entry = readdir(stream.get())) {
        if (!IsRegularFile(dir, *entry) || !IsDescriptorName(entry->d_name)) continue;
        const TarnCrate crate(dir + "/" + entry->d_name);
        const std::string id = crate.Id();
        auto found = crates.find(id);
        if (found == crates.end()) {
            TarnPlatform::SysLog(LOG_ERR, "crate %s not found in image profile", id.c_str());
            continue;
        }
        found->second.restrictStickyFiles = crate.restrictStickyFiles;
        found->second.name = crate.name;
        found->second.version = crate.version;
        found->second.vendor = crate.vendor;
    }
}

std::unordered_map<std::string, CrateInfo> TarnImage::Get() {
    ExecuteXpathExpr("/imageprofile/cratelist/crate", &TarnImage::GetXmlCrateDetails);
    GetTarnCrates();
    return crates;
}

void TarnImage::Dump() {
    Get();
    File out = OpenForWriting(TarnPlatform::HostPath(IMAGE_DUMP_FILE), "w");
    if (!out) return;
    for (const auto& [id, crate] : crates) {
        std::fprintf(out.get(), "%s,%s,%s,%s,%d,", id.c_str(), crate.name.c_str(), crate.version.c_str(),
                     crate.vendor.c_str(), crate.restrictStickyFiles ? 1 : 0);
        for (const std::string& payload : crate.payloads) std::fprintf(out.get(), "%s|", payload.c_str());
        std::fputc('\n', out.get());
    }
}

} // namespace TarnImage
