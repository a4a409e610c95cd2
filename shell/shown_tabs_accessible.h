// A tab bar with a hidden tab, as a screen reader is given it: Qt's own tab list reports every
// tab, hidden or not, so such a bar is read as one list named for the tabs it shows.
#pragma once

class QTabBar;

// Makes Bar read as its shown tabs from now on; any other tab bar keeps Qt's own interface.
void ReadShownTabsOnly(QTabBar& bar);
