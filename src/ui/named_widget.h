#pragma once
// Every widget of a form carries its component name, which the language file's section
// addresses (the Caption and Hint keys).

#include <QLatin1String>

namespace brevio {

template <class TWidget>
TWidget* Named(TWidget* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

}  // namespace brevio
