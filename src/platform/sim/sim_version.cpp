// Version resources of the simulated machine, read from the file's own
// bytes: a file carries a version when it holds a fixed version block.
#include <cstring>
#include <optional>

#include "platform/sim/machine.h"

namespace {

using namespace win;

constexpr char16_t VersionKey[] = u"VS_VERSION_INFO";
// VS_VERSIONINFO header: three WORDs, the key with its zero, padding to 4.
constexpr std::size_t HeaderBytes = 6 + sizeof(VersionKey);
constexpr std::size_t FixedOffset = (HeaderBytes + 3) & ~std::size_t{3};
constexpr std::size_t BlockBytes = FixedOffset + sizeof(VS_FIXEDFILEINFO);

// Where the file's fixed version block lies, found on a 4-byte boundary.
std::optional<std::size_t> FixedInfoOffset(const std::vector<std::uint8_t>& data) {
  for (std::size_t at = 0; at + sizeof(VS_FIXEDFILEINFO) <= data.size(); at += 4) {
    DWORD signature;
    std::memcpy(&signature, data.data() + at, 4);
    if (signature == VS_FFI_SIGNATURE) return at;
  }
  return std::nullopt;
}

bool FindFixedInfo(const std::vector<std::uint8_t>& data, VS_FIXEDFILEINFO& info) {
  const auto at = FixedInfoOffset(data);
  if (at) std::memcpy(&info, data.data() + *at, sizeof info);
  return at.has_value();
}

// The fixed block of a file the caller names; false with the last error set.
bool ReadFixedInfo(sim::Machine& m, const char16_t* fileName, VS_FIXEDFILEINFO& info) {
  const sim::FileNode* node = fileName && *fileName ? m.FindFile(fileName) : nullptr;
  if (!node || node->directory) {
    m.lastError = node ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    return false;
  }
  // The file is opened to be read as a library's data, as Windows does.
  if (sim::SharingViolation(m, sim::Machine::Key(node->path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE)) {
    m.lastError = ERROR_SHARING_VIOLATION;
    return false;
  }
  if (!FindFixedInfo(node->data, info)) {
    m.lastError = ERROR_RESOURCE_TYPE_NOT_FOUND;
    return false;
  }
  return true;
}

}  // namespace

namespace win {

DWORD GetFileVersionInfoSizeW(const char16_t* fileName, DWORD* handle) {
  auto& m = sim::Current();
  if (handle) *handle = 0;
  if (m.Enter("GetFileVersionInfoSizeW", fileName ? fileName : u"")) return 0;
  VS_FIXEDFILEINFO info;
  return ReadFixedInfo(m, fileName, info) ? static_cast<DWORD>(BlockBytes) : 0;
}

BOOL GetFileVersionInfoW(const char16_t* fileName, DWORD, DWORD size, void* data) {
  auto& m = sim::Current();
  if (m.Enter("GetFileVersionInfoW", fileName ? fileName : u"")) return FALSE;
  VS_FIXEDFILEINFO info;
  if (!ReadFixedInfo(m, fileName, info)) return FALSE;
  if (!data || size < BlockBytes) {
    m.lastError = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  auto* out = static_cast<std::uint8_t*>(data);
  std::memset(out, 0, BlockBytes);
  const WORD header[3] = {static_cast<WORD>(BlockBytes), static_cast<WORD>(sizeof info), 0};
  std::memcpy(out, header, sizeof header);
  std::memcpy(out + 6, VersionKey, sizeof(VersionKey));
  std::memcpy(out + FixedOffset, &info, sizeof info);
  return TRUE;
}

BOOL VerQueryValueW(const void* block, const char16_t* subBlock, void** buffer, UINT* length) {
  auto& m = sim::Current();
  if (m.Enter("VerQueryValueW", subBlock ? subBlock : u"")) return FALSE;
  const auto* in = static_cast<const std::uint8_t*>(block);
  WORD header[3] = {};
  if (in) std::memcpy(header, in, sizeof header);
  const bool valid = in && header[0] >= BlockBytes && header[1] == sizeof(VS_FIXEDFILEINFO) &&
                     std::memcmp(in + 6, VersionKey, sizeof(VersionKey)) == 0;
  if (!valid || !subBlock || std::u16string_view(subBlock) != u"\\" || !buffer || !length) {
    if (length) *length = 0;
    return FALSE;
  }
  *buffer = const_cast<std::uint8_t*>(in + FixedOffset);
  *length = sizeof(VS_FIXEDFILEINFO);
  return TRUE;
}

}  // namespace win

namespace sim {

std::vector<std::uint8_t> VersionedFileImage(unsigned build, std::size_t size, unsigned fileBuild) {
  std::vector<std::uint8_t> image(std::max<std::size_t>(size, 0x300), 0);
  image[0] = 'M';
  image[1] = 'Z';
  VS_FIXEDFILEINFO info{};
  info.dwSignature = VS_FFI_SIGNATURE;
  info.dwStrucVersion = 0x00010000;
  info.dwFileVersionMS = 0x00010000;  // 1.0
  info.dwFileVersionLS = fileBuild;
  info.dwProductVersionMS = 0x00010000;
  info.dwProductVersionLS = build;
  info.dwFileFlagsMask = 0x3F;
  info.dwFileOS = 0x00040004;  // VOS_NT_WINDOWS32
  info.dwFileType = 2;         // VFT_DLL
  std::memcpy(image.data() + 0x200, &info, sizeof info);
  return image;
}

}  // namespace sim

namespace sim {

std::vector<std::uint8_t> VersionedFileImage(unsigned build, std::size_t size) {
  return VersionedFileImage(build, size, build);
}

std::optional<unsigned> FileBuild(const std::vector<std::uint8_t>& image) {
  VS_FIXEDFILEINFO info;
  if (!FindFixedInfo(image, info)) return std::nullopt;
  return LOWORD(info.dwProductVersionLS);
}

bool SetFileBuild(std::vector<std::uint8_t>& image, unsigned build) {
  const auto at = FixedInfoOffset(image);
  if (!at) return false;
  VS_FIXEDFILEINFO info;
  std::memcpy(&info, image.data() + *at, sizeof info);
  info.dwProductVersionLS = build;
  info.dwFileVersionLS = build;
  std::memcpy(image.data() + *at, &info, sizeof info);
  return true;
}

}  // namespace sim
