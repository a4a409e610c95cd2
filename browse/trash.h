// The desktop's trash: a file moved there can be restored from any desktop's trash view.
#pragma once

#include <filesystem>
#include <string>

// Moves file (an absolute path) into the trash of the file system it is on, the way every
// desktop reads it back: an info file made first under a name not yet taken (which reserves
// the name), then the file renamed beside it. Only trash folders of the user's own are used,
// each opened once and worked in through its descriptor, so another user who swaps one for a
// link or a folder of theirs makes the move fail but never leads it elsewhere. False, with
// reason set, when the file stays where it is.
bool MoveToTrash(const std::filesystem::path& file, std::string& reason);
