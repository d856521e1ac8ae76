#include "host_agent.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <random>
#include <thread>

#include "agent_log.h"
#include "agent_state.h"
#include "store_step.h"
#include "tarn/boot_plan.h"
#include "tarn/boot_state.h"
#include "tarn/db_connection.h"
#include "tarn/desired_config.h"
#include "tarn/generations.h"
#include "tarn/platform/host_root.h"
#include "tarn/platform/schema_store.h"
#include "tarn/store_lock.h"
#include "tarn/store_tables.h"

namespace TarnFleet {

namespace {

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

// What a status reports of a document's errors. etcd refuses a request over
// 1.5 MiB: a document with thousands of errors, or a name of a megabyte in
// one, would leave the host with no status at all. So the first
// kReportedErrors, each text cut at kReportedText bytes (whole UTF-8
// characters), and one more that counts the rest.
constexpr size_t kReportedErrors = 100, kReportedText = 512;

std::string Cut(const std::string& text) {
    if (text.size() <= kReportedText) return text;
    size_t end = kReportedText;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end) + "...";
}

void Reject(HostStatus& status, const char* state, std::vector<DocumentError> errors) {
    status.state = state;
    const size_t total = errors.size();
    if (total > kReportedErrors) errors.resize(kReportedErrors);
    for (DocumentError& e : errors) e = {Cut(e.object), Cut(e.pointer), Cut(e.reason)};
    if (total > kReportedErrors)
        errors.push_back({"", "", "and " + std::to_string(total - kReportedErrors) + " more errors"});
    status.errors = std::move(errors);
}

PlanSummary Summarize(const TarnConfigStore::BootPlan& plan) {
    PlanSummary s;
    for (const auto& change : plan.changes) {
        switch (change.kind) {
            case TarnConfigStore::ConfigChangeKind::Added: ++s.added; break;
            case TarnConfigStore::ConfigChangeKind::Changed: ++s.changed; break;
            case TarnConfigStore::ConfigChangeKind::Removed: ++s.removed; break;
        }
    }
    s.bootMode = static_cast<int>(plan.bootMode);
    s.failure = plan.failure;
    return s;
}

// FNV-1a of the document's compact text: the same document, put again at a
// later revision (a rollout's canary getting the fleet's copy), is not stored twice.
std::string Digest(const rapidjson::Document& document) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    document.Accept(w);
    uint64_t h = 1469598103934665603ull;
    for (const char* c = buffer.GetString(); *c; ++c) h = (h ^ static_cast<unsigned char>(*c)) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return hex;
}

std::shared_ptr<DBStore::StoreConnection> Store() {
    return TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true);
}

// The fleet revision the store's desired rows came from; 0 when none.
int64_t StoreRevision() {
    std::string value;
    if (DBStore::ReadKeyValue(kStoreRevisionKey, &value, Store()) != 0)
        throw std::runtime_error(std::string("cannot read ") + kStoreRevisionKey);
    try {
        return value.empty() ? 0 : std::stoll(value);
    } catch (const std::exception&) {
        return 0;
    }
}

// What changes whenever anything commits to the store or a boot restores it
// (a rollback journal writes the file itself; a restore replaces it).
std::string StoreFingerprint() {
    struct stat st {};
    if (::stat(TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH).c_str(), &st) != 0) return {};
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
           std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

int CountDesiredRows() {
    int rows = -1;
    DBStore::ExecuteV2(
        Store(), "SELECT count(*) FROM DesiredUserConfig;",
        [](void* ctx, int, char** values, char**) {
            *static_cast<int*>(ctx) = values[0] ? std::atoi(values[0]) : 0;
            return 0;
        },
        &rows, 3000);
    if (rows < 0) throw std::runtime_error("cannot read DesiredUserConfig");
    return rows;
}

} // namespace

