// The viewer's main window: the folder list feeds pictures to the page viewer; the
// indicator and the brightness and contrast control sit under the picture; the tool bar and
// menus carry the commands; the navigation history lives in the tool bar.
#pragma once

#include "shell/main_window_base.h"
#include "shell/navigation_history.h"

#include <QPoint>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class GlassOptions;
class HistoryList;
class QComboBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QSplitter;
class QTabWidget;
class QToolBar;
class QToolButton;
class QWheelEvent;
class NameLabel;
class BrightnessContrastBar;
class FolderList;
class MagnificationIndicator;
class PageViewer;
class PropertiesWindow;

class MainWindow : public MainWindowBase
{
    Q_OBJECT

public:
    explicit MainWindow(const std::string& ProgramPath, QWidget* parent = nullptr);
    ~MainWindow() override;

    void FormCreate() override;
    void AfterLoadData() override;

    bool ImageLoaded() const { return imageLoaded; }
    const std::string& ImageFileName() const { return imageFileName; }
    double PendingFactor() const { return pendingFactor; }
    const NavigationHistory& History() const { return history; }
    // Puts the history's entries and selection into CB_history.
    void ShowHistory();

    void SetImageLoaded(bool Value);
    // The picture's name under the pane and in the window title, its size in pixels in the
    // indicator's tooltip; an empty name shows none.
    void ShowPictureName(const std::string& name);
    // Says something about a picture (why it did not load) in the picture pane and for a
    // while in the status bar; the next picture shown takes it away.
    void TellAboutPicture(const QString& text);
    void UpdateControls();
    void FolderShown();
    void ShowSelectedFile();
    // Shows the named file of the folder shown, whether or not the list offers it.
    void ShowFolderFile(const std::string& name);
    bool IsImageFile(const std::string& FileName) const;
    void BrightnessChanged(int Value);
    void ContrastChanged(int Value);
    void AddToHistory(const std::string& FileName);
    // Has the viewer decode ahead the pictures likely to be asked for next: the folder's
    // pictures around the list's selection and the history's Prior and Next. Called when the
    // selection moves and when a picture is opened, not while the selection moves to a
    // picture about to be opened (selectingToOpen).
    void DecodeAheadAround();
    bool selectingToOpen = false;
    // The path the program was started with, absolute: a picture is opened as a double click
    // on its entry would, a folder is listed. Taken up by the first loading of the data
    // file, or at once when that has happened.
    void OpenStartPath(const std::string& Path);

    void SB_dirClick();
    void N_RefreshClick();
    void NRotateClick(QObject* Sender);
    void TB_magnifierClick();
    void PRefreshClick();
    void PSaveAsClick();
    void PDeleteClick();
    void CB_historyClick();
    void NavigationClick(QObject* Sender);

    void ShowMagnification();
    void ResetScaleStep();
    void ApplyScaleStep();
    void StepScale(int Direction);
    void ScaleUp();
    void ScaleDn();
    void FormMouseWheelDown();
    void FormMouseWheelUp();
    void SetDefaultScaleClick();
    void ApplyScaleClick();

    // Keys, focus and full screen (main_window_keys.cpp).
    // Shows the folder's next (1) or previous (-1) picture after the one shown; the list's
    // selection follows.
    void StepFolderPicture(int Direction);
    // The picture pane alone on the whole screen, black around the picture; off restores the
    // window as it was.
    void SetFullScreen(bool On);
    bool FullScreen() const;
    void ShowKeyboardShortcuts();

    // Drop and copy (main_window_drop.cpp).
    // Puts the picture shown on the clipboard as the picture itself is, turned as shown, not
    // as the display draws it; nothing when no picture is shown.
    void CopyPicture();

    // The folder-browse dialog; gives the chosen folder, or an empty text when cancelled.
    std::function<std::string()> BrowseForFolder;

    // File > Open... and File > Properties (main_window_open.cpp).
    // Opens the chosen picture as a start path does: its folder listed, the picture shown.
    void OpenPictureClick();
    void PropertiesClick();
    // The desktop's file chooser; gives the chosen file, or an empty text when cancelled.
    std::function<std::string()> ChoosePicture;
    // The properties window, made when first asked for; while it is open it follows the
    // picture shown.
    PropertiesWindow* D_properties = nullptr;
    QAction* NOpenPicture;
    QAction* NProperties;

    QToolBar* ToolBar1;
    QSplitter* Splitter2;
    QWidget* Panel_history;
    QLabel* Label1;
    QComboBox* CB_history;
    QToolButton* TB_prior;
    QToolButton* TB_next;
    QToolButton* TB_refresh;
    QToolButton* TB_magnifier;
    QToolButton* TB_rotate_ccw;
    QToolButton* TB_rotate_cw;
    QToolButton* TB_exit;

    QSplitter* Splitter1;
    QTabWidget* PageControl1;
    QWidget* TabSheet_dir;
    QWidget* TabSheet_col;
    QWidget* Panel1;
    QLineEdit* Edit_dir;
    QToolButton* SB_dir;
    FolderList* O_dir_content1;
    QMenu* PM_filelist;
    QAction* PRefresh;
    QAction* PSaveAs;
    QAction* PDelete;

    QTabWidget* PC_viewers;
    QWidget* TabSheet_pg;
    PageViewer* O_pgv1;
    QWidget* Panel_state;
    NameLabel* Label_imgname;
    MagnificationIndicator* O_mg_indicator1;
    BrightnessContrastBar* O_cbs1;

    QMenu* N_View;
    QAction* N_Refresh;
    QAction* NRotateclockwise;
    QAction* NRotatecounterclockwise;
    QAction* NEffects;
    QAction* NFullScreen;
    QAction* NLeaveFullScreen;
    QAction* NHistoryPrior;
    QAction* NHistoryNext;
    QAction* NKeyboardShortcuts;
    QAction* NCopy;
    // Checked: the display shows the plain stretch also where it reduces the picture.
    QAction* NExactPixels;

protected:
    HistoryList* HistoryListForSettings() override;
    void FormClose() override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // A file or folder dropped on the window opens as a start path does.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateKeys();
    void CreateFileCommands();
    void ShowPropertiesOfPicture();
    void CreateDropAndCopy();
    void SetFocusOrder();
    void CreateToolBar();
    void CreateWorkArea();
    void CreateFolderPage();
    void CreateFileListMenu();
    void CreateViewerPage();
    void BindWorkArea();
    void CreateMenus();
    QToolButton* AddToolButton(QWidget* bar, const char* name, const QString& caption,
                               const QString& hint, const QString& image);
    void PictureMouseDown(const QPoint& Point);
    void PictureDoubleClick();
    void GlassMouseMove();
    void CB_historyChosen(int Index);
    // False when the start path names nothing to list, which the status bar then says.
    bool ShowStartPath();
    // The viewer lost the picture it showed reduced: its full decode failed.
    void PictureLost();
    void ShowPictureSize();

    bool imageLoaded = false;
    std::string imageFileName;
    std::string startPath;
    QPoint MouseDownPoint;
    double pendingFactor = 1.0;
    NavigationHistory history;
    // The history before the picture opened from the list was added, while that picture's
    // full decode is still to come: a load that fails then leaves the history as it was.
    std::optional<NavigationHistory> historyBeforeLoad;
    std::unique_ptr<HistoryList> historyList;
    std::unique_ptr<GlassOptions> glassOptions;
    bool fullScreenShown = false;
    Qt::WindowStates stateBeforeFullScreen;
};
