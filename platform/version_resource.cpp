#include "platform/version_resource.h"

#include <algorithm>
#include <fstream>
#include <vector>

namespace platform {
namespace {

// Version blocks are small; anything larger than this is not a version resource.
constexpr uint64_t kMaxBlock = 1 << 20;

// Bounded little-endian reads from an open file.
class Reader {
 public:
  explicit Reader(const std::string& path) : in_(path, std::ios::binary) {
    if (in_) {
      in_.seekg(0, std::ios::end);
      size_ = uint64_t(std::max<std::streamoff>(0, in_.tellg()));
    }
  }
  bool ok() const { return bool(in_); }
  uint64_t size() const { return size_; }

  bool Bytes(uint64_t offset, uint64_t count, std::string* out) {
    if (offset > size_ || count > size_ - offset) return false;
    out->assign(std::size_t(count), '\0');
    in_.clear();
    in_.seekg(std::streamoff(offset));
    return bool(in_.read(out->data(), std::streamsize(count)));
  }
  std::optional<uint64_t> U(uint64_t offset, int width) {
    std::string b;
    if (!Bytes(offset, uint64_t(width), &b)) return std::nullopt;
    uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = (v << 8) | uint8_t(b[std::size_t(i)]);
    return v;
  }

 private:
  std::ifstream in_;
  uint64_t size_ = 0;
};

struct Section {
  uint32_t va, virtual_size, raw_size, raw_offset;
};

std::optional<uint64_t> RvaToOffset(const std::vector<Section>& sections, uint64_t rva) {
  for (const Section& s : sections) {
    uint64_t extent = std::max(s.virtual_size, s.raw_size);
    if (rva >= s.va && rva < uint64_t(s.va) + extent) {
      uint64_t delta = rva - s.va;
      if (delta >= s.raw_size) return std::nullopt;
      return uint64_t(s.raw_offset) + delta;
    }
  }
  return std::nullopt;
}

std::string PeVersionBlock(Reader& r) {
  auto lfanew = r.U(0x3C, 4);
  if (!lfanew) return {};
  uint64_t pe = *lfanew;
  if (r.U(pe, 4) != 0x00004550u) return {};  // "PE\0\0"
  auto nsections = r.U(pe + 6, 2), opt_size = r.U(pe + 20, 2);
  uint64_t opt = pe + 24;
  auto magic = r.U(opt, 2);
  if (!nsections || !opt_size || !magic) return {};
  uint64_t dirs_count_at, dirs_at;
  if (*magic == 0x10b) {
    dirs_count_at = opt + 92, dirs_at = opt + 96;
  } else if (*magic == 0x20b) {
    dirs_count_at = opt + 108, dirs_at = opt + 112;
  } else {
    return {};
  }
  auto ndirs = r.U(dirs_count_at, 4);
  if (!ndirs || *ndirs < 3) return {};
  auto rsrc_rva = r.U(dirs_at + 16, 4);
  if (!rsrc_rva || *rsrc_rva == 0) return {};

  std::vector<Section> sections;
  uint64_t table = opt + *opt_size;
  for (uint64_t i = 0; i < *nsections; ++i) {
    uint64_t at = table + i * 40;
    auto vs = r.U(at + 8, 4), va = r.U(at + 12, 4), rs = r.U(at + 16, 4), ro = r.U(at + 20, 4);
    if (!vs || !va || !rs || !ro) return {};
    sections.push_back({uint32_t(*va), uint32_t(*vs), uint32_t(*rs), uint32_t(*ro)});
  }
  auto base = RvaToOffset(sections, *rsrc_rva);
  if (!base) return {};

  // Three directory levels: type (RT_VERSION = 16), name (first), language (first).
  uint64_t dir = *base;
  for (int level = 0; level < 3; ++level) {
    auto named = r.U(dir + 12, 2), ids = r.U(dir + 14, 2);
    if (!named || !ids) return {};
    uint64_t total = *named + *ids;
    std::optional<uint64_t> target;
    for (uint64_t i = 0; i < total && !target; ++i) {
      auto name = r.U(dir + 16 + i * 8, 4), data = r.U(dir + 20 + i * 8, 4);
      if (!name || !data) return {};
      bool wanted = level > 0 || (!(*name & 0x80000000u) && *name == 16);
      if (wanted) target = *data;
    }
    if (!target) return {};
    bool is_dir = (*target & 0x80000000u) != 0;
    if (is_dir != (level < 2)) return {};
    dir = *base + (*target & 0x7FFFFFFFu);
  }
  auto data_rva = r.U(dir, 4), size = r.U(dir + 4, 4);
  if (!data_rva || !size || *size == 0 || *size > kMaxBlock) return {};
  auto at = RvaToOffset(sections, *data_rva);
  std::string block;
  if (!at || !r.Bytes(*at, *size, &block)) return {};
  return block;
}

std::string ElfVersionBlock(Reader& r) {
  std::string ident;
  if (!r.Bytes(0, 16, &ident) || ident[5] != 1) return {};  // little-endian only
  bool is64 = ident[4] == 2;
  if (!is64 && ident[4] != 1) return {};
  auto shoff = is64 ? r.U(0x28, 8) : r.U(0x20, 4);
  auto shentsize = r.U(is64 ? 0x3A : 0x2E, 2), shnum = r.U(is64 ? 0x3C : 0x30, 2),
       shstrndx = r.U(is64 ? 0x3E : 0x32, 2);
  if (!shoff || !shentsize || !shnum || !shstrndx || *shstrndx >= *shnum) return {};
  auto header = [&](uint64_t i, uint64_t* name, uint64_t* offset, uint64_t* size) {
    uint64_t at = *shoff + i * *shentsize;
    auto n = r.U(at, 4);
    auto o = is64 ? r.U(at + 0x18, 8) : r.U(at + 0x10, 4);
    auto s = is64 ? r.U(at + 0x20, 8) : r.U(at + 0x14, 4);
    if (!n || !o || !s) return false;
    *name = *n, *offset = *o, *size = *s;
    return true;
  };
  uint64_t name, str_off, str_size;
  if (!header(*shstrndx, &name, &str_off, &str_size)) return {};
  static const std::string kWanted = ".vs_versioninfo";
  for (uint64_t i = 0; i < *shnum; ++i) {
    uint64_t off, size;
    if (!header(i, &name, &off, &size)) return {};
    std::string label;
    if (name >= str_size || !r.Bytes(str_off + name, std::min<uint64_t>(kWanted.size() + 1, str_size - name), &label))
      continue;
    if (label != kWanted + '\0') continue;
    std::string block;
    if (size == 0 || size > kMaxBlock || !r.Bytes(off, size, &block)) return {};
    return block;
  }
  return {};
}

}  // namespace

std::string ReadVersionInfoBlock(const std::string& path) {
  Reader r(path);
  if (!r.ok()) return {};
  std::string magic;
  if (!r.Bytes(0, 4, &magic)) return {};
  if (magic.compare(0, 2, "MZ") == 0) return PeVersionBlock(r);
  if (magic == "\x7f" "ELF") return ElfVersionBlock(r);
  return {};
}

std::optional<FixedFileInfo> QueryFixedFileInfo(const std::string& block) {
  auto u16 = [&](std::size_t at) { return uint32_t(uint8_t(block[at])) | uint32_t(uint8_t(block[at + 1])) << 8; };
  auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
  // wLength, wValueLength, wType, then the key in UTF-16, padded to 32 bits.
  static const char16_t kKey[] = u"VS_VERSION_INFO";
  constexpr std::size_t kKeyChars = sizeof kKey / sizeof kKey[0];  // with the terminator
  constexpr std::size_t kValueAt = (6 + kKeyChars * 2 + 3) & ~std::size_t(3);
  constexpr std::size_t kFixedSize = 52;
  if (block.size() < kValueAt + kFixedSize) return std::nullopt;
  if (u16(2) < kFixedSize) return std::nullopt;
  for (std::size_t i = 0; i < kKeyChars; ++i)
    if (u16(6 + i * 2) != uint32_t(kKey[i])) return std::nullopt;
  if (u32(kValueAt) != kFixedFileInfoSignature) return std::nullopt;
  FixedFileInfo info;
  info.file_version_ms = u32(kValueAt + 8);
  info.file_version_ls = u32(kValueAt + 12);
  info.product_version_ms = u32(kValueAt + 16);
  info.product_version_ls = u32(kValueAt + 20);
  return info;
}

}  // namespace platform
