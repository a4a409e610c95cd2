#include "settings/color_box.h"

#include <QPainter>
#include <QPixmap>
#include <QSignalBlocker>

#include <algorithm>
#include <iterator>

const RgbColor ColorBox::StandardColors[16] = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080,
    0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
};

namespace {

const char* const colorNames[16] = {
    "Black",  "Maroon", "Green", "Olive",  "Navy", "Purple",  "Teal", "Gray",
    "Silver", "Red",    "Lime",  "Yellow", "Blue", "Fuchsia", "Aqua", "White",
};

QPixmap swatch(RgbColor color)
{
    QPixmap pixmap(16, 12);
    pixmap.fill(QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return pixmap;
}

} // namespace

ColorBox::ColorBox(QWidget* parent)
    : QComboBox(parent)
{
    setIconSize(QSize(16, 12));
    for (int i = 0; i < 16; ++i)
        addItem(QIcon(swatch(StandardColors[i])), QString::fromLatin1(colorNames[i]),
                QVariant::fromValue(StandardColors[i]));
    setCurrentIndex(0);
    // Only a pick in the list changes the value; SetColor blocks this while it moves the
    // selection.
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            color_ = StandardColors[index];
    });
}

void ColorBox::SetColor(RgbColor color)
{
    color_ = color;
    const QSignalBlocker blocker(this);
    const auto* match = std::find(std::begin(StandardColors), std::end(StandardColors), color);
    setCurrentIndex(match == std::end(StandardColors)
                        ? -1
                        : static_cast<int>(match - std::begin(StandardColors)));
}
