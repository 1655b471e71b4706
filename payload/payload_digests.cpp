#include "payload/payload_digests.h"

#include "base/last_error.h"
#include "resources/resource_ids.h"

HRESULT LoadPayloadDigests(HINSTANCE module, std::vector<PayloadDigest>& rows) {
  rows.clear();
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_PAYLOAD_DIGESTS), L"DIGEST");
  if (found == nullptr) return LastErrorResult();
  const HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (data == nullptr) return LastErrorResult();
  if (!ParseDigestTable(static_cast<const std::uint8_t*>(data), SizeofResource(module, found), rows)) {
    return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  }
  return S_OK;
}
