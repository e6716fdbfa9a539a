// The side files the setup receives besides the archive: written from this
// executable's resources unless a switch supplied them, recorded in the
// registry for the setup, and forgotten after a successful installation.

#include <windows.h>

#include <array>
#include <iterator>
#include <string_view>

#include "base/resource_util.h"
#include "base/file_util.h"
#include "distribution/brand_info.h"
#include "base/registry_store.h"
#include "installer/installer.h"

namespace installer {

namespace {

struct SideFile {
  const wchar_t* registry_name;
  int resource_id;
  const wchar_t* file_name;
};

// In the order they are handled; matches Installer::SideFilePaths.
constexpr SideFile kSideFiles[] = {
    {L"InstallerData", 305, L"master_preferences"},
    {L"ClidsFile", 306, L"clids.xml"},
    {L"ClidsSearchbandFile", 322, L"clids_searchband.xml"},
    {L"TarnixWebsiteIconFile", 323, L"website.ico"},
};
static_assert(std::size(kSideFiles) == Installer::kSideFileCount);

}  // namespace

void Installer::WriteSideFiles() {
  if (brand_)
    brand_->StoreLanguageInRegistry();
  WriteInstallerDataFiles(data_dir_);
  StoreInstallerDataInRegistry();
  if (brand_)
    brand_->StoreBrandInRegistry();
}

void Installer::WriteInstallerDataFiles(const std::wstring& data_dir) {
  // Without a temporary directory a file would get a bare name, which the
  // setup resolves against whatever its current directory holds: such side
  // files stay without a path, so they are neither recorded nor passed on.
  if (data_dir.empty())
    return;
  std::array<std::wstring*, kSideFileCount> paths = SideFilePaths();
  for (size_t i = 0; i < kSideFileCount; ++i) {
    if (!paths[i]->empty())
      continue;
    *paths[i] = data_dir + kSideFiles[i].file_name;
    // The setup copes with a missing or empty file; the path goes on anyway.
    WriteResourceToFile(kSideFiles[i].resource_id, *paths[i]);
  }
}

bool Installer::WriteResourceToFile(int id, const std::wstring& path) {
  return base::WriteWholeFile(path, base::LoadBinResource(nullptr, MAKEINTRESOURCEW(id)));
}

void Installer::StoreInstallerDataInRegistry() {
  std::array<std::wstring*, kSideFileCount> paths = SideFilePaths();
  for (size_t i = 0; i < kSideFileCount; ++i) {
    // A record left by an earlier run must not stand in for a missing path.
    if (paths[i]->empty())
      base::RemoveValue(kSideFiles[i].registry_name);
    else
      base::StoreValue(kSideFiles[i].registry_name, *paths[i]);
  }
}

void Installer::RemoveSideFilesRecords() {
  for (const SideFile& file : kSideFiles)
    base::RemoveValue(file.registry_name);
}

std::array<std::wstring*, Installer::kSideFileCount> Installer::SideFilePaths() {
  return {&installer_data_path_, &clids_file_path_, &clids_searchband_file_path_,
          &website_icon_file_path_};
}

}  // namespace installer
