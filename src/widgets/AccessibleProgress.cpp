#include "widgets/AccessibleProgress.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QVariant>
#include <QWidget>

namespace {

const char* const MarkProperty = "bundlesmithProgress";

class SurfaceInterface final : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit SurfaceInterface(QWidget* w) : QAccessibleWidget(w, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::ValueInterface ? static_cast<QAccessibleValueInterface*>(this)
                                                : QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return QStringLiteral("%1%").arg(percent());
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return widget()->property("value"); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return widget()->property("maximum"); }
    QVariant minimumValue() const override { return widget()->property("minimum"); }
    QVariant minimumStepSize() const override { return 1; }

private:
    int percent() const
    {
        const int min = minimumValue().toInt(), max = maximumValue().toInt();
        return max > min ? (currentValue().toInt() - min) * 100 / (max - min) : 0;
    }
};

QAccessibleInterface* Factory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget != nullptr && widget->property(MarkProperty).toBool())
        return new SurfaceInterface(widget);
    return nullptr;
}

} // namespace

namespace AccessibleProgress {

void Mark(QWidget* surface)
{
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    Q_UNUSED(installed);
    surface->setProperty(MarkProperty, true);
}

void SetValue(QWidget* surface, int value, int min, int max)
{
    if (surface->property("value").toInt() == value && surface->property("maximum").toInt() == max)
        return;
    surface->setProperty("value", value);
    surface->setProperty("minimum", min);
    surface->setProperty("maximum", max);
    QAccessibleValueChangeEvent event(surface, value);
    QAccessible::updateAccessibility(&event);
}

} // namespace AccessibleProgress
