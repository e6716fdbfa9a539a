#include "win/default_browser_probe.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/log_capture_for_testing.h"
#include "base/string_conv.h"
#include "win/association_shell.h"

namespace win {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

// References the probe takes must all be given back; the fakes live on the
// test's stack and count them.
struct RefCounted {
  ULONG AddRefCount() { return ++refs; }
  ULONG ReleaseCount() { return --refs; }
  long refs = 0;
};

class FakeRegistration : public IUnknown, public RefCounted {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == kSetAppAsDefaultBrowserInternalIid && !offers_set_default) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefCount(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseCount(); }
  bool offers_set_default = true;
};

class FakeHandler : public IAssocHandler, public RefCounted {
 public:
  FakeHandler(bool name_readable, bool offers_make_default)
      : name_readable_(name_readable), offers_make_default_(offers_make_default) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    asked_for_make_default |= iid == kAssocHandlerMakeDefaultIid;
    if (iid == kAssocHandlerMakeDefaultIid && !offers_make_default_) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IAssocHandler*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefCount(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseCount(); }
  HRESULT STDMETHODCALLTYPE GetName(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUIName(LPWSTR* name) override {
    if (!name_readable_)
      return E_FAIL;
    *name = static_cast<LPWSTR>(::CoTaskMemAlloc(sizeof(L"Browser")));
    ::lstrcpyW(*name, L"Browser");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR*, int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsRecommended() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE MakeDefault(LPCWSTR) override {
    made_default = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(IDataObject*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateInvoker(IDataObject*, IAssocHandlerInvoker**) override {
    return E_NOTIMPL;
  }
  bool asked_for_make_default = false;
  bool made_default = false;

 private:
  bool name_readable_;
  bool offers_make_default_;
};

class FakeHandlers : public IEnumAssocHandlers, public RefCounted {
 public:
  explicit FakeHandlers(std::vector<FakeHandler*> handlers) : handlers_(std::move(handlers)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefCount(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseCount(); }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IAssocHandler** out, ULONG* fetched) override {
    EXPECT_EQ(count, 1u);
    if (next_ == handlers_.size()) {
      *fetched = 0;
      return S_FALSE;  // Ran dry.
    }
    out[0] = handlers_[next_++];
    out[0]->AddRef();
    *fetched = 1;
    return S_OK;
  }

 private:
  std::vector<FakeHandler*> handlers_;
  size_t next_ = 0;
};

// A shell that can create one revision (or none) and enumerates the
// handlers it was given; anything else fails with E_FAIL.
class FakeShell : public AssociationShell {
 public:
  HRESULT CreateAssociationRegistration(REFIID iid, void** object) override {
    asked.push_back(iid);
    *object = nullptr;
    if (creatable < 0 || iid != kRegistrationRevisions[creatable].iid)
      return E_NOINTERFACE;
    registration.AddRef();
    *object = static_cast<IUnknown*>(&registration);
    return S_OK;
  }
  HRESULT EnumHandlersForProtocol(const wchar_t* protocol, REFIID iid, void** out) override {
    EXPECT_TRUE(iid == kEnumAssocHandlersIid);
    return Hand(protocol, reinterpret_cast<IEnumAssocHandlers**>(out));
  }
  HRESULT EnumHandlersForExtension(const wchar_t* extension,
                                   IEnumAssocHandlers** out) override {
    return Hand(extension, out);
  }

  int creatable = -1;
  FakeRegistration registration;
  std::map<std::wstring, FakeHandlers*> handlers;
  std::vector<GUID> asked;
  std::vector<std::wstring> enumerated;

 private:
  HRESULT Hand(const wchar_t* name, IEnumAssocHandlers** out) {
    enumerated.push_back(name);
    *out = nullptr;
    auto found = handlers.find(name);
    if (found == handlers.end())
      return E_FAIL;
    found->second->AddRef();
    *out = found->second;
    return S_OK;
  }
};

TEST(RegistrationRevisionsTest, IdentifiersMatchTheirTextAndKinds) {
  std::vector<int> kinds;
  for (const RegistrationRevision& revision : kRegistrationRevisions) {
    GUID parsed = {};
    ASSERT_EQ(::IIDFromString(base::WidenBytes(revision.text).c_str(), &parsed), S_OK);
    EXPECT_TRUE(parsed == revision.iid) << revision.text;
    kinds.push_back(revision.kind);
  }
  EXPECT_THAT(kinds, ElementsAre(1, 1, 0, 0, 0));
}

class DefaultBrowserProbeTest : public ::testing::Test {
 protected:
  bool Run(bool verbose = false) {
    DefaultBrowserProbe probe(&shell_, verbose, 171340318);
    return probe.Run();
  }
  std::vector<std::string> Messages() { return log_.messages(); }

  FakeShell shell_;
  base::ScopedLogCapture log_;
};

TEST_F(DefaultBrowserProbeTest, NoRevisionTriesAllFiveInOrderAndNamesTheSystem) {
  EXPECT_FALSE(Run(/*verbose=*/true));
  ASSERT_EQ(shell_.asked.size(), 5u);
  for (size_t i = 0; i < 5; ++i)
    EXPECT_TRUE(shell_.asked[i] == kRegistrationRevisions[i].iid) << i;
  std::vector<std::string> messages = Messages();
  ASSERT_EQ(messages.size(), 6u);
  EXPECT_EQ(messages[0],
            "IApplicationAssociationRegistrationInternal creation is failed, hr=0x80004002, "
            "guid= {2A848E25-D688-4AA3-8E55-0C16CB3A2DFB}");
  EXPECT_EQ(messages[5], "Unsupported Win10 version=171340318");

  // Without verbose logging only the verdict is written.
  log_.Clear();
  EXPECT_FALSE(Run());
  EXPECT_THAT(Messages(), ElementsAre("Unsupported Win10 version=171340318"));
}

TEST_F(DefaultBrowserProbeTest, AnOlderRevisionSucceedsWithoutTouchingHandlers) {
  shell_.creatable = 2;
  EXPECT_TRUE(Run(/*verbose=*/true));
  EXPECT_EQ(shell_.asked.size(), 3u);
  EXPECT_THAT(shell_.enumerated, IsEmpty());
  EXPECT_EQ(Messages().back(),
            "IApplicationAssociationRegistrationInternal creation is succeeded by "
            "{14EBCC88-2831-4FC8-A5DF-9F36A81DB12C}");
  EXPECT_EQ(shell_.registration.refs, 0);
}

TEST_F(DefaultBrowserProbeTest, NewerRevisionWalksProtocolsThenExtensionsAndChangesNothing) {
  shell_.creatable = 1;
  FakeHandler nameless(false, true), taken(true, true), never_reached(true, true);
  FakeHandlers http({&nameless, &taken, &never_reached}), https({&taken}), htm({&taken}),
      html({&taken});
  shell_.handlers = {{L"http", &http}, {L"https", &https}, {L".htm", &htm}, {L".html", &html}};
  EXPECT_TRUE(Run());
  EXPECT_THAT(shell_.enumerated, ElementsAre(L"http", L"https", L".htm", L".html"));
  EXPECT_FALSE(nameless.asked_for_make_default);
  EXPECT_TRUE(taken.asked_for_make_default);
  EXPECT_FALSE(never_reached.asked_for_make_default);
  EXPECT_FALSE(taken.made_default);
  EXPECT_THAT(Messages(), ElementsAre(StartsWith(
      "IAssocHandler::GetUIName error, hr=0x80004005, failed to find  - ")));
  for (long refs : {shell_.registration.refs, nameless.refs, taken.refs, http.refs, html.refs})
    EXPECT_EQ(refs, 0);
}

TEST_F(DefaultBrowserProbeTest, EachBrokenStepFailsTheProbeWithItsReason) {
  FakeHandler good(true, true), nameless(false, true), no_make_default(true, false);
  struct Case {
    const char* name;
    bool offers_set_default;
    std::vector<FakeHandler*> https;
    bool html_enumerates;
    const char* message;
  } cases[] = {
      {"no set-default interface", false, {&good}, true,
       "QueryInterface(ISetAppAsDefaultBrowserInternal) error, hr=0x80004002 - "},
      {"https handlers ran dry", true, {&nameless}, true,
       "IEnumAssocHandlers::Next error, hr=0x00000001, failed to find "},
      {"no make-default interface", true, {&no_make_default}, true,
       "QueryInterface(IAssocHandlerMakeDefault) error, hr=0x80004002 - "},
      {".html not enumerable", true, {&good}, false,
       "SHAssocEnumHandlers error, hr=0x80004005 extension=.html - "},
  };
  for (const Case& c : cases) {
    FakeShell shell;
    shell.creatable = 0;
    shell.registration.offers_set_default = c.offers_set_default;
    FakeHandlers http({&good}), https(c.https), htm({&good}), html({&good});
    shell.handlers = {{L"http", &http}, {L"https", &https}, {L".htm", &htm}};
    if (c.html_enumerates)
      shell.handlers[L".html"] = &html;
    log_.Clear();
    DefaultBrowserProbe probe(&shell, false, 0);
    EXPECT_FALSE(probe.Run()) << c.name;
    EXPECT_THAT(Messages(), Contains(StartsWith(c.message))) << c.name;
    EXPECT_EQ(log_.records().back().severity, base::Severity::kError) << c.name;
    EXPECT_EQ(shell.registration.refs, 0) << c.name;
  }

  // A protocol the shell cannot enumerate stops the probe before the files.
  shell_.creatable = 0;
  EXPECT_FALSE(Run());
  EXPECT_THAT(shell_.enumerated, ElementsAre(L"http"));
  EXPECT_THAT(Messages(), Contains(StartsWith(
      "SHAssocEnumHandlersForProtocolByApplication error, hr=0x80004005 protocol=http - ")));
}

}  // namespace
}  // namespace win
