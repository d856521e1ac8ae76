// The rows of a desired document: its values, and the defaults of the
// mutable-default objects it leaves out.
#include <exception>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "desired/desired_document.h"
#include "desired/hand_off.h"
#include "tarn/config_validation.h"
#include "tarn/desired_config.h"
#include "tarn/exceptions.h"
#include "tarn/platform/cs_logger.h"
#include "tarn/platform/host_root.h"

namespace TarnConfigStore {
namespace {

using TarnSchemaStore::SchemaObjectId;

// A level of the document that must be an object; the document reached here
// unvalidated is refused by name rather than walked as something else.
rapidjson::Value& Level(rapidjson::Value& value, const std::string& path) {
    if (!value.IsObject()) throw ConfigStoreException(("Desired document: " + path + " is not an object").c_str());
    return value;
}

// Copies the object's default rows, except those of its fixed instances,
// which belong to the host and stay as they are.
void CopyDefaults(const std::shared_ptr<DBStore::StoreConnection>& conn,
                  const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache,
                  const TarnSchemaStore::SchemaObjectIdSet& fixedKind, const SchemaObjectId& id) {
    using TarnPlatform::SqlQuote;
    CSLogger::Log(2, "Processing mutableDefaultConfig schemas id = %s", id.toString().c_str());
    std::string sql =
        "insert into desireduserconfig(component, configgroup, name, identifier, version, value, vitalvalue, "
        "cachedvalue) select component, configgroup, name, identifier, version, value, vitalvalue, cachedvalue "
        "from defaultconfig where component=" + SqlQuote(id.GetComponent()) + " and configgroup = " +
        SqlQuote(id.GetGroup()) + " and name=" + SqlQuote(id.GetName());
    std::string fixed;
    if (fixedKind.count(id)) {
        const std::shared_ptr<TarnSchemaStore::SchemaObject> object = cache->GetSchemaObject(id);
        if (object && object->IsNonSingleton() && object->GetIdField() != TarnSchemaStore::GENERATED_ID_FIELD)
            for (const std::string& identifier : object->GetIdentifierList())
                fixed += (fixed.empty() ? "" : ",") + SqlQuote(identifier);
    }
    sql += fixed.empty() ? ";" : " AND identifier NOT IN (" + fixed + ");";
    if (DBStore::ExecuteV2(conn, sql, nullptr, nullptr, 3000) != 0)
        throw ConfigStoreException("Failed to insert default configuration to desired config table");
}

// Calls visit(component, group, key, value) for every key of the document,
// in document order, while it returns true.
template <typename Visit>
void ForEachKey(rapidjson::Document& document, Visit visit) {
    auto profile = Level(document, "the root").FindMember("profile");
    if (profile == document.MemberEnd()) return;
    for (auto& c : Level(profile->value, "/profile").GetObject()) {
        const std::string component = MemberName(c.name);
        for (auto& g : Level(c.value, "/profile/" + component).GetObject()) {
            const std::string group = MemberName(g.name);
            for (auto& k : Level(g.value, "/profile/" + component + "/" + group).GetObject())
                if (!visit(component, group, MemberName(k.name), k.value)) return;
        }
    }
}

// Step 3 of the document: the row of every value, in document order, to
// emit while it returns true; each key's object taken off pending.
template <typename Emit>
void MakeRows(rapidjson::Document& document, const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache,
              TarnSchemaStore::SchemaObjectIdSet& pending, Emit emit) {
    ForEachKey(document, [&](const std::string& component, const std::string& group, const std::string& key,
                             rapidjson::Value& v) {
        const SchemaObjectId id(component, group, key);
        pending.erase(id);
        const std::shared_ptr<TarnSchemaStore::SchemaObject> object = cache->GetSchemaObject(id);
        if (!object) throw ConfigStoreException(("No schema registered for " + id.toString()).c_str());
        const std::string version = object->GetVersion();
        if (v.IsArray()) {
            for (rapidjson::Value& element : v.GetArray())
                if (!emit(MakeDesiredRow(document.GetAllocator(), version, component, group, key, object, element)))
                    return false;
        } else if (v.IsObject()) {
            return emit(MakeDesiredRow(document.GetAllocator(), version, component, group, key, object, v));
        } else if (v.IsString() && MemberName(v) == DELETE_DEFAULT_VALUE) {
            CSLogger::Log(2, "Default configuration for comp:%s, group:%s key:%s will be deleted.", component.c_str(),
                          group.c_str(), key.c_str());
        }
        return true;
    });
}

constexpr size_t kRowsForHelper = 1024, kBatchRows = 256, kBatchesAhead = 4;

// Whether the document makes kRowsForHelper rows or more. For a document of
// another shape, what comes before its fault counts: MakeRows refuses it on
// either path, with the same error.
bool WorthAHelper(rapidjson::Document& document) {
    size_t rows = 0;
    try {
        ForEachKey(document, [&rows](const std::string&, const std::string&, const std::string&, rapidjson::Value& v) {
            rows += v.IsArray() ? v.Size() : v.IsObject();
            return rows < kRowsForHelper;
        });
    } catch (const ConfigStoreException&) {
    }
    return rows >= kRowsForHelper;
}

// Making a row (identifier, statement text, the value's text) costs a tenth
// of writing it; for a big document a helper thread makes the rows while
// this one writes them, so writing costs SQLite's own time alone. The rows
// written, their order, and the error thrown are those of MakeRows with each
// row written at once; after an error the helper may have filled generated
// identifiers in a few values past the last row written. False, with
// nothing done, when no thread can be started.
bool WriteRowsAlongside(rapidjson::Document& document, const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache,
                        TarnSchemaStore::SchemaObjectIdSet& pending,
                        const std::shared_ptr<DBStore::StoreConnection>& conn) {
    using Batch = std::vector<DesiredRow>;
    HandOff<Batch> handOff(kBatchesAhead);
    std::thread maker;
    try {
        maker = std::thread([&] {
            std::exception_ptr error;
            Batch batch;
            try {
                MakeRows(document, cache, pending, [&](DesiredRow row) {
                    batch.push_back(std::move(row));
                    if (batch.size() < kBatchRows) return true;
                    const bool taken = handOff.Put(std::move(batch));
                    batch.clear();
                    return taken;
                });
            } catch (...) {
                error = std::current_exception();
            }
            // The rows made before a failure are written too: one of them
            // failing to be written is the earlier failure, and decides.
            // Refused at once if the writer stopped.
            if (!batch.empty()) handOff.Put(std::move(batch));
            handOff.Close(error);
        });
    } catch (const std::system_error&) {
        return false;
    }
    std::exception_ptr failed;  // writing's own failure comes first: its row precedes any the helper failed on
    try {
        while (std::optional<Batch> batch = handOff.Take())
            for (const DesiredRow& row : *batch) WriteDesiredRow(conn, row);
    } catch (...) {
        failed = std::current_exception();
        handOff.Stop();
    }
    maker.join();
    if (failed) std::rethrow_exception(failed);
    handOff.Rethrow();
    return true;
}

} // namespace

void ProcessDesiredDocument(rapidjson::Document& document, const std::shared_ptr<DBStore::StoreConnection>& conn,
                            std::shared_ptr<TarnSchemaStore::SchemaObjectCache> cache) {
    if (!cache) cache = TarnSchemaStore::SchemaStore::GetCache();
    const auto store = TarnSchemaStore::SchemaStore::GetStore();
    TarnSchemaStore::SchemaObjectIdSet pending = store->GetMutableDefaultConfigIds(false);

    if (!WorthAHelper(document) || !WriteRowsAlongside(document, cache, pending, conn))
        MakeRows(document, cache, pending, [&conn](const DesiredRow& row) {
            WriteDesiredRow(conn, row);
            return true;
        });

    const TarnSchemaStore::SchemaObjectIdSet fixedKind =
        store->GetSchemaObjectIdsByKind(TarnSchemaStore::KIND_FIXED_INSTANCES);
    for (const SchemaObjectId& id : pending) CopyDefaults(conn, cache, fixedKind, id);
}

} // namespace TarnConfigStore
