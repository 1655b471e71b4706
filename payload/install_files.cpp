#include "payload/install_files.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/last_error.h"
#include "base/phase_time.h"
#include "base/trace.h"
#include "base/win32_raii.h"
#include "payload/portable/aside_name.h"
#include "base/background_step.h"
#include "payload/extract_payload.h"
#include "payload/payload_digests.h"
#include "payload/verified_file.h"

namespace {

constexpr HRESULT kSharingViolation = static_cast<HRESULT>(0x80070020);

// Clears read-only and hidden so that the file can be replaced or deleted;
// returns the attributes it had (INVALID_FILE_ATTRIBUTES when unreadable).
DWORD MakeReplaceable(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) != 0) {
    SetFileAttributesW(path, attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  }
  return attributes;
}

// Gives a file that stays as it was its attributes back.
void RestoreAttributes(const wchar_t* path, DWORD attributes) {
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))) {
    SetFileAttributesW(path, attributes);
  }
}

std::wstring AsideNameNow(const wchar_t* path) {
  return AsideName(path, GetCurrentProcessId(), GetTickCount());
}


void DeleteAtNextRestart(const std::wstring& path) {
  MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Whether another program holds the file so that it cannot be written: a
// running program, a loaded library, a reader that does not share writing.
bool InUse(const wchar_t* path) {
  UniqueFileHandle probe(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
  return !probe && GetLastError() == ERROR_SHARING_VIOLATION;
}

bool PutInPlace(const std::wstring& newFile, const wchar_t* destination) {
  return MoveFileExW(newFile.c_str(), destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

void DiscardNewFile(const std::wstring& newFile) {
  SetFileAttributesW(newFile.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(newFile.c_str());
}

// One row's new file, written and checked beside the installed file, on its
// way into its place. Until it is settled, dropping it deletes the new file
// and gives the installed file its attributes back.
struct Replacement {
  Replacement() = default;
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  ~Replacement() {
    if (!settled) RestoreAttributes(destination.c_str(), attributes);
  }

  std::wstring destination;
  std::wstring newFile;
  DWORD attributes = INVALID_FILE_ATTRIBUTES;  // the installed file's, as found
  VerifiedFile file;
  bool settled = false;  // in place, or given up with the installed file restored
};

// The part of a replacement that works on the payload: the new file is
// expanded beside the installed one and checked.
HRESULT PrepareReplacement(const PayloadFile& source, const wchar_t* destination, const PayloadDigest& expected,
                           Replacement& replacement) {
  replacement.destination = destination;
  replacement.attributes = MakeReplaceable(destination);
  replacement.newFile = NewFileName(destination, GetCurrentProcessId(), GetTickCount());
  return replacement.file.Write(source, replacement.newFile, expected);
}

// The part that waits for the disk: the new file is flushed and renamed over
// the installed one, which is moved aside first when it is in use.
HRESULT CompleteReplacement(Replacement& replacement) {
  const wchar_t* destination = replacement.destination.c_str();
  const std::wstring& newFile = replacement.newFile;
  const DWORD attributes = replacement.attributes;
  const DWORD carried = attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes & ~FILE_ATTRIBUTE_ENCRYPTED;
  HRESULT result = replacement.file.Commit(carried);
  if (FAILED(result)) return result;
  replacement.settled = true;  // from here on, every path below settles it itself
  if (!InUse(destination)) {
    if (PutInPlace(newFile, destination)) return S_OK;
    result = LastErrorResult();
    // Taken by a program since the look: moved aside below, as any file in use.
    if (result != kSharingViolation && result != HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)) {
      DiscardNewFile(newFile);
      RestoreAttributes(destination, attributes);
      return result;
    }
  }
  // In use: a running program or a loaded library can be renamed but not written.
  const std::wstring aside = AsideNameNow(destination);
  if (!MoveFileW(destination, aside.c_str())) {
    result = LastErrorResult();
    DiscardNewFile(newFile);
    RestoreAttributes(destination, attributes);
    return result;
  }
  if (PutInPlace(newFile, destination)) {
    // Only now: a failure above must never cost the last good copy at the next restart.
    DeleteAtNextRestart(aside);
    return S_OK;
  }
  result = LastErrorResult();
  MoveFileExW(aside.c_str(), destination, MOVEFILE_REPLACE_EXISTING);
  DiscardNewFile(newFile);
  RestoreAttributes(destination, attributes);
  return result;
}

void TraceRow(const wchar_t* what, const std::wstring& destination, HRESULT result) {
  Trace(L"file: %ls %ls: 0x%08lX", what, destination.c_str(), static_cast<unsigned long>(result));
}

}  // namespace

HRESULT InstallFiles(const InstallList& list, HINSTANCE module) {
  PhaseTime time(L"installation");
  std::vector<PayloadDigest> digests;
  HRESULT result = LoadPayloadDigests(module, digests);
  if (FAILED(result)) {
    Trace(L"file: no digest table: 0x%08lX", static_cast<unsigned long>(result));
    return result;
  }
  // The files are expanded where they are installed; the work folder is the
  // registry script's, later, and stays held for it. A folder that cannot be
  // had stops the run here, before any installed file is touched rather than
  // after all of them.
  std::wstring workFolder;
  result = MakeWorkFolder(WorkFolderName(), workFolder);
  if (FAILED(result)) return result;

  // Each row's new file is put in place on a second thread while the next
  // row's is written. Rows still end in the list's order, and the first
  // failure still ends the loop: a row written meanwhile is then dropped.
  // Declared before the step that works on it: on every way out, also an
  // exception, the step is waited for before the replacement it uses goes.
  std::unique_ptr<Replacement> pending;
  BackgroundStep completion;
  const auto finishPending = [&]() -> HRESULT {
    if (!pending) return S_OK;
    const HRESULT done = completion.Wait();
    TraceRow(L"replaced", pending->destination, done);
    pending.reset();
    return done;
  };
  for (const PatchFileEntry& row : list) {
    if (row.resourceId == 0) {
      result = finishPending();
      if (FAILED(result)) break;
      result = RemoveInstalledFile(row.fileName.c_str());
      TraceRow(L"removed", row.fileName, result);
      if (FAILED(result)) break;
      continue;
    }
    // A row for the same file waits for the one before: one file, one new name at a time.
    if (pending && pending->destination == row.fileName) {
      result = finishPending();
      if (FAILED(result)) break;
    }
    auto next = std::make_unique<Replacement>();
    PayloadFile payload;
    HRESULT prepared = LoadPayloadFile(module, L"PATCH", row, payload);
    if (SUCCEEDED(prepared)) {
      const PayloadDigest* expected = FindDigest(digests, static_cast<std::uint32_t>(std::abs(row.resourceId)));
      // Nothing unverified is installed.
      prepared = expected ? PrepareReplacement(payload, row.fileName.c_str(), *expected, *next) : kDigestMismatch;
    }
    // The first failure ends the loop; rows already replaced stay replaced.
    result = finishPending();
    if (FAILED(result)) break;
    if (FAILED(prepared)) {
      result = prepared;
      TraceRow(L"replaced", row.fileName, result);
      break;
    }
    pending = std::move(next);
    Replacement* job = pending.get();
    completion.Start([job] { return CompleteReplacement(*job); });
  }
  const HRESULT last = finishPending();
  if (SUCCEEDED(result)) result = last;
  return result;
}

HRESULT OverwriteInstalledFile(const PayloadFile& source, const wchar_t* destination, const PayloadDigest& expected) {
  Replacement replacement;
  const HRESULT prepared = PrepareReplacement(source, destination, expected, replacement);
  return FAILED(prepared) ? prepared : CompleteReplacement(replacement);
}

HRESULT RemoveInstalledFile(const wchar_t* destination) {
  MakeReplaceable(destination);
  if (DeleteFileW(destination)) return S_OK;
  const HRESULT failure = LastErrorResult();
  if (failure != kSharingViolation) return failure;
  const std::wstring aside = AsideNameNow(destination);
  if (!MoveFileW(destination, aside.c_str())) return LastErrorResult();
  DeleteAtNextRestart(aside);
  return S_OK;
}
