// The registry snapshot as the journal's folder keeps it: what is decoded is
// what was encoded, and any damage to the bytes is found.
#include <gtest/gtest.h>

#include <string>

#include "base/portable/registry_snapshot_codec.h"

namespace {

RegistrySnapshot Sample() {
  RegistrySnapshot snapshot;
  SnapshotKey existing;
  existing.view = 0x100;
  existing.path = L"SOFTWARE\\Classes\\CLSID\\{0D9E1E2A-1111-4C3B-9A6E-5B2C7E8F9A01}";
  existing.existed = true;
  existing.values = {{L"", 1, {'a', 0, 0, 0}},
                     {L"Compatibility Flags", 4, {0x00, 0x04, 0x00, 0x00}},
                     {L"Empty", 3, {}},
                     {L"\u00e9t\u00e9 \u4e2d", 7, {'x', 0, 0, 0, 0, 0}}};
  SnapshotKey missing;
  missing.view = 0x200;
  missing.path = L"SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{X}\\InprocServer32";
  SnapshotKey plain;
  plain.view = 0;
  plain.path = L"SOFTWARE\\Plain";
  plain.existed = true;
  snapshot.keys = {existing, missing, plain};
  return snapshot;
}

void ExpectSame(const RegistrySnapshot& a, const RegistrySnapshot& b) {
  ASSERT_EQ(a.keys.size(), b.keys.size());
  for (size_t k = 0; k < a.keys.size(); ++k) {
    const SnapshotKey& x = a.keys[k];
    const SnapshotKey& y = b.keys[k];
    EXPECT_EQ(x.view, y.view);
    EXPECT_EQ(x.path, y.path);
    EXPECT_EQ(x.existed, y.existed);
    ASSERT_EQ(x.values.size(), y.values.size());
    for (size_t v = 0; v < x.values.size(); ++v) {
      EXPECT_EQ(x.values[v].name, y.values[v].name);
      EXPECT_EQ(x.values[v].type, y.values[v].type);
      EXPECT_EQ(x.values[v].data, y.values[v].data);
    }
  }
}

TEST(RegistrySnapshotCodec, RoundTripKeepsEveryKeyAndValue) {
  for (const RegistrySnapshot& original : {Sample(), RegistrySnapshot{}}) {
    RegistrySnapshot decoded;
    decoded.keys.resize(5);  // replaced, not added to
    ASSERT_TRUE(DecodeRegistrySnapshot(EncodeRegistrySnapshot(original), decoded));
    ExpectSame(decoded, original);
  }
}

TEST(RegistrySnapshotCodec, AnyChangedMissingOrAddedByteFails) {
  const std::string bytes = EncodeRegistrySnapshot(Sample());
  RegistrySnapshot decoded;
  for (size_t i = 0; i < bytes.size(); ++i) {
    for (unsigned flip : {0x01u, 0x80u, 0xFFu}) {
      std::string changed = bytes;
      changed[i] = static_cast<char>(changed[i] ^ flip);
      EXPECT_FALSE(DecodeRegistrySnapshot(changed, decoded)) << "byte " << i << " ^ " << flip;
    }
    std::string shorter = bytes;
    shorter.erase(i, 1);
    EXPECT_FALSE(DecodeRegistrySnapshot(shorter, decoded)) << "byte " << i << " missing";
    EXPECT_FALSE(DecodeRegistrySnapshot(bytes.substr(0, i), decoded)) << "cut after " << i;
  }
  EXPECT_FALSE(DecodeRegistrySnapshot(bytes + '\0', decoded));
  EXPECT_TRUE(decoded.keys.empty()) << "a failed decode left a partial snapshot";
}

}  // namespace
