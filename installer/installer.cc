#include "installer/installer.h"

#include "base/clock.h"
#include "base/file_util.h"
#include "base/os_facts.h"
#include "installer/exit_code.h"

namespace installer {

Installer::Installer(InstallObserver* observer, const distribution::BrandInfo* brand,
                     const distribution::DistribInfoParams* params,
                     const CommandLine& command_line, const InstallerEnvironment& environment)
    : observer_(observer),
      brand_(brand),
      params_(params),
      command_line_(command_line),
      clock_(environment.clock ? environment.clock : base::DefaultClock()),
      os_facts_(environment.os_facts ? environment.os_facts : base::GetOsFacts()),
      http_(environment.http ? environment.http : download::DefaultHttpClientFactory()),
      reporter_(environment.reporter),
      temp_dir_(base::GetTempDirectory()),
      exit_code_(ToInt(ExitCode::INSTALLATION_NOT_FINISHED)) {}

Installer::~Installer() = default;

}  // namespace installer
