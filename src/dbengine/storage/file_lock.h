#pragma once

#include "dbengine/storage/posix_file.h"

namespace orn::db {

// Advisory locks between processes on a table's main file. Both kinds belong to the open file
// description, so two Table objects of one process exclude each other like two processes do.
//
// The open lock (flock) lives as long as a Table is open: shared for ordinary opens, exclusive
// for OpenMode::Exclusive, restructuring, create and drop. Taking it never waits; a conflict
// throws EngineError naming the file.
void lockTableOpen(const PosixFile& file, bool exclusive);
void unlockTableOpen(const PosixFile& file);

// The write lock (an OFD byte-range lock far beyond any data) serialises writers: it is held from
// begin() to commit()/rollback(), and whoever finds a journal while able to take it knows the
// journal's writer is gone. The file must be open for writing.
void lockTableWrite(const PosixFile& file);     // waits for another writer to finish
bool tryLockTableWrite(const PosixFile& file);  // false when another writer holds it
void unlockTableWrite(const PosixFile& file);

}  // namespace orn::db
