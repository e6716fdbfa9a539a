#ifndef SETUP_DELAYED_PARAMS_H_
#define SETUP_DELAYED_PARAMS_H_

#include <string>

namespace base {
class CommandLine;
}

namespace setup {

// What the parent installer hands its elevated child after the download: a
// fixed block in an image section shared by all processes of this executable
// file. Written before the go event, read after it.
struct DelayedParamsValues {
  std::wstring browser_arc_path;
  std::wstring clids_file_path;
  std::wstring clids_searchband_file_path;
  std::wstring tarnix_website_icon_file_path;
  std::wstring installer_data_path;
  std::wstring brand_package_path;
  std::wstring partner_package_path;
  std::wstring partner_package_override_path;
  std::wstring histogram_download_time;  // Decimal milliseconds.
  std::wstring histogram_full_time;      // Decimal monotonic microseconds.
  bool send_statistics = false;
  bool make_default = false;
  bool create_quova_shortcut = false;
};

// Stores the values in the shared block. A path over 260 characters or a
// time over 32 writes nothing, logs every field and answers false.
bool WriteDelayedParams(const DelayedParamsValues& values);

// The block as this process sees it.
DelayedParamsValues ReadDelayedParams();

// Completes the elevated child's setup command line from the shared block.
void ApplyDelayedParams(const DelayedParamsValues& values, base::CommandLine* command_line);

}  // namespace setup

#endif  // SETUP_DELAYED_PARAMS_H_
