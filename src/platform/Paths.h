#pragma once

#include <filesystem>
#include <string>

namespace pelvar::platform {

// All machine-wide state lives under one prefix, PELVAR_PREFIX (default "/"),
// so that a test or the demo can run a whole emulated machine in a folder.
std::filesystem::path MachinePrefix();

// True when the prefix is "/": the real machine, whose clock may be set.
bool IsRealMachine();

// <prefix>/etc/pelvar/machine.reg: the machine's registry keys.
std::filesystem::path RegistryFilePath();

// <prefix>/etc/xdg/autostart/zqjcPelvarAuto.desktop: the logon autostart entry.
std::filesystem::path AutostartEntryPath();

// <prefix>/var/log/pelvar/: the journal's base folder, made by installation.
std::filesystem::path JournalBaseFolder();

// Folder for per-logon-session state (the single-instance lock):
// $XDG_RUNTIME_DIR on the real machine (/tmp when unset), <prefix>/run/pelvar
// under a prefix. Created on demand.
std::filesystem::path RuntimeFolder();

// Full path of the running executable, as the system reports it.
std::string ExecutablePath();

}  // namespace pelvar::platform
