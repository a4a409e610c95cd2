// Every window's layout is designed in pixels for an 8 pt interface font: the platform's own
// face at that size.
#pragma once

class QWidget;

// Gives window the platform's interface face at 8 points; its children inherit it.
void UseDesignFont(QWidget& window);
