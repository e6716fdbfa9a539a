#include "download/trust_list.h"

#include <windows.h>

#include <jansson.h>

#include <cstdint>
#include <iterator>
#include <memory>

#include "base/scoped_handle.h"
#include "base/logging.h"
#include "download/image_bounds.h"
#include "download/signature_verifier.h"
#include "trust_keys.h"

namespace download {

namespace {

constexpr wchar_t kSignatureType[] = L"SIGNATURE_DAT";
constexpr wchar_t kSignatureName[] = L"SIGNATURE.DAT";
constexpr wchar_t kTrustListType[] = L"TRUSTED_JSON";
constexpr wchar_t kTrustListName[] = L"TRUSTED.JSON";
constexpr size_t kKeyNumberSize = 2;

struct JsonDeleter {
  void operator()(json_t* json) const { json_decref(json); }
};
using ScopedJson = std::unique_ptr<json_t, JsonDeleter>;

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '+')
    return 62;
  if (c == '/')
    return 63;
  return -1;
}

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

// "X:\..." or "\\..." (UNC and device paths). Anything else would be
// resolved against the current directory or the DLL search path.
bool IsAbsolutePath(const std::wstring& path) {
  const bool drive_letter = path.size() >= 3 &&
                            ((path[0] >= L'A' && path[0] <= L'Z') ||
                             (path[0] >= L'a' && path[0] <= L'z')) &&
                            path[1] == L':' && IsSeparator(path[2]);
  return drive_letter || (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]));
}

// The resource's bytes, or an empty view when it is missing, empty or
// cannot be loaded (the last error then tells which call failed). The view
// lives as long as the module.
std::string_view FindResourceBytes(HMODULE module, uint64_t view_size, const wchar_t* type,
                                   const wchar_t* name) {
  HRSRC resource = ::FindResourceW(module, name, type);
  if (!resource)
    return {};
  const DWORD size = ::SizeofResource(module, resource);
  if (size == 0)
    return {};
  HGLOBAL loaded = ::LoadResource(module, resource);
  if (!loaded)
    return {};
  const char* data = static_cast<const char*>(::LockResource(loaded));
  if (!data)
    return {};
  // The module handle of a data-file mapping is the view's address with its
  // low bits set; a resource entry may claim bytes beyond the view. (A file
  // the process has already loaded as an image comes back as that image,
  // whose bounds the loader has checked.)
  const uintptr_t handle = reinterpret_cast<uintptr_t>(module);
  const char* view = reinterpret_cast<const char*>(handle & ~uintptr_t{3});
  if ((handle & 3) &&
      (data < view || static_cast<uint64_t>(data - view) + size > view_size)) {
    ::SetLastError(ERROR_INVALID_DATA);
    return {};
  }
  return std::string_view(data, size);
}

}  // namespace

bool DecodeBase64(std::string_view text, std::string* bytes) {
  if (text.empty() || text.size() % 4 != 0)
    return false;
  size_t padding = 0;
  while (padding < text.size() && text[text.size() - 1 - padding] == '=')
    ++padding;
  if (padding > 2)
    return false;

  bytes->clear();
  bytes->reserve(text.size() / 4 * 3);
  uint32_t buffer = 0;
  int bits = 0;
  for (char c : text.substr(0, text.size() - padding)) {
    const int value = Base64Value(c);
    if (value < 0)
      return false;
    buffer = (buffer << 6) | static_cast<uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes->push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
  return true;
}

std::string GetTrustJsonFromModule(const std::wstring& path) {
  if (!IsAbsolutePath(path)) {
    // Nothing failed yet, so name the reason rather than a stale last error.
    ELOG(ERROR, ERROR_BAD_PATHNAME)
        << "Attempting to GetTrustJsonFromModule at an invalid path: " << path;
    return std::string();
  }

  // A data-file mapping: the lookup reads the headers and the two resources
  // only, where an image-resource mapping makes Wine read the whole archive.
  // It trusts the section table, so the table is checked against the file's
  // size first, under a handle that keeps writers out until the lookup ends.
  // Nothing of the file is executed either way.
  base::ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER file_size = {};
  base::ScopedModule module;
  if (file.is_valid() && ::GetFileSizeEx(file.get(), &file_size)) {
    if (ImageSectionsInsideFile(file.get(), static_cast<uint64_t>(file_size.QuadPart)))
      module.reset(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    else
      ::SetLastError(ERROR_BAD_EXE_FORMAT);
  }
  if (!module.is_valid()) {
    PLOG(ERROR) << "Failed to load module for GetTrustJsonFromModule: " << path;
    return std::string();
  }

  const std::string_view signature_resource =
      FindResourceBytes(module.get(), file_size.QuadPart, kSignatureType, kSignatureName);
  if (signature_resource.size() <= kKeyNumberSize) {
    PLOG(ERROR) << "Cannot find resource SIGNATURE_DAT";
    return std::string();
  }
  const std::string_view json =
      FindResourceBytes(module.get(), file_size.QuadPart, kTrustListType, kTrustListName);
  if (json.empty()) {
    PLOG(ERROR) << "Cannot find resource TRUSTED_JSON";
    return std::string();
  }

  const int16_t key_number = static_cast<int16_t>(
      static_cast<uint8_t>(signature_resource[0]) |
      (static_cast<uint8_t>(signature_resource[1]) << 8));
  if (key_number < 0 || key_number >= static_cast<int16_t>(std::size(kTrustKeys))) {
    PLOG(ERROR) << "Cannot find key";
    return std::string();
  }
  const std::string_view key_der = kTrustKeys[key_number];

  SignatureVerifier verifier;
  const bool verified = verifier.Verify(signature_resource.substr(kKeyNumberSize), key_der, json);
  if (!verified)
    PLOG(ERROR) << "Verify error";
  verifier.Cleanup();
  return verified ? std::string(json) : std::string();
}

bool LoadTrustedCertificates(std::string_view json, TrustedCertificates* certificates) {
  certificates->clear();
  json_error_t error;
  ScopedJson root(json_loadb(json.data(), json.size(), 0, &error));
  if (!root || !json_is_object(root.get()))
    return false;
  json_t* trusted_info = json_object_get(root.get(), "trusted_info");
  if (!json_is_object(trusted_info))
    return false;
  json_t* list = json_object_get(trusted_info, "certificates");
  if (!json_is_array(list))
    return false;

  for (size_t i = 0; i < json_array_size(list); ++i) {
    json_t* id = json_object_get(json_array_get(list, i), "id");
    std::string identifier;
    if (json_is_string(id) &&
        DecodeBase64(std::string_view(json_string_value(id), json_string_length(id)),
                     &identifier)) {
      certificates->insert(std::move(identifier));
    }
  }
  return true;
}

}  // namespace download
