// Interim, until the journal file lands: the records are not kept yet.
#include "app/update_journal_file.h"
HRESULT UpdateJournalFile::Start() { return S_OK; }
HRESULT UpdateJournalFile::Append(const std::vector<JournalRecord>&) { return S_OK; }
HRESULT UpdateJournalFile::SaveFile(const std::wstring&, const std::string&) { return S_OK; }
HRESULT UpdateJournalFile::Delete() { return S_OK; }
