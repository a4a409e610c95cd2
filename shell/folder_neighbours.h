// Which pictures the main window has decoded ahead: those the user is likely to ask for next.
// Stepping through a folder (Down and Enter in the list) then shows each picture at once, as
// Prior and Next do for the history.
#pragma once

#include <string>
#include <vector>

class FolderListModel;
class NavigationHistory;

// The pictures to decode ahead, in order of preference, the picture shown (Shown) never
// among them: the selected entry of the list (about to be opened), the picture entries next
// after and next before it in the folder (Folder, ending in the delimiter; folders and files
// that are no pictures are passed over), then the history's Prior and Next.
std::vector<std::string> PicturesToDecodeAhead(const FolderListModel& List, int SelectedRow,
                                               const std::string& Folder, const std::string& Shown,
                                               const NavigationHistory& History);
