#include "browse/design_font.h"

#include <QFont>
#include <QWidget>

void UseDesignFont(QWidget& window)
{
    QFont font = window.font();
    font.setPointSize(8);
    window.setFont(font);
}
