// desired validate|set|show: checking a desired document, storing it for the
// next boot, and showing what is stored.
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "json_file.h"
#include "json_output.h"
#include "tarn/boot_state.h"
#include "tarn/db_connection.h"
#include "tarn/desired_config.h"
#include "tarn/json_doc.h"
#include "tarn/platform/capture.h"
#include "tarn/rapidjson.h"

namespace TarnCli {
namespace {

constexpr char kDesiredForm[] = "a desired document {\"profile\": {component: {group: {key: value}}}}";
constexpr char kSmartnicForm[] = "a SmartNIC configuration {component: {group: {key: value}}}";

// Prints every error of the document, one per line, and their number on
// standard error with the consequence; returns whether there was any.
bool PrintErrors(const rapidjson::Document& document, const std::string& file,
                 const std::shared_ptr<TarnSchemaStore::SchemaObjectCache>& cache, const char* consequence) {
    const auto errors = TarnConfigStore::ListDesiredDocumentErrors(document, cache);
    for (const auto& e : errors)
        std::printf("object %s, instance %s, at '%s': %s\n", e.object.empty() ? "-" : e.object.c_str(),
                    e.instance.empty() ? "-" : e.instance.c_str(), e.pointer.c_str(), e.reason.c_str());
    std::fflush(stdout);  // the errors before the summary
    if (!errors.empty())
        std::fprintf(stderr, "tarn-configstore: %zu validation error%s in %s%s\n", errors.size(),
                     errors.size() == 1 ? "" : "s", file.c_str(), consequence);
    return !errors.empty();
}

// Only "profile" of the root is read, so a document whose configuration sits
// beside it (the "profile" level forgotten) is valid and changes nothing:
// the operator hears of each member that is ignored.
void WarnOfIgnoredMembers(const rapidjson::Document& document, const std::string& file) {
    if (!document.IsObject() || document.ObjectEmpty()) return;
    for (const auto& m : document.GetObject()) {
        const std::string name(m.name.GetString(), m.name.GetStringLength());
        if (name != "profile")
            std::fprintf(stderr, "tarn-configstore: warning: %s: member '%s' of the root is ignored; only "
                                 "\"profile\" is read\n", file.c_str(), name.c_str());
    }
    if (!document.HasMember("profile"))
        std::fprintf(stderr, "tarn-configstore: warning: %s has no \"profile\" member, so it holds no "
                             "configuration; put the objects inside \"profile\"\n", file.c_str());
}

// The failure lines the SmartNIC validation logged (each failing object and
// why), on standard error.
void PrintFailureLines(const TarnPlatform::Capture& capture) {
    for (const TarnPlatform::CapturedLine& line : capture.Logs())
        if (line.priority == 0) std::fprintf(stderr, "tarn-configstore: %s\n", line.text.c_str());
}

int Validate(const std::string& file, bool smartnic) {
    auto doc = ReadJsonFile(file, smartnic ? kSmartnicForm : kDesiredForm);
    if (smartnic) {
        TarnPlatform::Capture capture;
        if (!TarnConfigStore::ValidateSmartnicConfiguration(*doc->document)) {
            PrintFailureLines(capture);
            std::fprintf(stderr, "tarn-configstore: %s is not a valid SmartNIC configuration\n", file.c_str());
            return 1;
        }
    } else {
        WarnOfIgnoredMembers(*doc->document, file);
        if (PrintErrors(*doc->document, file, TarnSchemaStore::SchemaStore::GetCache(), "")) return 1;
    }
    std::printf("%s: valid\n", file.c_str());
    return 0;
}

int Set(const std::string& file, bool smartnic) {
    auto doc = ReadJsonFile(file, smartnic ? kSmartnicForm : kDesiredForm);
    auto lock = LockStore();
    if (smartnic) {
        // The operation validates each object itself and logs each failing one.
        TarnPlatform::Capture capture;
        try {
            TarnConfigStore::SetDesiredSmartnicConfiguration(*doc->document);
        } catch (const std::exception&) {
            PrintFailureLines(capture);
            throw;
        }
    } else {
        WarnOfIgnoredMembers(*doc->document, file);
        // Stored with the schema objects it was validated with, each read once.
        const auto cache = TarnSchemaStore::SchemaStore::GetCache();
        if (PrintErrors(*doc->document, file, cache, "; nothing stored")) return 1;
        TarnConfigStore::SetDesiredUserConfig(*doc->document, cache);
    }
    // The boot restores the store from its backup: true only once a backup holds it.
    std::printf("stored for the next boot (boot mode %d); that boot restores the store from its backup, so run "
                "'tarn-configstore backup' before it, or it starts without this change\n",
                smartnic ? 3 : 1);
    return 0;
}

// A stored row: component, group, name, identifier, version, boot action,
// then the user, vital and cached layers (NULL as absent).
using Row = std::vector<std::optional<std::string>>;
constexpr const char* kColumnNames[] = {"component", "group", "name", "identifier", "version", "bootAction",
                                        "user", "vital", "cached"};
constexpr int kLayerColumn = 6;

int CollectRow(void* ctx, int n, char** values, char**) {
    auto* rows = static_cast<std::vector<Row>*>(ctx);
    rows->emplace_back();
    for (int i = 0; i < n; ++i) rows->back().push_back(values[i] ? std::optional<std::string>(values[i]) : std::nullopt);
    return 0;
}

void PrintJson(const std::vector<Row>& rows) {
    JsonOutput w;
    w.StartArray();
    for (const Row& r : rows) {
        w.StartObject();
        for (int i = 0; i < static_cast<int>(r.size()); ++i) {
            w.Key(kColumnNames[i]);
            if (i < kLayerColumn && r[i]) w.String(*r[i]);
            else w.Layer(r[i]);
        }
        w.EndObject();
    }
    w.EndArray();
    w.Print();
}

void PrintTable(const std::vector<Row>& rows) {
    if (rows.empty()) std::printf("(no desired configuration)\n");
    for (const Row& r : rows) {
        std::string key = r[0].value_or("") + "/" + r[1].value_or("") + "/" + r[2].value_or("");
        if (!r[3].value_or("").empty()) key += "[" + *r[3] + "]";
        std::printf("%s  %s  version %s\n", key.c_str(), r[5].value_or("").c_str(), r[4].value_or("").c_str());
        for (int i = kLayerColumn; i < static_cast<int>(r.size()); ++i)
            if (r[i] && !r[i]->empty()) std::printf("  %-9s %s\n", kColumnNames[i], r[i]->c_str());
    }
}

int Show(bool json) {
    auto conn = TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true);
    std::vector<Row> rows;
    if (DBStore::ExecuteV2(conn,
                           "SELECT Component, ConfigGroup, Name, Identifier, Version, BootAction, Value, VitalValue, "
                           "CachedValue FROM DesiredUserConfig ORDER BY Component, ConfigGroup, Name, Identifier;",
                           &CollectRow, &rows, 3000) != 0) {
        std::fprintf(stderr, "tarn-configstore: cannot read the desired configuration\n");
        return 1;
    }
    if (json) {
        PrintJson(rows);
    } else {
        PrintTable(rows);
        std::printf("next boot mode: %d\n", static_cast<int>(TarnConfigStore::GetBootMode()));
    }
    return 0;
}

} // namespace

int RunDesired(const Args& args) {
    const ParsedArgs parsed = ParseArgs(args, {{"--json"}, {"--smartnic"}, {"--file", "F"}});
    const Args& w = parsed.operands;
    const size_t what = Choose(w, {"validate", "set", "show", "export"});
    const bool json = parsed.Has("--json"), smartnic = parsed.Has("--smartnic");
    const Args file = parsed.Values("--file");
    if (what != 3 && !file.empty()) throw UsageError(w[0] + " takes no --file");
    if (what >= 2) {
        AtMost(w, 1);
        if (smartnic) throw UsageError(w[0] + " takes no --smartnic");
        if (what == 2) return Show(json);
        if (json) throw UsageError("export takes no --json: it prints a desired document");
        if (file.size() > 1 || (file.size() == 1 && file[0].empty())) throw UsageError("export takes one --file F");
        return ExportDesired(file.empty() ? std::string() : file[0]);
    }
    if (json) throw UsageError(w[0] + " takes no --json");
    if (w.size() < 2) throw UsageError(w[0] + " needs the FILE of the document");
    AtMost(w, 2);
    return what == 0 ? Validate(w[1], smartnic) : Set(w[1], smartnic);
}

} // namespace TarnCli
