// The picture's properties: the file's name, folder and size, the picture's size in pixels
// and its format, and what its Exif block tells (date taken, camera, lens, exposure, place).
// A small window of its own beside the main window; while it is open it follows the picture
// shown.
#pragma once

#include <QDialog>

#include <string>

class QFormLayout;
class QLabel;

class PropertiesWindow : public QDialog
{
    Q_OBJECT

public:
    explicit PropertiesWindow(QWidget* parent = nullptr);

    // Shows the properties of the file whose picture is shown at size pixels; an empty
    // fileName shows that there is no picture.
    void ShowPicture(const std::string& fileName, QSize pixels);

    // The value shown for a property by its caption ("Camera"); empty when the row is not
    // shown.
    QString Value(const QString& caption) const;

private:
    void setRow(int row, const QString& value);

    QFormLayout* form;
    QLabel* Label_none;
};
