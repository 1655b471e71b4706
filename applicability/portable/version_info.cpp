#include "applicability/portable/version_info.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

namespace {

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
// Real version resources nest four deep; the limit keeps a crafted one from
// exhausting the stack.
constexpr int kMaxDepth = 8;

class Malformed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

class Reader {
 public:
  explicit Reader(const std::vector<std::uint8_t>& data) : data_(data) {}

  void Need(std::size_t offset, std::size_t size, std::size_t end) const {
    if (offset > end || size > end - offset || end > data_.size())
      throw Malformed("a version node runs past its end");
  }
  std::uint16_t U16(std::size_t offset, std::size_t end) const {
    Need(offset, 2, end);
    return static_cast<std::uint16_t>(data_[offset] | (data_[offset + 1] << 8));
  }
  std::uint32_t U32(std::size_t offset, std::size_t end) const {
    return U16(offset, end) | (std::uint32_t{U16(offset + 2, end)} << 16);
  }
  // A NUL-terminated UTF-16 key, kept only if it is ASCII (all keys of a
  // version resource are); returns the offset after the NUL.
  std::size_t Key(std::size_t offset, std::size_t end, std::string& key) const {
    key.clear();
    for (;; offset += 2) {
      const std::uint16_t unit = U16(offset, end);
      if (unit == 0) return offset + 2;
      key += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
  }

 private:
  const std::vector<std::uint8_t>& data_;
};

struct Node {
  std::string key;
  std::uint16_t valueLength = 0;  // as stored
  std::uint16_t type = 0;         // 1 for text
  std::size_t value = 0;          // offset of the value
  std::size_t valueSize = 0;      // in bytes
  std::size_t children = 0;       // offset of the first child
  std::size_t end = 0;
};

// A node's length, key and where its value starts; its value is not checked.
Node ReadHeader(const Reader& r, std::size_t offset, std::size_t parentEnd) {
  Node node;
  const std::uint16_t length = r.U16(offset, parentEnd);
  if (length < 6) throw Malformed("a version node is shorter than its header");
  r.Need(offset, length, parentEnd);
  node.end = offset + length;
  node.valueLength = r.U16(offset + 2, node.end);
  node.type = r.U16(offset + 4, node.end);
  node.value = Align4(r.Key(offset + 6, node.end, node.key));
  return node;
}

Node ReadNode(const Reader& r, std::size_t offset, std::size_t parentEnd) {
  Node node = ReadHeader(r, offset, parentEnd);
  // A text value's length counts UTF-16 characters.
  node.valueSize = node.type == 1 ? 2u * node.valueLength : node.valueLength;
  r.Need(node.value, node.valueSize, node.end);
  node.children = Align4(node.value + node.valueSize);
  return node;
}

void ReadChildren(const Reader& r, const Node& parent, int depth, VersionInfo& info) {
  if (depth > kMaxDepth) throw Malformed("the version nodes nest too deep");
  for (std::size_t at = parent.children; at < parent.end;) {
    const Node child = ReadNode(r, at, parent.end);
    if (parent.key == "VarFileInfo" && child.key == "Translation") {
      if (child.valueSize % 4 != 0) throw Malformed("the translation table is not a list of pairs");
      for (std::size_t k = 0; k < child.valueSize; k += 4)
        info.translations.push_back({r.U16(child.value + k, child.end), r.U16(child.value + k + 2, child.end)});
    }
    ReadChildren(r, child, depth + 1, info);
    at = Align4(child.end);
  }
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[k]) != lower(b[k])) return false;
  }
  return true;
}

// The child of `parent` named `key`; false when there is none.
bool FindChild(const Reader& r, const Node& parent, std::string_view key, Node& found) {
  for (std::size_t at = parent.children; at < parent.end;) {
    const Node child = ReadNode(r, at, parent.end);
    if (SameName(child.key, key)) {
      found = child;
      return true;
    }
    at = Align4(child.end);
  }
  return false;
}

std::array<std::uint16_t, 4> Fields(std::uint32_t ms, std::uint32_t ls) {
  return {static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms),
          static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls)};
}

}  // namespace

bool ParseVersionInfo(const std::vector<std::uint8_t>& data, VersionInfo& info, std::string& error) {
  info = VersionInfo{};
  try {
    const Reader r(data);
    const Node root = ReadNode(r, 0, data.size());
    if (root.key != "VS_VERSION_INFO") throw Malformed("the root node is \"" + root.key + "\", not VS_VERSION_INFO");
    if (root.valueSize != kFixedFileInfoSize)
      throw Malformed("VS_FIXEDFILEINFO has " + std::to_string(root.valueSize) + " bytes");
    if (r.U32(root.value, root.end) != kFixedInfoSignature) throw Malformed("VS_FIXEDFILEINFO has a wrong signature");
    info.fileVersion = Fields(r.U32(root.value + 8, root.end), r.U32(root.value + 12, root.end));
    info.productVersion = Fields(r.U32(root.value + 16, root.end), r.U32(root.value + 20, root.end));
    ReadChildren(r, root, 1, info);
  } catch (const Malformed& e) {
    info = VersionInfo{};
    error = e.what();
    return false;
  }
  return true;
}

std::string VersionText(const std::array<std::uint16_t, 4>& fields) {
  return std::to_string(fields[0]) + "." + std::to_string(fields[1]) + "." + std::to_string(fields[2]) + "." +
         std::to_string(fields[3]);
}

bool ReadFixedFileInfo(const std::vector<std::uint8_t>& data, FixedFileInfoBytes& info) {
  try {
    const Reader r(data);
    // The root's type and the length it declares beyond the 52 bytes are not
    // the query's concern; only these bytes must be inside the node.
    const Node root = ReadHeader(r, 0, data.size());
    if (root.key != "VS_VERSION_INFO" || root.valueLength < kFixedFileInfoSize) return false;
    r.Need(root.value, kFixedFileInfoSize, root.end);
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(root.value), kFixedFileInfoSize, info.begin());
  } catch (const Malformed&) {
    return false;
  }
  return true;
}

bool FindVersionText(const std::vector<std::uint8_t>& data, std::string_view table, std::string_view key,
                     std::u16string& text) {
  text.clear();
  try {
    const Reader r(data);
    const Node root = ReadNode(r, 0, data.size());
    Node strings, block, value;
    if (!SameName(root.key, "VS_VERSION_INFO") || !FindChild(r, root, "StringFileInfo", strings) ||
        !FindChild(r, strings, table, block) || !FindChild(r, block, key, value)) {
      return false;
    }
    for (std::size_t at = value.value; at + 2 <= value.value + value.valueSize; at += 2) {
      const std::uint16_t unit = r.U16(at, value.end);
      if (unit == 0) break;
      text += static_cast<char16_t>(unit);
    }
  } catch (const Malformed&) {
    text.clear();
    return false;
  }
  return true;
}
