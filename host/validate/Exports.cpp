#include "validate/Exports.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// Reads a T at offset, or fails when the file is too short.
template <typename T>
bool ReadAt(const std::vector<char>& theFile, uint64_t offset, T* theValue) {
  if (offset > theFile.size() || theFile.size() - offset < sizeof(T)) return false;
  std::memcpy(theValue, theFile.data() + offset, sizeof(T));
  return true;
}

}  // namespace

ExportList ReadExports(const std::string& thePath) {
  ExportList theList;
  std::ifstream in(thePath, std::ios::binary);
  if (!in) {
    theList.problem = "cannot be read";
    return theList;
  }
  // A plug-in is a few megabytes at most; a larger file is not one.
  constexpr std::streamoff kMaxBytes = std::streamoff(1) << 30;
  in.seekg(0, std::ios::end);
  std::streamoff length = in.tellg();
  if (length < 0 || length > kMaxBytes) {
    theList.problem = "is not a shared library";
    return theList;
  }
  in.seekg(0);
  std::vector<char> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

  Elf64_Ehdr header;
  if (!ReadAt(file, 0, &header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) {
    theList.problem = "is not an ELF file";
    return theList;
  }
  if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
      header.e_type != ET_DYN || header.e_shentsize != sizeof(Elf64_Shdr)) {
    theList.problem = "is not a 64-bit shared library for this machine";
    return theList;
  }
  for (uint32_t i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr section;
    if (!ReadAt(file, header.e_shoff + uint64_t(i) * sizeof section, &section)) break;
    if (section.sh_type != SHT_DYNSYM || section.sh_entsize != sizeof(Elf64_Sym)) continue;
    Elf64_Shdr strings;
    if (!ReadAt(file, header.e_shoff + uint64_t(section.sh_link) * sizeof strings, &strings)) break;
    theList.readable = true;
    uint64_t count = section.sh_size / sizeof(Elf64_Sym);
    for (uint64_t s = 1; s < count; ++s) {
      Elf64_Sym symbol;
      if (!ReadAt(file, section.sh_offset + s * sizeof symbol, &symbol)) break;
      unsigned binding = ELF64_ST_BIND(symbol.st_info);
      if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK)) continue;
      uint64_t at = strings.sh_offset + symbol.st_name;
      if (symbol.st_name >= strings.sh_size || at >= file.size()) continue;
      uint64_t end = at;
      uint64_t limit = strings.sh_offset + strings.sh_size < file.size() ? strings.sh_offset + strings.sh_size
                                                                        : file.size();
      while (end < limit && file[end] != '\0') ++end;
      theList.symbols.emplace_back(file.data() + at, file.data() + end);
    }
  }
  if (!theList.readable) theList.problem = "has no dynamic symbol table";
  return theList;
}