bool HandleInputs(HostStatus& status, const InputTexts& in, int keep, const std::string& fleet) {
    if (in.revisions == status.handled) return false;
    status.handled = in.revisions;
    status.seen = in.revisions.Revision();
    std::vector<DocumentError> errors;
    auto document = MergeHostDocument(in.pinned ? in.pinned : in.fleet, in.overlay, errors);
    if (!document) {
        Reject(status, kStateRejected, std::move(errors));
        return true;
    }
    for (const auto& e : TarnConfigStore::ListDesiredDocumentErrors(*document, TarnSchemaStore::SchemaStore::GetCache()))
        errors.push_back({e.object + (e.instance.empty() ? "" : "[" + e.instance + "]"), e.pointer, e.reason});
    if (!errors.empty()) {
        Reject(status, kStateRejected, std::move(errors));
        return true;
    }
    const std::string digest = Digest(*document);
    if (digest == status.digest && (status.state == kStatePending || status.state == kStateApplied)) {
        // The store holds this document already (and a boot applied it, if so).
        status.stored = status.seen;
        if (status.state == kStateApplied) status.applied = status.seen;
        return true;
    }
    status.storing = status.seen;
    status.storingDigest = digest;
    SaveState(fleet, status);
    try {
        TarnConfigStore::StoreLock lock("tarn-configstore agent: storing revision " + std::to_string(status.seen),
                                        std::chrono::milliseconds(-1));
        TarnConfigStore::SetDesiredUserConfig(*document);
        if (DBStore::WriteKeyValue(kStoreRevisionKey, std::to_string(status.seen), Store()) != 0)
            throw std::runtime_error(std::string("cannot write ") + kStoreRevisionKey);
        // The next boot restores the store from its backup: only a backup
        // that holds the document makes that boot apply it.
        int generation = 0;
        const std::string live = TarnPlatform::HostPath(TarnConfigStore::CONFIG_STORE_PATH);
        if (TarnConfigStore::BackupWithGeneration(live, keep, &generation) != 0)
            throw std::runtime_error("the backup that the next boot restores failed; see the system log");
        status.generation = generation;
        status.plan = Summarize(TarnConfigStore::PlanNextBoot(true));
    } catch (const std::exception& e) {
        status.storing = 0;
        Reject(status, kStateFailed, {{"", "", e.what()}});
        return true;
    }
    status.storing = 0;
    status.stored = status.seen;
    status.digest = digest;
    status.state = kStatePending;
    status.errors.clear();
    status.bootApplyRecord.clear();
    return true;
}

bool NoticeBoot(HostStatus& status) {
    if (status.state != kStatePending) return false;
    // The boot that applies the document leaves mode 1 and empties the
    // desired rows; one that fails to apply them rolls back, keeping the rows.
    if (TarnConfigStore::GetBootMode() == TarnConfigStore::BOOTMODE_NEW_DESIRED_CONFIG) return false;
    if (CountDesiredRows() == 0) {
        // The revision of the backup the boot restored: an older one than
        // stored after a rollback to an older generation, which the store
        // then holds instead.
        const int64_t restored = StoreRevision();
        status.state = kStateApplied;
        if (restored != 0) status.stored = restored;
        status.applied = status.stored;
        try {
            rapidjson::Document record = TarnConfigStore::getBootApplyRecord();
            rapidjson::StringBuffer buffer;
            rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
            record.Accept(w);
            if (record.IsObject()) status.bootApplyRecord = buffer.GetString();
        } catch (const std::exception&) {
            status.bootApplyRecord.clear();  // no record yet: the host's apply has not written one
        }
    } else {
        status.state = kStateApplyFailed;
        status.errors = {{"", "", "a boot ran but did not apply the stored document; see the boot log"}};
    }
    return true;
}

void ResolveInterruptedStore(HostStatus& status) {
    if (status.storing == 0) return;
    if (StoreRevision() == status.storing && TarnConfigStore::GetBootMode() != TarnConfigStore::BOOTMODE_NEW_DESIRED_CONFIG) {
        // A boot restored a backup holding it: it was stored whole.
        status.stored = status.storing;
        status.digest = status.storingDigest;
        status.state = kStatePending;
    } else {
        // Whether the backup holds it is not known: store it again (no boot
        // has applied it, so that applies nothing twice).
        status.handled = {};
        status.digest.clear();
    }
    status.storing = 0;
}

