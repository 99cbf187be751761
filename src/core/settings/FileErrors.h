#pragma once
// Why a file or folder could not be written, as the user reads it.

#include <string>

// A short Japanese reason for an errno value ("ディスクに空きがありません").
std::string FileErrorReason(int error);
