#include "base/journal_file.h"

#include <shlobj.h>

#include <utility>

#include "base/folder_handles.h"
#include "base/last_error.h"
#include "base/trace.h"
#include "base/trusted_folder.h"

namespace {

constexpr ACCESS_MASK kFileAccess = FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES |
                                    FILE_WRITE_ATTRIBUTES | DELETE;
constexpr ACCESS_MASK kParentAccess = FILE_LIST_DIRECTORY | FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE |
                                      FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// More than a journal or a snapshot of this program ever holds.
constexpr LONGLONG kMaxFileBytes = 64LL * 1024 * 1024;

const HRESULT kIsLink = HRESULT_FROM_WIN32(ERROR_CANT_ACCESS_FILE);

std::wstring ProgramDataFolder() {
  UniqueTaskText known;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, known.Receive()))) return known.Get();
  wchar_t folder[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    return folder;
  }
  return std::wstring();
}

bool NotFound(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// A name that stays in the folder, and is not the journal's.
bool IsSavedFileName(const std::wstring& name) {
  return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:") == std::wstring::npos &&
         CompareStringOrdinal(name.c_str(), -1, kJournalFileName, -1, TRUE) != CSTR_EQUAL;
}

// The file `name` of `folder`, itself; S_FALSE when there is none.
HRESULT OpenUnlinked(HANDLE folder, const std::wstring& name, ULONG options, UniqueFileHandle& file) {
  if (ListedAsGone(folder, name)) return S_FALSE;
  if (ListedAsLink(folder, name)) return kIsLink;  // not even opened: a handle would go through it
  file = OpenEntry(folder, name, kFileAccess, kNtNonDirectoryFile | options, FILE_SHARE_READ);
  if (!file) return NotFound(GetLastError()) ? S_FALSE : LastErrorResult();
  if (!OpenedItself(folder, name, file.Get())) {
    file.Reset();
    return kIsLink;
  }
  return S_OK;
}

HRESULT ReadAll(HANDLE file, std::string& bytes) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) return LastErrorResult();
  bytes.assign(static_cast<size_t>(size.QuadPart < kMaxFileBytes ? size.QuadPart : kMaxFileBytes), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD read = 0;
    if (!ReadFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read, nullptr)) {
      return LastErrorResult();
    }
    if (read == 0) break;
    done += read;
  }
  bytes.resize(done);
  return S_OK;
}

// One write at `offset`; the handle is synchronous, so it is done on return.
HRESULT WriteAt(HANDLE file, uint64_t offset, const std::string& bytes) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD written = 0;
  if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &at)) return LastErrorResult();
  return written == bytes.size() ? S_OK : HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
}

// Removes the entry `name` of `folder`: a link itself (where its handle is
// the link's, as on Windows), never what it leads to. S_OK when it is gone.
HRESULT RemoveEntry(HANDLE folder, const std::wstring& name) {
  if (ListedAsGone(folder, name)) return S_OK;
  UniqueFileHandle entry = OpenEntry(folder, name, kRemoveAccess, 0);
  if (!entry) return NotFound(GetLastError()) ? S_OK : LastErrorResult();
  if (!IsLink(entry.Get()) && !OpenedItself(folder, name, entry.Get())) return kIsLink;
  return MarkForDeletion(entry.Get()) ? S_OK : LastErrorResult();
}

// Where the identity of the folder made is kept: a key of the machine that
// only administrators can write, in the 64-bit view on 64-bit Windows.
constexpr const wchar_t* kAnchorKey = kJournalAnchorKey;
constexpr const wchar_t* kAnchorValue = kJournalAnchorValue;

struct Anchor {
  DWORD volume = 0;
  ULONGLONG index = 0;
};

bool ReadAnchor(Anchor& anchor) {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAnchorKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD type = REG_NONE;
  DWORD size = sizeof anchor;
  return RegQueryValueExW(key.Get(), kAnchorValue, nullptr, &type, reinterpret_cast<BYTE*>(&anchor), &size) ==
             ERROR_SUCCESS &&
         type == REG_BINARY && size == sizeof anchor;
}

void WriteAnchor(HANDLE folder) {
  const FileIdentity identity = IdentityOf(folder);
  if (!identity.known) return;
  Anchor anchor;
  if (ReadAnchor(anchor) && anchor.volume == identity.volume && anchor.index == identity.index) return;
  anchor.volume = identity.volume;
  anchor.index = identity.index;
  UniqueRegKey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAnchorKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (RegSetValueExW(key.Get(), kAnchorValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&anchor),
                     sizeof anchor) == ERROR_SUCCESS) {
    RegFlushKey(key.Get());
  }
}

// Whether the open folder is the one an earlier run made, by its identity.
bool MadeBefore(HANDLE folder) {
  Anchor anchor;
  const FileIdentity identity = IdentityOf(folder);
  return identity.known && ReadAnchor(anchor) && anchor.volume == identity.volume && anchor.index == identity.index;
}

}  // namespace

