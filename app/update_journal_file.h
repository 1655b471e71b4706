// The transaction's journal in the per-machine journal folder.
#pragma once
#include <string>
#include <vector>

#include "app/update_transaction.h"
#include "base/journal_file.h"

class UpdateJournalFile : public UpdateJournal {
 public:
  HRESULT Start() override;
  HRESULT Append(const std::vector<JournalRecord>& records) override;
  HRESULT SaveFile(const std::wstring& name, const std::string& bytes) override;
  HRESULT Delete() override;

 private:
  JournalFile file_;
};
