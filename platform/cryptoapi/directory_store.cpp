#include "platform/cryptoapi/directory_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <openssl/crypto.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/win32/ansi_code_page.h"
#include "platform/win32/atomic_file.h"
#include "platform/win32/refusal_trace.h"

namespace capi::detail {
namespace {

constexpr char kCertificateSuffix[] = ".der";
constexpr char kFriendlyNameSuffix[] = ".friendly-name";
constexpr char kKeySuffix[] = ".key";
constexpr std::size_t kMaxKeyBytes = 64 * 1024;
constexpr std::size_t kHexLength = 2 * kSha1HashSize;
constexpr std::size_t kMaxFriendlyNameBytes = 64 * 1024;

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char UpperHex(char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string LowerHex(const std::string& upper) {
  std::string lower = upper;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The stem under which the hash is filed: the upper-case hex, or the lower-case one.
std::optional<std::string> FiledStem(const std::string& directory, const std::string& upperHex) {
  for (const std::string& stem : {upperHex, LowerHex(upperHex)}) {
    if (IsFile(directory + "/" + stem + kCertificateSuffix)) return stem;
  }
  return std::nullopt;
}

// Creates the directory and any missing parent, each with the given mode.
bool MakeDirectories(const std::string& path, mode_t mode) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(path.substr(0, slash), mode)) {
    return false;
  }
  return ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

bool RemoveIfPresent(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

// Why a key file is not used, or null when it may be: a key that others could read or swap
// is no secret of this user's.
const char* KeyFileRefusal(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  if (st.st_uid != ::geteuid()) return "owned by another user";
  if ((st.st_mode & 077) != 0) return "readable or writable by others (mode must be 0600)";
  return nullptr;
}

// The bytes of a key file that only this user can read and write; nullopt otherwise, with
// *refused set (and the reason traced) when the file is there but may not be used. The
// checks are made on the opened file itself, so it cannot be swapped in between.
std::optional<std::vector<std::uint8_t>> ReadOwnerOnlyFile(const std::string& path, bool* refused) {
  *refused = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP) {
      *refused = true;
      plat::TraceRefusal(path + ": private key not used: a symbolic link");
    }
    return std::nullopt;
  }
  std::optional<std::vector<std::uint8_t>> bytes;
  struct stat st {};
  const char* refusal = ::fstat(fd, &st) == 0 ? KeyFileRefusal(st) : "cannot be examined";
  if (refusal != nullptr) {
    *refused = true;
    plat::TraceRefusal(path + ": private key not used: " + refusal);
  }
  if (refusal == nullptr && st.st_size > 0 && static_cast<std::size_t>(st.st_size) <= kMaxKeyBytes) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(st.st_size));
    std::size_t filled = 0;
    while (filled < buffer.size()) {
      const ssize_t n = ::read(fd, buffer.data() + filled, buffer.size() - filled);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      filled += static_cast<std::size_t>(n);
    }
    if (filled == buffer.size()) {
      bytes = std::move(buffer);
    } else {
      OPENSSL_cleanse(buffer.data(), buffer.size());
    }
  }
  ::close(fd);
  return bytes;
}

}  // namespace

std::string HashToHex(const std::uint8_t sha1[kSha1HashSize]) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(kHexLength);
  for (std::uint32_t i = 0; i < kSha1HashSize; ++i) {
    hex.push_back(kDigits[sha1[i] >> 4]);
    hex.push_back(kDigits[sha1[i] & 0x0F]);
  }
  return hex;
}

std::vector<std::string> ListCertificateHashes(const std::string& directory) {
  std::vector<std::string> hashes;
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return hashes;
  const std::size_t suffixLength = std::strlen(kCertificateSuffix);
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view name(entry->d_name);
    if (name.size() != kHexLength + suffixLength || !name.ends_with(kCertificateSuffix)) continue;
    std::string_view stem = name.substr(0, kHexLength);
    if (!std::all_of(stem.begin(), stem.end(), IsHexDigit)) continue;
    std::string upper;
    std::transform(stem.begin(), stem.end(), std::back_inserter(upper), UpperHex);
    hashes.push_back(std::move(upper));
  }
  ::closedir(dir);
  std::sort(hashes.begin(), hashes.end());
  hashes.erase(std::unique(hashes.begin(), hashes.end()), hashes.end());
  return hashes;
}

