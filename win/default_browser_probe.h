#ifndef WIN_DEFAULT_BROWSER_PROBE_H_
#define WIN_DEFAULT_BROWSER_PROBE_H_

#include <windows.h>
#include <shobjidl.h>

#include <array>
#include <cstdint>

namespace win {

class AssociationShell;

// One revision of the shell's internal association-registration interface.
// Kind 1 also offers the set-as-default-browser interface.
struct RegistrationRevision {
  GUID iid;
  const char* text;  // The identifier as the log shows it.
  int kind;
};

// The revisions in the order they are tried; the first one the shell can
// create is the running release's.
extern const std::array<RegistrationRevision, 5> kRegistrationRevisions;
extern const GUID kSetAppAsDefaultBrowserInternalIid;
extern const GUID kEnumAssocHandlersIid;
extern const GUID kAssocHandlerMakeDefaultIid;

// Checks, without changing any association, that every step the browser's
// setup takes to become the default browser works on this system: one
// revision of the internal interface can be created and, for the revisions
// that need them, the handlers of "http", "https", ".htm" and ".html" can be
// enumerated and offer the make-default interface. Never calls it. Needs COM
// on the calling thread.
class DefaultBrowserProbe {
 public:
  // `shell` is not owned. With `verbose`, every creation attempt is logged.
  // `version_code` names the system in the log when no revision fits.
  DefaultBrowserProbe(AssociationShell* shell, bool verbose, uint32_t version_code);

  // True when the interface is usable; every failure is logged.
  bool Run();

 private:
  // Takes the first handler whose name can be read and asks it for the
  // make-default interface.
  bool WalkHandlers(IEnumAssocHandlers* handlers);

  AssociationShell* shell_;
  bool verbose_;
  uint32_t version_code_;
};

}  // namespace win

#endif  // WIN_DEFAULT_BROWSER_PROBE_H_
