#ifndef DISTRIBUTION_USER_ID_H_
#define DISTRIBUTION_USER_ID_H_

#include <windows.h>

#include <string>

namespace base {
class OsFacts;
}

namespace distribution {

// Registry keys under HKEY_CURRENT_USER that hold the user-ID marker.
struct UserIdMarkerKeys {
  std::wstring legacy = L"Software\\Tarnix";            // Before Vista; always looked at.
  std::wstring low = L"Software\\AppDataLow\\Tarnix";  // Vista and later.
};

// The per-user identifier that ties statistics, crash reports and server
// requests of one Windows user together. It lives in
// %APPDATA%\Tarnix\ui; a registry marker "UICreated_<user>" records that one
// was ever created, so that a user whose file got lost is not given a second.
// Each call does its own I/O; not meant for concurrent use of one object.
class UserId {
 public:
  // `os_facts` is not owned and must outlive the object.
  explicit UserId(base::OsFacts* os_facts, UserIdMarkerKeys keys = UserIdMarkerKeys());
  virtual ~UserId() = default;

  // The user ID (1 to 64 bytes), or empty when there is none or it could not
  // be created. Never fails the caller.
  std::string GetUserIdInternal();

  // %APPDATA%\Tarnix\ui, or empty. With `create`, the folders are created.
  std::wstring GetUserIdFilePath(bool create);
  // True with the content when the file holds 1 to 64 bytes.
  bool ReadUserIdFromFile(const std::wstring& path, std::string* id);
  // A new braced GUID written to the file, then the marker; empty on failure.
  std::string GenerateAndStoreUserId();
  // Writes the marker DWORD 1 under the key this Windows version uses.
  bool RememberUidIsCreated();
  bool RegistryValueExist(HKEY root, const std::wstring& key, const std::wstring& name);
  // The system's major version is greater than 5.
  bool IsVistaOrGreater();

 protected:
  // The roaming application-data folder; empty on failure, last error set.
  virtual std::wstring GetAppDataFolder(bool create);
  // The logon name; empty on failure.
  virtual std::wstring GetLogonUserName();
  // A new GUID in registry format ("{8-4-4-4-12}", upper case); empty on failure.
  virtual std::string CreateGuidString();

 private:
  bool MarkerExists();

  base::OsFacts* os_facts_;
  UserIdMarkerKeys keys_;
};

// The user ID of the current user in the real locations.
std::string GetUserIdInternal();

}  // namespace distribution

#endif  // DISTRIBUTION_USER_ID_H_
