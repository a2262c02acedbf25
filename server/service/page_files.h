#pragma once
// The renewal page's files, embedded at build time (embed_files.cmake), so
// the binary serves them from wherever it is installed.
#include <cstddef>

namespace korvel::service {

struct EmbeddedFile {
  const char* urlPath;
  const char* contentType;
  const unsigned char* bytes;
  size_t size;
};

extern const EmbeddedFile kEmbeddedFiles[];
extern const size_t kEmbeddedFileCount;

}  // namespace korvel::service
