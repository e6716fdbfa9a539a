#include "setup/delayed_params.h"

#include <windows.h>

#include <cstddef>
#include <cstring>

#include "base/string_conv.h"
#include "base/logging.h"
#include "base/command_line.h"
#include "base/installer_switches.h"

namespace setup {

namespace {

constexpr size_t kPathUnits = 261;  // MAX_PATH characters and the terminator.
constexpr size_t kTimeUnits = 33;

// The layout is a contract between two processes of the same file: plain
// fixed buffers, no pointers, no padding between fields.
struct DelayedParamsBlock {
  wchar_t browser_arc_path[kPathUnits];
  wchar_t clids_file_path[kPathUnits];
  wchar_t clids_searchband_file_path[kPathUnits];
  wchar_t tarnix_website_icon_file_path[kPathUnits];
  wchar_t installer_data_path[kPathUnits];
  wchar_t brand_package_path[kPathUnits];
  wchar_t partner_package_path[kPathUnits];
  wchar_t partner_package_override_path[kPathUnits];
  wchar_t histogram_download_time[kTimeUnits];
  wchar_t histogram_full_time[kTimeUnits];
  unsigned char send_statistics;
  unsigned char make_default;
  unsigned char create_quova_shortcut;
};
static_assert(sizeof(wchar_t) == 2);
static_assert(offsetof(DelayedParamsBlock, send_statistics) == (8 * 261 + 2 * 33) * 2);

// Zero-initialised, so it lands in the section's data rather than in common storage.
__attribute__((section("Shared"), shared)) DelayedParamsBlock g_delayed_params = {};

template <size_t N>
void CopyField(wchar_t (&field)[N], const std::wstring& value) {
  std::memset(field, 0, sizeof(field));
  std::memcpy(field, value.c_str(), value.size() * sizeof(wchar_t));
}

template <size_t N>
std::wstring ReadField(const wchar_t (&field)[N]) {
  size_t length = 0;
  while (length < N - 1 && field[length])
    ++length;
  return std::wstring(field, length);
}

}  // namespace

bool WriteDelayedParams(const DelayedParamsValues& v) {
  const std::wstring* paths[] = {&v.browser_arc_path,       &v.clids_file_path,
                                 &v.clids_searchband_file_path,
                                 &v.tarnix_website_icon_file_path,
                                 &v.installer_data_path,    &v.brand_package_path,
                                 &v.partner_package_path,   &v.partner_package_override_path};
  bool fits = v.histogram_download_time.size() < kTimeUnits &&
              v.histogram_full_time.size() < kTimeUnits;
  for (const std::wstring* path : paths)
    fits = fits && path->size() < kPathUnits;
  if (!fits) {
    PLOG(ERROR) << "Too large string length,"
                << " browser_arc_path=" << base::NarrowLow8(v.browser_arc_path)
                << " clids_file_path=" << base::NarrowLow8(v.clids_file_path)
                << " clids_searchband_file_path=" << base::NarrowLow8(v.clids_searchband_file_path)
                << " tarnix_website_icon_file_path="
                << base::NarrowLow8(v.tarnix_website_icon_file_path)
                << " installer_data_path=" << base::NarrowLow8(v.installer_data_path)
                << " brand_package_path=" << base::NarrowLow8(v.brand_package_path)
                << " partner_package_path=" << base::NarrowLow8(v.partner_package_path)
                << " partner_package_override_path="
                << base::NarrowLow8(v.partner_package_override_path)
                << " histogram_download_time=" << base::NarrowLow8(v.histogram_download_time)
                << " histogram_full_time=" << base::NarrowLow8(v.histogram_full_time)
                << " send_statistics=" << (v.send_statistics ? 1 : 0)
                << " make_default=" << (v.make_default ? 1 : 0)
                << " create_quova_shortcut=" << (v.create_quova_shortcut ? 1 : 0);
    return false;
  }
  DelayedParamsBlock& b = g_delayed_params;
  CopyField(b.browser_arc_path, v.browser_arc_path);
  CopyField(b.clids_file_path, v.clids_file_path);
  CopyField(b.clids_searchband_file_path, v.clids_searchband_file_path);
  CopyField(b.tarnix_website_icon_file_path, v.tarnix_website_icon_file_path);
  CopyField(b.installer_data_path, v.installer_data_path);
  CopyField(b.brand_package_path, v.brand_package_path);
  CopyField(b.partner_package_path, v.partner_package_path);
  CopyField(b.partner_package_override_path, v.partner_package_override_path);
  CopyField(b.histogram_download_time, v.histogram_download_time);
  CopyField(b.histogram_full_time, v.histogram_full_time);
  b.send_statistics = v.send_statistics;
  b.make_default = v.make_default;
  b.create_quova_shortcut = v.create_quova_shortcut;
  // The go event that follows must not overtake these writes.
  ::MemoryBarrier();
  return true;
}

DelayedParamsValues ReadDelayedParams() {
  ::MemoryBarrier();
  const DelayedParamsBlock& b = g_delayed_params;
  DelayedParamsValues v;
  v.browser_arc_path = ReadField(b.browser_arc_path);
  v.clids_file_path = ReadField(b.clids_file_path);
  v.clids_searchband_file_path = ReadField(b.clids_searchband_file_path);
  v.tarnix_website_icon_file_path = ReadField(b.tarnix_website_icon_file_path);
  v.installer_data_path = ReadField(b.installer_data_path);
  v.brand_package_path = ReadField(b.brand_package_path);
  v.partner_package_path = ReadField(b.partner_package_path);
  v.partner_package_override_path = ReadField(b.partner_package_override_path);
  v.histogram_download_time = ReadField(b.histogram_download_time);
  v.histogram_full_time = ReadField(b.histogram_full_time);
  v.send_statistics = b.send_statistics != 0;
  v.make_default = b.make_default != 0;
  v.create_quova_shortcut = b.create_quova_shortcut != 0;
  return v;
}

void ApplyDelayedParams(const DelayedParamsValues& v, base::CommandLine* line) {
  namespace sw = base::switches;
  if (!v.browser_arc_path.empty())
    line->set_program(v.browser_arc_path);
  const std::pair<const char*, const std::wstring*> paths[] = {
      {sw::kInstallerData, &v.installer_data_path},
      {sw::kClidsFile, &v.clids_file_path},
      {sw::kClidsSearchbandFile, &v.clids_searchband_file_path},
      {sw::kTarnixWebsiteIconFile, &v.tarnix_website_icon_file_path},
      {sw::kBrandPackage, &v.brand_package_path},
      {sw::kPartnerPackage, &v.partner_package_path},
      {sw::kOverridePartnerPackage, &v.partner_package_override_path},
      {sw::kInstallStartTimeNoUac, &v.histogram_full_time},
  };
  for (const auto& [name, value] : paths) {
    if (!value->empty())
      line->SetSwitch(name, *value);
  }
  const std::pair<const char*, bool> options[] = {
      {sw::kSendStatistics, v.send_statistics},
      {sw::kMakeBrowserDefaultAfterImport, v.make_default},
      {sw::kCreateQuovaShortcutInTaskbar, v.create_quova_shortcut},
  };
  for (const auto& [name, on] : options) {
    if (on)
      line->AppendSwitch(name);
    else
      line->RemoveSwitch(name);
  }
  if (!v.histogram_download_time.empty())
    line->SetSwitch(sw::kHistogramDownloadTime, v.histogram_download_time);
}

}  // namespace setup
