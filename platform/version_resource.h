// Version resources: the VS_VERSIONINFO block of a file and its VS_FIXEDFILEINFO.
// The block is read from a PE file's version resource (RT_VERSION) and from our own
// ELF programs, which carry the same block in their ".vs_versioninfo" section.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

// The numbers of a VS_FIXEDFILEINFO that a version text is made of.
struct FixedFileInfo {
  uint32_t file_version_ms = 0;     // major << 16 | minor
  uint32_t file_version_ls = 0;     // release << 16 | build
  uint32_t product_version_ms = 0;
  uint32_t product_version_ls = 0;
};

// The file's VS_VERSIONINFO block, or an empty string when the file cannot be read,
// is neither a PE nor an ELF file, or has no version resource.
std::string ReadVersionInfoBlock(const std::string& path);

// The fixed file information at the root of a VS_VERSIONINFO block, or nullopt when
// the block is too short, is not keyed "VS_VERSION_INFO" or lacks the signature.
std::optional<FixedFileInfo> QueryFixedFileInfo(const std::string& block);

}  // namespace platform
