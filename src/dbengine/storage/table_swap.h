#pragma once

// Replacing a table's files by a finished new table, all or nothing. The planned renames are
// written to a swap record beside the table ("<table>.orn-swap") and made durable before the first
// file moves, so a crash half-way leaves a record that the next Table::open carries out to the
// end. The old files are never renamed aside: each new file takes its place in one rename.

#include <filesystem>
#include <functional>

#include "dbengine/storage/table.h"

namespace orn::db {

// Where a replacement for `table` is built: "~orn" + the table's file name, beside it. Only one
// replacement of a table runs at a time (the caller holds the table or the new files locked).
std::filesystem::path swapTempPath(const std::filesystem::path& table);

// Removes a table's main file, its companions and its journal, whatever state they are in
// (leftovers of an interrupted build).
void discardTableFiles(TableFormat format, const std::filesystem::path& main);

// Puts the finished table `replacement` (with its companion files) in the place of `table`, which
// need not exist. Companions the old table had and the new one lacks (indexes over the old
// fields) are removed; its validity checks, views and family lists (.VAL, .TV, .FAM) stay.
// `replacement` must be complete and closed.
void swapInTable(const std::filesystem::path& table, TableFormat format,
                 const std::filesystem::path& replacement);

// Completes a swap that a crash interrupted (or drops the new files when its record was never
// made whole). Returns true when there was one. Does nothing while the process that is swapping
// still runs. Table opening calls this before reading the files.
bool finishInterruptedSwap(const std::filesystem::path& table);

// Fault injection for crash tests: called at each step of a swap, 0 when the record is durable
// and nothing moved yet, then k after the k-th file operation (renames, then removals).
void setSwapStepHook(std::function<void(int step)> hook);

}  // namespace orn::db
