#include "win/default_browser_probe.h"

#include <string>

#include "base/logging.h"
#include "base/scoped_com_ptr.h"
#include "base/string_conv.h"
#include "win/association_shell.h"

namespace win {

const std::array<RegistrationRevision, 5> kRegistrationRevisions = {{
    {{0x2A848E25, 0xD688, 0x4AA3, {0x8E, 0x55, 0x0C, 0x16, 0xCB, 0x3A, 0x2D, 0xFB}},
     "{2A848E25-D688-4AA3-8E55-0C16CB3A2DFB}", 1},
    {{0xFC0BE3A5, 0x6BE4, 0x423C, {0xB2, 0x87, 0x24, 0x89, 0x34, 0xE3, 0x79, 0xC7}},
     "{FC0BE3A5-6BE4-423C-B287-248934E379C7}", 1},
    {{0x14EBCC88, 0x2831, 0x4FC8, {0xA5, 0xDF, 0x9F, 0x36, 0xA8, 0x1D, 0xB1, 0x2C}},
     "{14EBCC88-2831-4FC8-A5DF-9F36A81DB12C}", 0},
    {{0x1C5C9D10, 0x1225, 0x4C97, {0x8C, 0x51, 0x98, 0xE1, 0xB6, 0xF0, 0xD4, 0xE0}},
     "{1C5C9D10-1225-4C97-8C51-98E1B6F0D4E0}", 0},
    {{0x229D59E2, 0xF94A, 0x402E, {0x9A, 0x9F, 0x3B, 0x84, 0xA1, 0xAC, 0xED, 0x77}},
     "{229D59E2-F94A-402E-9A9F-3B84A1ACED77}", 0},
}};

const GUID kSetAppAsDefaultBrowserInternalIid = {
    0xB00DC47B, 0xBFF4, 0x4318, {0xBE, 0x5B, 0xA5, 0x85, 0x6F, 0x91, 0x69, 0xA2}};
const GUID kEnumAssocHandlersIid = {
    0x973810AE, 0x9599, 0x4B88, {0x9E, 0x4D, 0x6E, 0xE9, 0x8C, 0x95, 0x52, 0xDA}};
const GUID kAssocHandlerMakeDefaultIid = {
    0xCA635855, 0xB44E, 0x4541, {0x95, 0x91, 0x9F, 0xAA, 0x53, 0x35, 0x4A, 0x53}};

namespace {

constexpr const wchar_t* kProtocols[] = {L"http", L"https"};
constexpr const wchar_t* kExtensions[] = {L".htm", L".html"};
constexpr char kRegistrationName[] = "IApplicationAssociationRegistrationInternal";

std::string HresultText(HRESULT hr) {
  return "0x" + base::HexPadded(static_cast<unsigned long>(hr), 8, true);
}

// The system's text of a failed result; a success code that still broke the
// step (an enumeration that ran dry) has none.
std::string ErrorText(HRESULT hr) {
  return FAILED(hr) ? base::SystemErrorText(static_cast<DWORD>(hr)) : std::string();
}

}  // namespace

// An error line that carries the system's text of a failed result.
#define HR_LOG_ERROR(hr) \
  ::base::LogMessage(__func__, ::base::LogSite(::base::Severity::kError, __LINE__), ErrorText(hr))

DefaultBrowserProbe::DefaultBrowserProbe(AssociationShell* shell, bool verbose,
                                         uint32_t version_code)
    : shell_(shell), verbose_(verbose), version_code_(version_code) {}

bool DefaultBrowserProbe::Run() {
  base::ScopedComPtr<IUnknown> registration;
  const RegistrationRevision* found = nullptr;
  for (const RegistrationRevision& revision : kRegistrationRevisions) {
    HRESULT hr = shell_->CreateAssociationRegistration(revision.iid, registration.ReceiveVoid());
    if (SUCCEEDED(hr) && registration.is_valid()) {
      if (verbose_)
        LOG(INFO) << kRegistrationName << " creation is succeeded by " << revision.text;
      found = &revision;
      break;
    }
    registration.reset();
    if (verbose_) {
      LOG(INFO) << kRegistrationName << " creation is failed, hr=" << HresultText(hr)
                << ", guid= " << revision.text;
    }
  }
  if (!found) {
    LOG(INFO) << "Unsupported Win10 version=" << static_cast<unsigned long>(version_code_);
    return false;
  }
  // The older revisions have no set-as-default path to verify.
  if (found->kind == 0)
    return true;

  base::ScopedComPtr<IUnknown> set_default;
  HRESULT hr = registration.QueryInterface(kSetAppAsDefaultBrowserInternalIid, &set_default);
  if (FAILED(hr)) {
    HR_LOG_ERROR(hr)
        << "QueryInterface(ISetAppAsDefaultBrowserInternal) error, hr=" << HresultText(hr);
    return false;
  }
  set_default.reset();

  for (const wchar_t* protocol : kProtocols) {
    base::ScopedComPtr<IEnumAssocHandlers> handlers;
    hr = shell_->EnumHandlersForProtocol(protocol, kEnumAssocHandlersIid,
                                         handlers.ReceiveVoid());
    if (FAILED(hr) || !handlers.is_valid()) {
      HR_LOG_ERROR(hr)
          << "SHAssocEnumHandlersForProtocolByApplication error, hr=" << HresultText(hr)
          << " protocol=" << protocol;
      return false;
    }
    if (!WalkHandlers(handlers.get()))
      return false;
  }
  for (const wchar_t* extension : kExtensions) {
    base::ScopedComPtr<IEnumAssocHandlers> handlers;
    hr = shell_->EnumHandlersForExtension(extension, handlers.Receive());
    if (FAILED(hr) || !handlers.is_valid()) {
      HR_LOG_ERROR(hr)
          << "SHAssocEnumHandlers error, hr=" << HresultText(hr) << " extension=" << extension;
      return false;
    }
    if (!WalkHandlers(handlers.get()))
      return false;
  }
  return true;
}

bool DefaultBrowserProbe::WalkHandlers(IEnumAssocHandlers* handlers) {
  // The probe looks for no browser in particular: the name it would report
  // as missing is empty.
  for (;;) {
    base::ScopedComPtr<IAssocHandler> handler;
    ULONG fetched = 0;
    HRESULT hr = handlers->Next(1, handler.Receive(), &fetched);
    if (FAILED(hr) || fetched != 1 || !handler.is_valid()) {
      HR_LOG_ERROR(hr)
          << "IEnumAssocHandlers::Next error, hr=" << HresultText(hr) << ", failed to find ";
      return false;
    }
    wchar_t* name = nullptr;
    hr = handler->GetUIName(&name);
    if (FAILED(hr)) {
      HR_LOG_ERROR(hr)
          << "IAssocHandler::GetUIName error, hr=" << HresultText(hr) << ", failed to find ";
      continue;
    }
    ::CoTaskMemFree(name);

    base::ScopedComPtr<IUnknown> make_default;
    hr = handler.QueryInterface(kAssocHandlerMakeDefaultIid, &make_default);
    if (FAILED(hr)) {
      HR_LOG_ERROR(hr)
          << "QueryInterface(IAssocHandlerMakeDefault) error, hr=" << HresultText(hr);
      return false;
    }
    return true;
  }
}

}  // namespace win
