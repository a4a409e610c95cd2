// File names are bytes everywhere in the program; these two turn them into the text a window
// shows or a file dialog takes, and back, by the platform's rule for file names.
#pragma once

#include <QString>

#include <string>
#include <string_view>

// The text of a byte name; bytes that are not valid in the locale's encoding show as
// replacement characters while the name itself keeps them.
QString TextOfByteName(std::string_view bytes);

// The bytes of a name given as text (from a dialog or the platform).
std::string ByteNameOf(const QString& text);
