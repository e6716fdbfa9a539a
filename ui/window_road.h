#ifndef UI_WINDOW_ROAD_H_
#define UI_WINDOW_ROAD_H_

namespace distribution {
class DistribInfoParams;
struct BrandInfo;
}  // namespace distribution
namespace base {
class CommandLine;
}

namespace ui {

// The interactive installation: with enough disk space the main window,
// whose installation's exit code it answers when the window finished, or
// 500 when the user cancelled; otherwise the low-disk-space window and 403.
int RunWindowRoad(const base::CommandLine& command_line,
                  const distribution::BrandInfo& brand,
                  const distribution::DistribInfoParams& params, bool enough_space);

}  // namespace ui

#endif  // UI_WINDOW_ROAD_H_
