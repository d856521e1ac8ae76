// Every JSON text read from outside is refused one level past the nesting
// limit with the error its reader gives any malformed text, and read at the
// limit: documents from strings, the boot apply record, the LoadStore error
// file and the kernel-info tree (whose reason the boot logs).
#include <functional>

#include "boot/load_store_fixture.h"
#include "tarn/boot_state.h"
#include "tarn/json_doc.h"
#include "tarn/upgrade_detection.h"

namespace LoadStoreTest {
namespace {

std::string Nested(unsigned levels) { return std::string(levels, '[') + std::string(levels, ']'); }

// An object holding members, nested depth levels deep in all.
std::string ObjectOfDepth(const std::string& members, unsigned depth) {
    return "{" + members + "\"pad\": " + Nested(depth - 1) + "}";
}

// The class and code of what f throws.
std::string Code(const std::function<void()>& f) {
    const std::string thrown = TarnTest::Thrown(f);
    return thrown.substr(0, thrown.find(' ', thrown.find(' ') + 1));
}

using JsonNestingLimit = LoadStoreHost;

TEST_F(JsonNestingLimit, OneLevelPastTheLimitIsMalformedEverywhere) {
    for (unsigned depth : {TarnJson::JSON_MAX_DEPTH, TarnJson::JSON_MAX_DEPTH + 1}) {
        SCOPED_TRACE(depth);
        const bool tooDeep = depth > TarnJson::JSON_MAX_DEPTH;
        const std::string malformed = tooDeep ? "InvalidArgumentException 1080" : "nothing thrown";
        WriteTree("runweasel");
        EXPECT_EQ(Code([&] { TarnConfigStore::CreateDocumentFromString(Nested(depth)); }), malformed);
        WriteKey("BOOT_APPLY_RESULT", ObjectOfDepth(R"("isBootComplete": true, )", depth));
        EXPECT_EQ(Code([] { TarnConfigStore::getBootApplyRecord(); }), malformed);

        TarnTest::WriteFile(TarnTest::Rooted("/var/run/halden/files/loadStoreErrors.json"),
                            ObjectOfDepth(R"("evts": [], )", depth));
        {
            TarnPlatform::Capture capture;
            ASSERT_EQ(TarnConfigStore::LoadStore(false), 0);
            EXPECT_EQ(Contains(Texts(capture.Logs(), 0), "Failed to parse LoadStore error file."), tooDeep);
        }

        // The tree file: refused either way (no such member), but for the
        // nesting only past the limit; the boot logs the loader's reason.
        const std::string tree = ObjectOfDepth("", depth);
        TarnTest::WriteFile(KNO_LiveTreePath(), tree);
        KNO_Reset();
        TarnPlatform::Capture capture;
        EXPECT_EQ(Code([] { TarnConfigStore::IsDebugUpgrade(); }), "ConfigStoreException 2000");
        const std::string reason = std::string(KNO_LiveTreePath()) + ": not valid JSON: nested too deep at byte " +
                                   std::to_string(tree.find('[') + depth - 2);
        EXPECT_EQ(Contains(Texts(capture.Logs(), 0), "Kernel-info tree: " + reason), tooDeep);
    }
}

} // namespace
} // namespace LoadStoreTest
