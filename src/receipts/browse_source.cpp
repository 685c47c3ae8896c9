// Browse lists over the record-file layer.
#include "receipts/browse_source.h"

#include <memory>

#include "datafile/datafile.h"

namespace palvorin {

int DbBrowseSource::GetAtOrAfter(int file, int keyNumber, const std::string& key) {
  int status = 0;
  DbGet(file, keyNumber, key, 1, status);
  return status;
}

int DbBrowseSource::Next(int file) {
  int status = 0;
  DbSkip(file, 1, status);
  return status;
}

std::string DbBrowseSource::CurrentKeyCollated(int file) { return DbCollateKey(file); }

std::string DbBrowseSource::Collated(int file, const std::string& key) {
  return KeyCollate(key, file);
}

int32_t DbBrowseSource::Position(int file) { return DbPosition(file, 0); }

int DbBrowseSource::ReadAt(int file, int32_t position) { return DbPosition(file, position); }

void DbBrowseSource::LockMode(int file, std::string_view commands) {
  int status = 0;
  DbLockMode(file, commands, status);
}

void UseDataFilesForBrowse() { SetBrowseSource(std::make_unique<DbBrowseSource>()); }

}  // namespace palvorin
