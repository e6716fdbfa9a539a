#ifndef WIN_ASSOCIATION_SHELL_H_
#define WIN_ASSOCIATION_SHELL_H_

#include <windows.h>
#include <shobjidl.h>

namespace win {

// The shell's association entry points the default-browser probe uses,
// injected so that tests can play any Windows release. Each call hands out
// one reference in its out parameter (the caller releases it) and answers
// the shell's result.
class AssociationShell {
 public:
  virtual ~AssociationShell() = default;
  // SHCreateAssociationRegistration.
  virtual HRESULT CreateAssociationRegistration(REFIID iid, void** object) = 0;
  // SHAssocEnumHandlersForProtocolByApplication.
  virtual HRESULT EnumHandlersForProtocol(const wchar_t* protocol, REFIID iid,
                                          void** handlers) = 0;
  // SHAssocEnumHandlers without a filter.
  virtual HRESULT EnumHandlersForExtension(const wchar_t* extension,
                                           IEnumAssocHandlers** handlers) = 0;
};

// The real shell. Its entry points are looked up in shell32 at run time:
// some exist only from Windows 8 on, and a load-time import of them would
// keep the installer from starting on Windows 7. A missing one answers
// HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND).
class SystemAssociationShell : public AssociationShell {
 public:
  HRESULT CreateAssociationRegistration(REFIID iid, void** object) override;
  HRESULT EnumHandlersForProtocol(const wchar_t* protocol, REFIID iid, void** handlers) override;
  HRESULT EnumHandlersForExtension(const wchar_t* extension,
                                   IEnumAssocHandlers** handlers) override;
};

}  // namespace win

#endif  // WIN_ASSOCIATION_SHELL_H_
