#include "shell/shown_tabs_accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QTabBar>

namespace {

const char shownTabsOnly[] = "vistrelShownTabsOnly";

class ShownTabsAccessible : public QAccessibleWidget
{
public:
    explicit ShownTabsAccessible(QTabBar* bar)
        : QAccessibleWidget(bar, QAccessible::PageTabList)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        const auto* bar = static_cast<const QTabBar*>(widget());
        QStringList shown;
        for (int i = 0; i < bar->count(); ++i)
            if (bar->isTabVisible(i))
                shown << bar->tabText(i);
        return shown.join(QStringLiteral(", "));
    }
};

QAccessibleInterface* shownTabsAccessible(const QString&, QObject* object)
{
    auto* bar = qobject_cast<QTabBar*>(object);
    if (bar && bar->property(shownTabsOnly).toBool())
        return new ShownTabsAccessible(bar);
    return nullptr;
}

} // namespace

void ReadShownTabsOnly(QTabBar& bar)
{
    static const bool installed = (QAccessible::installFactory(&shownTabsAccessible), true);
    Q_UNUSED(installed);
    bar.setProperty(shownTabsOnly, true);
}
