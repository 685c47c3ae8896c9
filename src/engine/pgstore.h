// A folder of data files kept on a PostgreSQL server, reached through libpq. The folder is one
// schema of the database the connection string names, holding the same tables as a local
// folder: the catalog palvorin_files (fileno, name, definition) and per data file a table
//   id    the record's position (bigint identity: stable, and in insertion order),
//   data  the record's bytes (bytea),
//   kN    the collation form of key N (bytea, which orders like memcmp), or NULL when the
//         record is left out of key N,
// with one btree index per key (on kN alone when the key is unique, on kN and id when it takes
// duplicates, so that duplicates come back in insertion order).
//
// Every read shape is a prepared statement of the connection. Begin ... End is a server
// transaction; every write, inside one or not, first takes the folder's writer lock (an
// advisory lock held to the end of its transaction), so one process writes a folder at a time,
// as with a local database, and a writer that waits longer than the busy timeout answers 85.
// Record and file locks are session advisory locks: the server releases them when the
// connection ends, however the process ends. A lost connection answers ConnectionLost to every
// call until the engine is reset. The server tells nothing cheap about commits of other
// processes, so nothing read is served again without asking the server.
#ifndef PALVORIN_ENGINE_PGSTORE_H_
#define PALVORIN_ENGINE_PGSTORE_H_

#include <memory>
#include <string>

#include "engine/store.h"

namespace palvorin {

// Opens folder `dir` (its canonical local path, the name the engine knows it by) on the server
// of `conninfo`, in `schema`. With `create` the schema is made when missing. Throws EngineError
// (ConnectionLost when the server cannot be reached).
std::unique_ptr<Folder> OpenServerFolder(const std::string& dir, const std::string& conninfo,
                                         const std::string& schema, bool create,
                                         int busyTimeoutMs);

// The connection string without its password, for messages and logs.
std::string ServerNameForMessages(const std::string& conninfo);

}  // namespace palvorin

#endif  // PALVORIN_ENGINE_PGSTORE_H_
