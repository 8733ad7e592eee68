#pragma once
// Where the system keeps its files. With CORVENA_HOME set, all four folders lie under it
// ($CORVENA_HOME/config, data, state, run); otherwise the XDG base folders are used:
//   config   $XDG_CONFIG_HOME/corvena           (config.ini)
//   data     $XDG_DATA_HOME/corvena             (user/<account>/ with the table files)
//   state    $XDG_STATE_HOME/corvena            (log/<date>/, crash reports)
//   runtime  $XDG_RUNTIME_DIR/corvena (0700), else /tmp/corvena-<uid>/   (named objects)
// The folders are created (0700) on first use, once per process: one removed while the process
// runs is not made again here, so a writer that finds it missing makes it. The environment is read
// on every call, so a test may point CORVENA_HOME at a fresh folder before it starts. Relative XDG
// values are ignored. RuntimeDir() is empty when the folder found is not a private folder of this
// user (someone else made /tmp/corvena-<uid>): named objects are then unavailable.

#include <filesystem>

namespace plat {

std::filesystem::path ConfigDir();
std::filesystem::path DataDir();
std::filesystem::path StateDir();
std::filesystem::path RuntimeDir();

// Full path of the running executable (/proc/self/exe).
std::filesystem::path ExecutablePath();

}  // namespace plat
