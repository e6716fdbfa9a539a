#ifndef BASE_REGISTRY_STORE_H_
#define BASE_REGISTRY_STORE_H_

#include <windows.h>

#include <string>

namespace base {

// String values under registry keys. Every call opens and closes its own key
// handle, so calls may come from any thread; every outcome is logged.

// Opens `sub_key` for writing (creating it when missing) and stores `value`
// as REG_SZ. Answers false on any registry error.
bool StoreValueInRegistry(HKEY root, const std::wstring& sub_key, const std::wstring& name,
                          const std::wstring& value);
// Reads a REG_SZ value, or a REG_EXPAND_SZ value expanded with the environment.
// Other types, values over 1024 characters and failed expansions are failures;
// `value` is left unchanged on failure.
bool ReadValueFromRegistry(HKEY root, const std::wstring& sub_key, const std::wstring& name,
                           std::wstring* value);
bool RemoveValueFromRegistry(HKEY root, const std::wstring& sub_key, const std::wstring& name);

// The installer's key under HKEY_CURRENT_USER, "Software\Tarnix\TarnixBrowser".
// Computed on first use; the entry point calls it before any thread starts.
const std::wstring& InstallerKey();

// Shortcuts for values under the installer's key.
bool StoreValue(const std::wstring& name, const std::wstring& value);
// Empty when the value is missing or unreadable.
std::wstring ReadValue(const std::wstring& name);
bool RemoveValue(const std::wstring& name);
// The value when it names an existing file or directory, otherwise empty.
std::wstring ReadFilePathFromRegistry(const std::wstring& name);

}  // namespace base

#endif  // BASE_REGISTRY_STORE_H_
