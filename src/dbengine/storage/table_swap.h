#pragma once

// Replacing a table's files by a finished new table, all or nothing. The planned renames are
// written to a swap record beside the table ("<table>.orn-swap") and made durable before the first
// file moves, so a crash half-way leaves a record that the next Table::open carries out to the
// end. The old files are never renamed aside: each new file takes its place in one rename.

#include <filesystem>
#include <functional>

#include "dbengine/storage/table.h"

namespace orn::db {

// Where a replacement for `table` (or a new table of that name) is built, beside it: a name of
// this process's own (text/safefile.h) that ends in ".tmp", outside the *.db and *.dbf masks.
// When `table` is the user's own symbolic link, the table is replaced where the link points
// (the link stays); someone else's link is refused.
std::filesystem::path swapTempPath(const std::filesystem::path& table);

// Removes a table's main file, its companions and its journal, whatever state they are in
// (leftovers of an interrupted build).
void discardTableFiles(TableFormat format, const std::filesystem::path& main);

// Puts the finished table `replacement` (with its companion files) in the place of `table`.
// Replace: the caller holds `table` open exclusively, or it does not exist; the new files get the
// old table's permissions and, where the user may set it, its group.
// CreateNew: `table` must still be free when the swap starts; when another process created it
// meanwhile, nothing is moved, `replacement` is removed and the error says so.
// Companions the old table had and the new one lacks (indexes over the old fields) are removed;
// its validity checks, views and family lists (.VAL, .TV, .FAM) stay. `replacement` must be
// complete and closed.
enum class SwapMode { Replace, CreateNew };
void swapInTable(const std::filesystem::path& table, TableFormat format,
                 const std::filesystem::path& replacement, SwapMode mode = SwapMode::Replace);

// Completes a swap that a crash interrupted (or drops the new files when its record was never
// made whole). Returns true when there was one. Does nothing while the process that is swapping
// still runs. Table opening calls this before reading the files.
bool finishInterruptedSwap(const std::filesystem::path& table);

// Finishes the interrupted swaps of every table in `dir`, then removes the temporaries that
// processes which no longer run left there (tables under construction, journals, swap records
// never made whole). Opening a table calls this for the table's directory.
// Returns false when a writer that still runs had files there.
bool tidyDirectory(const std::filesystem::path& dir);
// The same, skipped while no file came or went in `dir` since this process last found it without
// any writer's files (its modification time is unchanged): what opening a table calls.
void tidyDirectoryIfChanged(const std::filesystem::path& dir);

// Fault injection for crash tests: called at each step of a swap, 0 when the record is durable
// and nothing moved yet, then k after the k-th file operation (renames, then removals).
void setSwapStepHook(std::function<void(int step)> hook);

}  // namespace orn::db
