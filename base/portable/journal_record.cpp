#include "base/portable/journal_record.h"

#include <array>

#include "base/portable/utf8.h"

// A line is "<length> <checksum> <payload>\n": the payload's length in bytes
// and its CRC-32, each as 8 lowercase hex digits. The payload is the kind's
// number and the record's fields, separated by tabs. Strings are UTF-8 (a
// lone UTF-16 surrogate of a Windows name kept as its 3-byte form, so that
// any name comes back as it was), with '%', tab, every control byte and DEL
// written as "%XX": no field can hold a separator or end the line.

namespace {

constexpr char kSeparator = '\t';
constexpr size_t kHeaderBytes = 18;  // "xxxxxxxx xxxxxxxx "

uint32_t Crc32(const std::string& bytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> entries{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t value = i;
      for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1u) ? 0xEDB88320u : 0u);
      entries[i] = value;
    }
    return entries;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (const char byte : bytes) crc = table[(crc ^ static_cast<unsigned char>(byte)) & 0xFFu] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

constexpr char kHex[] = "0123456789abcdef";

void AppendHex(std::string& out, uint64_t value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xFu];
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case is not written, so it is not read either
}

// Exactly `digits` hex digits at `text`.
bool ParseFixedHex(const char* text, int digits, uint64_t& value) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0) return false;
    value = (value << 4) | static_cast<uint64_t>(digit);
  }
  return true;
}

bool NeedsEscape(unsigned char byte) { return byte < 0x20 || byte == 0x7F || byte == '%'; }

void AppendByte(std::string& out, unsigned char byte) {
  if (NeedsEscape(byte)) {
    out += '%';
    AppendHex(out, byte, 2);
  } else {
    out += static_cast<char>(byte);
  }
}

void AppendCodePoint(std::string& out, uint32_t code) {
  // ASCII goes through the escaping of separators and control bytes.
  if (code < 0x80) {
    AppendByte(out, static_cast<unsigned char>(code));
  } else {
    AppendUtf8(out, code);
  }
}

void AppendText(std::string& out, const std::wstring& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t code = static_cast<uint32_t>(text[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      code &= 0xFFFFu;
      if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size()) {
        const uint32_t low = static_cast<uint32_t>(text[i + 1]) & 0xFFFFu;
        if (low >= 0xDC00 && low < 0xE000) {
          code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
    }
    AppendCodePoint(out, code);
  }
}

void AppendWide(std::wstring& out, uint32_t code) {
  if (sizeof(wchar_t) == 2 && code >= 0x10000) {
    code -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (code >> 10));
    out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
  } else {
    out += static_cast<wchar_t>(code);
  }
}

// The escapes undone, then the UTF-8 read back; false for anything that
// EncodeRecord does not write (a bad escape, overlong or truncated UTF-8).
bool ParseText(const std::string& field, std::wstring& text) {
  std::string bytes;
  for (size_t i = 0; i < field.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(field[i]);
    if (byte == '%') {
      uint64_t value = 0;
      if (field.size() - i < 3) return false;
      if (!ParseFixedHex(field.data() + i + 1, 2, value) || !NeedsEscape(static_cast<unsigned char>(value))) {
        return false;
      }
      bytes += static_cast<char>(value);
      i += 2;
    } else if (NeedsEscape(byte)) {
      return false;
    } else {
      bytes += static_cast<char>(byte);
    }
  }
  text.clear();
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    size_t length = 0;
    uint32_t code = 0, minimum = 0;
    if (lead < 0x80) {
      length = 1, code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1Fu, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0Fu, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07u, minimum = 0x10000;
    } else {
      return false;
    }
    if (bytes.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF) return false;
    AppendWide(text, code);
    i += length;
  }
  return true;
}

