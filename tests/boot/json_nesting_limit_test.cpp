// Every JSON text read from outside is refused one level past the nesting
// limit with the error its reader gives any malformed text, and read at the
// limit: documents from strings, the boot apply record, the LoadStore error
// file and the kernel-info tree (whose reason the boot logs).
#include <functional>

#include "boot/load_store_fixture.h"
#include "tarn/boot_state.h"
#include "tarn/exceptions.h"
#include "tarn/json_doc.h"
#include "tarn/upgrade_detection.h"

namespace LoadStoreTest {
namespace {

std::string Nested(unsigned levels) { return std::string(levels, '[') + std::string(levels, ']'); }

// An object holding members, nested depth levels deep in all.
std::string ObjectOfDepth(const std::string& members, unsigned depth) {
    return "{" + members + "\"pad\": " + Nested(depth - 1) + "}";
}

int ErrorCode(const std::function<void()>& f) {
    try {
        f();
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        return e.GetErrorCode();
    }
    return 0;
}

class JsonNestingLimit : public LoadStoreHost {};

TEST_F(JsonNestingLimit, OneLevelPastTheLimitIsMalformedEverywhere) {
    for (unsigned depth : {TarnJson::JSON_MAX_DEPTH, TarnJson::JSON_MAX_DEPTH + 1}) {
        SCOPED_TRACE(depth);
        const bool tooDeep = depth > TarnJson::JSON_MAX_DEPTH;
        WriteTree("runweasel");

        EXPECT_EQ(ErrorCode([&] { TarnConfigStore::CreateDocumentFromString(Nested(depth)); }), tooDeep ? 1080 : 0);

        WriteKey("BOOT_APPLY_RESULT", ObjectOfDepth(R"("isBootComplete": true, )", depth));
        EXPECT_EQ(ErrorCode([] { TarnConfigStore::getBootApplyRecord(); }), tooDeep ? 1080 : 0);

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
        EXPECT_EQ(ErrorCode([] { TarnConfigStore::IsDebugUpgrade(); }), 2000);
        const std::string reason = std::string(KNO_LiveTreePath()) + ": not valid JSON: nested too deep at byte " +
                                   std::to_string(tree.find('[') + depth - 2);
        const std::vector<std::string> logs = Texts(capture.Logs(), 0);
        EXPECT_EQ(Contains(logs, "Kernel-info tree: " + reason), tooDeep) << testing::PrintToString(logs);
        EXPECT_EQ(KNO_UseCache(KNO_LiveTreePath(), -1), KES_BAD_TREE);
        EXPECT_EQ(KNO_LastError() == reason, tooDeep) << KNO_LastError();
    }
}

} // namespace
} // namespace LoadStoreTest
