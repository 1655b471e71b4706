// The registry script as the editor reads it: a new file in the held work
// folder, made and opened through the folder's handle and held from its check
// until the editor is done with it, so that what the editor reads is what was
// checked.
#pragma once
#include <windows.h>

#include <string>

#include "base/folder_handles.h"
#include "base/win32_raii.h"
#include "payload/portable/digest_table.h"
#include "payload/extract_payload.h"

class HeldScript {
 public:
  HeldScript() = default;
  HeldScript(const HeldScript&) = delete;
  HeldScript& operator=(const HeldScript&) = delete;

  // Makes `name` afresh in the open `folder` (one left by an earlier run is
  // deleted first), expands `payload` into it with the payload's time and
  // checks the bytes it holds against `expected` through the handle that is
  // then kept: it lets others read the file, but neither write, rename nor
  // delete it. kDigestMismatch for other content, which is deleted.
  HRESULT Make(HANDLE folder, const std::wstring& name, const PayloadFile& payload, const PayloadDigest& expected);

  // The handle that keeps the checked file as it is, or an invalid one.
  HANDLE Reading() const { return reading_.Get(); }

  // Lets go of the file and deletes it, found through the folder's handle and
  // only when it is still the file made. False when none is held or it cannot
  // be deleted (a reader that shares no deletion has it open); it then stays
  // held for another try (Held()) unless it is gone or another file took its name.
  bool Delete();
  bool Held() const { return folder_.Valid(); }

 private:
  UniqueFileHandle folder_;   // a handle of its own to the folder the file was made in
  std::wstring name_;
  FileIdentity made_;         // the file made, to tell it from anything put under its name
  UniqueFileHandle reading_;  // reading only, shared for reading only
};
