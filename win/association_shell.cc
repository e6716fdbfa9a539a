#include "win/association_shell.h"

namespace win {

namespace {

using CreateRegistrationFunction = HRESULT(WINAPI*)(REFIID, void**);
using EnumForProtocolFunction = HRESULT(WINAPI*)(PCWSTR, REFIID, void**);
using EnumHandlersFunction = HRESULT(WINAPI*)(PCWSTR, ASSOC_FILTER, IEnumAssocHandlers**);

// shell32 is a known DLL the installer imports at load time, so the loaded
// copy is the system's.
template <typename Function>
Function Shell32Export(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"shell32.dll"), name)));
}

constexpr HRESULT kMissingExport = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);

}  // namespace

HRESULT SystemAssociationShell::CreateAssociationRegistration(REFIID iid, void** object) {
  auto create = Shell32Export<CreateRegistrationFunction>("SHCreateAssociationRegistration");
  return create ? create(iid, object) : kMissingExport;
}

HRESULT SystemAssociationShell::EnumHandlersForProtocol(const wchar_t* protocol, REFIID iid,
                                                        void** handlers) {
  auto enumerate =
      Shell32Export<EnumForProtocolFunction>("SHAssocEnumHandlersForProtocolByApplication");
  return enumerate ? enumerate(protocol, iid, handlers) : kMissingExport;
}

HRESULT SystemAssociationShell::EnumHandlersForExtension(const wchar_t* extension,
                                                         IEnumAssocHandlers** handlers) {
  auto enumerate = Shell32Export<EnumHandlersFunction>("SHAssocEnumHandlers");
  return enumerate ? enumerate(extension, ASSOC_FILTER_NONE, handlers) : kMissingExport;
}

}  // namespace win
