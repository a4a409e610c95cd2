#include "shell/folder_neighbours.h"

#include "browse/folder_list_model.h"
#include "shell/navigation_history.h"

#include <algorithm>

std::vector<std::string> PicturesToDecodeAhead(const FolderListModel& List, int SelectedRow,
                                               const std::string& Folder, const std::string& Shown,
                                               const NavigationHistory& History)
{
    std::vector<std::string> pictures;
    const auto add = [&](const std::string& path) {
        if (path != Shown && std::find(pictures.begin(), pictures.end(), path) == pictures.end())
            pictures.push_back(path);
    };
    const int rows = List.rowCount();
    const auto isPicture = [&](int row) {
        return List.Entry(row).Kind == FolderEntryKind::Picture;
    };
    if (SelectedRow >= 0 && SelectedRow < rows) {
        if (isPicture(SelectedRow))
            add(Folder + List.Entry(SelectedRow).Caption);
        for (const int direction : {+1, -1}) {
            int row = SelectedRow + direction;
            while (row >= 0 && row < rows && !isPicture(row))
                row += direction;
            if (row >= 0 && row < rows)
                add(Folder + List.Entry(row).Caption);
        }
    }
    if (History.CanStepBack())
        add(History.Entries()[std::size_t(History.StepIndex(false))]);
    if (History.CanStepForward())
        add(History.Entries()[std::size_t(History.StepIndex(true))]);
    return pictures;
}
