#include "base/portable/journal_record.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Names a file system allows and a line format could trip on: separators of
// every kind, line breaks, escapes of their own, non-ASCII in and beyond the
// basic plane, a lone surrogate (a valid Windows name, no valid UTF-16).
const std::vector<std::wstring> kAwkward = {
    L"",
    L"C:\\Program Files (x86)\\Orvane\\core ui.dll",
    L"tab\there|pipe;semi,comma=equals \"quoted\" 'single'",
    L"line\nbreak\r\nand\rreturn",
    L"%41 %% %0a % 100%",
    L"\u65e5\u672c\u8a9e\\\u00e9t\u00e9\\\u0440\u0443\u0441",
    L"emoji \U0001F600 and \U00010000",
    std::wstring(L"lone ") + static_cast<wchar_t>(0xD800) + L" surrogate",
    std::wstring(L"nul ") + L'\0' + L" and del \x7f and bell \x07",
};

JournalRecord Begin() {
  JournalRecord record;
  record.kind = RecordKind::kBegin;
  record.runningServices = kAwkward;
  record.relaunchRecorder = true;
  return record;
}

JournalRecord File(const std::wstring& name, bool removal, bool exists) {
  JournalRecord record;
  record.kind = RecordKind::kFile;
  record.removal = removal;
  record.destination = name;
  record.aside = name + L".tmp.1234--5678";
  record.newFile = removal ? std::wstring() : name + L".new.1234--5678";
  record.old.exists = exists;
  record.old.volume = 0xFEDCBA98u;
  record.old.fileId = 0xFFFFFFFFFFFFFFFFull;
  record.old.size = 0x0000000100000001ull;
  record.old.creationTime = 0x01D9C0DE12345678ull;
  record.old.lastWriteTime = 0x8000000000000000ull;
  record.old.attributes = 0x00000021u;
  return record;
}

JournalRecord Plain(RecordKind kind, const std::wstring& snapshot = std::wstring()) {
  JournalRecord record;
  record.kind = kind;
  record.snapshot = snapshot;
  return record;
}

void ExpectSame(const JournalRecord& actual, const JournalRecord& expected) {
  EXPECT_EQ(actual.kind, expected.kind);
  EXPECT_EQ(actual.runningServices, expected.runningServices);
  EXPECT_EQ(actual.relaunchRecorder, expected.relaunchRecorder);
  EXPECT_EQ(actual.removal, expected.removal);
  EXPECT_EQ(actual.destination, expected.destination);
  EXPECT_EQ(actual.aside, expected.aside);
  EXPECT_EQ(actual.newFile, expected.newFile);
  EXPECT_EQ(actual.old.exists, expected.old.exists);
  EXPECT_EQ(actual.old.volume, expected.old.volume);
  EXPECT_EQ(actual.old.fileId, expected.old.fileId);
  EXPECT_EQ(actual.old.size, expected.old.size);
  EXPECT_EQ(actual.old.creationTime, expected.old.creationTime);
  EXPECT_EQ(actual.old.lastWriteTime, expected.old.lastWriteTime);
  EXPECT_EQ(actual.old.attributes, expected.old.attributes);
  EXPECT_EQ(actual.snapshot, expected.snapshot);
  EXPECT_EQ(actual.patchId, expected.patchId);
  EXPECT_EQ(actual.productDescription, expected.productDescription);
  EXPECT_EQ(actual.version, expected.version);
  EXPECT_EQ(actual.workFolder, expected.workFolder);
  EXPECT_EQ(actual.workFolderFacts.exists, expected.workFolderFacts.exists);
  EXPECT_EQ(actual.workFolderFacts.volume, expected.workFolderFacts.volume);
  EXPECT_EQ(actual.workFolderFacts.fileId, expected.workFolderFacts.fileId);
}

// A journal of every kind, file records with every awkward name.
std::vector<JournalRecord> SampleRecords() {
  std::vector<JournalRecord> records = {Begin()};
  bool removal = false;
  for (const std::wstring& name : kAwkward) {
    records.push_back(File(name, removal, !removal || name.empty()));
    removal = !removal;
  }
  records.push_back(File(L"added.dll", false, false));
  for (const std::wstring& name : kAwkward) records.push_back(Plain(RecordKind::kRegistry, name));
  for (const std::wstring& name : kAwkward) {
    JournalRecord folder = Plain(RecordKind::kWorkFolder);
    folder.workFolder = name;
    folder.workFolderFacts = File(name, false, true).old;
    records.push_back(folder);
  }
  records.push_back(Plain(RecordKind::kCommit));  // no identity known
  JournalRecord commit = Plain(RecordKind::kCommit);
  commit.patchId = L"EP0000517904";
  commit.productDescription = kAwkward[5];
  commit.version = L"2.2.3.04170";
  records.push_back(commit);
  records.push_back(Plain(RecordKind::kRollbackPending));
  records.push_back(Plain(RecordKind::kEnd));
  return records;
}

// The journal's bytes and where each record's line ends.
std::string Concatenated(const std::vector<JournalRecord>& records, std::vector<size_t>& ends) {
  std::string bytes;
  for (const JournalRecord& record : records) {
    bytes += EncodeRecord(record);
    ends.push_back(bytes.size());
  }
  return bytes;
}

// A line around any payload, with its true length and CRC-32.
std::string Framed(const std::string& payload) {
  char header[32];
  std::snprintf(header, sizeof header, "%08x %08lx ", static_cast<unsigned>(payload.size()),
                crc32(0, reinterpret_cast<const Bytef*>(payload.data()), static_cast<uInt>(payload.size())));
  return header + payload + "\n";
}

