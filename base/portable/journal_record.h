// The update's journal: what a run is about to change, written before it is
// changed, so that the next run can put back or finish what a killed one left.
// One record per line: its length, a checksum and the record's fields; a
// record that does not check (a torn last line) ends the journal.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What identifies a file and what a put-back must find again.
struct FileFacts {
  bool exists = false;
  uint32_t volume = 0;     // the volume's serial number
  uint64_t fileId = 0;     // the file's index on that volume
  uint64_t size = 0;
  uint64_t creationTime = 0;   // FILETIME as one number
  uint64_t lastWriteTime = 0;
  uint32_t attributes = 0;
};

// Whether `found` is the file described by `old`: both exist, same volume, same index.
bool IsSameFile(const FileFacts& found, const FileFacts& old);

enum class RecordKind : uint8_t {
  kBegin = 1,            // the run's start: what to start again after it
  kFile = 2,             // one installed file about to be replaced or removed
  kRegistry = 3,         // the registry snapshot, written before the import
  kCommit = 4,           // the point of no return
  kRollbackPending = 5,  // a put-back is left for the next restart
  kEnd = 6,              // nothing left to do
  kWorkFolder = 7,       // the run's work folder, removed by the next run when this one left it
};

struct JournalRecord {
  RecordKind kind = RecordKind::kEnd;
  // kBegin: the services that were running (started again after the run)
  // and whether the recording application is to be started again.
  std::vector<std::wstring> runningServices;
  bool relaunchRecorder = false;
  // kFile: the installed file, its aside name and the new file's name; for a
  // removal there is no new file. `old` describes the installed file as found
  // (exists false: the update adds the file).
  bool removal = false;
  std::wstring destination;
  std::wstring aside;
  std::wstring newFile;
  FileFacts old;
  // kRegistry: the snapshot's file name in the journal's folder.
  std::wstring snapshot;
  // kCommit: the update's identity, which the records after the commit
  // carry (a run that finishes them may be another program).
  std::wstring patchId;
  std::wstring productDescription;
  std::wstring version;
  // kWorkFolder: its path and identity (exists, volume and index).
  std::wstring workFolder;
  FileFacts workFolderFacts;
};

// The record as one line, "\n" at its end.
std::string EncodeRecord(const JournalRecord& record);

struct DecodedJournal {
  std::vector<JournalRecord> records;
  size_t usedBytes = 0;   // the bytes of the records that checked
  bool torn = false;      // bytes after them that did not make a record
};
// The records from the start up to the first that does not check.
DecodedJournal DecodeJournal(const std::string& bytes);
