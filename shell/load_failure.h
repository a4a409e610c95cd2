// Why a picture did not load, in words for the status bar.
#pragma once

#include <QString>

#include <string>

// The reason FileName gave no picture: it is not there, cannot be opened (with the system's
// reason), is a folder or empty, or holds nothing the decoders can read; the path follows.
QString LoadFailureText(const std::string& FileName);
