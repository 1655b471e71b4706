// The update's journal on disk: "update.journal" and the files it refers to
// (the registry snapshot) in a folder of the machine's own,
// "%ProgramData%\Orvane Mirevo Updater". Any user may make folders in
// ProgramData, so the folder is taken as a trusted folder (never a link,
// owned by the system or the administrators, a protected access list, a
// squatter renamed aside) and held open for the run; everything in it is
// reached through its handle, and no link in it is followed. Its identity
// (volume and file index) is kept under HKLM, so that a file system that
// cannot keep the protection (Wine works owner and access list out from the
// Unix owner and mode) does not make the next run take it for a squatter.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/portable/journal_record.h"
#include "base/win32_raii.h"

constexpr wchar_t kJournalFolderName[] = L"Orvane Mirevo Updater";
constexpr wchar_t kJournalFileName[] = L"update.journal";
// Where the folder's identity is kept (HKLM, 64-bit view on 64-bit Windows).
constexpr wchar_t kJournalAnchorKey[] = L"SOFTWARE\\Orvane Corporation\\Mirevo Updater";
constexpr wchar_t kJournalAnchorValue[] = L"Journal Folder";

class JournalFile {
 public:
  // Takes the journal's folder and holds it until the object goes.
  static HRESULT Open(JournalFile& out);

  // The journal a run left behind, up to its last record that checks; S_FALSE
  // (and no records) when there is none. A journal that is a link is not
  // read: ERROR_CANT_ACCESS_FILE.
  HRESULT Read(DecodedJournal& journal);
  // A fresh, empty journal in place of any old one (a link of that name goes
  // itself, never what it leads to; where it cannot, as under Wine, Start fails).
  HRESULT Start();
  // Adds the records in one write that reaches the disk before it returns,
  // to the journal begun by Start, or to the one Read read (after its last
  // record that checked, so that what follows a torn line can be read).
  HRESULT Append(const std::vector<JournalRecord>& records);

  // A file of the folder (not the journal), written afresh and flushed.
  HRESULT SaveFile(const std::wstring& name, const std::string& bytes);
  HRESULT LoadFile(const std::wstring& name, std::string& bytes);

  // Deletes the journal, then every other file of the folder (the files
  // saved by this run or by one before it); the folder stays.
  HRESULT Delete();

  // The folder's path, for the trace.
  const std::wstring& FolderPath() const { return path_; }

 private:
  HRESULT Replace(const std::wstring& name, ULONG options, UniqueFileHandle& made);

  UniqueFileHandle folder_;
  std::wstring path_;
  UniqueFileHandle journal_;  // opened by Read or made by Start
  uint64_t end_ = 0;          // where Append writes
};