std::shared_ptr<StoredCertificate> LoadCertificate(const std::string& directory,
                                                   const std::string& hexHash) {
  std::optional<std::string> stem = FiledStem(directory, hexHash);
  if (!stem) return nullptr;
  const std::string base = directory + "/" + *stem;
  std::optional<std::string> bytes = plat::ReadWholeFile(base + kCertificateSuffix, kMaxCertificateBytes);
  if (!bytes) return nullptr;
  auto certificate = DecodeCertificate(reinterpret_cast<const std::uint8_t*>(bytes->data()),
                                       static_cast<std::uint32_t>(bytes->size()));
  if (certificate == nullptr || HashToHex(certificate->sha1) != hexHash) return nullptr;
  if (auto name = plat::ReadWholeFile(base + kFriendlyNameSuffix, kMaxFriendlyNameBytes)) {
    certificate->friendlyName = plat::AnsiToWide(*name);
  }
  return certificate;
}

bool SaveCertificate(const std::string& directory, StoredCertificate& certificate) {
  if (!MakeDirectories(directory, 0700)) return false;
  const std::string hex = HashToHex(certificate.sha1);
  std::string_view bytes(reinterpret_cast<const char*>(certificate.bytes.data()),
                         certificate.bytes.size());
  if (!plat::WriteFileAtomically(directory + "/" + hex + kCertificateSuffix, bytes)) return false;
  std::lock_guard guard(certificate.propertyLock);
  if (certificate.privateKey && !SaveKey(directory, certificate.sha1, *certificate.privateKey)) return false;
  return SaveFriendlyName(directory, certificate.sha1, certificate.friendlyName);
}

bool SaveKey(const std::string& directory, const std::uint8_t sha1[kSha1HashSize], const EVP_PKEY& key) {
  std::optional<std::string> stem = FiledStem(directory, HashToHex(sha1));
  if (!stem) return false;
  const std::string path = directory + "/" + *stem + kKeySuffix;
  // The replacement takes the mode of the file it replaces: make sure that is 0600 first.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool closed = ::fchmod(fd, 0600) == 0;
  ::close(fd);
  std::vector<std::uint8_t> pkcs8 = EncodePrivateKey(key);
  const bool written = closed && !pkcs8.empty() &&
                       plat::WriteFileAtomically(path, std::string_view(reinterpret_cast<const char*>(pkcs8.data()), pkcs8.size()));
  OPENSSL_cleanse(pkcs8.data(), pkcs8.size());
  return written;
}

PrivateKey LoadKey(const std::string& directory, const std::uint8_t sha1[kSha1HashSize], bool* refused) {
  bool ignored = false;
  if (refused == nullptr) refused = &ignored;
  *refused = false;
  std::optional<std::string> stem = FiledStem(directory, HashToHex(sha1));
  if (!stem) return nullptr;
  std::optional<std::vector<std::uint8_t>> pkcs8 = ReadOwnerOnlyFile(directory + "/" + *stem + kKeySuffix, refused);
  if (!pkcs8) return nullptr;
  PrivateKey key = DecodePrivateKey(pkcs8->data(), pkcs8->size());
  OPENSSL_cleanse(pkcs8->data(), pkcs8->size());
  return key;
}

bool SaveFriendlyName(const std::string& directory, const std::uint8_t sha1[kSha1HashSize],
                      const std::optional<std::u16string>& friendlyName) {
  std::optional<std::string> stem = FiledStem(directory, HashToHex(sha1));
  if (!stem) return false;
  const std::string path = directory + "/" + *stem + kFriendlyNameSuffix;
  if (!friendlyName) return RemoveIfPresent(path);
  return plat::WriteFileAtomically(path, plat::WideToAnsi(*friendlyName));
}

bool RemoveCertificate(const std::string& directory, const std::uint8_t sha1[kSha1HashSize]) {
  std::optional<std::string> stem = FiledStem(directory, HashToHex(sha1));
  if (!stem) return false;
  const std::string base = directory + "/" + *stem;
  return RemoveIfPresent(base + kKeySuffix) && RemoveIfPresent(base + kFriendlyNameSuffix) &&
         RemoveIfPresent(base + kCertificateSuffix);
}

}  // namespace capi::detail
