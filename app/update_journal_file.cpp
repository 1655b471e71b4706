#include "app/update_journal_file.h"

#include "base/trace.h"

HRESULT UpdateJournalFile::Start() {
  HRESULT result = JournalFile::Open(file_);
  if (SUCCEEDED(result)) result = file_.Start();
  if (FAILED(result)) Trace(L"journal: not started: 0x%08lX", static_cast<unsigned long>(result));
  return result;
}

HRESULT UpdateJournalFile::Append(const std::vector<JournalRecord>& records) {
  const HRESULT result = file_.Append(records);
  if (FAILED(result)) Trace(L"journal: not written: 0x%08lX", static_cast<unsigned long>(result));
  return result;
}

HRESULT UpdateJournalFile::SaveFile(const std::wstring& name, const std::string& bytes) {
  return file_.SaveFile(name, bytes);
}

HRESULT UpdateJournalFile::Delete() { return file_.Delete(); }
