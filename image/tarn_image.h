// One reader of the image database. It holds the database's lock from
// construction to destruction, so it lives for one query (the free functions
// of tarn/image.h) and is used by one thread.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "image/handles.h"
#include "tarn/image.h"

namespace TarnImage {

class TarnImage {
public:
    // Locks the database and parses the image profile; throws
    // std::runtime_error (with the lock released) when either fails.
    TarnImage();
    ~TarnImage();  // unlocks
    TarnImage(const TarnImage&) = delete;
    TarnImage& operator=(const TarnImage&) = delete;

    using XpathHandler = std::function<void(TarnImage&, xmlNodeSet*)>;

    // Sets lockFile when the lock is taken; leaves it empty otherwise.
    void LockImageDB();
    void UnlockImageDB();
    // The first regular file of the profiles directory; empty when none.
    std::string GetImageProfilePath();
    // Evaluates expr on the profile and hands its node set (possibly none)
    // to handler.
    void ExecuteXpathExpr(const std::string& expr, const XpathHandler& handler);
    void GetXmlCrateIdDetails(xmlNodeSet* nodes);
    void GetXmlCrateDetails(xmlNodeSet* nodes);

    std::unordered_set<std::string> GetCrateIds();
    // Fills the details of the crates the profile lists from their
    // descriptors.
    void GetTarnCrates();
    std::unordered_map<std::string, CrateInfo> Get();
    void Dump();

    // One crate descriptor, read while the crate map is filled.
    class TarnCrate {
    public:
        // Parses the descriptor; throws std::runtime_error when it cannot be
        // parsed, std::exception when its fields cannot be read.
        explicit TarnCrate(const std::string& path);
        ~TarnCrate() = default;
        TarnCrate(const TarnCrate&) = delete;
        TarnCrate& operator=(const TarnCrate&) = delete;

        void ParseXml();
        template <typename Result>
        Result ExecuteXpathExpr(const std::string& expr,
                                const std::function<Result(TarnCrate&, xmlNodeSet*)>& handler);
        std::string GetXmlStringNode(xmlNodeSet* nodes);
        bool GetXmlRestrictStickyFiles(xmlNodeSet* nodes);

        // vendor_type_name_version
        std::string Id() const { return vendor + "_" + type + "_" + name + "_" + version; }

        std::string name;
        std::string version;
        std::string vendor;
        std::string type;
        bool restrictStickyFiles = false;
        XmlDoc doc;
        XPathContext xpath;
    };

private:
    // Unlocks and throws std::runtime_error(message): a failed construction.
    [[noreturn]] void Fail(const char* message);

    std::unordered_map<std::string, CrateInfo> crates;
    std::unordered_set<std::string> crateIds;
    XmlDoc profileDoc;
    XPathContext profileXPath;
    File lockFile;
};

} // namespace TarnImage
