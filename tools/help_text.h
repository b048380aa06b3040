#pragma once
// What --help prints, made from the command table.

#include <string>

#include "command_table.h"

namespace tarnwick::cli {

std::string GeneralHelp();
std::string CommandHelp(const Command& command);
std::string UsageLine(const Command& command);

}  // namespace tarnwick::cli
