// Store generations: numbered copies of the configuration-store backup that
// an operator can roll back to. They live beside the backup RAM disk and never
// change what the backup and the boot-time restore do: a rollback only puts a
// generation in place as the backup that the next boot restores.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tarn/export.h"

namespace TarnConfigStore {

// Fixed host path of the generation files, one per generation, named by
// number. They sit on the backup RAM disk, beside the backup they share their
// data with.
inline constexpr char GENERATIONS_PATH[] = "/var/lib/halden/configstore/backup/generations";
inline constexpr int DEFAULT_GENERATIONS_KEPT = 5;

struct Generation {
    int number = 0;
    std::string path;
    std::int64_t time = 0;   // seconds since the epoch the copy was written
    std::string bootFsUuid;  // BOOT_FS_UUID recorded in the generation's store
    bool restoredNext = false;  // it is the backup the next boot restores (the same file)
    bool pendingDesired = false;  // a boot from it applies stored desired configuration
};

// The backup with a generation: `backup` copies the live store into a
// temporary file of this process, synced, then linked under the next free
// number (a run at the same time never loses or takes over its generation;
// each gets a number of its own). The generation then
// becomes the configuration-store backup by a rename, sharing its data (a
// hard link, else a copy); all but the newest `keep` (at least 1) are
// pruned. Returns backup's result (0 on success); `number` gets the new
// generation. Throws ConfigStoreException when a file step fails after the copy.
// A live store that is missing, holds no tables or fails the integrity check
// is refused before anything is copied or pruned: a backup of it would push
// the good generations out (ConfigStoreException naming the path and the
// cause). The numbers of the generations pruned go to `removed` when given.
TARN_EXPORT int BackupWithGeneration(const std::string& live, int keep, int* number,
                                     std::vector<int>* removed = nullptr);

// Why the database file cannot be the source of a backup that replaces a
// good one: "does not exist", "is not a regular file", "holds no tables",
// "fails the integrity check". Empty when it can.
TARN_EXPORT std::string BackupSourceProblem(const std::string& path);


// Removes all but the newest `keep` generations (none with keep <= 0).
TARN_EXPORT void PruneGenerations(int keep);

// Gives a file that shares its data with a generation a copy of its own, so
// that writing into it in place (as `backup` does) leaves the generation as
// it was. Throws ConfigStoreException when the copy fails.
TARN_EXPORT void DetachFromGenerations(const std::string& path);

// The generations that pass the integrity check, oldest first; the numbers of
// those that fail it go to `damaged` when given. Without `check` every
// generation file is listed unchecked, for a caller that checks the one it uses.
TARN_EXPORT std::vector<Generation> ListGenerations(std::vector<int>* damaged = nullptr, bool check = true);

// What `rollback` without a generation restores: the newest generation older
// than the one the next boot restores (any kept one when the backup is a copy
// of its own) that holds no pending desired configuration, so that the boot
// after the rollback undoes the last change instead of applying it again.
// Null when there is none.
TARN_EXPORT const Generation* UndoTarget(const std::vector<Generation>& generations);

// Puts the generation in place as the configuration-store backup that the
// next boot restores, after checking its integrity; the live store is left
// alone. False, with nothing changed, when the generation fails the check;
// throws ConfigStoreException when the copy fails.
TARN_EXPORT bool RollBackTo(const Generation& generation);

// Rows of one table that differ between two stores, matched by primary key.
struct TableChange {
    std::string table;
    std::int64_t rowsBefore = 0, rowsAfter = 0;
    std::int64_t added = 0, changed = 0, removed = 0;
};

// Per table of either store (by name), how `after` differs from `before`.
// Both are opened read-only. Throws ConfigStoreException when one cannot be read.
TARN_EXPORT std::vector<TableChange> CompareStores(const std::string& before, const std::string& after);

} // namespace TarnConfigStore