// The fields of a payload, split at the separators.
std::vector<std::string> SplitFields(const std::string& payload) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t end = payload.find(kSeparator, start);
    fields.push_back(payload.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

class FieldWriter {
 public:
  explicit FieldWriter(RecordKind kind) { AppendHex(out_, static_cast<uint8_t>(kind), 2); }
  void Text(const std::wstring& text) {
    out_ += kSeparator;
    AppendText(out_, text);
  }
  void Number(uint64_t value, int digits) {
    out_ += kSeparator;
    AppendHex(out_, value, digits);
  }
  void Flag(bool value) { Number(value ? 1 : 0, 1); }
  std::string& Payload() { return out_; }

 private:
  std::string out_;
};

class FieldReader {
 public:
  explicit FieldReader(std::vector<std::string> fields) : fields_(std::move(fields)) {}
  bool Text(std::wstring& text) { return Next() && ParseText(*current_, text); }
  template <typename T>
  bool Number(T& value, int digits) {
    uint64_t parsed = 0;
    if (!Next() || current_->size() != static_cast<size_t>(digits) ||
        !ParseFixedHex(current_->data(), digits, parsed)) {
      return false;
    }
    value = static_cast<T>(parsed);
    return true;
  }
  bool Flag(bool& value) {
    uint8_t number = 0;
    if (!Number(number, 1) || number > 1) return false;
    value = number == 1;
    return true;
  }
  bool AtEnd() const { return next_ == fields_.size(); }

 private:
  bool Next() {
    if (next_ >= fields_.size()) return false;
    current_ = &fields_[next_++];
    return true;
  }
  std::vector<std::string> fields_;
  size_t next_ = 1;  // the kind is read before
  const std::string* current_ = nullptr;
};

void WriteFacts(FieldWriter& writer, const FileFacts& facts) {
  writer.Flag(facts.exists);
  writer.Number(facts.volume, 8);
  writer.Number(facts.fileId, 16);
  writer.Number(facts.size, 16);
  writer.Number(facts.creationTime, 16);
  writer.Number(facts.lastWriteTime, 16);
  writer.Number(facts.attributes, 8);
}

bool ReadFacts(FieldReader& reader, FileFacts& facts) {
  return reader.Flag(facts.exists) && reader.Number(facts.volume, 8) && reader.Number(facts.fileId, 16) &&
         reader.Number(facts.size, 16) && reader.Number(facts.creationTime, 16) &&
         reader.Number(facts.lastWriteTime, 16) && reader.Number(facts.attributes, 8);
}

bool ParsePayload(const std::string& payload, JournalRecord& record) {
  std::vector<std::string> fields = SplitFields(payload);
  uint64_t kind = 0;
  if (fields[0].size() != 2 || !ParseFixedHex(fields[0].data(), 2, kind)) return false;
  record = JournalRecord();
  FieldReader reader(std::move(fields));
  switch (static_cast<RecordKind>(kind)) {
    case RecordKind::kBegin: {
      uint32_t count = 0;
      if (!reader.Flag(record.relaunchRecorder) || !reader.Number(count, 8)) return false;
      for (uint32_t i = 0; i < count; ++i) {
        std::wstring name;
        if (!reader.Text(name)) return false;
        record.runningServices.push_back(std::move(name));
      }
      break;
    }
    case RecordKind::kFile:
      if (!reader.Flag(record.removal) || !reader.Text(record.destination) || !reader.Text(record.aside) ||
          !reader.Text(record.newFile) || !ReadFacts(reader, record.old)) {
        return false;
      }
      break;
    case RecordKind::kRegistry:
      if (!reader.Text(record.snapshot)) return false;
      break;
    case RecordKind::kCommit:
      // A commit without the identity (none was known) leaves the records alone.
      if (!reader.AtEnd() &&
          (!reader.Text(record.patchId) || !reader.Text(record.productDescription) || !reader.Text(record.version))) {
        return false;
      }
      break;
    case RecordKind::kWorkFolder:
      if (!reader.Text(record.workFolder) || !ReadFacts(reader, record.workFolderFacts)) return false;
      break;
    case RecordKind::kRollbackPending:
    case RecordKind::kEnd:
      break;
    default:
      return false;
  }
  record.kind = static_cast<RecordKind>(kind);
  return reader.AtEnd();
}

}  // namespace

bool IsSameFile(const FileFacts& found, const FileFacts& old) {
  return found.exists && old.exists && found.volume == old.volume && found.fileId == old.fileId;
}

std::string EncodeRecord(const JournalRecord& record) {
  FieldWriter writer(record.kind);
  switch (record.kind) {
    case RecordKind::kBegin:
      writer.Flag(record.relaunchRecorder);
      writer.Number(record.runningServices.size(), 8);
      for (const std::wstring& name : record.runningServices) writer.Text(name);
      break;
    case RecordKind::kFile:
      writer.Flag(record.removal);
      writer.Text(record.destination);
      writer.Text(record.aside);
      writer.Text(record.newFile);
      WriteFacts(writer, record.old);
      break;
    case RecordKind::kRegistry:
      writer.Text(record.snapshot);
      break;
    case RecordKind::kCommit:
      if (!record.patchId.empty() || !record.productDescription.empty() || !record.version.empty()) {
        writer.Text(record.patchId);
        writer.Text(record.productDescription);
        writer.Text(record.version);
      }
      break;
    case RecordKind::kWorkFolder:
      writer.Text(record.workFolder);
      WriteFacts(writer, record.workFolderFacts);
      break;
    case RecordKind::kRollbackPending:
    case RecordKind::kEnd:
      break;
  }
  const std::string& payload = writer.Payload();
  std::string line;
  line.reserve(kHeaderBytes + payload.size() + 1);
  AppendHex(line, payload.size(), 8);
  line += ' ';
  AppendHex(line, Crc32(payload), 8);
  line += ' ';
  line += payload;
  line += '\n';
  return line;
}

DecodedJournal DecodeJournal(const std::string& bytes) {
  DecodedJournal journal;
  size_t offset = 0;
  while (bytes.size() - offset >= kHeaderBytes + 1) {
    const char* header = bytes.data() + offset;
    uint64_t length = 0, crc = 0;
    if (!ParseFixedHex(header, 8, length) || header[8] != ' ' || !ParseFixedHex(header + 9, 8, crc) ||
        header[17] != ' ') {
      break;
    }
    const size_t room = bytes.size() - offset - kHeaderBytes;  // at least 1, for the "\n"
    if (length > room - 1 || bytes[offset + kHeaderBytes + length] != '\n') break;
    const std::string payload = bytes.substr(offset + kHeaderBytes, length);
    JournalRecord record;
    if (Crc32(payload) != crc || !ParsePayload(payload, record)) break;
    journal.records.push_back(std::move(record));
    offset += kHeaderBytes + length + 1;
  }
  journal.usedBytes = offset;
  journal.torn = offset < bytes.size();
  return journal;
}