int RunAgent(const AgentOptions& o, const std::atomic<bool>& stop) {
    std::unique_ptr<FleetKeys> keys;
    try {
        keys = std::make_unique<FleetKeys>(o.prefix, o.fleet);
        keys->Status(o.host);  // checks the host name
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "tarn-configstore agent: %s\n", e.what());
        return 1;
    }
    AgentLog log;
    EtcdClient etcd(o.endpoints, o.tls);
    HostStatus status = LoadState(o.fleet, o.host);
    bool resolved = false;
    log.Line("agent of host " + o.host + " in fleet " + o.fleet + " started; last handled revision " +
             std::to_string(status.seen));
    const std::vector<KeySpan> watched = {{keys->Desired()}, {keys->Pinned(o.host)}, {keys->Overlay(o.host)}};
    std::string published;  // the status text etcd holds
    int64_t lease = 0, publishedAt = 0;
    std::pair<std::string, int64_t> lookedAt;  // the store's fingerprint when last looked for a boot, and when
    std::chrono::milliseconds pause{500};
    std::mt19937 jitter(std::random_device{}());

    auto sleepFor = [&stop](std::chrono::milliseconds d) {
        for (auto end = std::chrono::steady_clock::now() + d; !stop && std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    };

    // Pauses after a failure, 0.5 s doubling up to longestWait, with jitter;
    // a pass that works starts them over.
    auto backOff = [&] {
        sleepFor(pause + std::chrono::milliseconds(jitter() % (pause.count() / 2 + 1)));
        pause = std::min(pause * 2, o.longestWait);
    };

    while (!stop) {
        try {
            // Every step that reads or writes the store runs in a child of its own.
            if (!resolved) {
                if (status.storing != 0)
                    RunStoreStep(status, [](HostStatus& s) { ResolveInterruptedStore(s); return true; });
                resolved = true;
            }
            // A boot is looked for when the store changed, and once a minute
            // whatever its file says.
            bool changed = false;
            const std::string fingerprint = StoreFingerprint();
            if (status.state == kStatePending && (fingerprint != lookedAt.first || Now() - lookedAt.second >= 60)) {
                changed = RunStoreStep(status, NoticeBoot);
                lookedAt = {fingerprint, Now()};
            }
            if (lease == 0 || !etcd.KeepAlive(lease)) {
                lease = etcd.GrantLease(o.leaseSeconds);
                etcd.Write({{keys->Alive(o.host), std::to_string(Now())}}, {}, lease);
            }
            const Snapshot snap = etcd.Read(watched);
            InputTexts in;
            auto take = [&snap](const std::string& key, int64_t& revision, std::optional<std::string>& text) {
                if (const KeyValue* kv = snap.Find(key)) {
                    revision = kv->modRevision;
                    text = kv->value;
                }
            };
            take(keys->Desired(), in.revisions.fleet, in.fleet);
            take(keys->Pinned(o.host), in.revisions.pinned, in.pinned);
            take(keys->Overlay(o.host), in.revisions.overlay, in.overlay);
            // A store can outlast the lease: the host stays alive meanwhile.
            const auto keepLease = [&] {
                try {
                    if (lease != 0 && !etcd.KeepAlive(lease)) lease = 0;
                } catch (const EtcdError&) {
                    lease = 0;
                }
            };
            if (in.revisions != status.handled &&
                RunStoreStep(status, [&](HostStatus& s) { return HandleInputs(s, in, o.keep, o.fleet); }, keepLease)) {
                changed = true;
                log.Line("revision " + std::to_string(status.seen) + ": " + status.state +
                         (status.errors.empty() ? "" : " (" + status.errors.front().reason + ")"));
            }
            if (changed) SaveState(o.fleet, status);
            // The report of the last moment, refreshed once a minute so that
            // lastSeen tells how long a gone host has been gone.
            const std::string text = StatusToJson(status);
            if (text != published || Now() - publishedAt >= 60) {
                HostStatus report = status;
                report.lastSeen = Now();
                etcd.Write({{keys->Status(o.host), StatusToJson(report)}});
                published = text;
                publishedAt = report.lastSeen;
            }
            pause = std::chrono::milliseconds(500);
            etcd.WaitForChange(watched, snap.revision,
                               std::chrono::milliseconds(std::max(1000, o.leaseSeconds * 1000 / 2)));
        } catch (const EtcdError& e) {
            log.Line(std::string("etcd: ") + e.what() + "; trying again");
            lease = 0;  // it may have expired meanwhile
            backOff();
        } catch (const std::exception& e) {
            // The store could not be read (a boot holds it, or the host has
            // none yet): the host's own work goes first.
            log.Line(std::string("store: ") + e.what() + "; trying again");
            backOff();
        }
    }
    if (lease != 0) {
        try {
            etcd.RevokeLease(lease);
        } catch (const EtcdError&) {
        }
    }
    log.Line("agent stopped");
    return 0;
}

} // namespace TarnFleet
