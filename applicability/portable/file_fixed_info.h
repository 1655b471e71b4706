// The fixed version information of an installed file read from the file's own
// bytes: the headers, the version branch of the resource tree and the start of
// the version resource, a few small reads where the system maps the whole file.
#pragma once

#include "applicability/portable/byte_image.h"
#include "applicability/portable/version_info.h"

enum class FileFixedInfo {
  kFound,         // `info` holds the version resource's fixed file information
  kNone,          // not a program, no version resource, a damaged image or a failed read
  kOlderProgram,  // starts with "MZ" but is no PE image (NE, LE): left to the system
};

// `file` is read through a CachedImage, so it need not buffer.
FileFixedInfo ReadFileFixedInfo(ByteImage& file, FixedFileInfoBytes& info);
