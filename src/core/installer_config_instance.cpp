#include "installer_config.h"

// Built during static initialisation, before the entry point: defaults and the
// settings file. The switches are applied later by start-up.
CInstallerConfig InstallerConfig;