TEST(JournalRecord, EveryKindComesBackWithAwkwardNamesAndExtremeNumbers) {
  const std::vector<JournalRecord> records = SampleRecords();
  for (const JournalRecord& record : records) {
    const std::string line = EncodeRecord(record);
    SCOPED_TRACE(line);
    // One line: a name's break or tab never reaches the file as itself.
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    const DecodedJournal decoded = DecodeJournal(line);
    ASSERT_EQ(decoded.records.size(), 1u);
    EXPECT_FALSE(decoded.torn);
    EXPECT_EQ(decoded.usedBytes, line.size());
    ExpectSame(decoded.records[0], record);
  }
}

TEST(JournalRecord, StringsAreWrittenAsUtf8AndTheChecksumIsCrc32OfThePayload) {
  const std::string line = EncodeRecord(Plain(RecordKind::kRegistry, L"snap\u00e9\U0001F600.bin"));
  EXPECT_NE(line.find("snap\xc3\xa9\xf0\x9f\x98\x80.bin"), std::string::npos) << line;
  ASSERT_GT(line.size(), 19u);
  EXPECT_EQ(line, Framed(line.substr(18, line.size() - 19)));
}

TEST(JournalRecord, AJournalCutAnywhereGivesTheRecordsBeforeTheCut) {
  const std::vector<JournalRecord> records = SampleRecords();
  std::vector<size_t> ends;
  const std::string bytes = Concatenated(records, ends);
  size_t complete = 0;
  for (size_t cut = 0; cut <= bytes.size(); ++cut) {
    while (complete < ends.size() && ends[complete] <= cut) ++complete;
    const size_t boundary = complete == 0 ? 0 : ends[complete - 1];
    const DecodedJournal decoded = DecodeJournal(bytes.substr(0, cut));
    ASSERT_EQ(decoded.records.size(), complete) << "cut at " << cut;
    EXPECT_EQ(decoded.usedBytes, boundary) << "cut at " << cut;
    EXPECT_EQ(decoded.torn, cut != boundary) << "cut at " << cut;
  }
  for (size_t i = 0; i < records.size(); ++i) ExpectSame(DecodeJournal(bytes).records[i], records[i]);
}

TEST(JournalRecord, AChangedByteEndsTheJournalBeforeItsRecord) {
  const std::vector<JournalRecord> records = SampleRecords();
  std::vector<size_t> ends;
  const std::string bytes = Concatenated(records, ends);
  size_t record = 0;
  for (size_t at = 0; at < bytes.size(); ++at) {
    if (at >= ends[record]) ++record;
    const size_t start = record == 0 ? 0 : ends[record - 1];
    // A bit flipped, a letter's case changed, a high bit set.
    for (const unsigned char flip : {0x01, 0x20, 0x80}) {
      std::string changed = bytes;
      changed[at] = static_cast<char>(static_cast<unsigned char>(changed[at]) ^ flip);
      const DecodedJournal decoded = DecodeJournal(changed);
      ASSERT_EQ(decoded.records.size(), record) << "byte " << at << " ^ " << int{flip};
      EXPECT_EQ(decoded.usedBytes, start);
      EXPECT_TRUE(decoded.torn);
    }
  }
}

TEST(JournalRecord, ALineThatChecksButIsNoRecordEndsTheJournal) {
  const std::string first = EncodeRecord(Begin());
  const std::string last = EncodeRecord(Plain(RecordKind::kEnd));
  std::string file = EncodeRecord(File(L"a.dll", false, true));
  file = file.substr(18, file.size() - 19);  // its payload
  for (const std::string& payload : {
           std::string("08"),                                   // a kind this program does not know
           std::string("04\tEP1\tname"),                        // a commit's identity cut short
           std::string("06\t"),                                 // a field where none belongs
           file.substr(0, file.rfind('\t')),                    // a field missing
           std::string("03\tname%4"),                           // a cut escape
           std::string("03\tname%41"),                          // an escape of a byte written as itself
           std::string("03\tname\xc3"),                         // cut UTF-8
           std::string("03\tname\xc0\xae"),                     // overlong UTF-8
           std::string("01\t2\t00000000"),                      // a flag that is neither 0 nor 1
           std::string("01\t1\t00000002\tone"),                 // fewer services than counted
       }) {
    SCOPED_TRACE(payload);
    const DecodedJournal decoded = DecodeJournal(first + Framed(payload) + last);
    ASSERT_EQ(decoded.records.size(), 1u);
    EXPECT_EQ(decoded.usedBytes, first.size());
    EXPECT_TRUE(decoded.torn);
  }
}

TEST(JournalRecord, TheSameFileIsTheSameVolumeAndIndexOfFilesThatExist) {
  FileFacts old;
  old.exists = true;
  old.volume = 7;
  old.fileId = 42;
  old.size = 100;
  FileFacts found = old;
  found.size = 200;  // a file rewritten in place is still the same file
  found.lastWriteTime = 5;
  EXPECT_TRUE(IsSameFile(found, old));
  FileFacts otherVolume = old;
  otherVolume.volume = 8;
  EXPECT_FALSE(IsSameFile(otherVolume, old));
  FileFacts otherIndex = old;
  otherIndex.fileId = 43;
  EXPECT_FALSE(IsSameFile(otherIndex, old));
  FileFacts missing = old;
  missing.exists = false;
  EXPECT_FALSE(IsSameFile(missing, old));
  EXPECT_FALSE(IsSameFile(old, missing));
}

}  // namespace
