#include "shell/properties_window.h"

#include "browse/byte_name.h"
#include "metadata/picture_metadata.h"
#include "store/path_text.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include <array>
#include <filesystem>

namespace {

constexpr std::array captions {"Name",     "Folder", "File size", "Picture",  "Format",
                               "Taken on", "Camera", "Lens",      "Exposure", "Place"};

} // namespace

PropertiesWindow::PropertiesWindow(QWidget* parent)
    : QDialog(parent)
    , form(new QFormLayout)
    , Label_none(new QLabel(QStringLiteral("No picture is shown."), this))
{
    setObjectName("D_properties");
    setWindowTitle(QStringLiteral("Properties"));
    for (const char* caption : captions) {
        auto* value = new QLabel(this);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        // A long folder breaks anywhere rather than widening the window past the screen.
        value->setWordWrap(true);
        value->setMinimumWidth(260);
        form->addRow(QString::fromLatin1(caption) + QLatin1Char(':'), value);
    }
    Label_none->setObjectName("Label_none");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label_none);
    layout->addLayout(form);
    layout->addWidget(buttons);
    ShowPicture(std::string(), QSize());
}

void PropertiesWindow::setRow(int row, const QString& value)
{
    static_cast<QLabel*>(form->itemAt(row, QFormLayout::FieldRole)->widget())->setText(value);
    form->setRowVisible(row, !value.isEmpty());
}

void PropertiesWindow::ShowPicture(const std::string& fileName, QSize pixels)
{
    Label_none->setVisible(fileName.empty());
    if (fileName.empty()) {
        for (int row = 0; row < form->rowCount(); ++row)
            setRow(row, QString());
        return;
    }
    std::error_code error;
    const auto bytes = std::filesystem::file_size(fileName, error);
    const PictureMetadata metadata = ReadPictureMetadata(fileName);
    // What the reader does not know by content (metafiles, SVG, JPEG XL here) is named by
    // its extension.
    QString format = QString::fromStdString(metadata.Format);
    if (format.isEmpty())
        format = TextOfByteName(PictureExtension(fileName)).mid(1).toUpper();
    const QString values[] = {
        TextOfByteName(FileNamePart(fileName)),
        TextOfByteName(FolderOfPath(fileName)),
        error ? QString() : QLocale().toString(static_cast<qulonglong>(bytes)) + " bytes",
        pixels.isValid()
            ? QStringLiteral("%1 \u00d7 %2 pixels").arg(pixels.width()).arg(pixels.height())
            : QString(),
        format,
        QString::fromStdString(metadata.DateTaken),
        QString::fromStdString(metadata.Camera),
        QString::fromStdString(metadata.Lens),
        QString::fromStdString(metadata.Exposure),
        QString::fromStdString(metadata.Position),
    };
    for (int row = 0; row < form->rowCount(); ++row)
        setRow(row, values[row]);
}

QString PropertiesWindow::Value(const QString& caption) const
{
    for (int row = 0; row < form->rowCount(); ++row) {
        const auto* label
            = static_cast<QLabel*>(form->itemAt(row, QFormLayout::LabelRole)->widget());
        if (label->text() == caption + QLatin1Char(':') && form->isRowVisible(row))
            return static_cast<QLabel*>(form->itemAt(row, QFormLayout::FieldRole)->widget())
                ->text();
    }
    return QString();
}
