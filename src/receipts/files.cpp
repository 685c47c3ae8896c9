#include "receipts/files.h"

#include "datafile/datafile.h"
#include "engine/engine.h"
#include "os/files.h"
#include "receipts/layouts.h"
#include "session/session.h"

namespace palvorin {

namespace {

void Open(int handle, const std::string& name) {
  std::string& area = ReceiptFiles().areas[handle];
  int status = 0;
  DbOpen(handle, name, area, status);
}

// Reads DADES\HParam.tab into the parameter block, the defaults completing what the file lacks,
// and writes the file back only when that changes it: the file is shared with the rest of the
// suite, and every rewrite is a chance to lose what another program keeps in it.
OsStatus NormaliseParamFile(const std::string& path) {
  ReceiptFilesState& files = ReceiptFiles();
  files.paramBlock = DefaultParamBlock();
  std::string bytes;
  const OsStatus read = ReadWholeFile(path, bytes);
  files.paramUnreadable = !read.ok() && !read.IsNotFound();
  if (files.paramUnreadable) return read;
  files.paramBlock = ParamBlockFrom(bytes);  // a missing file reads as empty: all defaults
  if (read.ok() && bytes == files.paramBlock) return {};
  return WriteWholeFile(path, files.paramBlock);
}

}  // namespace

ReceiptFilesState& ReceiptFiles() {
  static ReceiptFilesState state{{}, DefaultParamBlock(), {}, false};
  return state;
}

void ResetReceiptFilesForTest() { ReceiptFiles() = ReceiptFilesState{{}, DefaultParamBlock(), {}, false}; }

OsStatus OpenReceiptFiles() {
  const Session& s = SessionState();
  const std::string& root = s.rootDir;
  // DADES on the database server that Kora.ini names, when it names one.
  if (!s.dataServer.empty()) (void)EngineUseServer(root + "DADES", s.dataServer, "dades");
  Open(hfinca::kHandle, root + hfinca::kFile);
  Open(hprobase::kHandle, root + hprobase::kFile);
  Open(hproecon::kHandle, root + hproecon::kFile);
  Open(hprobanc::kHandle, root + hprobanc::kFile);
  Open(hrebuts::kHandle, root + hrebuts::kFile);
  Open(hconcept::kHandle, root + hconcept::kFile);
  Open(hcaprebu::kHandle, root + hcaprebu::kFile);
  Open(hlinrebu::kHandle, root + hlinrebu::kFile);
  // No summary of an earlier, interrupted session may survive into this one.
  (void)DeleteFile(s.tempDir + "hresrebu.dat");
  Open(hresrebu::kHandle, s.tempDir + hresrebu::kFile);
  Open(hnotific::kHandle, root + hnotific::kFile);
  Open(htransfe::kHandle, root + htransfe::kFile);
  Open(hcobros::kHandle, root + hcobros::kFile);
  Open(remeses::kHandle, root + remeses::kFile);

  const OsStatus params = NormaliseParamFile(root + hparam::kFile);

  Open(hperiodi::kHandle, root + hperiodi::kFile);
  ReceiptFiles().open = true;
  return params;
}

void CloseReceiptFiles() {
  int status = 0;
  DbReset(status);
  (void)DeleteFile(SessionState().tempDir + "hresrebu.dat");
  ReceiptFiles().open = false;
}

std::string& RecordArea(int handle) {
  for (DbSlotState& slot : DataFiles().slots) {
    if (slot.handle == handle && slot.record != nullptr) return *slot.record;
  }
  std::string& scratch = ReceiptFiles().unbound;
  scratch.assign(kDbDataBufferSize, ' ');
  return scratch;
}

std::string FeeConceptCode() {
  const std::string& block = ReceiptFiles().paramBlock;
  if (block.size() < hparam::kFeeConcept + 3) return "   ";
  return block.substr(hparam::kFeeConcept, 3);
}

}  // namespace palvorin
