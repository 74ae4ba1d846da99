#pragma once
// Roles for assistive technologies where a plain widget would be announced
// as an anonymous filler.

#include <QAccessible>

class QWidget;

namespace kestro {

// The role the widget reports from now on; call it before the widget is shown.
void setAccessibleRole(QWidget* widget, QAccessible::Role role);

}  // namespace kestro
