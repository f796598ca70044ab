// Builds small PE files with a version resource, for the version-resource tests.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

namespace pe_fixture {

inline void Put16(std::string& s, std::size_t at, uint32_t v) {
  if (s.size() < at + 2) s.resize(at + 2, '\0');
  s[at] = char(v & 0xFF), s[at + 1] = char((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, std::size_t at, uint32_t v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}

// A VS_VERSIONINFO block: the fixed file information and no children.
inline std::string VersionBlock(uint16_t major, uint16_t minor, uint16_t release, uint16_t build) {
  std::string b(92, '\0');
  Put16(b, 0, 92);
  Put16(b, 2, 52);
  const char* key = "VS_VERSION_INFO";
  for (int i = 0; key[i]; ++i) Put16(b, std::size_t(6 + 2 * i), uint8_t(key[i]));
  Put32(b, 40, 0xFEEF04BD);
  Put32(b, 44, 0x00010000);
  Put32(b, 48, uint32_t(major) << 16 | minor);
  Put32(b, 52, uint32_t(release) << 16 | build);
  Put32(b, 56, uint32_t(major) << 16 | minor);
  Put32(b, 60, uint32_t(release) << 16 | build);
  return b;
}

// A PE image (PE32, or PE32+ when wide) with one ".rsrc" section. Its resource tree
// holds an icon entry first and, when block is not empty, RT_VERSION with block.
inline std::string PeFile(const std::string& block, bool wide = false) {
  const uint32_t kRsrcRva = 0x1000, kRsrcRaw = 0x400;
  std::string f(kRsrcRaw, '\0');
  f[0] = 'M', f[1] = 'Z';
  Put32(f, 0x3C, 0x80);
  std::size_t pe = 0x80;
  f[pe] = 'P', f[pe + 1] = 'E';
  Put16(f, pe + 4, wide ? 0x8664 : 0x14C);
  Put16(f, pe + 6, 1);
  uint32_t opt_size = wide ? 240 : 224;
  Put16(f, pe + 20, opt_size);
  std::size_t opt = pe + 24;
  Put16(f, opt, wide ? 0x20B : 0x10B);
  std::size_t dirs = opt + (wide ? 112 : 96);
  Put32(f, opt + (wide ? 108 : 92), 16);

  // Resource section: root (types) -> names -> languages -> data entry -> block.
  std::string r;
  bool with_version = !block.empty();
  Put16(r, 14, with_version ? 2 : 1);              // root: id entries
  Put32(r, 16, 3), Put32(r, 20, 0x80000000u | 0x20);  // RT_ICON -> names
  if (with_version) Put32(r, 24, 16), Put32(r, 28, 0x80000000u | 0x20);  // RT_VERSION -> names
  Put16(r, 0x20 + 14, 1);                           // names: one id entry
  Put32(r, 0x30, 1), Put32(r, 0x34, 0x80000000u | 0x38);
  Put16(r, 0x38 + 14, 1);                           // languages: one id entry
  Put32(r, 0x48, 0x409), Put32(r, 0x4C, 0x50);
  Put32(r, 0x50, kRsrcRva + 0x60), Put32(r, 0x54, uint32_t(block.size()));  // data entry
  r.resize(0x60, '\0');
  r += block;
  uint32_t raw_size = (uint32_t(r.size()) + 0x1FF) & ~0x1FFu;
  r.resize(raw_size, '\0');

  Put32(f, dirs + 16, kRsrcRva);
  Put32(f, dirs + 20, uint32_t(r.size()));
  std::size_t sec = opt + opt_size;
  f.replace(sec, 5, ".rsrc");
  Put32(f, sec + 8, uint32_t(r.size()));
  Put32(f, sec + 12, kRsrcRva);
  Put32(f, sec + 16, raw_size);
  Put32(f, sec + 20, kRsrcRaw);
  f.resize(kRsrcRaw, '\0');
  return f + r;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace pe_fixture