HRESULT JournalFile::Open(JournalFile& out) {
  out = JournalFile();
  const std::wstring programData = ProgramDataFolder();
  if (programData.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  UniqueFileHandle parent = OpenFolder(programData, kParentAccess);
  if (!parent) return LastErrorResult();
  std::wstring path = programData;
  if (path.back() != L'\\') path += L'\\';
  path += kJournalFolderName;
  const HRESULT taken = TakeTrustedFolder(parent.Get(), path, out.folder_, L"journal folder", MadeBefore);
  if (FAILED(taken)) {
    Trace(L"journal folder: %ls cannot be made: 0x%08lX", path.c_str(), static_cast<unsigned long>(taken));
    return taken;
  }
  // The next run knows the folder again by it, also where the protection
  // cannot be read back as it was set.
  WriteAnchor(out.folder_.Get());
  out.path_ = path;
  return S_OK;
}

HRESULT JournalFile::Read(DecodedJournal& journal) {
  journal = DecodedJournal();
  journal_.Reset();
  end_ = 0;
  UniqueFileHandle file;
  // Opened written through, for an Append that follows the recovery.
  const HRESULT opened = OpenUnlinked(folder_.Get(), kJournalFileName, kNtWriteThrough, file);
  if (opened != S_OK) return opened;
  std::string bytes;
  const HRESULT read = ReadAll(file.Get(), bytes);
  if (FAILED(read)) return read;
  journal = DecodeJournal(bytes);
  if (journal.torn) {
    Trace(L"journal: %lu bytes after the last record that checks",
          static_cast<unsigned long>(bytes.size() - journal.usedBytes));
  }
  journal_ = std::move(file);
  end_ = journal.usedBytes;
  return S_OK;
}

HRESULT JournalFile::Replace(const std::wstring& name, ULONG options, UniqueFileHandle& made) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    made = CreateFileEntry(folder_.Get(), name, kFileAccess, FILE_SHARE_READ, options);
    if (made) return S_OK;
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return LastErrorResult();
    const HRESULT removed = RemoveEntry(folder_.Get(), name);
    if (FAILED(removed)) {
      Trace(L"journal: the old %ls cannot be removed: 0x%08lX", name.c_str(), static_cast<unsigned long>(removed));
      return removed;
    }
  }
  return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
}

HRESULT JournalFile::Start() {
  journal_.Reset();  // held without delete sharing: it would keep the old one
  end_ = 0;
  return Replace(kJournalFileName, kNtWriteThrough, journal_);
}

HRESULT JournalFile::Append(const std::vector<JournalRecord>& records) {
  if (!journal_) return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
  std::string bytes;
  for (const JournalRecord& record : records) bytes += EncodeRecord(record);
  if (bytes.empty()) return S_OK;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(journal_.Get(), &size)) return LastErrorResult();
  if (static_cast<uint64_t>(size.QuadPart) != end_) {
    // A torn line left by a killed run: records after it would never be read.
    FILE_END_OF_FILE_INFO cut{};
    cut.EndOfFile.QuadPart = static_cast<LONGLONG>(end_);
    if (!SetFileInformationByHandle(journal_.Get(), FileEndOfFileInfo, &cut, sizeof cut)) return LastErrorResult();
  }
  const HRESULT written = WriteAt(journal_.Get(), end_, bytes);
  if (FAILED(written)) return written;
  if (!FlushFileBuffers(journal_.Get())) return LastErrorResult();
  end_ += bytes.size();
  return S_OK;
}

HRESULT JournalFile::SaveFile(const std::wstring& name, const std::string& bytes) {
  if (!IsSavedFileName(name)) return E_INVALIDARG;
  UniqueFileHandle file;
  HRESULT result = Replace(name, kNtWriteThrough, file);
  if (SUCCEEDED(result) && !bytes.empty()) result = WriteAt(file.Get(), 0, bytes);
  if (SUCCEEDED(result) && !FlushFileBuffers(file.Get())) result = LastErrorResult();
  if (FAILED(result) && file) MarkForDeletion(file.Get());  // no half a snapshot
  return result;
}

HRESULT JournalFile::LoadFile(const std::wstring& name, std::string& bytes) {
  bytes.clear();
  if (!IsSavedFileName(name)) return E_INVALIDARG;
  UniqueFileHandle file;
  const HRESULT opened = OpenUnlinked(folder_.Get(), name, 0, file);
  if (opened == S_FALSE) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  if (FAILED(opened)) return opened;
  return ReadAll(file.Get(), bytes);
}

HRESULT JournalFile::Delete() {
  journal_.Reset();
  end_ = 0;
  // The journal first: files it no longer names are harmless until the next Delete.
  HRESULT first = RemoveEntry(folder_.Get(), kJournalFileName);
  std::vector<ListedEntry> entries;
  if (!ListFolder(folder_.Get(), entries)) return SUCCEEDED(first) ? LastErrorResult() : first;
  for (const ListedEntry& entry : entries) {
    if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !IsSavedFileName(entry.name)) continue;
    const HRESULT removed = RemoveEntry(folder_.Get(), entry.name);
    if (FAILED(removed) && SUCCEEDED(first)) first = removed;
  }
  return first;
}
