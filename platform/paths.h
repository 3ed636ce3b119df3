// Windows-form logical paths of the program ("C:\Vemracd\Mysong\T01.wav") and their host paths.
#pragma once
#include <string>
#include <string_view>

namespace platform {

// Root directory of drive C: $VEMRA_DRIVE when set and not empty, else $HOME, else "/".
// A root set with setDriveRoot (tests, the scenario runner) takes precedence over both.
std::string driveRoot();
void setDriveRoot(std::string hostDir);   // "" goes back to the environment
// The current directory as the program sees it: "C:\" followed by the host working
// directory relative to the drive root (backslashes), or "C:\" when it lies outside it.
// Its first character is the drive letter.
std::string curDir();
// Logical path -> host path. Trailing blanks (of a fixed-length field) are dropped.
// "X:\a\b" and "X:/a/b" (any drive letter) -> driveRoot()/a/b; a host absolute path
// ("/usr/bin/x") passes through unchanged; any other relative path is taken relative to the
// host working directory, backslashes turned into slashes.
std::string hostPath(std::string_view logical);

}  // namespace platform
