#pragma once

#include <string>

// The running executable's full path as bytes.
std::string ExecutablePath();
